#include "sim/sim_store.h"

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapter/claim_wait_loop.h"
#include "adapter/hid_device.h"
#include "base/text.h"
#include "sim/sim_file.h"

namespace dravlopro::sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kListFile = "bench.txt";
constexpr const char* kListLock = "bench.lock";
constexpr const char* kListHeader = "dravlopro-sim bench 1";
// Larger flash or SRAM than this is surely a typing error, and would cost
// every run its memory and time.
constexpr std::uint32_t kMaxMemorySize = 16 * 1024 * 1024;
constexpr const char* kNoSuchSizes =
    "no simulated target has these sizes (at most 16 MB each, whole pages of flash)";

fs::path TargetFile(const fs::path& folder, std::size_t adapter) {
  return folder / ("target-" + std::to_string(adapter) + ".bin");
}

fs::path TargetLock(const fs::path& folder, std::size_t adapter) {
  return folder / ("target-" + std::to_string(adapter) + ".lock");
}

// Adapters are numbered by their place among the bench's adapters.
std::size_t AdapterNumber(SimBench& bench, std::size_t deviceIndex) {
  std::size_t number = 0;
  for (std::size_t i = 0; i < deviceIndex; ++i) {
    if (bench.device(i).adapter) ++number;
  }
  return number;
}

SimAdapter& NumberedAdapter(SimBench& bench, std::size_t number) {
  for (std::size_t i = 0; i < bench.deviceCount(); ++i) {
    if (!bench.device(i).adapter) continue;
    if (number-- == 0) return *bench.device(i).adapter;
  }
  throw std::out_of_range("no simulated adapter with that number");
}

std::string ListText(SimBench& bench, const std::vector<std::string>& targetWords,
                     const std::vector<std::string>& unloaded) {
  std::ostringstream text;
  text << kListHeader << "\n";
  std::size_t number = 0;
  for (std::size_t i = 0; i < bench.deviceCount(); ++i) {
    const SimDevice& device = bench.device(i);
    if (!device.adapter) continue;
    const std::string serial = device.serial ? Narrow(*device.serial) : "";
    text << "adapter " << (serial.empty() ? "-" : serial) << " " << device.adapter->versionText;
    if (number < targetWords.size() && !targetWords[number].empty()) {
      text << " " << targetWords[number];
    }
    text << "\n";
    ++number;
  }
  for (const std::string& line : unloaded) text << line << "\n";
  return text.str();
}

// A size in bytes: decimal, or hexadecimal after 0x.
bool ParseSize(const std::string& text, std::uint32_t& out) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return false;
  std::uint64_t value = 0;
  for (const char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
  }
  if (value > 0xFFFFFFFFu) return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

// The kind of a fresh target, as the words of its line give it.
struct TargetKind {
  SimConfig config;
  bool locked = false;
  SimFaults faults;
};

// Reads the words without setting any memory aside. False for an unknown
// word or sizes that no target can have, with the reason.
bool ParseTargetKind(const std::vector<std::string>& words, TargetKind& kind,
                     std::string& problem) {
  SimConfig& config = kind.config;
  bool& locked = kind.locked;
  SimFaults& faults = kind.faults;
  for (const std::string& word : words) {
    const std::size_t equals = word.find('=');
    const std::string key = word.substr(0, equals);
    std::uint32_t value = 0;
    if (word == "locked") {
      locked = true;
    } else if (word == "no-target") {
      faults.noTarget = true;
    } else if (word == "erase-fails") {
      faults.eraseError.flags = fmc::kErrAddress;
    } else if (key != "flash" && key != "page" && key != "sram") {
      problem = "\"" + word +
                "\" is no target word (flash=, page=, sram=, locked, no-target, erase-fails)";
      return false;
    } else if (equals == std::string::npos || !ParseSize(word.substr(equals + 1), value)) {
      problem = "\"" + word + "\" needs a size in bytes, decimal or 0x hexadecimal";
      return false;
    } else if (key == "flash") {
      config.flashSize = value;
    } else if (key == "page") {
      config.pageSize = value;
    } else {
      config.sramSize = value;
    }
  }
  if (config.flashSize > kMaxMemorySize || config.sramSize > kMaxMemorySize ||
      config.flashSize < config.pageSize || !SimChip::Possible(config)) {
    problem = kNoSuchSizes;
    return false;
  }
  return true;
}

