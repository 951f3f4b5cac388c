// dravlopro-sim processes through posix_spawn.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "tests/sim/sim_process.h"

extern char** environ;

namespace dravlopro::testing {

struct SimProcess::Running {
  pid_t pid = -1;
};

SimProcess::SimProcess(const std::filesystem::path& home, const std::vector<std::string>& arguments,
                       const std::filesystem::path& output)
    : running_(std::make_unique<Running>()) {
  std::vector<std::string> words{DRAVLOPRO_SIM_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<std::string> variables{"XDG_CONFIG_HOME=" + home.string(),
                                     "DRAVLOPRO_SIM_DIR=" + (home / "bench").string()};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (variable.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
        variable.rfind("DRAVLOPRO_SIM_DIR=", 0) != 0) {
      variables.push_back(variable);
    }
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&running_->pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
    running_->pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
}

SimProcess::~SimProcess() { Wait(); }

int SimProcess::Wait() {
  if (running_->pid <= 0) return -1;
  int status = 0;
  while (waitpid(running_->pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  running_->pid = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dravlopro::testing
