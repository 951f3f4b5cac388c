// Long waits for an answer that someone watches: the wait is read in slices
// that add up to the same timeout, and the progress hears of each one. The
// engine requests report through it; nobody watching changes nothing.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/engine.h"
#include "protocol/exchange.h"
#include "tests/no_adapters.h"

namespace dravlopro {
namespace {

// An adapter whose every answer comes some time after its request, or never.
// Every answer echoes its request with status 0.
struct Script {
  std::vector<std::uint32_t> readTimeouts;
  std::size_t writes = 0;
  std::uint8_t lastCommand = 0;
  std::uint32_t answerAfterMs = 0;  // for every request
  std::optional<std::size_t> failAtRead;
  bool answers = true;
  std::uint32_t pendingMs = 0;  // until the answer to the last request comes
};

class SlowConnection : public HidConnection {
 public:
  explicit SlowConnection(std::shared_ptr<Script> script) : script_(std::move(script)) {}
  bool GetAttributes(HidAttributes&) override { return true; }
  bool GetCaps(HidCaps&) override { return true; }
  bool GetSerialNumber(std::wstring&) override { return false; }
  bool Write(const std::uint8_t* report, std::size_t length) override {
    ++script_->writes;
    script_->lastCommand = length > 1 ? report[1] : 0;
    script_->pendingMs = script_->answerAfterMs;
    return true;
  }
  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    script_->readTimeouts.push_back(timeoutMs);
    if (script_->failAtRead == script_->readTimeouts.size() - 1) return HidRead::Failed;
    if (!script_->answers) return HidRead::TimedOut;
    if (script_->pendingMs > timeoutMs) {
      script_->pendingMs -= timeoutMs;
      return HidRead::TimedOut;
    }
    Report answer{};
    answer[1] = script_->lastCommand;
    std::copy(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(length), report);
    return HidRead::Received;
  }

 private:
  std::shared_ptr<Script> script_;
};

using testing::NoAdapters;

// Every call, as text: "W" for Waiting, "done/total" for Update.
class RecordingProgress : public Progress {
 public:
  void Update(std::uint64_t done, std::uint64_t total) override {
    calls.push_back(std::to_string(done) + "/" + std::to_string(total));
  }
  void Waiting() override { calls.push_back("W"); }
  std::vector<std::string> calls;
};

class LinkWaitTest : public ::testing::Test {
 protected:
  LinkWaitTest() : device(backend, table) {
    device.handle = std::make_unique<SlowConnection>(script);
    device.caps.inputReportByteLength = 65;
    device.caps.outputReportByteLength = 65;
  }
  std::uint32_t TotalWait() const {
    std::uint32_t total = 0;
    for (const std::uint32_t t : script->readTimeouts) total += t;
    return total;
  }

