#include "trace/writer.h"

#include <chrono>

namespace dravlopro::trace {

namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool Writer::Open(const std::filesystem::path& file, std::string& reason) {
  startNs_ = NowNs();
  if (!file_.Open(file, reason)) {
    failed_ = true;
    return false;
  }
  return true;
}

void Writer::Write(const Line& line) {
  if (!file_.is_open()) return;
  if (!file_.Write(line.Text())) {
    file_.Close();
    failed_ = true;
  }
}

std::uint64_t Writer::Ms() const {
  return static_cast<std::uint64_t>((NowNs() - startNs_) / 1000000);
}

}  // namespace dravlopro::trace
