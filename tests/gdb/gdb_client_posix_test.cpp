// gdb-multiarch, in batch mode, debugging the example firmware on the
// virtual bench through dravlopro-sim --gdb.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_cpu.h"
#include "tests/harness.h"
#include "tests/support/process.h"

extern char** environ;

namespace dravlopro {
namespace {

const std::filesystem::path kExample =
    std::filesystem::path(DRAVLOPRO_SOURCE_DIR) / "examples/blinky";

bool HaveGdb() {
  testing::ProcessRun run{"/bin/sh", {"-c", "command -v gdb-multiarch"}, {}, {}, {}};
  return testing::RunProcess(run).status == 0;
}

// dravlopro-sim --gdb on any free port, its messages in a file.
class SimServer {
 public:
  SimServer(const std::filesystem::path& bench, const std::filesystem::path& log) : log_(log) {
    const std::string folder = "DRAVLOPRO_SIM_DIR=" + bench.string();
    const std::string redirect =
        "exec \"$0\" --gdb --port 0 2>\"$1\"";  // the shell only routes standard error
    std::vector<std::string> words = {"/bin/sh", "-c", redirect, DRAVLOPRO_SIM_BINARY,
                                      log.string()};
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {folder};
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("DRAVLOPRO_SIM_DIR=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    // The port it listens on, from its first line.
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    for (int waits = 0; waits < 200 && port_.empty(); ++waits) {
      std::smatch m;
      const std::string text = testing::ScratchDir::Read(log_);
      if (std::regex_search(text, m, listening)) port_ = m[1];
      if (port_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~SimServer() { Stop(); }
  const std::string& port() const { return port_; }
  // Asks it to stop as Ctrl-C would; its exit status.
  int Stop() {
    if (pid_ <= 0) return status_;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
  }
  std::string messages() const { return testing::ScratchDir::Read(log_); }

 private:
  std::filesystem::path log_;
  pid_t pid_ = -1;
  std::string port_;
  int status_ = -1;
};

std::string RunGdb(const testing::ScratchDir& dir, const std::string& name,
                   const std::string& script) {
  const std::filesystem::path file = dir.Write(name, script);
  testing::ProcessRun run{"/bin/sh",
                          {"-c", "timeout 60 gdb-multiarch -nx -batch -x \"$0\" \"$1\" 2>&1",
                           file.string(), (kExample / "blinky.elf").string()},
                          {},
                          {},
                          dir.path()};
  return testing::RunProcess(run).out;
}

// The counter word the bench shows, read by the tool.
std::uint32_t Counter(const std::filesystem::path& bench) {
  testing::ProcessRun run{DRAVLOPRO_SIM_BINARY,
                          {"-r32", "0x20000000", "1"},
                          {{"DRAVLOPRO_SIM_DIR", bench.string()}},
                          {},
                          {}};
  const std::string out = testing::RunProcess(run).out;
  const std::size_t at = out.find("0x20000000:");
  return at == std::string::npos ? 0 : std::stoul(out.substr(at + 11), nullptr, 16);
}

TEST(GdbClient, DebugsTheExampleOnTheVirtualBench) {
  if (!HaveGdb()) GTEST_SKIP() << "gdb-multiarch is not installed";
  if (!sim::SimCpu::Executes()) GTEST_SKIP() << sim::SimCpu::WhyNot();
  if (!std::filesystem::exists(kExample / "blinky.elf")) {
    GTEST_SKIP() << "examples/blinky/blinky.elf is not there";
  }
  testing::ScratchDir dir;
  const std::filesystem::path bench = dir.path() / "bench";
  testing::ProcessRun program{DRAVLOPRO_SIM_BINARY,
                              {"-a", (kExample / "blinky.hex").string()},
                              {{"DRAVLOPRO_SIM_DIR", bench.string()}},
                              {},
                              {}};
  ASSERT_EQ(testing::RunProcess(program).status, 0);

  SimServer server(bench, dir.path() / "server.log");
  ASSERT_FALSE(server.port().empty()) << server.messages();
  const std::string target = "target extended-remote :" + server.port() + "\n";
  const std::string out = RunGdb(dir, "session.gdb",
                                 "set pagination off\nset confirm off\n" + target +
                                     "monitor reset halt\n"
                                     "maintenance flush register-cache\n"
                                     "info registers pc sp\n"
                                     "break main\ncontinue\nnext\nstepi\n"
                                     "watch blink_count\ncontinue\ndelete\n"
                                     "shell (sleep 1; kill -INT $PPID) &\n"
                                     "continue\n"
                                     "print blink_count > 0\n"
                                     "shell gdb-multiarch -nx -batch -ex '" +
                                     target.substr(0, target.size() - 1) +
                                     "' 2>&1 | sed 's/^/second: /'\n"
                                     "detach\n");
  EXPECT_TRUE(std::regex_search(out, std::regex("pc +0x[0-9a-f]+ +0x[0-9a-f]+ <Reset_Handler>")))
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("sp +0x20002000"))) << out;
  EXPECT_NE(out.find("Breakpoint 1, main () at blinky.c:23"), std::string::npos) << out;
  EXPECT_NE(out.find("25\t    GPIO_DOUT ^= 1u << LED_PIN;"), std::string::npos) << out;  // next
  EXPECT_TRUE(std::regex_search(out, std::regex("0x[0-9a-f]+\t25\t"))) << out;           // stepi
  EXPECT_NE(out.find("Old value = 0\nNew value = 1"), std::string::npos) << out;
  EXPECT_NE(out.find("Program received signal SIGINT"), std::string::npos) << out;
  EXPECT_NE(out.find("$1 = 1"), std::string::npos) << out;
  EXPECT_NE(out.find("second: warning: Remote failure reply: E.another debugger is connected"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[Inferior 1 (Remote target) detached]"), std::string::npos) << out;

  // Detached, the core runs on; a new session finds the server ready.
  const std::string again = RunGdb(dir, "again.gdb",
                                   target +
                                       "print blink_count > 0\nload\ncompare-sections\n"
                                       "monitor reset halt\ndetach\n");
  EXPECT_NE(again.find("$1 = 1"), std::string::npos) << again;
  EXPECT_NE(again.find("Section .text, range 0x0 -- 0xb8: matched."), std::string::npos) << again;
  EXPECT_EQ(again.find("MIS-MATCHED"), std::string::npos) << again;
  EXPECT_NE(again.find("target reset, halted"), std::string::npos) << again;
  EXPECT_EQ(server.Stop(), 0) << server.messages();
  EXPECT_NE(server.messages().find("refused"), std::string::npos) << server.messages();

  // The bench afterwards: the firmware was left running, its counter moves.
  const std::uint32_t first = Counter(bench);
  EXPECT_GT(Counter(bench), first);
}

}  // namespace
}  // namespace dravlopro
