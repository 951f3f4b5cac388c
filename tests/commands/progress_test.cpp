// The progress line of "-a", "-v", "-dump", "-se" and "-me": drawn on the
// run's progress terminal only, erased when each command ends, and never a
// byte of difference on standard output. In-process against the simulated
// bench, and through a real pseudo-terminal with the built dravlopro-sim on
// a link slowed down for real.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "tests/commands/terminal_screen.h"
#include "tests/harness.h"
#include "tests/probe/probe_bench.h"
#include "tests/result_lines.h"

#if __has_include(<pty.h>)
#include <pty.h>
#include <termios.h>
#define DRAVLOPRO_HAVE_PTY 1
#endif

extern char** environ;

namespace dravlopro {
namespace {

namespace fs = std::filesystem;
using testing::kDefaultSelection;
using testing::kSuccess;

using testing::Screen;
using testing::Terminal;

bool Blank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string Erase(std::size_t width) { return "\r" + std::string(width, ' ') + "\r"; }

std::string Draw(const std::string& text) { return "\r" + text; }

class ProgressRunTest : public ::testing::Test {
 protected:
  ProgressRunTest() {
    for (std::uint32_t i = 0; i < 1024; ++i) bench.chip().SetSramWord(0x20000000 + 4 * i, i);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 + 1);
    imageFile = dir.Write("image.bin", image).string();
  }

  // Every answer of the adapter takes this long, in the bench's time.
  void SlowLink(std::uint64_t ms) {
    for (std::size_t i = 0; i < 20000; ++i) bench.hid.lateAnswers[i] = ms;
  }

  int Run(const std::vector<std::string>& words, OutputSink* progress) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    for (const std::string& w : words) argv.push_back(Widen(w));
    bench.console.out.clear();
    bench.hid.trace.clear();
    Environment environment{bench.hid, bench.clock, bench.settings, bench.console, bench.errors};
    environment.progress = progress;
    return RunDriver(argv, environment);
  }

  probetest::TargetBench bench;
  testing::ScratchDir dir;
  std::string image = std::string(130, '\0');
  std::string imageFile;
  Terminal terminal;
};

TEST_F(ProgressRunTest, EachLongCommandDrawsItsLineAndErasesItWhenItEnds) {
  SlowLink(120);
  const std::string dump = (dir.path() / "dump.bin").string();
  ASSERT_EQ(Run({"-a", imageFile, "-v", imageFile, "-dump", "0x20000000", "1024", dump, "-se", "0",
                 "2", "-r32", "0x20000000", "1"},
                &terminal),
            0);
  const std::vector<std::string> expected{
      // 130 bytes: two packets of 62 and one of 6.
      Draw("-a: 0/130 bytes (0%)"), Draw("-a: 62/130 bytes (47%)"), Draw("-a: 124/130 bytes (95%)"),
      Draw("-a: 130/130 bytes (100%)"), Erase(24),
      // 33 words: one piece.
      Draw("-v: 0/130 bytes (0%)"), Draw("-v: 130/130 bytes (100%)"), Erase(24),
      // Pieces of 256 words.
      Draw("-dump: 0/4096 bytes (0%)"), Draw("-dump: 1024/4096 bytes (25%)"),
      Draw("-dump: 2048/4096 bytes (50%)"), Draw("-dump: 3072/4096 bytes (75%)"),
      Draw("-dump: 4096/4096 bytes (100%)"), Erase(29),
      // One count per page erased.
      Draw("-se: 0/3 pages (0%)"), Draw("-se: 1/3 pages (33%)"), Draw("-se: 2/3 pages (66%)"),
      Draw("-se: 3/3 pages (100%)"), Erase(21)};
  EXPECT_EQ(terminal.writes, expected);
  EXPECT_EQ(bench.output(), kDefaultSelection + "0x20000000:  00000000 \n" + kSuccess);
  EXPECT_EQ(testing::ScratchDir::Read(dump).size(), 4096u);
}

