// Saving and restoring the simulated bench between runs.
//
// File: the line "DRAVLOPRO-SIM 1\n", then records, each a name (one length
// byte and the characters), a 32-bit little-endian payload length and the
// payload. Records: "config", "flash", "option", "sram", "core", "faults",
// and "cpu" (the core's registers, its breakpoint and watchpoint units and
// the GPIO port; a file without it holds a core fresh from power-on).
// Unknown records are skipped, so later versions can add some.

#include <array>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_file.h"
#include "sim/sim_target.h"

namespace dravlopro::sim {

namespace {
constexpr char kMagic[] = "DRAVLOPRO-SIM 1\n";
using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutRecord(Bytes& out, const std::string& name, const Bytes& payload) {
  out.push_back(static_cast<std::uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  Put32(out, static_cast<std::uint32_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

// Reads 32-bit fields off a payload; every read past the end fails the reader.
class FieldReader {
 public:
  explicit FieldReader(const Bytes& bytes) : bytes_(bytes) {}
  std::uint32_t Next() {
    if (at_ + 4 > bytes_.size()) {
      ok_ = false;
      return 0;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes_[at_++]) << (8 * i);
    return value;
  }
  bool ok() const { return ok_; }

 private:
  const Bytes& bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

bool SplitRecords(const Bytes& file, std::map<std::string, Bytes>& records) {
  const std::string magic(kMagic);
  if (file.size() < magic.size() || !std::equal(magic.begin(), magic.end(), file.begin())) {
    return false;
  }
  std::size_t at = magic.size();
  while (at < file.size()) {
    const std::size_t nameLength = file[at++];
    if (at + nameLength + 4 > file.size()) return false;
    std::string name(file.begin() + at, file.begin() + at + nameLength);
    at += nameLength;
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(file[at++]) << (8 * i);
    if (length > file.size() - at) return false;
    records[name] = Bytes(file.begin() + at, file.begin() + at + length);
    at += length;
  }
  return true;
}

void PutRange(Bytes& out, const AddressRange& range) {
  Put32(out, range.first);
  Put32(out, range.last);
}

AddressRange NextRange(FieldReader& in) {
  AddressRange range;
  range.first = in.Next();
  range.last = in.Next();
  return range;
}

void Put64(Bytes& out, std::uint64_t value) {
  Put32(out, static_cast<std::uint32_t>(value));
  Put32(out, static_cast<std::uint32_t>(value >> 32));
}

template <std::size_t N>
void PutWords(Bytes& out, const std::array<std::uint32_t, N>& words) {
  for (std::uint32_t w : words) Put32(out, w);
}

template <std::size_t N>
void NextWords(FieldReader& in, std::array<std::uint32_t, N>& words) {
  for (std::uint32_t& w : words) w = in.Next();
}

Bytes SaveCpu(const SimChip& chip) {
  Bytes out;
  PutWords(out, chip.core.registers);
  Put32(out, chip.core.lockedUp);
  Put32(out, chip.core.stepPending);
  Put32(out, chip.core.retiredSinceRead);
  Put32(out, chip.core.vtor);
  Put64(out, chip.core.startupLeft);
  Put64(out, chip.core.instructions);
  Put32(out, chip.units.fpbCtrl);
  PutWords(out, chip.units.fpbComp);
  PutWords(out, chip.units.dwtComp);
  PutWords(out, chip.units.dwtMask);
  PutWords(out, chip.units.dwtFunction);
  PutWords(out, chip.gpio);
  return out;
}

bool LoadCpu(const Bytes& bytes, SimChip& chip) {
  FieldReader in(bytes);
  NextWords(in, chip.core.registers);
  chip.core.lockedUp = in.Next() != 0;
  chip.core.stepPending = in.Next() != 0;
  chip.core.retiredSinceRead = in.Next() != 0;
  chip.core.vtor = in.Next();
  chip.core.startupLeft = in.Next();
  chip.core.startupLeft |= std::uint64_t{in.Next()} << 32;
  chip.core.instructions = in.Next();
  chip.core.instructions |= std::uint64_t{in.Next()} << 32;
  chip.units.fpbCtrl = in.Next();
  NextWords(in, chip.units.fpbComp);
  NextWords(in, chip.units.dwtComp);
  NextWords(in, chip.units.dwtMask);
  NextWords(in, chip.units.dwtFunction);
  NextWords(in, chip.gpio);
  return in.ok();
}

Bytes SaveFaults(const SimFaults& faults) {
  Bytes out;
  Put32(out, faults.noTarget);
  Put32(out, faults.neverReady);
  Put32(out, faults.readyAfterReads);
  Put32(out, faults.fmcNeverDone);
  Put32(out, faults.engineRefuseStatus);
  Put32(out, faults.engineDropPacket.has_value());
  Put32(out, static_cast<std::uint32_t>(faults.engineDropPacket.value_or(0)));
  Put32(out, faults.eraseError.flags);
  PutRange(out, faults.eraseError.range);
  Put32(out, faults.programError.flags);
  PutRange(out, faults.programError.range);
  Put32(out, static_cast<std::uint32_t>(faults.accessFaults.size()));
  for (const AccessFault& fault : faults.accessFaults) {
    PutRange(out, fault.range);
    Put32(out, fault.ack);
    Put32(out, static_cast<std::uint32_t>(fault.times));
    Put32(out, fault.onTarWrite);
    Put32(out, fault.writesOnly);
  }
  return out;
}

bool LoadFaults(const Bytes& bytes, SimFaults& faults) {
  FieldReader in(bytes);
  faults.noTarget = in.Next() != 0;
  faults.neverReady = in.Next() != 0;
  faults.readyAfterReads = in.Next();
  faults.fmcNeverDone = in.Next() != 0;
  faults.engineRefuseStatus = static_cast<std::uint8_t>(in.Next());
  const bool drop = in.Next() != 0;
  const std::uint32_t dropIndex = in.Next();
  faults.engineDropPacket.reset();
  if (drop) faults.engineDropPacket = dropIndex;
  faults.eraseError.flags = in.Next();
  faults.eraseError.range = NextRange(in);
  faults.programError.flags = in.Next();
  faults.programError.range = NextRange(in);
  const std::uint32_t count = in.Next();
  faults.accessFaults.clear();
  for (std::uint32_t i = 0; i < count && in.ok(); ++i) {
    AccessFault fault;
    fault.range = NextRange(in);
    fault.ack = static_cast<std::uint8_t>(in.Next());
    fault.times = static_cast<int>(in.Next());
    fault.onTarWrite = in.Next() != 0;
    fault.writesOnly = in.Next() != 0;
    faults.accessFaults.push_back(fault);
  }
  return in.ok();
}
}  // namespace

bool SimTarget::Save(const std::filesystem::path& file) const {
  // Runs on other adapters may read the folder at any moment: they find the
  // old file or the new one, never a part.
  return ReplaceFile(file, Saved());
}

std::string SimTarget::Saved() const {
  const SimConfig& c = chip.config();
  Bytes config;
  for (std::uint32_t v :
       {c.flashSize, c.pageSize, c.pageSizeRegister, c.sramSize, c.idcode, c.erasePolls,
        c.programPolls, static_cast<std::uint32_t>(c.lockBlocksFlashReads)}) {
    Put32(config, v);
  }
  Bytes core;
  for (std::uint32_t v :
       {static_cast<std::uint32_t>(chip.core.halted), chip.core.dhcsrControl, chip.core.demcr,
        chip.core.dfsr, static_cast<std::uint32_t>(chip.resetCount)}) {
    Put32(core, v);
  }

  Bytes out(kMagic, kMagic + sizeof(kMagic) - 1);
  PutRecord(out, "config", config);
  PutRecord(out, "flash", chip.flash());
  PutRecord(out, "option", chip.optionPage());
  PutRecord(out, "sram", chip.sram());
  PutRecord(out, "core", core);
  PutRecord(out, "faults", SaveFaults(chip.faults));
  PutRecord(out, "cpu", SaveCpu(chip));
  return std::string(out.begin(), out.end());
}

bool SimTarget::Load(const std::filesystem::path& file) {
  std::string saved;
  return ReadFile(file, saved) == SharedRead::Read && LoadSaved(saved);
}

bool SimTarget::LoadSaved(const std::string& saved) {
  const Bytes bytes(saved.begin(), saved.end());
  std::map<std::string, Bytes> records;
  if (!SplitRecords(bytes, records) || records.count("config") == 0) return false;

  FieldReader in(records["config"]);
  SimConfig config;
  config.flashSize = in.Next();
  config.pageSize = in.Next();
  config.pageSizeRegister = in.Next();
  config.sramSize = in.Next();
  config.idcode = in.Next();
  config.erasePolls = in.Next();
  config.programPolls = in.Next();
  config.lockBlocksFlashReads = in.Next() != 0;
  // The memory must be in the file before any is set aside for it: a
  // damaged size must not ask for gigabytes.
  const Bytes& flash = records["flash"];
  const Bytes& option = records["option"];
  const Bytes& sram = records["sram"];
  if (!in.ok() || flash.size() != config.flashSize || option.size() != config.pageSize ||
      sram.size() != config.sramSize) {
    return false;
  }
  SimChip loaded;
  if (!loaded.Configure(config)) return false;
  loaded.SetFlashBytes(map::kFlashBase, flash);
  for (std::uint32_t i = 0; i < option.size() / 4; ++i) {
    loaded.SetOptionWord(i, GetLe32(&option[4 * i]));
  }
  for (std::uint32_t i = 0; i < sram.size() / 4; ++i) {
    loaded.SetSramWord(map::kSramBase + 4 * i, GetLe32(&sram[4 * i]));
  }
  // The core as power-on leaves it with this flash, unless the file says more.
  loaded.PowerOn();
  if (records.count("cpu") != 0 && !LoadCpu(records["cpu"], loaded)) return false;
  if (records.count("core") != 0) {
    FieldReader core(records["core"]);
    loaded.core.halted = core.Next() != 0;
    loaded.core.dhcsrControl = core.Next();
    loaded.core.demcr = core.Next();
    loaded.core.dfsr = core.Next();
    loaded.resetCount = static_cast<int>(core.Next());
    if (!core.ok()) return false;
  }
  if (records.count("faults") != 0 && !LoadFaults(records["faults"], loaded.faults)) return false;

  chip = std::move(loaded);
  dap = SimDap{};
  engine = SimEngine{};
  return true;
}

}  // namespace dravlopro::sim
