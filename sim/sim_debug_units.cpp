// The core's breakpoint unit (FPB, revision 1) and the comparators of its
// data watchpoint unit (DWT), as registers on the private peripheral bus.
//
// FP_CTRL.ENABLE is written only with KEY set. A code comparator matches the
// halfword its REPLACE field names (lower, upper or both) at the word address
// in COMP; the literal comparators remap data, which the bench does not do.
// A DWT comparator with FUNCTION 5, 6 or 7 watches data reads, writes or both
// of the 2^MASK bytes at COMP; a match halts the core after the access and
// sets MATCHED in its FUNCTION register until that is read.

#include "sim/sim_chip.h"

namespace dravlopro::sim {

std::vector<std::uint32_t> SimChip::DebugUnits::Breakpoints() const {
  std::vector<std::uint32_t> addresses;
  if ((fpbCtrl & fpb::kCtrlEnable) == 0) return addresses;
  for (std::uint32_t i = 0; i < fpb::kCodeComparators; ++i) {
    const std::uint32_t comp = fpbComp[i];
    if ((comp & fpb::kCompEnable) == 0) continue;
    const std::uint32_t word = comp & fpb::kCompAddressMask;
    const std::uint32_t replace = comp >> fpb::kReplaceShift;
    if ((replace & 1) != 0) addresses.push_back(word);
    if ((replace & 2) != 0) addresses.push_back(word + 2);
  }
  return addresses;
}

int SimChip::DebugUnits::Watchpoint(std::uint32_t address, std::uint32_t size, bool write) const {
  for (std::uint32_t i = 0; i < dwt::kComparators; ++i) {
    const std::uint32_t function = dwtFunction[i] & dwt::kFunctionMask;
    const bool watches = function == dwt::kWatchAccess || (function == dwt::kWatchWrite && write) ||
                         (function == dwt::kWatchRead && !write);
    if (!watches) continue;
    const std::uint32_t bits = dwtMask[i] & dwt::kMaskBits;
    const std::uint64_t span = std::uint64_t{1} << bits;
    const std::uint64_t first = dwtComp[i] & ~(span - 1);
    const std::uint64_t last = first + span - 1;
    if (address <= last && std::uint64_t{address} + size - 1 >= first) return static_cast<int>(i);
  }
  return -1;
}

bool SimChip::DebugUnits::AnyWatchpoint() const {
  for (std::uint32_t function : dwtFunction) {
    const std::uint32_t f = function & dwt::kFunctionMask;
    if (f >= dwt::kWatchRead && f <= dwt::kWatchAccess) return true;
  }
  return false;
}

std::uint32_t SimChip::ReadUnit(std::uint32_t address) {
  if (address >= map::kFpbBase) {
    const std::uint32_t offset = address - map::kFpbBase;
    if (offset == fpb::kCtrl) return fpb::kCtrlReadOnly | (units.fpbCtrl & fpb::kCtrlEnable);
    const std::uint32_t index = (offset - fpb::kComp0) / 4;
    return offset >= fpb::kComp0 && index < fpb::kComparators ? units.fpbComp[index] : 0;
  }
  const std::uint32_t offset = address - map::kDwtBase;
  if (offset == dwt::kCtrl) return dwt::kCtrlValue;
  if (offset == dwt::kCyccnt) return static_cast<std::uint32_t>(core.instructions);
  if (offset < dwt::kComp0) return 0;
  const std::uint32_t index = (offset - dwt::kComp0) / dwt::kComparatorStride;
  if (index >= dwt::kComparators) return 0;
  switch ((offset - dwt::kComp0) % dwt::kComparatorStride) {
    case 0:
      return units.dwtComp[index];
    case dwt::kMaskOffset:
      return units.dwtMask[index];
    case dwt::kFunctionOffset: {
      const std::uint32_t value = units.dwtFunction[index];
      units.dwtFunction[index] &= ~dwt::kMatched;  // MATCHED clears on reading
      return value;
    }
    default:
      return 0;
  }
}

void SimChip::WriteUnit(std::uint32_t address, std::uint32_t value) {
  if (address >= map::kFpbBase) {
    const std::uint32_t offset = address - map::kFpbBase;
    if (offset == fpb::kCtrl) {
      if ((value & fpb::kCtrlKey) != 0) units.fpbCtrl = value & fpb::kCtrlEnable;
      return;
    }
    const std::uint32_t index = (offset - fpb::kComp0) / 4;
    if (offset >= fpb::kComp0 && index < fpb::kComparators) {
      units.fpbComp[index] = value & (0xC0000000 | fpb::kCompAddressMask | fpb::kCompEnable);
    }
    return;
  }
  const std::uint32_t offset = address - map::kDwtBase;
  if (offset < dwt::kComp0) return;
  const std::uint32_t index = (offset - dwt::kComp0) / dwt::kComparatorStride;
  if (index >= dwt::kComparators) return;
  switch ((offset - dwt::kComp0) % dwt::kComparatorStride) {
    case 0:
      units.dwtComp[index] = value;
      return;
    case dwt::kMaskOffset:
      units.dwtMask[index] = value & dwt::kMaskBits;
      return;
    case dwt::kFunctionOffset:
      units.dwtFunction[index] =
          (units.dwtFunction[index] & dwt::kMatched) | (value & dwt::kFunctionMask);
      return;
    default:
      return;
  }
}

}  // namespace dravlopro::sim