TEST_F(ProgressRunTest, TheAdapterEraseShowsHowLongItHasWaited) {
  // "-me": the version read, the query header, then the erase header, whose
  // answer comes after 3.1 s.
  bench.hid.lateAnswers[2] = 3100;
  ASSERT_EQ(Run({"-me"}, &terminal), 0);
  const std::vector<std::string> expected{Draw("-me: erasing"), Draw("-me: erasing, waiting 1 s"),
                                          Draw("-me: erasing, waiting 2 s"),
                                          Draw("-me: erasing, waiting 3 s"), Erase(25)};
  EXPECT_EQ(terminal.writes, expected);
  EXPECT_EQ(bench.output(), kDefaultSelection + kSuccess);
}

TEST_F(ProgressRunTest, AWaitForTheLastPacketShowsAfterTheCount) {
  // The answer of the last data packet (the version read, the query header,
  // the download header, then three packets) takes 1.5 s.
  bench.hid.lateAnswers[5] = 1500;
  ASSERT_EQ(Run({"-a", imageFile}, &terminal), 0);
  // Every other answer takes no time here: the counts in between come too
  // soon after the first drawing to be drawn, and the first slice of the
  // wait catches up with them.
  const std::vector<std::string> expected{
      Draw("-a: 0/130 bytes (0%)"), Draw("-a: 124/130 bytes (95%)"),
      Draw("-a: 124/130 bytes (95%), waiting 1 s"),
      Draw("-a: 130/130 bytes (100%)" + std::string(12, ' ')), Erase(36)};
  EXPECT_EQ(terminal.writes, expected);
}

TEST_F(ProgressRunTest, StandardOutputIsTheSameWatchedOrNot) {
  SlowLink(120);
  const std::string dump = (dir.path() / "dump.bin").string();
  const std::vector<std::string> line{"-a",  imageFile, "-v",    imageFile, "-dump", "0x20000000",
                                      "256", dump,      "-se",   "1",       "-me",   "-r32",
                                      "0x0", "4",       "-halt", "-run"};
  ASSERT_EQ(Run(line, nullptr), 0);
  const std::string unwatched = bench.output();
  ASSERT_EQ(Run(line, &terminal), 0);
  EXPECT_EQ(bench.output(), unwatched);
  EXPECT_FALSE(terminal.writes.empty());

  // A failing command erases its line too, before the result line.
  terminal.writes.clear();
  bench.chip().SetFlashBytes(0x10, {0x00});
  EXPECT_EQ(Run({"-v", imageFile}, &terminal), 12);
  ASSERT_FALSE(terminal.writes.empty());
  EXPECT_EQ(terminal.writes.front(), Draw("-v: 0/130 bytes (0%)"));
  EXPECT_TRUE(Blank(Screen(terminal.All())));
  EXPECT_EQ(terminal.writes.back().back(), '\r');
}

TEST_F(ProgressRunTest, QuietRunsAndShortCommandsDrawNothing) {
  SlowLink(120);
  const std::string dump = (dir.path() / "dump.bin").string();
  ASSERT_EQ(Run({"-q", "-me", "-a", imageFile, "-v", imageFile, "-dump", "0x20000000", "256", dump,
                 "-se", "1"},
                &terminal),
            0);
  EXPECT_TRUE(terminal.writes.empty());
  EXPECT_EQ(bench.output(), "");
  // "-q" anywhere on the line counts for every command.
  ASSERT_EQ(Run({"-v", imageFile, "-q"}, &terminal), 0);
  EXPECT_TRUE(terminal.writes.empty());
  // Commands that take no time worth showing have no line.
  ASSERT_EQ(Run({"-r32", "0x20000000", "256", "-w32", "0x20000000", "1", "-rob", "-halt", "-rst"},
                &terminal),
            0);
  EXPECT_TRUE(terminal.writes.empty());
}

// --- The built program, through a real pseudo-terminal ---

