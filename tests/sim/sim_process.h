#pragma once

// One dravlopro-sim process, started on a bench folder and left running, as
// gang-programming scripts start them.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dravlopro::testing {

class SimProcess {
 public:
  // Starts dravlopro-sim with these arguments, its bench in home/bench and,
  // where the system lets the settings folder be chosen, its settings under
  // home; standard output goes into `output`, standard error nowhere.
  SimProcess(const std::filesystem::path& home, const std::vector<std::string>& arguments,
             const std::filesystem::path& output);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The exit status; -1 when the process did not start or did not exit.
  int Wait();

 private:
  struct Running;
  std::unique_ptr<Running> running_;
};

}  // namespace dravlopro::testing
