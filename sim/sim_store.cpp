#include "sim/sim_store.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include "base/text.h"
#include "sim/sim_file.h"

namespace dravlopro::sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kListFile = "bench.txt";
constexpr const char* kListLock = "bench.lock";
constexpr const char* kListHeader = "dravlopro-sim bench 1";

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

std::string ListText(SimBench& bench) {
  std::ostringstream text;
  text << kListHeader << "\n";
  for (std::size_t i = 0; i < bench.deviceCount(); ++i) {
    const SimDevice& device = bench.device(i);
    if (!device.adapter) continue;
    const std::string serial = device.serial ? Narrow(*device.serial) : "";
    text << "adapter " << (serial.empty() ? "-" : serial) << " " << device.adapter->versionText
         << "\n";
  }
  return text.str();
}

bool ReadWholeFile(const fs::path& file, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Adds the adapters the list names, each with its saved target.
bool LoadList(const fs::path& folder, const std::string& text, SimBench& bench) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kListHeader) return false;
  std::size_t number = 0;
  while (std::getline(in, line)) {
    // adapter <serial or -> <version>
    std::istringstream words(line);
    std::string kind;
    std::string serial;
    std::string version;
    if (!(words >> kind >> serial >> version) || kind != "adapter") return false;
    SimAdapter& adapter = serial == "-" ? bench.AddAdapterWithoutSerial(version)
                                        : bench.AddAdapter(Widen(serial), version);
    const fs::path target = TargetFile(folder, number);
    std::error_code error;
    if (fs::exists(target, error) && !adapter.target.Load(target)) return false;
    if (error) return false;
    ++number;
  }
  return number > 0;
}

}  // namespace

BenchFolder::BenchFolder(fs::path folder, FolderLocks& locks, Clock& clock)
    : folder_(std::move(folder)), locks_(locks), clock_(clock) {}

bool BenchFolder::Take(const fs::path& file, std::unique_ptr<FolderLocks::Held>& out) {
  for (std::uint32_t waited = 0;; waited += kLockPollMs) {
    switch (locks_.TryTake(file, out)) {
      case FolderLocks::Attempt::Taken:
        return true;
      case FolderLocks::Attempt::Failed:
        return false;
      case FolderLocks::Attempt::Busy:
        break;
    }
    if (waited >= kLockWaitMs) return false;
    clock_.SleepMs(kLockPollMs);
  }
}

bool BenchFolder::Open(SimBench& bench) {
  std::error_code error;
  fs::create_directories(folder_, error);
  // Runs that start together find one bench: the first creates it, the
  // others wait and load it.
  std::unique_ptr<FolderLocks::Held> listLock;
  if (!Take(folder_ / kListLock, listLock)) return false;
  const fs::path list = folder_ / kListFile;
  const bool exists = fs::exists(list, error);
  if (error) return false;
  if (exists) {
    if (!ReadWholeFile(list, listText_) || !LoadList(folder_, listText_, bench)) return false;
  } else {
    // The first run: one adapter with an erased target.
    bench.AddAdapter(L"SIM00001", "2.0.0");
    listText_ = ListText(bench);
    if (!NumberedAdapter(bench, 0).target.Save(TargetFile(folder_, 0)) ||
        !ReplaceFile(list, listText_)) {
      return false;
    }
  }
  bench.onClaim = [this, &bench](std::size_t deviceIndex) { return Claim(bench, deviceIndex); };
  return true;
}

bool BenchFolder::Claim(SimBench& bench, std::size_t deviceIndex) {
  const std::size_t number = AdapterNumber(bench, deviceIndex);
  // Claimed earlier in this run: what the run did with it since must stay.
  if (claimed_.count(number) != 0) return true;
  if (refused_.count(number) != 0) return false;
  std::unique_ptr<FolderLocks::Held> held;
  if (!Take(TargetLock(folder_, number), held)) {
    refused_.insert(number);
    return false;
  }
  // Another run may have saved this adapter since this run loaded the bench.
  const fs::path file = TargetFile(folder_, number);
  std::error_code error;
  const bool saved = fs::exists(file, error);
  if (error || (saved && !bench.adapterAt(deviceIndex).target.Load(file))) {
    damaged_ = true;
    refused_.insert(number);
    return false;
  }
  claimed_[number] = std::move(held);
  return true;
}

bool BenchFolder::Save(SimBench& bench) {
  bool saved = true;
  for (const auto& [number, held] : claimed_) {
    if (!NumberedAdapter(bench, number).target.Save(TargetFile(folder_, number))) saved = false;
  }
  claimed_.clear();  // other runs may have the adapters now

  const std::string text = ListText(bench);
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