// The environment of a dravlopro-sim run on the bench in home, its answers
// held back by answerMs for real.
std::vector<std::string> SimEnvironment(const fs::path& home, const std::string& answerMs) {
  std::vector<std::string> variables{"XDG_CONFIG_HOME=" + home.string(),
                                     "DRAVLOPRO_SIM_DIR=" + (home / "bench").string(),
                                     "DRAVLOPRO_SIM_ANSWER_MS=" + answerMs};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    if (variable.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
        variable.rfind("DRAVLOPRO_SIM_DIR=", 0) != 0 &&
        variable.rfind("DRAVLOPRO_SIM_ANSWER_MS=", 0) != 0) {
      variables.push_back(variable);
    }
  }
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& w : words) pointers.push_back(w.data());
  pointers.push_back(nullptr);
  return pointers;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Finished {
  int status = -1;
  std::string out;     // standard output
  std::string err;     // standard error: the terminal's bytes, a file's or a pipe's
  double seconds = 0;  // from start to end
};

std::vector<std::string> SimWords(const std::vector<std::string>& arguments) {
  std::vector<std::string> words{DRAVLOPRO_SIM_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  return words;
}

// Standard output to a file, standard error to a file or, with errorPipe, a
// pipe.
Finished RunRedirected(const fs::path& home, const std::vector<std::string>& arguments,
                       const std::string& answerMs, bool errorPipe = false) {
  std::vector<std::string> words = SimWords(arguments);
  std::vector<std::string> variables = SimEnvironment(home, answerMs);
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(variables);
  const fs::path out = home / "stdout.txt";
  const fs::path err = home / "stderr.txt";
  int pipeEnds[2] = {-1, -1};
  if (errorPipe && pipe(pipeEnds) != 0) return {};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (errorPipe) {
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  Finished finished;
  pid_t pid = -1;
  const auto start = std::chrono::steady_clock::now();
  const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (errorPipe) {
    close(pipeEnds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      finished.err.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
  }
  if (!started) return finished;
  finished.status = ExitStatus(pid);
  finished.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  finished.out = testing::ScratchDir::Read(out);
  if (!errorPipe) finished.err = testing::ScratchDir::Read(err);
  return finished;
}

#ifdef DRAVLOPRO_HAVE_PTY
// Standard input and standard error on a new pseudo-terminal (raw: the bytes
// arrive as written), standard output to a file.
Finished RunOnTerminal(const fs::path& home, const std::vector<std::string>& arguments,
                       const std::string& answerMs) {
  std::vector<std::string> words = SimWords(arguments);
  std::vector<std::string> variables = SimEnvironment(home, answerMs);
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(variables);
  const std::string out = (home / "stdout.txt").string();

  termios raw{};
  cfmakeraw(&raw);
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  int terminal = -1;
  Finished finished;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = forkpty(&terminal, nullptr, &raw, &size);
  if (pid < 0) return finished;
  if (pid == 0) {
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || dup2(file, 1) < 0) _exit(126);
    close(file);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  // Read until the program's side is closed: EIO on Linux.
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n > 0) {
      finished.err.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(terminal);
  finished.status = ExitStatus(pid);
  finished.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  finished.out = testing::ScratchDir::Read(out);
  return finished;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The bench's slow answers come as a real link's do: the tool waits for them
// in its reads, and the line shows that wait.
TEST(ProgressTerminal, ASlowBenchAnswerShowsAsAWait) {
  testing::ScratchDir home;
  std::filesystem::create_directories(home.path() / "bench");
  home.Write("bench/bench.txt", "dravlopro-sim bench 1\nadapter SIM00001 2.0.0\n");
  const Finished watched = RunOnTerminal(home.path(), {"-me"}, "1300");
  EXPECT_EQ(watched.status, 0);
  EXPECT_EQ(watched.out, kDefaultSelection + kSuccess);
  EXPECT_NE(watched.err.find("\r-me: erasing, waiting 1 s"), std::string::npos) << watched.err;
}

TEST(ProgressTerminal, TheBuiltProgramDrawsOnATerminalAndNowhereElse) {
  testing::ScratchDir home;
  // 32 KB: over a link of 1 ms per answer, about a second for each of "-a"
  // and "-v".
  std::string image(32768, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + i / 256);
  const std::string imageFile = home.Write("image.bin", image).string();
  const std::string dump = (home.path() / "dump.bin").string();
  // A bench that is there already: no line about a new one.
  std::filesystem::create_directories(home.path() / "bench");
  home.Write("bench/bench.txt", "dravlopro-sim bench 1\nadapter SIM00001 2.0.0\n");
  const std::vector<std::string> line{"-a",   imageFile, "-v",  imageFile, "-dump", "0x20000000",
                                      "2048", dump,      "-se", "0",       "3",     "-me"};

  const Finished watched = RunOnTerminal(home.path(), line, "1");
  ASSERT_EQ(watched.status, 0) << watched.out;
  const std::string& seen = watched.err;
  // Every command's line appeared, drawn from the start of the line.
  for (const std::string first :
       {"\r-a: 0/32768 bytes (0%)", "\r-v: 0/32768 bytes (0%)", "\r-dump: 0/8192 bytes (0%)",
        "\r-se: 0/4 pages (0%)", "\r-me: erasing"}) {
    EXPECT_NE(seen.find(first), std::string::npos) << first;
  }
  // Drawn again in place: several drawings of "-a" alone, never a new line,
  // only short ASCII text.
  EXPECT_GE(Count(seen, "\r-a: "), 3u);
  EXPECT_EQ(seen.find('\n'), std::string::npos);
  for (const char c : seen) {
    EXPECT_TRUE(c == '\r' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
  }
  for (std::size_t at = 0; at < seen.size();) {
    const std::size_t next = seen.find('\r', at + 1);
    const std::size_t end = next == std::string::npos ? seen.size() : next;
    EXPECT_LE(end - at - 1, 79u);
    at = end;
  }
  // About ten drawings a second at most: the first drawing of each of the
  // five commands comes at once, every other one at least 100 ms after the
  // one before.
  const std::size_t drawings = Count(seen, "\r-");
  EXPECT_LE(static_cast<double>(drawings), watched.seconds * 10 + 5 + 1)
      << drawings << " drawings in " << watched.seconds << " s";
  // Erased when each command ended: the terminal's line is blank.
  EXPECT_TRUE(Blank(Screen(seen))) << Screen(seen);
  EXPECT_EQ(watched.out, kDefaultSelection + kSuccess);

  // The same command with standard error in a file: the same standard
  // output, and an empty file.
  const Finished toFile = RunRedirected(home.path(), line, "1");
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(toFile.out, watched.out);
  EXPECT_EQ(toFile.err.size(), 0u) << "standard error in a file got bytes";

  // And into a pipe (a shorter line, to save time).
  const std::vector<std::string> shorter{"-dump", "0x20000000", "2048", dump,
                                         "-se",   "0",          "3",    "-me"};
  const Finished toPipe = RunRedirected(home.path(), shorter, "1", true);
  EXPECT_EQ(toPipe.status, 0);
  EXPECT_EQ(toPipe.out, kDefaultSelection + kSuccess);
  EXPECT_EQ(toPipe.err.size(), 0u) << "standard error in a pipe got bytes";

  // On the terminal, but quiet: nothing anywhere.
  std::vector<std::string> quiet = shorter;
  quiet.push_back("-q");
  const Finished silent = RunOnTerminal(home.path(), quiet, "1");
  EXPECT_EQ(silent.status, 0);
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.err, "");
}
#endif

TEST(ProgressTerminal, TheSlowLinkTakesOnlyWholeMilliseconds) {
  testing::ScratchDir home;
  for (const std::string bad : {"fast", "-1", "1.5", "60001"}) {
    const Finished run = RunRedirected(home.path(), {"-list"}, bad);
    EXPECT_EQ(run.status, 1) << bad;
    EXPECT_EQ(run.out, "") << bad;
    EXPECT_EQ(run.err,
              "dravlopro-sim: DRAVLOPRO_SIM_ANSWER_MS must be a whole number of milliseconds, at "
              "most 60000\n")
        << bad;
  }
  const Finished plain = RunRedirected(home.path(), {"-list"}, "");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.out, "ID:0, SN:SIM00001.\r\n" + kSuccess);
}

}  // namespace
}  // namespace dravlopro
