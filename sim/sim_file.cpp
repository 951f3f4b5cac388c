#include "sim/sim_file.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>

namespace dravlopro::sim {

namespace {

namespace fs = std::filesystem;

std::string TemporarySuffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08x-%u", static_cast<unsigned>(random()),
                counter.fetch_add(1));
  return suffix;
}

}  // namespace

bool ReplaceFile(const fs::path& file, const std::string& bytes) {
  fs::path temporary = file;
  temporary += TemporarySuffix();
  std::error_code ignored;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out.fail()) {
      fs::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code error;
  fs::rename(temporary, file, error);
  if (error) fs::remove(temporary, ignored);
  return !error;
}

}  // namespace dravlopro::sim
