// The chip's memory map: flash, option page, SRAM and the bus decoder.

#include <algorithm>

#include "sim/sim_chip.h"

namespace dravlopro::sim {

namespace {
constexpr std::size_t kEnginePage = 4096;
std::size_t WholePages(std::size_t size) {
  return std::max<std::size_t>(kEnginePage, (size + kEnginePage - 1) / kEnginePage * kEnginePage);
}
}  // namespace

SimChip::SimChip() : SimChip(SimConfig{}) {}

SimChip::SimChip(const SimConfig& config) {
  if (!Configure(config)) Configure(SimConfig{});
}

bool SimChip::Possible(const SimConfig& config) {
  return config.pageSize >= 4 && config.pageSize % 4 == 0 &&
         config.flashSize % config.pageSize == 0 && config.sramSize % 4 == 0 &&
         config.flashSize <= map::kOptionBase && config.sramSize <= map::kFmcBase - map::kSramBase;
}

bool SimChip::Configure(const SimConfig& config) {
  if (!Possible(config)) return false;
  config_ = config;
  fmc = Fmc{};
  resetCount = 0;
  eraseLog.clear();
  massEraseCount = 0;
  programmedWords = 0;
  flash_.assign(WholePages(config.flashSize), 0xFF);
  option_.assign(WholePages(config.pageSize), 0xFF);
  sram_.assign(WholePages(config.sramSize), 0x00);
  gpio.fill(0);
  peripheralWrites.clear();
  Touch(map::kFlashBase, config.flashSize);
  Touch(map::kOptionBase, config.pageSize);
  Touch(map::kSramBase, config.sramSize);
  PowerOn();
  return true;
}

bool SimChip::InFlash(std::uint32_t address) const {
  return address - map::kFlashBase < config_.flashSize;
}

bool SimChip::InOption(std::uint32_t address) const {
  return address >= map::kOptionBase && address - map::kOptionBase < config_.pageSize;
}

bool SimChip::InSram(std::uint32_t address) const {
  return address >= map::kSramBase && address - map::kSramBase < config_.sramSize;
}

std::uint32_t SimChip::LoadWord(const std::vector<std::uint8_t>& bytes, std::uint32_t offset) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < 4; ++i) {
    const std::uint32_t at = offset + i;
    const std::uint32_t byte = at < bytes.size() ? bytes[at] : 0;
    value |= byte << (8 * i);
  }
  return value;
}

