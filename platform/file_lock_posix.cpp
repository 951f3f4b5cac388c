// File locks through flock(2): released by the kernel when the descriptor is
// closed, so a run that is killed never leaves its lock behind.

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/file_lock.h"

namespace dravlopro::platform {

FileLock::Attempt FileLock::TryTake(const std::filesystem::path& file,
                                    std::unique_ptr<FileLock>& out) {
  out.reset();
  int fd = -1;
  do {
    fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Attempt::Failed;
  int locked = -1;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Attempt::Busy : Attempt::Failed;
  }
  out.reset(new FileLock(fd));
  return Attempt::Taken;
}

FileLock::~FileLock() {
  // Closing the descriptor releases the lock.
  ::close(static_cast<int>(handle_));
}

}  // namespace dravlopro::platform
