#include "trace/events.h"

#include <array>
#include <utility>

namespace dravlopro::trace {

namespace {

constexpr std::array<std::pair<InterfaceOpen, std::string_view>, 4> kOpenNames{{
    {InterfaceOpen::Opened, "opened"},
    {InterfaceOpen::CannotOpen, "cannot-open"},
    {InterfaceOpen::OtherDevice, "other-device"},
    {InterfaceOpen::NoInterface, "none"},
}};

constexpr std::array<std::pair<HidRead, std::string_view>, 3> kReadNames{{
    {HidRead::Received, "received"},
    {HidRead::TimedOut, "timeout"},
    {HidRead::Failed, "error"},
}};

// The name of a value; the table's last entry stands for any other.
template <typename Value, std::size_t N>
std::string_view NameIn(const std::array<std::pair<Value, std::string_view>, N>& table,
                        Value value) {
  for (const auto& [known, name] : table) {
    if (known == value) return name;
  }
  return table.back().second;
}

template <typename Value, std::size_t N>
Value ValueIn(const std::array<std::pair<Value, std::string_view>, N>& table,
              std::string_view name) {
  for (const auto& [value, known] : table) {
    if (known == name) return value;
  }
  return table.back().first;
}

}  // namespace

std::string_view Name(InterfaceOpen value) { return NameIn(kOpenNames, value); }
std::string_view Name(HidRead value) { return NameIn(kReadNames, value); }
InterfaceOpen OpenFromName(std::string_view name) { return ValueIn(kOpenNames, name); }
HidRead ReadFromName(std::string_view name) { return ValueIn(kReadNames, name); }

}  // namespace dravlopro::trace
