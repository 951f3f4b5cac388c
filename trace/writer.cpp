#include "trace/writer.h"

#include <chrono>
#include <cstdint>
#include <random>

namespace dravlopro::trace {

namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Sixteen hex digits that no other run is likely to have: the system's
// random numbers where it has them, mixed with the time and an address.
std::string NewMark(std::int64_t nowNs) {
  std::uint64_t bits = static_cast<std::uint64_t>(nowNs) * 0x9E3779B97F4A7C15u;
  bits ^= static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&bits));
  try {
    std::random_device device;
    bits ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    // No random numbers here: the time and the address stand alone.
  }
  std::uint8_t bytes[8];
  for (std::uint8_t& byte : bytes) {
    byte = static_cast<std::uint8_t>(bits);
    bits >>= 8;
  }
  return Hex(bytes, sizeof bytes);
}

}  // namespace

bool Writer::Open(const std::filesystem::path& file, std::string& reason) {
  startNs_ = NowNs();
  mark_ = NewMark(startNs_);
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