  std::shared_ptr<Script> script = std::make_shared<Script>();
  NoAdapters backend;
  AdapterTable table;
  CHidDevice device;
  RecordingProgress progress;
};

TEST_F(LinkWaitTest, AWatchedWaitIsReadInSlicesAndReported) {
  script->answerAfterMs = 1300;
  ExchangeShape shape;
  shape.timeoutMs = kEngineReadTimeoutMs;
  shape.progress = &progress;
  Link link(device, shape);
  link.request()[1] = 0x80;
  EXPECT_EQ(link.Send(), ExchangeOutcome::Answered);
  EXPECT_EQ(script->readTimeouts, std::vector<std::uint32_t>(6, kWaitSliceMs));
  EXPECT_EQ(progress.calls, std::vector<std::string>(5, "W"));
  EXPECT_EQ(link.answer()[1], 0x80);
}

TEST_F(LinkWaitTest, AnUnwatchedWaitIsOneRead) {
  script->answerAfterMs = 1300;
  ExchangeShape shape;
  shape.timeoutMs = kEngineReadTimeoutMs;
  Link link(device, shape);
  link.request()[1] = 0x80;
  EXPECT_EQ(link.Send(), ExchangeOutcome::Answered);
  EXPECT_EQ(script->readTimeouts, std::vector<std::uint32_t>{kEngineReadTimeoutMs});
}

TEST_F(LinkWaitTest, TheSlicesAddUpToTheTimeoutAndTheLinkStillResynchronises) {
  // 1,100 ms: four full slices and a last one of 100 ms, then the packet-size
  // request that brings the link back in step waits as always.
  script->answers = false;
  ExchangeShape shape;
  shape.timeoutMs = 1100;
  shape.progress = &progress;
  Link link(device, shape);
  link.request()[1] = 0x80;
  EXPECT_EQ(link.Send(), ExchangeOutcome::TimedOut);
  const std::vector<std::uint32_t> expected{250, 250, 250, 250, 100, kDapReadTimeoutMs};
  EXPECT_EQ(script->readTimeouts, expected);
  EXPECT_EQ(progress.calls, std::vector<std::string>(4, "W"));
  EXPECT_EQ(script->writes, 2u);
  EXPECT_TRUE(device.linkRetired());
}

TEST_F(LinkWaitTest, AWholeEngineWaitWithoutAnAnswerIsThreeMinutesToTheMillisecond) {
  script->answers = false;
  ExchangeShape shape;
  shape.progress = &progress;
  shape.timeoutMs = kEngineReadTimeoutMs;
  Link engine(device, shape);
  EXPECT_EQ(engine.Send(), ExchangeOutcome::TimedOut);
  EXPECT_EQ(TotalWait(), kEngineReadTimeoutMs + kDapReadTimeoutMs);
}

TEST_F(LinkWaitTest, AFailedReadEndsTheWait) {
  script->answers = false;
  script->failAtRead = 2;
  ExchangeShape shape;
  shape.timeoutMs = kEngineReadTimeoutMs;
  shape.progress = &progress;
  Link link(device, shape);
  EXPECT_EQ(link.Send(), ExchangeOutcome::ReadFailed);
  EXPECT_EQ(script->readTimeouts.size(), 3u);
  EXPECT_FALSE(device.linkRetired());
}

TEST_F(LinkWaitTest, TheAdapterEraseReportsOnlyItsWait) {
  script->answerAfterMs = 800;
  EXPECT_TRUE(EraseByAdapter(device, progress));
  // Before the request goes out, then once per slice without an answer.
  EXPECT_EQ(progress.calls, std::vector<std::string>(4, "W"));
  EXPECT_EQ(script->readTimeouts, std::vector<std::uint32_t>(4, kWaitSliceMs));

  // Unwatched, the same erase is one read of the whole engine timeout.
  script->readTimeouts.clear();
  EXPECT_TRUE(EraseByAdapter(device));
  EXPECT_EQ(script->readTimeouts, std::vector<std::uint32_t>{kEngineReadTimeoutMs});
}

TEST_F(LinkWaitTest, TheDownloadCountsTheBytesAnswered) {
  // 130 bytes: two full packets of 62 and one of 6. The header's answer
  // and every packet's take 600 ms: two slices in vain each.
  std::vector<std::uint8_t> image(200, 0x5A);
  ImageState state;
  state.imageSize = 130;
  script->answerAfterMs = 600;
  EXPECT_TRUE(DownloadImage(device, image, state, progress));
  const std::vector<std::string> expected{"0/130", "W", "W",       "W", "W", "62/130",
                                          "W",     "W", "124/130", "W", "W", "130/130"};
  EXPECT_EQ(progress.calls, expected);

  // An empty image has nothing to count.
  progress.calls.clear();
  script->answerAfterMs = 0;
  state.imageSize = 0;
  EXPECT_TRUE(DownloadImage(device, image, state, progress));
  EXPECT_EQ(progress.calls, std::vector<std::string>{"0/0"});
}

}  // namespace
}  // namespace dravlopro
