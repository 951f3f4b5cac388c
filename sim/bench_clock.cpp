#include "sim/bench_clock.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace dravlopro::sim {

std::optional<std::uint32_t> AnswerDelayMs() {
  const char* text = std::getenv("DRAVLOPRO_SIM_ANSWER_MS");
  if (text == nullptr || *text == '\0') return 0;
  std::uint32_t value = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value > 60000) return std::nullopt;
  return value;
}

}  // namespace dravlopro::sim
