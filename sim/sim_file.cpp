#include "sim/sim_file.h"

namespace dravlopro::sim {

bool ReplaceFile(const std::filesystem::path& file, const std::string& bytes) {
  return platform::ReplaceSharedFile(file, bytes);
}

SharedRead ReadFile(const std::filesystem::path& file, std::string& bytes) {
  return platform::ReadSharedFile(file, bytes);
}

}  // namespace dravlopro::sim
