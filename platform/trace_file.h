#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace dravlopro::platform {

// The file a field trace is appended to. Each line goes to the end of the
// file in one write, so that runs sharing the file never cut into each
// other's lines. Nothing waits without end: a FIFO without a reader is
// refused when it is opened, and a reader that takes nothing for a second
// ends the trace (the write fails).
class TraceFile {
 public:
  TraceFile();
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Opens the file for appending, creating it when missing. False, with
  // the system's reason, when it cannot be opened.
  bool Open(const std::filesystem::path& name, std::string& reason);
  // False when the line could not be written whole.
  bool Write(std::string_view line);
  void Close();
  bool is_open() const;

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// The file that DRAVLOPRO_TRACE names; empty when the variable is not set.
std::filesystem::path TraceFileName();
// A file name as UTF-8 text, for a message.
std::string NameText(const std::filesystem::path& name);
// The platform the tool was built for, as the trace names it.
const char* TracePlatformName();

}  // namespace dravlopro::platform
