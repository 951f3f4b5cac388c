#include "sim/sim_file.h"

#include "settings/replace_file.h"

namespace dravlopro::sim {

bool ReplaceFile(const std::filesystem::path& file, const std::string& bytes) {
  return ReplaceFileContents(file, bytes, false);
}

}  // namespace dravlopro::sim