void SimChip::StoreWord(std::vector<std::uint8_t>& bytes, std::uint32_t offset,
                        std::uint32_t value) {
  for (std::uint32_t i = 0; i < 4; ++i) {
    if (offset + i < bytes.size()) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

bool SimChip::Read(std::uint32_t address, std::uint32_t& value) {
  value = 0;
  const std::uint32_t word = address & ~3u;
  if (InFlash(word)) {
    if (Locked() && config_.lockBlocksFlashReads) return false;
    value = LoadWord(flash_, word - map::kFlashBase);
    return true;
  }
  if (InOption(word)) {
    value = LoadWord(option_, word - map::kOptionBase);
    return true;
  }
  if (InSram(word)) {
    value = LoadWord(sram_, word - map::kSramBase);
    return true;
  }
  if (word - map::kFmcBase < map::kFmcSize) {
    value = ReadFmc(word - map::kFmcBase);
    return true;
  }
  if (word >= map::kPeripheralBase && word < map::kPeripheralEnd) {
    return ReadPeripheral(word, value);
  }
  if (word >= map::kScsBase && word < map::kScsEnd) return ReadScs(word, value);
  if (word >= map::kDwtBase && word < map::kFpbBase + map::kUnitSize) {
    value = ReadUnit(word);
    return true;
  }
  if (word >= map::kRomTable && word < map::kPpbEnd) {
    value = ReadRomTable(word - map::kRomTable);
    return true;
  }
  // The rest of the private peripheral bus (DWT, FPB, ITM, ...) reads as zero.
  return word >= map::kPpbBase && word < map::kPpbEnd;
}

bool SimChip::Write(std::uint32_t address, std::uint32_t value, std::uint32_t mask) {
  const std::uint32_t word = address & ~3u;
  if (InSram(word)) {
    const std::uint32_t offset = word - map::kSramBase;
    const std::uint32_t old = LoadWord(sram_, offset);
    StoreWord(sram_, offset, (old & ~mask) | (value & mask));
    if (!coreRunning_) Touch(word, 4);
    return true;
  }
  // Flash and the option page change only through the FMC; peripherals and
  // debug registers take whole words only.
  if (mask != 0xFFFFFFFF) return false;
  if (word - map::kFmcBase < map::kFmcSize) {
    WriteFmc(word - map::kFmcBase, value);
    return true;
  }
  if (word >= map::kPeripheralBase && word < map::kPeripheralEnd) {
    WritePeripheral(word, value);
    return true;
  }
  if (word >= map::kScsBase && word < map::kScsEnd) {
    WriteScs(word, value);
    return true;
  }
  if (word >= map::kDwtBase && word < map::kFpbBase + map::kUnitSize) {
    WriteUnit(word, value);
    return true;
  }
  // The rest of the private peripheral bus ignores writes.
  return word >= map::kPpbBase && word < map::kPpbEnd;
}

bool SimChip::ReadPeripheral(std::uint32_t address, std::uint32_t& value) const {
  value = address - map::kGpioBase < map::kGpioSize ? gpio[(address - map::kGpioBase) / 4] : 0;
  return true;
}

void SimChip::WritePeripheral(std::uint32_t address, std::uint32_t value) {
  if (address - map::kGpioBase < map::kGpioSize) gpio[(address - map::kGpioBase) / 4] = value;
  if (peripheralWrites.size() == kPeripheralLogSize)
    peripheralWrites.erase(peripheralWrites.begin());
  peripheralWrites.emplace_back(address, value);
}

std::uint32_t SimChip::ReadRomTable(std::uint32_t offset) {
  switch (offset) {
    case 0x000:
      return 0xFFF0F003;  // SCS at 0xE000E000
    case 0x004:
      return 0xFFF02003;  // DWT at 0xE0001000
    case 0x008:
      return 0xFFF03003;  // FPB at 0xE0002000
    case 0xFCC:
      return 0x00000001;  // system memory present
    case 0xFE0:
      return 0x000000C4;
    case 0xFE4:
      return 0x000000B4;
    case 0xFE8:
      return 0x0000000B;
    case 0xFF0:
      return 0x0000000D;
    case 0xFF4:
      return 0x00000010;
    case 0xFF8:
      return 0x00000005;
    case 0xFFC:
      return 0x000000B1;
    default:
      return 0;
  }
}

// --- Inspection.

std::uint8_t SimChip::FlashByte(std::uint32_t address) const {
  return InFlash(address) ? flash_[address - map::kFlashBase] : 0;
}

std::uint32_t SimChip::FlashWord(std::uint32_t address) const {
  return InFlash(address) ? LoadWord(flash_, address - map::kFlashBase) : 0;
}

void SimChip::SetFlashBytes(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(i);
    if (InFlash(at)) flash_[at - map::kFlashBase] = bytes[i];
  }
  Touch(address, static_cast<std::uint32_t>(bytes.size()));
}

void SimChip::SetFlashWord(std::uint32_t address, std::uint32_t value) {
  if (InFlash(address)) StoreWord(flash_, address - map::kFlashBase, value);
  Touch(address, 4);
}

std::uint32_t SimChip::SramWord(std::uint32_t address) const {
  return InSram(address) ? LoadWord(sram_, address - map::kSramBase) : 0;
}

void SimChip::SetSramWord(std::uint32_t address, std::uint32_t value) {
  if (InSram(address)) StoreWord(sram_, address - map::kSramBase, value);
  Touch(address, 4);
}

std::uint32_t SimChip::OptionWord(std::uint32_t index) const {
  return index < config_.pageSize / 4 ? LoadWord(option_, index * 4) : 0;
}

void SimChip::SetOptionWord(std::uint32_t index, std::uint32_t value) {
  if (index < config_.pageSize / 4) StoreWord(option_, index * 4, value);
  Touch(map::kOptionBase + 4 * index, 4);
}

bool SimChip::Locked() const {
  return (OptionWord(option::kProtectionWord) & option::kSecurityBit) == 0;
}

void SimChip::SetLocked(bool locked) {
  const std::uint32_t word = OptionWord(option::kProtectionWord);
  SetOptionWord(option::kProtectionWord,
                locked ? word & ~option::kSecurityBit : word | option::kSecurityBit);
}

}  // namespace dravlopro::sim
