#include "image/engine.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "commands/downloader.h"
#include "protocol/download.h"
#include "tests/no_adapters.h"

namespace dravlopro {
namespace {

// What the fake adapter saw, in order: every write with its bytes, every
// read with its length and timeout.
struct Event {
  bool isWrite = false;
  std::vector<std::uint8_t> bytes;  // writes only
  std::size_t length = 0;
  std::uint32_t timeoutMs = 0;
};

struct AdapterScript {
  std::vector<Event> events;
  std::set<std::size_t> failedWrites;  // by write index
  // Replies by read index: a report, or nullopt for a read that fails. Any
  // other read echoes the last command byte with status 0.
  std::map<std::size_t, std::optional<Report>> replies;
  std::size_t writeCount = 0;
  std::size_t readCount = 0;
  std::uint8_t lastCommand = 0;

  std::vector<std::vector<std::uint8_t>> Writes() const {
    std::vector<std::vector<std::uint8_t>> writes;
    for (const Event& e : events)
      if (e.isWrite) writes.push_back(e.bytes);
    return writes;
  }
  std::string Sequence() const {
    std::string s;
    for (const Event& e : events) s += e.isWrite ? 'W' : 'R';
    return s;
  }
};

class RecordingConnection : public HidConnection {
 public:
  explicit RecordingConnection(std::shared_ptr<AdapterScript> script) : script_(script) {}
  bool GetAttributes(HidAttributes&) override { return true; }
  bool GetCaps(HidCaps&) override { return true; }
  bool GetSerialNumber(std::wstring&) override { return false; }
  bool Write(const std::uint8_t* report, std::size_t length) override {
    script_->events.push_back(
        {true, std::vector<std::uint8_t>(report, report + length), length, 0});
    script_->lastCommand = length > 1 ? report[1] : 0;
    return script_->failedWrites.count(script_->writeCount++) == 0;
  }
  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    script_->events.push_back({false, {}, length, timeoutMs});
    Report reply{};
    reply[1] = script_->lastCommand;
    auto scripted = script_->replies.find(script_->readCount++);
    if (scripted != script_->replies.end()) {
      if (!scripted->second) {
        report[1] = 0x80;  // garbage left behind by a failed read must not count
        return HidRead::Failed;
      }
      reply = *scripted->second;
    }
    std::copy(reply.begin(), reply.begin() + length, report);
    return HidRead::Received;
  }

