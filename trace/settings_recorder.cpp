#include "trace/settings_recorder.h"

#include "base/text.h"
#include "trace/events.h"

namespace dravlopro::trace {

bool SettingsRecorder::GetSettingsPath(std::filesystem::path& path) {
  const bool found = inner_.GetSettingsPath(path);
  writer_.Write(writer_.Event(event::kSettingsPath).Bool(field::kOk, found));
  return found;
}

std::wstring SettingsRecorder::ReadSn(const std::filesystem::path& path) {
  std::wstring value = inner_.ReadSn(path);
  writer_.Write(writer_.Event(event::kSettingsRead).Str(field::kSn, Narrow(value)));
  return value;
}

bool SettingsRecorder::WriteSn(const std::filesystem::path& path, const std::wstring& value) {
  const bool written = inner_.WriteSn(path, value);
  writer_.Write(writer_.Event(event::kSettingsWrite)
                    .Str(field::kSn, Narrow(value))
                    .Bool(field::kOk, written));
  return written;
}

std::wstring SettingsRecorder::CutToBytes(const std::wstring& value, std::size_t maxBytes) const {
  return inner_.CutToBytes(value, maxBytes);
}

}  // namespace dravlopro::trace
