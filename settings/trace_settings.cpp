#include "settings/trace_settings.h"

#include "base/text.h"

namespace dravlopro {

bool RecordingSettingsStore::GetSettingsPath(std::filesystem::path& path) {
  const bool found = inner_.GetSettingsPath(path);
  writer_.Write(trace::Line(writer_.Ms(), "settings-path").Bool("ok", found));
  return found;
}

std::wstring RecordingSettingsStore::ReadSn(const std::filesystem::path& path) {
  std::wstring value = inner_.ReadSn(path);
  writer_.Write(trace::Line(writer_.Ms(), "settings-read").Str("sn", Narrow(value)));
  return value;
}

bool RecordingSettingsStore::WriteSn(const std::filesystem::path& path, const std::wstring& value) {
  const bool written = inner_.WriteSn(path, value);
  writer_.Write(
      trace::Line(writer_.Ms(), "settings-write").Str("sn", Narrow(value)).Bool("ok", written));
  return written;
}

std::wstring RecordingSettingsStore::CutToBytes(const std::wstring& value,
                                                std::size_t maxBytes) const {
  return inner_.CutToBytes(value, maxBytes);
}

}  // namespace dravlopro
