#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include "tests/support/process.h"

namespace dravlopro::testing {

namespace {

// Reads both pipes to their end at once, so that neither fills up while the
// other is waited on.
void Drain(int outFd, int errFd, ProcessOutcome& outcome) {
  std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
  std::array<std::string*, 2> sinks{&outcome.out, &outcome.err};
  int open = 2;
  std::array<char, 4096> chunk{};
  while (open > 0) {
    if (::poll(fds.data(), fds.size(), -1) < 0) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, chunk.data(), chunk.size());
      if (n > 0) {
        sinks[i]->append(chunk.data(), static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

ProcessOutcome RunProcess(const ProcessRun& run) {
  ProcessOutcome outcome;
  int out[2];
  int err[2];
  if (::pipe(out) != 0) return outcome;
  if (::pipe(err) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return outcome;
  }
  std::vector<std::string> words{run.program};
  words.insert(words.end(), run.arguments.begin(), run.arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    ::close(err[0]);
    ::close(err[1]);
    for (const auto& [name, value] : run.set) ::setenv(name.c_str(), value.c_str(), 1);
    for (const std::string& name : run.unset) ::unsetenv(name.c_str());
    if (!run.directory.empty() && ::chdir(run.directory.c_str()) != 0) ::_exit(127);
    ::execv(run.program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  if (child < 0) {
    ::close(out[0]);
    ::close(err[0]);
    return outcome;
  }
  Drain(out[0], err[0], outcome);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string ConsoleBytes(std::string_view text) { return std::string(text); }

}  // namespace dravlopro::testing
