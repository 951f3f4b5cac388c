#!/usr/bin/env bash
# Builds blinky.elf (with its debugging information), blinky.hex and blinky.bin with Debian's Arm bare-metal toolchain
# (packages gcc-arm-none-eabi and binutils-arm-none-eabi).
set -euo pipefail
cd "$(dirname "$0")"
arm-none-eabi-gcc -mcpu=cortex-m0plus -mthumb -Os -g -ffreestanding -nostdlib \
  -Wall -Wextra -T blinky.ld -Wl,--gc-sections -o blinky.elf blinky.c
arm-none-eabi-objcopy -O ihex blinky.elf blinky.hex
arm-none-eabi-objcopy -O binary blinky.elf blinky.bin
arm-none-eabi-size blinky.elf
