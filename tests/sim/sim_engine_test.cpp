// The simulated adapter's programming engine and the saved bench.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sim/sim_map.h"
#include "tests/sim/sim_bench_util.h"

namespace dravlopro::sim {
namespace {

using testing::TargetDriver;

Report Header(std::uint8_t operation, std::uint32_t size,
              std::array<std::uint32_t, 5> words = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                                    0xFFFFFFFF}) {
  Report r =
      testing::Request({0x80, 0x3E, 'Q', 'W', 'E', 'R', 'T', 'Z', 'U', 'I', operation, 0xFF});
  PutLe32(&r[13], size);
  for (std::size_t i = 0; i < words.size(); ++i) PutLe32(&r[17 + 4 * i], words[i]);
  return r;
}

// Sends the image in data packets; returns the answers.
std::vector<Report> SendImage(TargetDriver& bench, const std::vector<std::uint8_t>& image) {
  std::vector<Report> answers;
  for (std::size_t at = 0; at < image.size(); at += 62) {
    const std::size_t n = std::min<std::size_t>(62, image.size() - at);
    Report r = testing::Request({0x81, static_cast<std::uint8_t>(n)});
    std::fill(r.begin() + 3, r.end(), 0xFF);
    std::memcpy(&r[3], &image[at], n);
    answers.push_back(bench.Send(r));
    if (!bench.answered) break;
  }
  return answers;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return image;
}

TEST(SimEngineTest, QueryAndFullErase) {
  TargetDriver bench;
  SimChip& chip = bench.target.chip;
  chip.SetFlashBytes(0x0, std::vector<std::uint8_t>(64 * 1024, 0x5A));
  chip.SetOptionWord(0, 0x0000FFFF);

  const Report query = bench.Send(Header(0x0E, 0));
  EXPECT_EQ(query[1], 0x80);
  EXPECT_EQ(query[2], 0);
  EXPECT_EQ(chip.FlashByte(0), 0x5A);

  // Operation 0x06 with bytes 13 to 64 zero: the whole flash, nothing else.
  Report erase = Header(0x06, 0);
  std::fill(erase.begin() + 13, erase.end(), 0);
  const Report answer = bench.Send(erase);
  EXPECT_EQ(answer[1], 0x80);
  EXPECT_EQ(answer[2], 0);
  EXPECT_EQ(chip.FlashByte(0), 0xFF);
  EXPECT_EQ(chip.FlashByte(64 * 1024 - 1), 0xFF);
  EXPECT_EQ(chip.OptionWord(0), 0x0000FFFFu);
  EXPECT_EQ(bench.target.engine.fullErases, 1);
  ASSERT_EQ(bench.target.engine.headers.size(), 2u);
  EXPECT_EQ(bench.target.engine.headers[0].operation, 0x0E);
}

TEST(SimEngineTest, DownloadProgramsImageAndOptionWords) {
  TargetDriver bench;
  SimChip& chip = bench.target.chip;
  chip.SetFlashBytes(0x200, {0x00, 0x00});
  const std::vector<std::uint8_t> image = Pattern(130);

  const Report header =
      bench.Send(Header(0x06, 130, {0xFFFFFFF0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFC}));
  EXPECT_EQ(header[2], 0);
  const std::vector<Report> answers = SendImage(bench, image);
  ASSERT_EQ(answers.size(), 3u);  // 62 + 62 + 6
  for (const Report& a : answers) {
    EXPECT_EQ(a[1], 0x81);
    EXPECT_EQ(a[2], 0);
  }

  for (std::uint32_t i = 0; i < image.size(); ++i) ASSERT_EQ(chip.FlashByte(i), image[i]) << i;
  EXPECT_EQ(chip.FlashByte(130), 0xFF);
  EXPECT_EQ(chip.FlashByte(0x200), 0xFF);  // the old contents were erased
  EXPECT_EQ(chip.OptionWord(0), 0xFFFFFFF0u);
  EXPECT_EQ(chip.OptionWord(4), 0xFFFFFFFCu);
  EXPECT_EQ(chip.OptionWord(5), 0xFFFFFFFFu);
  EXPECT_EQ(chip.OptionWord(8), 0xFFFFFFE9u);
  EXPECT_TRUE(chip.Locked());
  EXPECT_EQ(bench.target.engine.lastImage, image);
  EXPECT_EQ(bench.target.engine.imagesProgrammed, 1);

  // A later download onto the secured target still works and lifts the lock.
  EXPECT_EQ(bench.Send(Header(0x06, 4))[2], 0);
  SendImage(bench, {1, 2, 3, 4});
  EXPECT_FALSE(chip.Locked());
  EXPECT_EQ(chip.FlashWord(0), 0x04030201u);
  EXPECT_EQ(chip.FlashByte(4), 0xFF);
  EXPECT_EQ(chip.OptionWord(8), 0xFFFFFFFBu);
}

TEST(SimEngineTest, RefusalsAndLostReplies) {
  TargetDriver bench;
  SimEngine& engine = bench.target.engine;

  EXPECT_NE(bench.Send(Header(0x06, 64 * 1024 + 1))[2], 0);  // larger than the flash
  Report unsigned_header = Header(0x06, 4);
  unsigned_header[3] = 'X';
  EXPECT_NE(bench.Send(unsigned_header)[2], 0);
  EXPECT_NE(bench.Send({0x81, 0x04, 1, 2, 3, 4})[2], 0);  // no download going on

  bench.target.faults().engineRefuseStatus = 0x09;
  EXPECT_EQ(bench.Send(Header(0x06, 0))[2], 0x09);
  bench.target.faults().engineRefuseStatus = 0;

  bench.target.faults().noTarget = true;
  EXPECT_NE(bench.Send(Header(0x06, 0))[2], 0);
  EXPECT_EQ(bench.Send(Header(0x0E, 0))[2], 0);
  bench.target.faults().noTarget = false;

  // The second data packet gets no answer; nothing is programmed.
  bench.target.faults().engineDropPacket = 1;
  EXPECT_EQ(bench.Send(Header(0x06, 200))[2], 0);
  const std::vector<Report> answers = SendImage(bench, Pattern(200));
  EXPECT_EQ(answers.size(), 2u);
  EXPECT_FALSE(bench.answered);
  EXPECT_FALSE(engine.receiving);
  EXPECT_EQ(engine.imagesProgrammed, 0);
  EXPECT_EQ(bench.target.chip.FlashByte(0), 0xFF);

  // A target that cannot be erased: the download header is refused, as the
  // erase-only header is, and no data packet is taken.
  bench.target.faults().engineDropPacket.reset();
  bench.target.faults().eraseError = {fmc::kErrProgram, {}};
  EXPECT_EQ(bench.Send(Header(0x06, 4))[2], SimEngine::kFlashFailed);
  EXPECT_EQ(bench.Send(Header(0x06, 0))[2], SimEngine::kFlashFailed);
  EXPECT_FALSE(engine.receiving);
  EXPECT_EQ(SendImage(bench, {1, 2, 3, 4}).at(0)[2], SimEngine::kNoDownload);
  EXPECT_EQ(engine.imagesProgrammed, 0);
}

TEST(SimPersistTest, SaveAndLoadKeepTheBench) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / "dravlopro_sim_persist_test.bin";
  SimConfig config;
  config.flashSize = 8 * 1024;
  config.pageSize = 2048;
  config.sramSize = 4096;
  config.idcode = 0x2BA01477;
  SimTarget saved(config);
  saved.chip.SetFlashBytes(0x10, {1, 2, 3});
  saved.chip.SetOptionWord(4, 0xFFFFFFFE);
  saved.chip.SetSramWord(0x20000FFC, 0xCAFEF00D);
  saved.chip.core.demcr = 1;
  saved.faults().neverReady = true;
  saved.faults().accessFaults.push_back({{0x20000000, 0x20000003}, ack::kWait, 2, true});
  ASSERT_TRUE(saved.Save(file));