// The target that a missing target-N.bin stands for, as the words after the
// adapter's version describe it: flash=, page= and sram= sizes in bytes, and
// locked for a target whose security lock is on, no-target for an adapter
// whose wire nothing answers on, erase-fails for a flash controller that
// fails every page erase. No words: the default kind, unlocked. False for an
// unknown word or a kind that cannot exist, with the reason.
bool FreshTarget(const std::vector<std::string>& words, SimTarget& target, std::string& problem) {
  TargetKind kind;
  if (!ParseTargetKind(words, kind, problem)) return false;
  if (!target.Configure(kind.config)) {
    problem = kNoSuchSizes;
    return false;
  }
  target.chip.SetLocked(kind.locked);
  target.faults() = kind.faults;
  return true;
}

// Loads an adapter's saved target, when there is one. Another run may be
// replacing the file at this moment; on some systems its name is missing for
// an instant then, which reads as never saved: only a run that holds the
// adapter uses its target, and it reads the file again once it does.
// False when the file is there but does not hold a saved target.
bool LoadSavedTarget(const fs::path& file, SimTarget& target) {
  std::string saved;
  switch (ReadFile(file, saved)) {
    case SharedRead::Read:
      return target.LoadSaved(saved);
    case SharedRead::Missing:
      return true;
    case SharedRead::Failed:
      break;
  }
  return false;
}

// Adds the adapters the list names, each with its saved target, or a fresh
// one of the kind its line describes. targetWords gets the words of each
// line after the version, for writing the list back. Only the first
// kMaxAdapters adapters can be chosen by any run: the lines after them are
// checked but nothing is set aside for them, and they go to `unloaded` as
// they are to be written back.
// False, with what is wrong and where, when the list cannot be used.
bool LoadList(const fs::path& folder, const std::string& text, SimBench& bench,
              std::vector<std::string>& targetWords, std::vector<std::string>& unloaded,
              std::string& problem) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kListHeader) {
    problem = std::string(kListFile) + " line 1: \"" + line + "\" where \"" + kListHeader +
              "\" should be";
    return false;
  }
  targetWords.clear();
  unloaded.clear();
  std::size_t number = 0;
  for (std::size_t lineNumber = 2; std::getline(in, line); ++lineNumber) {
    const std::string where = std::string(kListFile) + " line " + std::to_string(lineNumber) + ": ";
    // adapter <serial or -> <version> [target words]
    std::istringstream words(line);
    std::string kind;
    std::string serial;
    std::string version;
    if (!(words >> kind >> serial >> version)) {
      problem =
          where + "\"" + line + "\" is too short for \"adapter SERIAL VERSION [TARGET WORDS]\"";
      return false;
    }
    if (kind != "adapter") {
      problem = where + "\"" + kind + "\" where \"adapter\" should be";
      return false;
    }
    std::vector<std::string> targetKind;
    for (std::string word; words >> word;) targetKind.push_back(word);
    std::string joined;
    for (const std::string& word : targetKind) joined += (joined.empty() ? "" : " ") + word;
    if (number >= kMaxAdapters) {
      TargetKind unused;
      if (!ParseTargetKind(targetKind, unused, problem)) {
        problem = where + problem;
        return false;
      }
      unloaded.push_back("adapter " + serial + " " + version + (joined.empty() ? "" : " ") +
                         joined);
      ++number;
      continue;
    }
    SimAdapter& adapter = serial == "-" ? bench.AddAdapterWithoutSerial(version)
                                        : bench.AddAdapter(Widen(serial), version);
    if (!FreshTarget(targetKind, adapter.target, problem)) {
      problem = where + problem;
      return false;
    }
    targetWords.push_back(joined);
    if (!LoadSavedTarget(TargetFile(folder, number), adapter.target)) {
      problem = TargetFile(folder, number).filename().string() + " holds no saved target";
      return false;
    }
    ++number;
  }
  if (number == 0) problem = std::string(kListFile) + " lists no adapter";
  return number > 0;
}

}  // namespace

