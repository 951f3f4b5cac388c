#include "gdb/server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "gdb/program.h"
#include "platform/socket.h"
#include "tests/gdb/gdb_bench.h"

namespace dravlopro {
namespace {

using gdbtest::SessionBench;

// The port from "127.0.0.1:PORT".
std::uint16_t PortOf(const StreamListener& listener) {
  const std::string where = listener.where();
  return static_cast<std::uint16_t>(std::stoi(where.substr(where.rfind(':') + 1)));
}

// Everything the server sends until it has sent `until` or closes (or
// nothing more comes within a few seconds).
std::string ReadUntil(ByteStream& stream, const std::string& until) {
  std::string got;
  std::uint8_t buffer[512];
  for (int waits = 0; waits < 50 && got.find(until) == std::string::npos; ++waits) {
    std::size_t n = 0;
    const ByteStream::Received r = stream.Receive(buffer, sizeof buffer, n, 100);
    if (r == ByteStream::Received::Closed || r == ByteStream::Received::Failed) break;
    got.append(reinterpret_cast<char*>(buffer), n);
  }
  return got;
}

bool Send(ByteStream& stream, const std::string& packet) {
  const std::string bytes = gdb::EncodePacket(packet);
  return stream.Send(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

struct RunningServer {
  explicit RunningServer(SessionBench& s) {
    std::string problem;
    listener = platform::ListenTcp(platform::kLoopbackAddress, 0, problem);
    EXPECT_TRUE(listener) << problem;
    gdb::ServeOptions options;
    options.stopRequested = [this] { return stop.load(); };
    thread = std::thread([this, &s, options] {
      exitStatus = gdb::Serve(*listener, s.target, s.bench.errors, options);
    });
  }
  ~RunningServer() {
    stop = true;
    thread.join();
  }
  std::unique_ptr<ByteStream> Connect() {
    std::string problem;
    auto stream = platform::ConnectTcp(platform::kLoopbackAddress, PortOf(*listener), problem);
    EXPECT_TRUE(stream) << problem;
    return stream;
  }
  std::unique_ptr<StreamListener> listener;
  std::atomic<bool> stop{false};
  std::thread thread;
  int exitStatus = -1;
};

TEST(GdbServer, OneClientAtATimeAndAVanishedClientLeavesItReady) {
  SessionBench s;
  RunningServer server(s);
  std::unique_ptr<ByteStream> first = server.Connect();
  ASSERT_TRUE(first && Send(*first, "qSupported"));
  EXPECT_NE(ReadUntil(*first, "#").find("PacketSize="), std::string::npos);

  std::unique_ptr<ByteStream> second = server.Connect();
  ASSERT_TRUE(second);
  const std::string refused = ReadUntil(*second, "\x01");  // until it closes
  EXPECT_NE(refused.find("$E.another debugger is connected"), std::string::npos) << refused;

  ASSERT_TRUE(Send(*first, "?"));
  EXPECT_NE(ReadUntil(*first, "T02").find("T02"), std::string::npos);
  first.reset();  // gone without a word

  std::unique_ptr<ByteStream> third = server.Connect();
  ASSERT_TRUE(third && Send(*third, "m20000000,4"));
  EXPECT_NE(ReadUntil(*third, "#").find("$00000000#"), std::string::npos);
}

TEST(GdbServer, ATakenPortIsRefusedWithTheSystemsReason) {
  std::string problem;
  std::unique_ptr<StreamListener> first = platform::ListenTcp("127.0.0.1", 0, problem);
  ASSERT_TRUE(first) << problem;
  const std::string where = first->where();
  const auto port = static_cast<std::uint16_t>(std::stoi(where.substr(where.rfind(':') + 1)));
  EXPECT_FALSE(platform::ListenTcp("127.0.0.1", port, problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_FALSE(platform::ListenTcp("not-an-address", 0, problem));
  EXPECT_NE(problem.find("not an IPv4 address"), std::string::npos);
}

}  // namespace
}  // namespace dravlopro

namespace dravlopro {
namespace {

int RunProgram(testing::Bench& bench, const std::vector<std::wstring>& words) {
  std::vector<std::wstring> argv{L"dravlopro-gdb"};
  argv.insert(argv.end(), words.begin(), words.end());
  gdb::ProgramHooks hooks;
  hooks.listen = [](const std::string&, std::uint16_t, std::string& problem) {
    problem = "Address already in use";
    return std::unique_ptr<StreamListener>();
  };
  bench.errors.out.clear();
  const Environment environment{bench.hid, bench.clock, bench.settings, bench.console,
                                bench.errors};
  return gdb::RunGdbProgram(argv, environment, hooks);
}

TEST(GdbProgram, ExitStatusSaysWhyItStopped) {
  testing::Bench bench;
  EXPECT_EQ(RunProgram(bench, {L"--port", L"70000"}), gdb::kServerUsage);
  EXPECT_EQ(RunProgram(bench, {L"-id", L"0", L"-sn", L"X"}), gdb::kServerUsage);
  EXPECT_EQ(RunProgram(bench, {}), gdb::kServerNoAdapter);
  EXPECT_NE(bench.errors.out.find("no adapter"), std::string::npos);
  bench.hid.AddAdapter(L"12345");
  EXPECT_EQ(RunProgram(bench, {L"-sn", L"99999"}), gdb::kServerNoAdapter);
  EXPECT_EQ(RunProgram(bench, {L"-sn", L"12345", L"--port", L"3333"}), gdb::kServerCannotListen);
  EXPECT_NE(bench.errors.out.find("cannot listen on 127.0.0.1:3333: Address already in use"),
            std::string::npos);
}

}  // namespace
}  // namespace dravlopro
