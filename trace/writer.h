#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/trace_file.h"
#include "trace/format.h"

namespace dravlopro::trace {

// The trace file, opened for appending. Each line is written at once, so a
// run that is cut short still leaves its trace up to that point. The first
// failed write closes the file: nothing more is written and failed() tells.
class Writer {
 public:
  Writer() = default;
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // False, with the system's reason, when the file cannot be opened.
  bool Open(const std::filesystem::path& file, std::string& reason);
  void Write(const Line& line);
  // A line of this run: its time (milliseconds since Open) and mark.
  Line Event(std::string_view event) const { return Line(Ms(), mark_, event); }
  // The first line of the run, without a time.
  Line First(std::string_view event) const { return Line(std::nullopt, mark_, event); }
  // Milliseconds since Open.
  std::uint64_t Ms() const;

  bool open() const { return file_.is_open(); }
  bool failed() const { return failed_; }

 private:
  platform::TraceFile file_;
  bool failed_ = false;
  std::int64_t startNs_ = 0;
  // What sets this run's lines apart from those of other runs writing to
  // the same file: made anew for every Open.
  std::string mark_;
};

}  // namespace dravlopro::trace
