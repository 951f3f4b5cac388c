// Shared files on POSIX systems: a rename over a file never disturbs the
// processes that have it open.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/shared_file.h"
#include "settings/replace_file.h"

namespace dravlopro::platform {

SharedFileReader::SharedFileReader(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    opened_ = errno == ENOENT ? SharedRead::Missing : SharedRead::Failed;
    return;
  }
  handle_ = fd;
  opened_ = SharedRead::Read;
}

SharedFileReader::~SharedFileReader() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool SharedFileReader::ReadAll(std::string& out) {
  if (handle_ < 0) return false;
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

SharedRead ReadSharedFile(const std::filesystem::path& file, std::string& out) {
  SharedFileReader reader(file);
  if (reader.opened() != SharedRead::Read) return reader.opened();
  return reader.ReadAll(out) ? SharedRead::Read : SharedRead::Failed;
}

bool ReplaceSharedFile(const std::filesystem::path& file, std::string_view bytes) {
  return ReplaceFileContents(file, bytes, false);
}

}  // namespace dravlopro::platform
