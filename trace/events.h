#pragma once

#include <string_view>

#include "adapter/hid_backend.h"

// Every name a field trace holds, said once for the writers and the reader.
// The README's "Field traces" describes what each event records.
namespace dravlopro::trace {

// The value of "ev": what a line records.
namespace event {
inline constexpr std::string_view kRun = "run";
inline constexpr std::string_view kSettingsPath = "settings-path";
inline constexpr std::string_view kSettingsRead = "settings-read";
inline constexpr std::string_view kSettingsWrite = "settings-write";
inline constexpr std::string_view kCommand = "command";
inline constexpr std::string_view kScan = "scan";
inline constexpr std::string_view kDevice = "device";
inline constexpr std::string_view kClaim = "claim";
inline constexpr std::string_view kWrite = "write";
inline constexpr std::string_view kRead = "read";
inline constexpr std::string_view kAdapter = "adapter";
inline constexpr std::string_view kOut = "out";
inline constexpr std::string_view kAlert = "alert";
inline constexpr std::string_view kEnd = "end";
}  // namespace event

// The keys of a line.
namespace field {
// Every line.
inline constexpr std::string_view kMs = "ms";
inline constexpr std::string_view kEvent = "ev";
// The mark of the run the line belongs to (none in traces of older builds).
inline constexpr std::string_view kRunMark = "run";
// run
inline constexpr std::string_view kFormat = "format";
inline constexpr std::string_view kVersion = "version";  // also adapter and device
inline constexpr std::string_view kPlatform = "platform";
inline constexpr std::string_view kArgv = "argv";
// settings-path, settings-read, settings-write, claim, write
inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kSn = "sn";
// command
inline constexpr std::string_view kWord = "word";
// device and claim
inline constexpr std::string_view kIndex = "index";
inline constexpr std::string_view kOpen = "open";
inline constexpr std::string_view kOpenError = "openError";
inline constexpr std::string_view kAttributes = "attributes";
inline constexpr std::string_view kVid = "vid";
inline constexpr std::string_view kPid = "pid";
inline constexpr std::string_view kCaps = "caps";
inline constexpr std::string_view kUsage = "usage";
inline constexpr std::string_view kUsagePage = "usagePage";
inline constexpr std::string_view kIn = "in";
inline constexpr std::string_view kOutLength = "out";
inline constexpr std::string_view kFeature = "feature";
inline constexpr std::string_view kSerial = "serial";  // also adapter
inline constexpr std::string_view kPath = "path";
// write and read
inline constexpr std::string_view kExchange = "n";
inline constexpr std::string_view kData = "data";
inline constexpr std::string_view kResult = "result";  // also end
inline constexpr std::string_view kWaitedMs = "waitedMs";
// out and alert
inline constexpr std::string_view kText = "text";
}  // namespace field

// The format number of the run line.
inline constexpr int kFormatNumber = 1;

// Booleans as the reader finds them.
inline constexpr std::string_view kTrue = "true";

// How an interface open and a report read ended, as the trace spells them,
// and back.
std::string_view Name(InterfaceOpen value);
std::string_view Name(HidRead value);
InterfaceOpen OpenFromName(std::string_view name);
HidRead ReadFromName(std::string_view name);

}  // namespace dravlopro::trace
