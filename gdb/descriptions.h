#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the server tells the debugger about the target: its registers (the
// target description, target.xml) and its memory (the memory map).
namespace dravlopro::gdb {

// One register as the debugger numbers it, with the REGSEL of DCRSR that
// holds it and, for the special registers packed in one REGSEL, the byte
// it takes.
struct RegisterInfo {
  const char* name;
  std::uint32_t regsel;
  int byte;  // -1: the whole word
};

// The registers in the debugger's numbering: r0-r12, sp, lr, pc, xpsr,
// msp, psp, primask, basepri, faultmask, control.
const std::vector<RegisterInfo>& Registers();

std::string TargetDescription();
// Flash from 0 with its page size as erase block, the option page as flash,
// SRAM and the peripheral and system space as RAM.
std::string MemoryMap(std::uint32_t flashPageSize);

}  // namespace dravlopro::gdb
