#!/usr/bin/env bash
# Assembles flash_routine.s with Debian's Arm bare-metal toolchain
# (binutils-arm-none-eabi) and writes its code as the table in
# flash_routine_code.h, or in the file named as the argument.
set -euo pipefail
out=$(realpath -m "${1:-$(dirname "$0")/flash_routine_code.h}")
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
arm-none-eabi-as -mcpu=cortex-m0plus -o "$work/routine.o" flash_routine.s
arm-none-eabi-objcopy -O binary "$work/routine.o" "$work/routine.bin"
params=$(arm-none-eabi-nm "$work/routine.o" | awk '$3 == "params" { print $1 }')
size=$(stat -c %s "$work/routine.bin")
[ "$((16#$params))" -eq "$size" ] || { echo "params is not at the end of the code" >&2; exit 1; }
{
  echo "// Made by build.sh from flash_routine.s: do not edit."
  echo "#pragma once"
  echo
  echo "#include <array>"
  echo "#include <cstdint>"
  echo
  echo "namespace dravlopro::routine {"
  echo
  echo "// The code, in little-endian words; its parameters follow it in SRAM."
  echo "// clang-format off"
  echo "inline constexpr std::array<std::uint32_t, $((size / 4))> kFlashRoutine = {"
  od -An -v -tx4 -w16 "$work/routine.bin" | sed -E 's/ ([0-9a-f]{8})/0x\1, /g; s/^/    /; s/, $/,/'
  echo "};"
  echo "// clang-format on"
  echo
  echo "}  // namespace dravlopro::routine"
} > "$out"
