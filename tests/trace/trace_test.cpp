// Field traces: recording with DRAVLOPRO_TRACE, replaying with
// dravlopro-sim --replay, and the golden traces under tests/golden/traces.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <tuple>
#include <vector>

#include "tests/harness.h"
#include "tests/result_lines.h"
#include "tests/support/process.h"
#include "trace/format.h"

namespace dravlopro {
namespace {

using namespace testing;

// Runs the program from the source folder with a private configuration and
// bench folder; `trace` empty leaves DRAVLOPRO_TRACE unset.
ProcessOutcome RunTraced(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& home, const std::string& trace = "") {
  ProcessRun run;
  run.program = program;
  run.arguments = arguments;
  run.directory = DRAVLOPRO_SOURCE_DIR;
  run.set = {{"XDG_CONFIG_HOME", home.string()},
             {"APPDATA", home.string()},
             {"DRAVLOPRO_SIM_DIR", (home / "bench").string()}};
  if (trace.empty()) {
    run.unset = {"DRAVLOPRO_TRACE"};
  } else {
    run.set.emplace_back("DRAVLOPRO_TRACE", trace);
  }
  return RunProcess(run);
}

// The words split at blanks, for command lines without files.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// "--replay FILE" and then the rest.
std::vector<std::string> Replay(const std::filesystem::path& file,
                                const std::vector<std::string>& rest) {
  std::vector<std::string> words{"--replay", file.string()};
  words.insert(words.end(), rest.begin(), rest.end());
  return words;
}

std::vector<trace::Record> ReadTrace(const std::filesystem::path& file) {
  std::vector<trace::Record> events;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    trace::Record event;
    EXPECT_TRUE(trace::ParseLine(line, event)) << line;
    events.push_back(event);
  }
  return events;
}

// The command line of the trace's first run, without the program.
std::vector<std::string> RecordedArguments(const std::vector<trace::Record>& events) {
  if (events.empty()) return {};
  const auto found = events.front().arrays.find("argv");
  if (found == events.front().arrays.end() || found->second.empty()) return {};
  return {found->second.begin() + 1, found->second.end()};
}

std::string RecordedOutput(const std::vector<trace::Record>& events) {
  std::string out;
  for (const trace::Record& event : events) {
    if (event.Get("ev") == "out") out += event.Get("text");
  }
  return out;
}

int RecordedResult(const std::vector<trace::Record>& events) {
  for (const trace::Record& event : events) {
    if (event.Get("ev") == "end") return static_cast<int>(event.Int("result"));
  }
  return -1;
}

std::size_t CountEvents(const std::vector<trace::Record>& events, const std::string& kind) {
  std::size_t count = 0;
  for (const trace::Record& event : events) count += event.Get("ev") == kind ? 1 : 0;
  return count;
}

std::filesystem::path GoldenTrace(const std::string& name) {
  return std::filesystem::path(DRAVLOPRO_SOURCE_DIR) / "tests/golden/traces" / (name + ".jsonl");
}

std::size_t LineCount(const std::string& text) {
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

TEST(TraceFormat, LinesReadBackAsWritten) {
  const std::uint8_t bytes[] = {0x00, 0x05, 0xAB, 0xFF};
  const std::string text = trace::Line(12, "0a1b", "out")
                               .Str("text", "a \"quoted\"\\ line\r\n\x01")
                               .Num("n", -3)
                               .Bool("ok", false)
                               .Null("serial")
                               .Strs("argv", {"dravlopro", "-sn", "\xC3\xA9t\xC3\xA9"})
                               .Str("data", trace::Hex(bytes, sizeof bytes))
                               .Text();
  EXPECT_EQ(text.find('\n'), text.size() - 1) << "one event, one line";
  trace::Record event;
  ASSERT_TRUE(trace::ParseLine(text.substr(0, text.size() - 1), event)) << text;
  EXPECT_EQ(event.Int("ms"), 12);
  EXPECT_EQ(event.Get("run"), "0a1b");
  EXPECT_EQ(event.Get("ev"), "out");
  EXPECT_EQ(event.Get("text"), "a \"quoted\"\\ line\r\n\x01");
  EXPECT_EQ(event.Int("n"), -3);
  EXPECT_EQ(event.Get("ok"), "false");
  EXPECT_TRUE(event.IsNull("serial"));
  EXPECT_FALSE(event.Has("serial"));
  EXPECT_EQ(event.arrays["argv"],
            (std::vector<std::string>{"dravlopro", "-sn", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_EQ(event.Get("data"), "0005abff");
  std::vector<std::uint8_t> back;
  ASSERT_TRUE(trace::FromHex(event.Get("data"), back));
  EXPECT_EQ(back, std::vector<std::uint8_t>(bytes, bytes + sizeof bytes));

  // What a script or a person might write by hand reads too.
  ASSERT_TRUE(trace::ParseLine(R"( { "ev" : "x", "s":"\u00e9\/", "a": [ ] } )", event));
  EXPECT_EQ(event.Get("s"), "\xC3\xA9/");
  EXPECT_TRUE(event.arrays["a"].empty());
  // Escaped UTF-16: a surrogate pair is one character, a lone half U+FFFD.
  ASSERT_TRUE(trace::ParseLine(R"({"s":"\ud83d\ude00\ud800x"})", event));
  EXPECT_EQ(event.Get("s"), "\xF0\x9F\x98\x80\xEF\xBF\xBDx");
  for (const char* bad :
       {"", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"x} ", "[1]", "{\"a\":1} x"}) {
    EXPECT_FALSE(trace::ParseLine(bad, event)) << bad;
  }
  EXPECT_FALSE(trace::FromHex("abc", back));
  EXPECT_FALSE(trace::FromHex("zz", back));
}

// Each golden trace replays against this build to the recorded end: every
// request byte as recorded, the recorded output and result code.
TEST(GoldenTraces, ReplayToTheRecordedEnd) {
  const std::vector<std::pair<std::string, int>> traces = {
      {"blinky", 0}, {"locked", 14}, {"no-target", 2}, {"erase-fails", 11}};
  for (const auto& [name, result] : traces) {
    SCOPED_TRACE(name);
    ScratchDir home;
    const std::vector<trace::Record> events = ReadTrace(GoldenTrace(name));
    ASSERT_FALSE(events.empty());
    ASSERT_EQ(events.front().Get("ev"), "run");
    // The trace is what its name says.
    ASSERT_EQ(RecordedResult(events), result);
    EXPECT_GT(CountEvents(events, "write"), 0u);

    const ProcessOutcome o = RunTraced(
        DRAVLOPRO_SIM_BINARY, Replay(GoldenTrace(name), RecordedArguments(events)), home.path());
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, result);
    EXPECT_EQ(o.out, ConsoleBytes(RecordedOutput(events)));
    // A replay leaves no bench behind: it never opened one.
    EXPECT_FALSE(std::filesystem::exists(home.path() / "bench"));
  }
}

// A request that differs from the recorded one by one byte stops the replay
// there with 90, naming the exchange, both requests and the command.
TEST(GoldenTraces, AChangedRequestNamesTheExchange) {
  ScratchDir home;
  const std::string golden = ScratchDir::Read(GoldenTrace("blinky"));
  const std::vector<trace::Record> events = ReadTrace(GoldenTrace("blinky"));

  // Doctor the recorded request of exchange 12: the run's own request then
  // differs from it in byte 3.
  std::istringstream lines(golden);
  std::string line;
  std::string doctored;
  std::string recorded;
  std::string changed;
  std::string commandThen;
  while (std::getline(lines, line)) {
    trace::Record event;
    ASSERT_TRUE(trace::ParseLine(line, event));
    if (event.Get("ev") == "command" && recorded.empty()) commandThen = event.Get("word");
    if (event.Get("ev") == "write" && event.Int("n") == 12) {
      recorded = event.Get("data");
      changed = recorded;
      changed[6] = changed[6] == 'f' ? '0' : 'f';
      line.replace(line.find(recorded), recorded.size(), changed);
    }
    doctored += line + "\n";
  }
  ASSERT_FALSE(recorded.empty());
  const auto file = home.Write("doctored.jsonl", doctored);

  ProcessOutcome o =
      RunTraced(DRAVLOPRO_SIM_BINARY, Replay(file, RecordedArguments(events)), home.path());
  EXPECT_EQ(o.status, 90);
  EXPECT_NE(o.err.find("exchange 12 (in command " + commandThen), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("trace: request " + changed), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("run:   request " + recorded), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("first difference at byte 3"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("recorded with"), std::string::npos) << o.err;
  // The run stopped there: no result line.
  EXPECT_EQ(o.out.find("Result:"), std::string::npos) << o.out;

  // A run that needs more exchanges than the trace holds stops at the first
  // one missing; a trace with exchanges the run never makes (here the line
  // is refused before any) is flagged once the run has ended.
  std::string shortened;
  std::istringstream again(golden);
  std::size_t writesLeft = CountEvents(events, "write") - 1;
  while (std::getline(again, line)) {
    trace::Record event;
    ASSERT_TRUE(trace::ParseLine(line, event));
    if (event.Get("ev") == "write" && writesLeft-- == 0) break;
    shortened += line + "\n";
  }
  const auto shortFile = home.Write("short.jsonl", shortened);
  o = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(shortFile, RecordedArguments(events)), home.path());
  EXPECT_EQ(o.status, 90);
  EXPECT_NE(o.err.find("trace: the end of the trace"), std::string::npos) << o.err;

  o = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(GoldenTrace("blinky"), Words("-id 1 -sn 123")),
                home.path());
  EXPECT_EQ(o.status, 90);
  EXPECT_NE(o.err.find("run:   the end of the run"), std::string::npos) << o.err;
  // Off from the very first exchange: the recorded command line is shown.
  EXPECT_NE(o.err.find("dravlopro-sim:   the trace was recorded with: -a "
                       "examples/blinky/blinky.hex -v examples/blinky/blinky.hex -r32 0x0 8"),
            std::string::npos)
      << o.err;
  EXPECT_EQ(LineCount(o.err), 4u) << o.err;

  o = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(home.path() / "missing.jsonl", {"-rob"}), home.path());
  EXPECT_EQ(o.status, 91);
  EXPECT_EQ(LineCount(o.err), 1u) << o.err;
}

// A replay that cannot trust its trace or its run number never starts.
TEST(GoldenTraces, AnUnusableTraceOrRunNumberGives91) {
  ScratchDir home;
  const std::vector<std::string> line = RecordedArguments(ReadTrace(GoldenTrace("blinky")));
  for (const char* run : {"1x", "99999999999", "0"}) {
    std::vector<std::string> words{"--run", run};
    words.insert(words.end(), line.begin(), line.end());
    const ProcessOutcome o =
        RunTraced(DRAVLOPRO_SIM_BINARY, Replay(GoldenTrace("blinky"), words), home.path());
    EXPECT_EQ(o.status, 91) << run;
    EXPECT_EQ(LineCount(o.err), 1u) << o.err;
  }
  // "--run" without its number.
  const ProcessOutcome bare =
      RunTraced(DRAVLOPRO_SIM_BINARY, Replay(GoldenTrace("blinky"), {"--run"}), home.path());
  EXPECT_EQ(bare.status, 91);
  EXPECT_EQ(LineCount(bare.err), 1u) << bare.err;
  // A read whose answer bytes are missing, odd in number or not hex.
  for (const char* bytes : {"", "0", "zz"}) {
    std::string golden = ScratchDir::Read(GoldenTrace("blinky"));
    const std::size_t read = golden.find("\"ev\":\"read\"");
    const std::size_t data = golden.find("\"data\":\"", read) + 8;
    golden.replace(data, golden.find('"', data) - data, bytes);
    const ProcessOutcome o = RunTraced(
        DRAVLOPRO_SIM_BINARY, Replay(home.Write("bad-data.jsonl", golden), line), home.path());
    EXPECT_EQ(o.status, 91) << bytes;
    EXPECT_NE(o.err.find("is a read without the bytes read"), std::string::npos) << o.err;
  }
}

// Recording changes neither the output nor the result; the trace holds the
// run's context and every exchange, and replays to the same end.
TEST(TraceRecording, LeavesOutputAndResultAsTheyAre) {
  const std::string hex = "examples/blinky/blinky.hex";
  const std::vector<std::string> job = Words("-a " + hex + " -v " + hex + " -r32 0x0 8");
  ScratchDir plain;
  ScratchDir traced;
  const ProcessOutcome without = RunTraced(DRAVLOPRO_SIM_BINARY, job, plain.path());
  const std::string file = (traced.path() / "trace.jsonl").string();
  const ProcessOutcome with = RunTraced(DRAVLOPRO_SIM_BINARY, job, traced.path(), file);
  EXPECT_EQ(without.status, 0);
  EXPECT_EQ(with.status, without.status);
  EXPECT_EQ(with.out, without.out);
  EXPECT_EQ(with.err, "");

  const std::vector<trace::Record> events = ReadTrace(file);
  ASSERT_FALSE(events.empty());
  const trace::Record& run = events.front();
  EXPECT_EQ(run.Get("ev"), "run");
  EXPECT_EQ(run.Get("version"), "v1.0.1.0");
  EXPECT_EQ(run.Get("platform"), DRAVLOPRO_PLATFORM_NAME);
  const auto argv = run.arrays.find("argv");
  ASSERT_NE(argv, run.arrays.end());
  EXPECT_EQ(argv->second.size(), 8u);
  EXPECT_EQ(argv->second.back(), "8");
  EXPECT_EQ(RecordedResult(events), 0);
  EXPECT_EQ(events.back().Get("ev"), "end");
  EXPECT_EQ(ConsoleBytes(RecordedOutput(events)), with.out);
  bool adapterSeen = false;
  for (const trace::Record& event : events) {
    if (event.Get("ev") == "adapter") {
      adapterSeen = true;
      EXPECT_EQ(event.Get("serial"), "SIM00001");
      EXPECT_EQ(event.Get("version"), "2.0.0");
    }
    if (event.Get("ev") == "write" || event.Get("ev") == "read") {
      EXPECT_EQ(event.Get("data").size(), 130u);
      EXPECT_GE(event.Int("ms"), 0);
    }
  }
  EXPECT_TRUE(adapterSeen);
  EXPECT_EQ(CountEvents(events, "write"), CountEvents(events, "read"));
  EXPECT_EQ(CountEvents(events, "command"), 3u);

  // A second run appends its own; the replay picks a run by its number.
  const ProcessOutcome second = RunTraced(DRAVLOPRO_SIM_BINARY, {"-rob"}, traced.path(), file);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(CountEvents(ReadTrace(file), "run"), 2u);
  ProcessOutcome replayed =
      RunTraced(DRAVLOPRO_SIM_BINARY, Replay(file, Words("--run 2 -rob")), traced.path());
  EXPECT_EQ(replayed.status, 0);
  EXPECT_EQ(replayed.out, second.out);
  replayed = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(file, job), traced.path());
  EXPECT_EQ(replayed.status, 0);
  EXPECT_EQ(replayed.out, with.out);
  EXPECT_EQ(replayed.err, "");
}

// Runs sharing one trace file (a gang run) interleave their lines: each line
// carries its run's mark, so that each run replays on its own, while a run
// of an older build (no marks) in the same file replays as it always did.
TEST(TraceRecording, RunsSharingAFileReplayOneByOne) {
  ScratchDir home;
  const std::vector<std::string> jobs[] = {Words("-r32 0x0 4"), Words("-rob")};
  std::vector<std::string> lines[2];
  std::string outputs[2];
  for (int k = 0; k < 2; ++k) {
    const std::filesystem::path own = home.path() / std::to_string(k);
    std::filesystem::create_directories(own);
    const std::string file = (own / "trace.jsonl").string();
    const ProcessOutcome o = RunTraced(DRAVLOPRO_SIM_BINARY, jobs[k], own, file);
    ASSERT_EQ(o.status, 0);
    outputs[k] = o.out;
    std::istringstream in(ScratchDir::Read(file));
    for (std::string line; std::getline(in, line);) lines[k].push_back(line + "\n");
    const std::vector<trace::Record> events = ReadTrace(file);
    const std::string mark = events.front().Get("run");
    EXPECT_EQ(mark.size(), 16u);
    for (const trace::Record& event : events) EXPECT_EQ(event.Get("run"), mark);
  }
  EXPECT_NE(ReadTrace(home.path() / "0/trace.jsonl").front().Get("run"),
            ReadTrace(home.path() / "1/trace.jsonl").front().Get("run"));

  // An older run first, then the two runs line by line in turn.
  std::string shared = ScratchDir::Read(GoldenTrace("locked"));
  for (std::size_t i = 0; i < lines[0].size() || i < lines[1].size(); ++i) {
    for (int k = 0; k < 2; ++k) shared += i < lines[k].size() ? lines[k][i] : "";
  }
  const auto file = home.Write("shared.jsonl", shared);
  const std::vector<trace::Record> older = ReadTrace(GoldenTrace("locked"));
  std::vector<std::string> words = Words("--run 1");
  const std::vector<std::string> olderLine = RecordedArguments(older);
  words.insert(words.end(), olderLine.begin(), olderLine.end());
  ProcessOutcome o = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(file, words), home.path());
  EXPECT_EQ(o.status, 14) << o.err;
  EXPECT_EQ(o.out, ConsoleBytes(RecordedOutput(older)));
  for (int k = 0; k < 2; ++k) {
    words = Words("--run " + std::to_string(k + 2));
    words.insert(words.end(), jobs[k].begin(), jobs[k].end());
    o = RunTraced(DRAVLOPRO_SIM_BINARY, Replay(file, words), home.path());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, outputs[k]);
  }
}

