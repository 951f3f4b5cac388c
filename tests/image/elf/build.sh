#!/usr/bin/env bash
# Builds the ELF fixtures and their Intel HEX copies with Debian's Arm
# bare-metal toolchain (gcc-arm-none-eabi, binutils-arm-none-eabi), the
# host's gcc and python3. The results are checked in, so the tests need none
# of these. Each NAME.elf that objcopy can copy has NAME.hex beside it.
set -euo pipefail
cd "$(dirname "$0")"

arm() {
  local out=$1
  shift
  arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -Os -ffreestanding -nostdlib -Wall -Wextra \
    -Wl,-n "$@" -o "$out" app.c
}
hex() { arm-none-eabi-objcopy -O ihex "$1.elf" "$1.hex"; }

# Loaded: load address unlike run address, memory size larger than file
# size (data.elf); a gap between segments (gap.elf); option words
# (options.elf); every physical address 0 (virtual.elf).
arm data.elf -DWITH_DATA -T app.ld
arm gap.elf -DWITH_TABLE -T app.ld
arm options.elf -DWITH_OPTIONS -DWITH_DATA -T app.ld
python3 patch.py zero-physical gap.elf virtual.elf
# Refused: a segment in SRAM only (its HEX copy is refused too); segments
# that overlap; big-endian; another machine; 64-bit; an object file; a file
# cut inside its header, and one cut inside a segment.
arm sram.elf -T sram.ld
arm overlap.elf -DWITH_TABLE -T overlap.ld -Wl,--no-check-sections
arm big-endian.elf -mbig-endian -DWITH_DATA -T app.ld
python3 patch.py machine=3 data.elf machine.elf
gcc -nostdlib -static -O2 -o x86-64.elf x86-64.c
arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -Os -ffreestanding -c -o app.o app.c
head -c 40 data.elf >header-cut.elf
head -c 140 data.elf >segment-cut.elf

for name in data gap options virtual sram overlap; do hex "$name"; done
