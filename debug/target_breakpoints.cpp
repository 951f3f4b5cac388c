#include "debug/debug_registers.h"
#include "debug/target.h"
#include "probe/registers.h"

namespace dravlopro {

namespace dr = debugreg;

namespace {

SlotResult ToSlot(AccessResult result) {
  switch (result) {
    case AccessResult::Ok:
      return SlotResult::Ok;
    case AccessResult::Fault:
      return SlotResult::Fault;
    case AccessResult::LinkLost:
      break;
  }
  return SlotResult::LinkLost;
}

// The DWT_MASK value of the smallest aligned range that holds the whole
// watched range.
std::uint32_t CoveringMask(std::uint32_t address, std::uint32_t length) {
  const std::uint64_t last = std::uint64_t{address} + (length == 0 ? 1 : length) - 1;
  std::uint32_t mask = 0;
  while (mask < 31 && (address >> mask) != (last >> mask)) ++mask;
  return mask;
}

}  // namespace

std::optional<std::size_t> DebugTarget::FpbSlotFor(std::uint32_t address) const {
  for (std::size_t n = 0; n < fpb_.size(); ++n) {
    if (fpb_[n] == 0) continue;
    const std::uint32_t comp = fpb_[n];
    if (fpbRevision_ == 0) {
      if ((comp & dr::fpb::kV1AddressMask) != (address & dr::fpb::kV1AddressMask)) continue;
      const std::uint32_t half =
          (address & 2) != 0 ? dr::fpb::kV1ReplaceUpper : dr::fpb::kV1ReplaceLower;
      if ((comp & half) != 0) return n;
    } else if ((comp & ~1u) == (address & ~1u)) {
      return n;
    }
  }
  return std::nullopt;
}

// The comparator value that adds a breakpoint at the address to what the
// comparator holds (0 when free).
std::uint32_t DebugTarget::FpbCompValue(std::uint32_t address, std::uint32_t existing) const {
  if (fpbRevision_ != 0) return (address & ~1u) | dr::fpb::kCompEnable;
  const std::uint32_t half =
      (address & 2) != 0 ? dr::fpb::kV1ReplaceUpper : dr::fpb::kV1ReplaceLower;
  return (existing & ~dr::fpb::kCompEnable) | (address & dr::fpb::kV1AddressMask) | half |
         dr::fpb::kCompEnable;
}

SlotResult DebugTarget::AddBreakpoint(std::uint32_t address, bool software) {
  address &= ~1u;
  const bool fpbReaches = fpbRevision_ != 0 || address < dr::fpb::kV1CodeLimit;
  if (software && address >= kSramBase && address < 0x40000000) {
    if (software_.count(address) != 0) return SlotResult::Ok;
    std::vector<std::uint8_t> old;
    AccessResult result = ReadMemory(address, 2, old);
    if (result != AccessResult::Ok) return ToSlot(result);
    const std::uint8_t bkpt[2] = {static_cast<std::uint8_t>(dr::kBkptInstruction & 0xFF),
                                  static_cast<std::uint8_t>(dr::kBkptInstruction >> 8)};
    result = WriteMemory(address, bkpt, 2);
    if (result != AccessResult::Ok) return ToSlot(result);
    software_[address] = static_cast<std::uint16_t>(old[0] | old[1] << 8);
    return SlotResult::Ok;
  }
  if (!fpbReaches) return SlotResult::Unsupported;
  if (FpbSlotFor(address)) return SlotResult::Ok;
  std::optional<std::size_t> slot;
  for (std::size_t n = 0; n < fpb_.size() && !slot; ++n) {
    // Revision 1: a comparator of the same word takes the other halfword.
    if (fpbRevision_ == 0 && fpb_[n] != 0 &&
        (fpb_[n] & dr::fpb::kV1AddressMask) == (address & dr::fpb::kV1AddressMask)) {
      slot = n;
    }
  }
  for (std::size_t n = 0; n < fpb_.size() && !slot; ++n) {
    if (fpb_[n] == 0) slot = n;
  }
  if (!slot) return SlotResult::NoRoom;
  const std::uint32_t value = FpbCompValue(address, fpb_[*slot]);
  AccessBatch batch;
  batch.Write(dr::fpb::kComp0 + 4 * static_cast<std::uint32_t>(*slot), value);
  const AccessResult result = Run(batch);
  if (result == AccessResult::Ok) fpb_[*slot] = value;
  return ToSlot(result);
}

SlotResult DebugTarget::RemoveBreakpoint(std::uint32_t address) {
  address &= ~1u;
  const auto placed = software_.find(address);
  if (placed != software_.end()) {
    const std::uint8_t old[2] = {static_cast<std::uint8_t>(placed->second & 0xFF),
                                 static_cast<std::uint8_t>(placed->second >> 8)};
    const AccessResult result = WriteMemory(address, old, 2);
    if (result == AccessResult::Ok) software_.erase(placed);
    return ToSlot(result);
  }
  const std::optional<std::size_t> slot = FpbSlotFor(address);
  if (!slot) return SlotResult::Ok;  // nothing there: already gone
  std::uint32_t value = 0;
  if (fpbRevision_ == 0) {
    const std::uint32_t half =
        (address & 2) != 0 ? dr::fpb::kV1ReplaceUpper : dr::fpb::kV1ReplaceLower;
    value = fpb_[*slot] & ~half;
    if ((value & (dr::fpb::kV1ReplaceLower | dr::fpb::kV1ReplaceUpper)) == 0) value = 0;
  }
  AccessBatch batch;
  batch.Write(dr::fpb::kComp0 + 4 * static_cast<std::uint32_t>(*slot), value);
  const AccessResult result = Run(batch);
  if (result == AccessResult::Ok) fpb_[*slot] = value;
  return ToSlot(result);
}

SlotResult DebugTarget::AddWatchpoint(WatchKind kind, std::uint32_t address, std::uint32_t length) {
  for (const Watch& w : dwt_) {
    if (w.used && w.kind == kind && w.address == address && w.length == length) {
      return SlotResult::Ok;
    }
  }
  for (std::uint32_t n = 0; n < dwt_.size(); ++n) {
    if (dwt_[n].used) continue;
    const std::uint32_t mask = CoveringMask(address, length);
    const std::uint32_t function = kind == WatchKind::Write  ? dr::dwt::kFunctionWrite
                                   : kind == WatchKind::Read ? dr::dwt::kFunctionRead
                                                             : dr::dwt::kFunctionAccess;
    AccessBatch batch;
    batch.Write(dr::dwt::Comp(n), mask >= 32 ? 0 : address & ~((1u << mask) - 1));
    batch.Write(dr::dwt::Mask(n), mask);
    batch.Write(dr::dwt::Function(n), function);
    const AccessResult result = Run(batch);
    if (result == AccessResult::Ok) dwt_[n] = Watch{true, kind, address, length};
    return ToSlot(result);
  }
  return SlotResult::NoRoom;
}

SlotResult DebugTarget::RemoveWatchpoint(WatchKind kind, std::uint32_t address,
                                         std::uint32_t length) {
  for (std::uint32_t n = 0; n < dwt_.size(); ++n) {
    const Watch& w = dwt_[n];
    if (!w.used || w.kind != kind || w.address != address || w.length != length) continue;
    AccessBatch batch;
    batch.Write(dr::dwt::Function(n), 0);
    const AccessResult result = Run(batch);
    if (result == AccessResult::Ok) dwt_[n] = Watch{};
    return ToSlot(result);
  }
  return SlotResult::Ok;
}

AccessResult DebugTarget::RemoveAll() {
  AccessResult result = GiveBack();
  while (!software_.empty()) {
    if (RemoveBreakpoint(software_.begin()->first) != SlotResult::Ok) {
      result = AccessResult::Fault;
      software_.erase(software_.begin());
    }
  }
  AccessBatch batch;
  for (std::uint32_t n = 0; n < fpb_.size(); ++n) {
    if (fpb_[n] != 0) batch.Write(dr::fpb::kComp0 + 4 * n, 0);
    fpb_[n] = 0;
  }
  for (std::uint32_t n = 0; n < dwt_.size(); ++n) {
    if (dwt_[n].used) batch.Write(dr::dwt::Function(n), 0);
    dwt_[n] = Watch{};
  }
  if (!batch.empty()) {
    const AccessResult units = Run(batch);
    if (units != AccessResult::Ok) result = units;
  }
  return result;
}

}  // namespace dravlopro
