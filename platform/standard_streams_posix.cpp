// Descriptors 0 to 2 and SIGPIPE, as careful POSIX programs set them up.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform.h"

namespace dravlopro::platform {

void PrepareStandardStreams() {
  // A closed descriptor would be taken by the next file the program opens
  // (a lock file, a trace, the adapter's node), which would then receive
  // the console text: /dev/null takes its place, read-only for input.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) close(opened);
  }
  // Output that cannot be written never ends the run: a reader that went
  // away early (| head) makes writes fail, which the console ignores.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace dravlopro::platform
