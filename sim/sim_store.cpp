#include "sim/sim_store.h"

#include <fstream>
#include <sstream>
#include <string>

#include "cli/text.h"

namespace dravlopro::sim {

namespace {

constexpr const char* kBenchFile = "bench.txt";
constexpr const char* kBenchHeader = "dravlopro-sim bench 1";

std::filesystem::path TargetFile(const std::filesystem::path& folder, std::size_t index) {
  return folder / ("target-" + std::to_string(index) + ".bin");
}

}  // namespace

void MakeDefaultBench(SimBench& bench) { bench.AddAdapter(L"SIM00001", "2.0.0"); }

bool LoadBench(const std::filesystem::path& folder, SimBench& bench) {
  std::ifstream in(folder / kBenchFile);
  if (!in) return false;
  std::string line;
  if (!std::getline(in, line) || line != kBenchHeader) return false;
  std::size_t index = 0;
  while (std::getline(in, line)) {
    // adapter <serial or -> <version>
    std::istringstream words(line);
    std::string kind;
    std::string serial;
    std::string version;
    if (!(words >> kind >> serial >> version) || kind != "adapter") return false;
    SimAdapter& adapter = serial == "-" ? bench.AddAdapterWithoutSerial(version)
                                        : bench.AddAdapter(Widen(serial), version);
    const std::filesystem::path target = TargetFile(folder, index);
    if (std::filesystem::exists(target) && !adapter.target.Load(target)) return false;
    ++index;
  }
  return index > 0;
}

bool SaveBench(const std::filesystem::path& folder, SimBench& bench) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::ostringstream text;
  text << kBenchHeader << "\n";
  std::size_t index = 0;
  for (std::size_t i = 0; i < bench.deviceCount(); ++i) {
    SimDevice& device = bench.device(i);
    if (!device.adapter) continue;
    const std::string serial = device.serial ? Narrow(*device.serial) : "-";
    text << "adapter " << (serial.empty() ? "-" : serial) << " " << device.adapter->versionText
         << "\n";
    if (!device.adapter->target.Save(TargetFile(folder, index))) return false;
    ++index;
  }
  const std::filesystem::path file = folder / kBenchFile;
  const std::filesystem::path temporary = folder / "bench.txt.new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text.str();
    if (!out.flush()) return false;
  }
  std::filesystem::rename(temporary, file, error);
  return !error;
}

}  // namespace dravlopro::sim
