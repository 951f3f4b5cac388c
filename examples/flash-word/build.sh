#!/usr/bin/env bash
# Builds flash-word.elf and flash-word.bin with Debian's Arm bare-metal
# toolchain (packages gcc-arm-none-eabi and binutils-arm-none-eabi).
set -euo pipefail
cd "$(dirname "$0")"
arm-none-eabi-as -mcpu=cortex-m0plus -g -o flash-word.o flash_word.s
arm-none-eabi-ld -T flash_word.ld -o flash-word.elf flash-word.o
arm-none-eabi-objcopy -O binary flash-word.elf flash-word.bin
rm -f flash-word.o
