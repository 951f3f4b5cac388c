#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <system_error>

namespace dravlopro::platform {

// A file the tool writes its results to, opened as a plain open for writing
// would open it: a new name is created, and a destination the user may not
// write is refused.
//
// A regular file, a new name, or a link to a regular file gets its bytes in a
// temporary file beside the file the links end at, which takes that file's
// place in one step on Commit(); links stay links, and an existing file keeps
// its permission bits (and its owner and group where the process may set
// them). Until then the destination is as it was, also when the run is
// stopped by Ctrl-C or a termination signal: the temporary file is removed
// on the way out. A file with several names (hard links), a file whose
// folder cannot take a temporary file, and one the folder does not let be
// renamed over, are written in place instead.
//
// Anything else (a device, a FIFO, a pipe) is opened and written directly.
class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& name);
  // Discards what was written unless Commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False when the destination could not be opened for writing.
  bool is_open() const;
  // Appends the bytes; false when they could not be written.
  bool Write(std::span<const std::uint8_t> bytes);
  // Puts everything written in the destination and closes it; false when
  // anything failed since it was opened.
  bool Commit();
  // The system's reason for the first failure since the file was opened
  // (or for the open itself); empty when it gave none.
  std::error_code error() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace dravlopro::platform
