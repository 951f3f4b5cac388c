#include "settings/replace_file.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

#include "base/stop_removal.h"

namespace dravlopro {

namespace fs = std::filesystem;

namespace {

// A name for the temporary file that no other run picks at the same time.
std::string TemporarySuffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".tmp-%08x-%u", static_cast<unsigned>(random()),
                counter.fetch_add(1));
  return suffix;
}

}  // namespace

bool ReplaceFileContents(const fs::path& file, std::string_view text, bool keepPermissions) {
  std::error_code ec;
  // Through a symbolic link, the file it names is replaced, not the link.
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {
    const fs::path resolved = fs::canonical(file, ec);
    if (!ec) target = resolved;
  }
  fs::path temporary = target;
  temporary += TemporarySuffix();
  // A stop (Ctrl-C) while the temporary file exists removes it: the run
  // leaves the file as it was and nothing beside it.
  platform::RemovedOnStop guard;
  std::ofstream out;
  {
    platform::StopsHeld held;
    out.open(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    guard.Arm(temporary);
  }
  const auto drop = [&] {
    platform::StopsHeld held;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    guard.Disarm();
    return false;
  };
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (out.fail()) return drop();
  if (keepPermissions) {
    const fs::file_status status = fs::status(target, ec);
    if (!ec) fs::permissions(temporary, status.permissions(), fs::perm_options::replace, ec);
  }
  platform::StopsHeld held;
  fs::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    guard.Disarm();
    return false;
  }
  guard.Disarm();
  return true;
}

}  // namespace dravlopro
