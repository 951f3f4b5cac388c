// Made by build.sh from flash_routine.s: do not edit.
#pragma once

#include <array>
#include <cstdint>

namespace dravlopro::routine {

// The code, in little-endian words; its parameters follow it in SRAM.
// clang-format off
inline constexpr std::array<std::uint32_t, 28> kFlashRoutine = {
    0xcf0fa71b, 0x3a014d18, 0x6968d309, 0x43202402,
    0x60296168, 0xf0002408, 0x18c9f819, 0xcf06e7f3,
    0xd30e3a01, 0xcf086029, 0x2404606b, 0xf80ef000,
    0x42986808, 0x3104d101, 0x201ee7f2, 0x200161a8,
    0x2000e000, 0xc703a70a, 0xe7fbbe00, 0x201460ec,
    0x69286128, 0x0f800700, 0xd1fa2803, 0x4c0369a8,
    0xd1ea4220, 0x46c04770, 0x40080000, 0x0002001e,
};
// clang-format on

}  // namespace dravlopro::routine