  SimTarget loaded;
  ASSERT_TRUE(loaded.Load(file));
  EXPECT_EQ(loaded.config().flashSize, 8u * 1024);
  EXPECT_EQ(loaded.config().pageSize, 2048u);
  EXPECT_EQ(loaded.config().idcode, 0x2BA01477u);
  EXPECT_EQ(loaded.chip.flash(), saved.chip.flash());
  EXPECT_EQ(loaded.chip.FlashByte(0x12), 3);
  EXPECT_TRUE(loaded.chip.Locked());
  EXPECT_EQ(loaded.chip.SramWord(0x20000FFC), 0xCAFEF00Du);
  EXPECT_EQ(loaded.chip.core.demcr, 1u);
  EXPECT_TRUE(loaded.faults().neverReady);
  ASSERT_EQ(loaded.faults().accessFaults.size(), 1u);
  EXPECT_EQ(loaded.faults().accessFaults[0].times, 2);
  EXPECT_TRUE(loaded.faults().accessFaults[0].onTarWrite);

  // A damaged or foreign file is refused and changes nothing.
  {
    std::ofstream broken(file, std::ios::binary | std::ios::trunc);
    broken << "DRAVLOPRO-SIM 1\n\x06"
              "config";
  }
  EXPECT_FALSE(loaded.Load(file));
  EXPECT_EQ(loaded.config().flashSize, 8u * 1024);
  EXPECT_FALSE(loaded.Load(file.string() + ".missing"));
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace dravlopro::sim