BenchFolder::BenchFolder(fs::path folder, FolderLocks& locks, Clock& clock)
    : folder_(std::move(folder)), locks_(locks), clock_(clock) {}

bool BenchFolder::Take(const fs::path& file, std::unique_ptr<FolderLocks::Held>& out,
                       ClaimWait* wait) {
  const TakeOutcome outcome = WaitToTake(clock_, kLockWaitMs, kLockPollMs, wait, [&]() {
    switch (locks_.TryTake(file, out)) {
      case FolderLocks::Attempt::Taken:
        return TakeAttempt::Taken;
      case FolderLocks::Attempt::Failed:
        return TakeAttempt::Failed;
      case FolderLocks::Attempt::Busy:
        break;
    }
    return TakeAttempt::Busy;
  });
  return outcome == TakeOutcome::Taken;
}

bool BenchFolder::Open(SimBench& bench) {
  std::error_code error;
  fs::create_directories(folder_, error);
  // Runs that start together find one bench: the first creates it, the
  // others wait and load it.
  std::unique_ptr<FolderLocks::Held> listLock;
  if (!Take(folder_ / kListLock, listLock)) {
    problem_ = std::string(kListLock) + " cannot be taken";
    return false;
  }
  const fs::path list = folder_ / kListFile;
  const bool exists = fs::exists(list, error);
  if (error) {
    problem_ = std::string(kListFile) + ": " + error.message();
    return false;
  }
  if (exists) {
    listText_.clear();
    if (ReadFile(list, listText_) != SharedRead::Read) {
      problem_ = std::string(kListFile) + " cannot be read";
      return false;
    }
    if (!LoadList(folder_, listText_, bench, targetWords_, unloaded_, problem_)) return false;
  } else {
    // The first run: one adapter with an erased target.
    bench.AddAdapter(L"SIM00001", "2.0.0");
    listText_ = ListText(bench, targetWords_, unloaded_);
    if (!NumberedAdapter(bench, 0).target.Save(TargetFile(folder_, 0)) ||
        !ReplaceFile(list, listText_)) {
      problem_ = "a new bench cannot be written there";
      return false;
    }
    created_ = true;
  }
  bench.onClaim = [this, &bench](std::size_t deviceIndex, ClaimWait& wait) {
    return Claim(bench, deviceIndex, wait);
  };
  return true;
}

bool BenchFolder::Claim(SimBench& bench, std::size_t deviceIndex, ClaimWait& wait) {
  const std::size_t number = AdapterNumber(bench, deviceIndex);
  // Claimed earlier in this run: what the run did with it since must stay.
  if (claimed_.count(number) != 0) return true;
  if (refused_.count(number) != 0) return false;
  std::unique_ptr<FolderLocks::Held> held;
  if (!Take(TargetLock(folder_, number), held, &wait)) {
    refused_.insert(number);
    return false;
  }
  // Another run may have saved this adapter since this run loaded the bench;
  // while this run holds it, no other run replaces the file.
  if (!LoadSavedTarget(TargetFile(folder_, number), bench.adapterAt(deviceIndex).target)) {
    damaged_ = true;
    refused_.insert(number);
    return false;
  }
  claimed_[number] = std::move(held);
  kept_.erase(number);  // not yet written by this run
  return true;
}

bool BenchFolder::Keep(SimBench& bench) {
  bool saved = true;
  for (const auto& [number, held] : claimed_) {
    const std::string bytes = NumberedAdapter(bench, number).target.Saved();
    std::string& kept = kept_[number];
    if (bytes == kept) continue;
    if (ReplaceFile(TargetFile(folder_, number), bytes)) {
      kept = bytes;
    } else {
      saved = false;
    }
  }
  return saved;
}

bool BenchFolder::Save(SimBench& bench) {
  bool saved = Keep(bench);
  claimed_.clear();  // other runs may have the adapters now
  kept_.clear();

  const std::string text = ListText(bench, targetWords_, unloaded_);
  if (text != listText_) {
    std::unique_ptr<FolderLocks::Held> listLock;
    if (Take(folder_ / kListLock, listLock) && ReplaceFile(folder_ / kListFile, text)) {
      listText_ = text;
    } else {
      saved = false;
    }
  }
  return saved;
}

}  // namespace dravlopro::sim