 private:
  std::shared_ptr<AdapterScript> script_;
};

using testing::NoAdapters;

Report Reply(std::uint8_t command, std::uint8_t status) {
  Report r{};
  r[1] = command;
  r[2] = status;
  return r;
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : downloader_(backend_, table_) {
    downloader_.device.handle = std::make_unique<RecordingConnection>(script_);
    downloader_.device.caps.inputReportByteLength = 65;
    downloader_.device.caps.outputReportByteLength = 65;
    // What a load leaves: the whole buffer, here a pattern.
    downloader_.image.resize(kImageBufferSize);
    for (std::size_t i = 0; i < downloader_.image.size(); ++i)
      downloader_.image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }

  std::vector<std::vector<std::uint8_t>> Writes() const { return script_->Writes(); }

  NoAdapters backend_;
  AdapterTable table_;
  CDownloader downloader_;
  std::shared_ptr<AdapterScript> script_ = std::make_shared<AdapterScript>();
  ImageState state_;
};

std::vector<std::uint8_t> Bytes(const Report& r) { return {r.begin(), r.end()}; }

// The header's bytes are the encoder's (tests/protocol/download_test.cpp):
// here, what the image state puts in its fields.
TEST(DownloadHeader, FieldsComeFromTheImageState) {
  ImageState state;
  state.ppTexts = {L"0000000F", L"44332211", L"", L"FFFFFFFF"};
  state.cp0Enabled = 1;
  state.cp1Enabled = 0;
  Report report;
  report.fill(0xAA);
  BuildDownloadHeader(report, 0x06, 0x00012345, state);
  download::HeaderFields fields;
  fields.imageSize = 0x00012345;
  fields.optionWords = {0x0000000F, 0x44332211, 0x00000000, 0xFFFFFFFF};  // an empty text is 0
  fields.cpWord = 0xFFFFFFFE;
  Report expected;
  expected.fill(0xAA);
  download::EncodeHeader(expected, 0x06, fields);
  EXPECT_EQ(Bytes(report), Bytes(expected));
}

TEST(DownloadHeader, ProtectionWord) {
  ImageState state;
  EXPECT_EQ(ProtectionWord(state), 0xFFFFFFFFu);
  state.cp0Enabled = 1;
  EXPECT_EQ(ProtectionWord(state), 0xFFFFFFFEu);
  state.cp1Enabled = 1;
  EXPECT_EQ(ProtectionWord(state), 0xFFFFFFFCu);
  state.cp0Enabled = 0;
  EXPECT_EQ(ProtectionWord(state), 0xFFFFFFFDu);
}

TEST_F(EngineTest, QueryBeforeAnyLoadCarriesEmptyValues) {
  EXPECT_TRUE(QueryAdapter(downloader_.device, state_));
  ASSERT_EQ(script_->Sequence(), "WR");
  Report expected{};
  const std::uint8_t head[] = {0x00, 0x80, 0x3E, 'Q', 'W',  'E', 'R',
                               'T',  'Z',  'U',  'I', 0x0E, 0xFF};
  std::copy(std::begin(head), std::end(head), expected.begin());
  for (std::size_t i = 33; i < 37; ++i) expected[i] = 0xFF;
  EXPECT_EQ(Writes()[0], Bytes(expected));
  EXPECT_EQ(script_->events[1].length, 65u);
  EXPECT_EQ(script_->events[1].timeoutMs, kEngineReadTimeoutMs);
}

TEST_F(EngineTest, EraseSendsOnlyTheOperation) {
  state_.imageSize = 0x1234;
  state_.ppTexts.fill(L"12345678");
  state_.cp0Enabled = 1;
  state_.cp1Enabled = 1;
  EXPECT_TRUE(EraseByAdapter(downloader_.device));
  ASSERT_EQ(script_->Sequence(), "WR");
  const std::vector<std::uint8_t> header = Writes()[0];
  Report expected{};
  BuildDownloadHeader(expected, 0x06, 0, ImageState{});
  EXPECT_EQ(std::vector<std::uint8_t>(header.begin(), header.begin() + 13),
            std::vector<std::uint8_t>(expected.begin(), expected.begin() + 13));
  EXPECT_EQ(std::vector<std::uint8_t>(header.begin() + 13, header.end()),
            std::vector<std::uint8_t>(52, 0x00));
}

TEST_F(EngineTest, ImageTravelsInPacketsOf62Bytes) {
  for (std::uint32_t size : {0u, 62u, 63u, 130u}) {
    SCOPED_TRACE(size);
    *script_ = AdapterScript{};
    state_.imageSize = size;
    ASSERT_TRUE(DownloadImage(downloader_.device, downloader_.image, state_));

    const auto writes = Writes();
    const std::size_t packets = (size + 61) / 62;
    ASSERT_EQ(writes.size(), 1 + packets);
    std::string exchanges;
    for (std::size_t i = 0; i <= packets; ++i) exchanges += "WR";
    EXPECT_EQ(script_->Sequence(), exchanges);
    EXPECT_EQ(writes[0][11], 0x06);
    EXPECT_EQ(GetLe32(&writes[0][13]), size);

    std::uint32_t offset = 0;
    for (std::size_t p = 0; p < packets; ++p) {
      const std::vector<std::uint8_t>& packet = writes[1 + p];
      const std::uint32_t count = std::min<std::uint32_t>(62, size - offset);
      ASSERT_EQ(packet.size(), 65u);
      EXPECT_EQ(packet[0], 0x00);
      EXPECT_EQ(packet[1], 0x81);
      EXPECT_EQ(packet[2], count);
      for (std::uint32_t i = 0; i < 62; ++i) {
        const std::uint8_t want = i < count ? downloader_.image[offset + i] : 0xFF;
        ASSERT_EQ(packet[3 + i], want) << "packet " << p << " byte " << 3 + i;
      }
      offset += count;
    }
    EXPECT_EQ(offset, size);
  }
  // 130 bytes: 62 + 62 + 6, the last packet padded from byte 9 on.
  EXPECT_EQ(Writes()[3][2], 6);
  EXPECT_EQ(Writes()[3][9], 0xFF);
}

TEST_F(EngineTest, HeaderStatusMattersForEraseAndDownloadOnly) {
  script_->replies[0] = Reply(0x80, 0x01);
  script_->replies[1] = Reply(0x80, 0x01);
  script_->replies[2] = Reply(0x80, 0x01);
  EXPECT_TRUE(QueryAdapter(downloader_.device, state_));
  EXPECT_FALSE(EraseByAdapter(downloader_.device));
  state_.imageSize = 100;
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWRWR");  // no data after a refused header

  *script_ = AdapterScript{};
  script_->replies[0] = Reply(0x81, 0x00);
  EXPECT_FALSE(QueryAdapter(downloader_.device, state_));
}

TEST_F(EngineTest, WrongPacketEchoStopsTheDownload) {
  state_.imageSize = 130;
  script_->replies[2] = Reply(0x80, 0x00);  // the second full packet's reply
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWRWR");
}

TEST_F(EngineTest, WrongEchoOfTheLastPacketFails) {
  state_.imageSize = 63;
  script_->replies[2] = Reply(0x00, 0x00);
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWRWR");
}

TEST_F(EngineTest, FailedReadIsAFailedReply) {
  for (int request = 0; request < 3; ++request) {
    SCOPED_TRACE(request);
    *script_ = AdapterScript{};
    script_->replies[0] = std::nullopt;
    state_.imageSize = 10;
    const bool ok = request == 0   ? QueryAdapter(downloader_.device, state_)
                    : request == 1 ? EraseByAdapter(downloader_.device)
                                   : DownloadImage(downloader_.device, downloader_.image, state_);
    EXPECT_FALSE(ok);
    EXPECT_EQ(script_->Sequence(), "WR");
  }

  *script_ = AdapterScript{};
  script_->replies[1] = std::nullopt;
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWR");
}

TEST_F(EngineTest, FailedHeaderWriteReadsNothing) {
  script_->failedWrites = {0};
  EXPECT_FALSE(QueryAdapter(downloader_.device, state_));
  script_->failedWrites = {1};
  EXPECT_FALSE(EraseByAdapter(downloader_.device));
  script_->failedWrites = {2};
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WWW");
}

TEST_F(EngineTest, FailedPacketWriteSkipsToTheLastPacketAndFails) {
  state_.imageSize = 200;       // three full packets and 14 bytes
  script_->failedWrites = {2};  // the second full packet
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWRWWR");
  const auto writes = Writes();
  EXPECT_EQ(writes[3][2], 14);
  EXPECT_EQ(writes[3][3], downloader_.image[186]);

  *script_ = AdapterScript{};
  script_->failedWrites = {4};  // the last packet
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_EQ(script_->Sequence(), "WRWRWRWRWR");
}

TEST_F(EngineTest, ReportLengthsFollowTheDeviceWithinOneReport) {
  struct Case {
    std::uint16_t announced;
    std::size_t used;
  };
  for (const Case& c : {Case{64, 64}, Case{0, 65}, Case{200, 65}, Case{65, 65}}) {
    SCOPED_TRACE(c.announced);
    *script_ = AdapterScript{};
    downloader_.device.caps.outputReportByteLength = c.announced;
    downloader_.device.caps.inputReportByteLength = c.announced;
    state_.imageSize = 70;
    EXPECT_TRUE(DownloadImage(downloader_.device, downloader_.image, state_));
    for (const Event& e : script_->events) EXPECT_EQ(e.length, c.used);
  }
}

TEST_F(EngineTest, ImageLargerThanTheBufferIsNotSent) {
  state_.imageSize = kImageBufferSize + 1;
  EXPECT_FALSE(DownloadImage(downloader_.device, downloader_.image, state_));
  EXPECT_TRUE(script_->events.empty());

  // Before any load the buffer holds nothing to send.
  NoAdapters backend;
  AdapterTable table;
  CDownloader fresh(backend, table);
  fresh.device.handle = std::make_unique<RecordingConnection>(script_);
  state_.imageSize = 70;
  EXPECT_FALSE(DownloadImage(fresh.device, fresh.image, state_));
  EXPECT_TRUE(script_->events.empty());
}

}  // namespace
}  // namespace dravlopro