// The real tool records too; on this machine no adapter is attached, so the
// trace shows the empty enumeration and the result.
TEST(TraceRecording, TheToolRecordsItsRun) {
  ScratchDir home;
  const std::string file = (home.path() / "tool.jsonl").string();
  const ProcessOutcome without = RunTraced(DRAVLOPRO_BINARY, {"-list"}, home.path());
  if (without.status != 30) GTEST_SKIP() << "an adapter seems to be attached to this machine";
  const ProcessOutcome with = RunTraced(DRAVLOPRO_BINARY, {"-list"}, home.path(), file);
  EXPECT_EQ(with.status, 30);
  EXPECT_EQ(with.out, without.out);
  const std::vector<trace::Record> events = ReadTrace(file);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().Get("version"), "v1.0.1.0");
  EXPECT_GE(CountEvents(events, "scan"), 1u);
  EXPECT_EQ(RecordedResult(events), 30);
}

// A trace file that cannot be written costs one line on standard error and
// nothing else.
TEST(TraceRecording, AnUnwritableFileLeavesTheRunAlone) {
  ScratchDir plain;
  ScratchDir traced;
  const std::string unwritable = (traced.path() / "no-such-folder" / "trace.jsonl").string();
  const ProcessOutcome without =
      RunTraced(DRAVLOPRO_SIM_BINARY, Words("-rob -r32 0x0 2"), plain.path());
  const ProcessOutcome with =
      RunTraced(DRAVLOPRO_SIM_BINARY, Words("-rob -r32 0x0 2"), traced.path(), unwritable);
  EXPECT_EQ(with.status, 0);
  EXPECT_EQ(with.status, without.status);
  EXPECT_EQ(with.out, without.out);
  EXPECT_EQ(LineCount(with.err), 1u) << with.err;
  EXPECT_EQ(with.err.rfind("dravlopro-sim: cannot write the trace file " + unwritable, 0), 0u)
      << with.err;

  const ProcessOutcome tool =
      RunTraced(DRAVLOPRO_BINARY, Words("-id 1 -sn 123"), traced.path(), unwritable);
  EXPECT_EQ(tool.status, 1);
  EXPECT_EQ(tool.out, ConsoleBytes(kInvalid));
  EXPECT_EQ(LineCount(tool.err), 1u) << tool.err;
  EXPECT_EQ(tool.err.rfind("dravlopro: cannot write the trace file", 0), 0u) << tool.err;
}

// The bench words behind the failure traces: a target that does not answer,
// and a flash controller that fails page erases (and nothing else), which
// the adapter's engine then cannot program.
TEST(TraceRecording, BenchWordsForTheFailureCases) {
  for (const auto& [line, failing, code] : std::vector<std::tuple<std::string, std::string, int>>{
           {"adapter NT 2.0.0 no-target", "-r32 0x0 1", 2},
           {"adapter EF 2.0.0 erase-fails", "-se 0 0", 11},
           // The engine refuses the download it cannot erase for.
           {"adapter EF 2.0.0 erase-fails",
            "-a " DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex", 12}}) {
    SCOPED_TRACE(line);
    ScratchDir home;
    std::filesystem::create_directories(home.path() / "bench");
    home.Write("bench/bench.txt", "dravlopro-sim bench 1\n" + line + "\n");
    EXPECT_EQ(RunTraced(DRAVLOPRO_SIM_BINARY, Words(failing), home.path()).status, code);
    // A second run finds the same target, fault and all.
    EXPECT_EQ(RunTraced(DRAVLOPRO_SIM_BINARY, Words(failing), home.path()).status, code);
  }
  ScratchDir home;
  std::filesystem::create_directories(home.path() / "bench");
  home.Write("bench/bench.txt", "dravlopro-sim bench 1\nadapter EF 2.0.0 erase-fails\n");
  const ProcessOutcome o =
      RunTraced(DRAVLOPRO_SIM_BINARY, Words("-w32 0x400 0x12345678 -r32 0x400 1"), home.path());
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("0x00000400:  12345678"), std::string::npos) << o.out;
}

}  // namespace
}  // namespace dravlopro
