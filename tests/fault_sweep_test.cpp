// The fault sweep: every workload runs once undisturbed, to learn how many
// exchanges it makes and what it leaves behind. Then it runs again on a fresh
// bench once per exchange with the adapter lost from that exchange on, and
// once per exchange with that one answer damaged. Whatever happens, a run
// ends with one of its command's own result codes, closes the adapter and
// waits a bounded time; it ends 0 only when it left exactly what the
// undisturbed run left; and a file it writes is either as it was or complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_map.h"
#include "tests/harness.h"

namespace dravlopro {
namespace {

using namespace testing;

const std::wstring kSerial = L"12345";
const std::string kHexFile = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";
const std::string kBinFile = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.bin";
const std::string kOldDump = "the dump file as it was before the run";
constexpr std::uint32_t kSramBase = 0x20000000;
constexpr std::uint32_t kDumpWords = 40;  // three block reads
// However a run fails, its simulated waits stay well below this.
constexpr std::uint64_t kLongestWaitMs = 10 * 60 * 1000;

std::vector<std::uint8_t> FileBytes(const std::string& file) {
  const std::string text = ScratchDir::Read(file);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Flash that is neither erased nor the image, so erasing and programming show.
void FillFlash(sim::SimChip& chip) {
  std::vector<std::uint8_t> bytes(chip.config().flashSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  chip.SetFlashBytes(0, bytes);
}

// What a run leaves behind.
struct Outcome {
  int code = -1;
  std::vector<std::uint8_t> flash;
  std::vector<std::uint8_t> option;
  std::vector<std::uint8_t> sram;
  std::optional<std::string> dump;  // the dump file, nullopt when missing
  std::optional<std::wstring> sn;   // the saved serial number
  std::set<std::string> folder;     // the names in the run's folder
};

// One command line, the bench it starts from and the result codes its command
// may end with.
struct Workload {
  const char* name;
  std::vector<std::string> words;  // "DUMP" stands for the dump file's path
  std::set<int> codes;
  std::function<void(Bench&)> prepare;
  // Checks the undisturbed run against what the command must do.
  std::function<void(const Outcome& before, const Outcome& clean)> checkClean;
};

void PrintTo(const Workload& w, std::ostream* os) { *os << w.name; }

sim::SimChip& Chip(Bench& bench) { return bench.hid.adapter(kSerial).target.chip; }

Outcome Observe(Bench& bench, int code, const ScratchDir& scratch) {
  Outcome o;
  o.code = code;
  const sim::SimChip& chip = Chip(bench);
  o.flash = chip.flash();
  o.option = chip.optionPage();
  o.sram = chip.sram();
  const auto dump = scratch.path() / "dump.bin";
  if (std::filesystem::exists(dump)) o.dump = ScratchDir::Read(dump);
  o.sn = bench.settings.sn;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
    o.folder.insert(entry.path().filename().string());
  }
  return o;
}

struct Fault {
  std::optional<int> lostAfter;  // exchanges answered before the adapter is gone
  std::optional<std::size_t> damaged;
};

struct SweepRun {
  Outcome before;
  Outcome after;
  std::size_t exchanges = 0;
};

// A fresh bench and folder, prepared for the workload, then the run.
SweepRun RunOnce(const Workload& w, const ScratchDir& scratch, const Fault& fault) {
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
    std::filesystem::remove_all(entry.path());
  }
  scratch.Write("dump.bin", kOldDump);
  Bench bench;
  bench.hid.AddAdapter(kSerial);
  w.prepare(bench);
  SweepRun run;
  run.before = Observe(bench, -1, scratch);
  if (fault.lostAfter) bench.hid.device(0).exchangesLeft = *fault.lostAfter;
  bench.hid.corruptAnswerOf = fault.damaged;

  std::vector<std::string> words = w.words;
  for (std::string& word : words) {
    if (word == "DUMP") word = (scratch.path() / "dump.bin").string();
  }
  const int code = bench.Run(words);
  run.after = Observe(bench, code, scratch);
  run.exchanges = bench.hid.exchangeCount;
  EXPECT_EQ(bench.hid.openHandles, 0) << "the adapter was left open";
  EXPECT_LT(bench.clock.elapsedMs, kLongestWaitMs) << "the run waited too long";
  return run;
}

void ExpectSound(const Workload& w, const Outcome& before, const Outcome& clean,
                 const Outcome& run) {
  EXPECT_TRUE(w.codes.count(run.code)) << "result " << run.code;
  if (run.code == 0) {
    EXPECT_EQ(clean.code, 0) << "success where the undisturbed run fails";
    EXPECT_TRUE(run.flash == clean.flash) << "success, but the flash is not what it should be";
    EXPECT_TRUE(run.option == clean.option) << "success, but the option page is not right";
    EXPECT_TRUE(run.sram == clean.sram) << "success, but SRAM is not what it should be";
    EXPECT_EQ(run.dump, clean.dump) << "success, but the dump file is not complete";
    EXPECT_TRUE(run.sn == clean.sn) << "success, but the serial number was not saved";
  } else {
    EXPECT_TRUE(run.dump == before.dump || run.dump == clean.dump) << "dump file damaged";
    EXPECT_TRUE(run.sn == before.sn || run.sn == clean.sn) << "settings damaged";
  }
  EXPECT_EQ(run.folder, before.folder) << "a file was left behind or removed";
}

// How many assertions the running test has reported so far.
int ReportedParts() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class FaultSweep : public ::testing::TestWithParam<Workload> {
 protected:
  // The undisturbed run: checked, and its exchanges counted.
  void SetUp() override {
    const SweepRun run = RunOnce(GetParam(), scratch_, Fault{});
    before_ = run.before;
    clean_ = run.after;
    exchanges_ = run.exchanges;
    ASSERT_GT(exchanges_, 0u);
    RecordProperty("exchanges", static_cast<int>(exchanges_));
    GetParam().checkClean(before_, clean_);
  }

  // One run per exchange index; reports stop after a few unsound indices.
  void Sweep(const std::function<Fault(std::size_t)>& faultAt, const char* what) {
    int unsound = 0;
    for (std::size_t k = 0; k < exchanges_ && unsound < 3; ++k) {
      SCOPED_TRACE(std::string(what) + " at exchange " + std::to_string(k) + " of " +
                   std::to_string(exchanges_));
      const int reported = ReportedParts();
      const SweepRun run = RunOnce(GetParam(), scratch_, faultAt(k));
      ExpectSound(GetParam(), before_, clean_, run.after);
      if (ReportedParts() != reported) ++unsound;
    }
  }

  ScratchDir scratch_;
  Outcome before_;
  Outcome clean_;
  std::size_t exchanges_ = 0;
};

TEST_P(FaultSweep, AdapterLostAtEveryExchange) {
  Sweep(
      [](std::size_t k) {
        Fault fault;
        fault.lostAfter = static_cast<int>(k);
        return fault;
      },
      "adapter lost");
}

TEST_P(FaultSweep, AnswerDamagedAtEveryExchange) {
  Sweep(
      [](std::size_t k) {
        Fault fault;
        fault.damaged = k;
        return fault;
      },
      "answer damaged");
}

// --- The workloads.

void NoPreparation(Bench&) {}

void ExpectFlashHoldsBlinky(const Outcome& o) {
  const std::vector<std::uint8_t> image = FileBytes(kBinFile);
  ASSERT_FALSE(image.empty());
  ASSERT_GE(o.flash.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), o.flash.begin()));
  EXPECT_TRUE(std::all_of(o.flash.begin() + static_cast<std::ptrdiff_t>(image.size()),
                          o.flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

bool AllErased(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes.begin() + static_cast<std::ptrdiff_t>(to),
                     [](std::uint8_t b) { return b == 0xFF; });
}

// The two hold the same bytes everywhere but in [from, to).
bool SameOutside(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                 std::size_t from, std::size_t to) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((i < from || i >= to) && a[i] != b[i]) return false;
  }
  return true;
}

void FlashHoldsBlinky(Bench& bench, bool lastByteWrong) {
  std::vector<std::uint8_t> image = FileBytes(kBinFile);
  if (lastByteWrong) image.back() ^= 0xFF;
  Chip(bench).SetFlashBytes(0, image);
}

const std::vector<Workload>& Workloads() {
  static const std::vector<Workload> workloads{
      {"ProgramHex",
       {"-a", kHexFile},
       {0, 12},
       [](Bench& b) { FillFlash(Chip(b)); },
       [](const Outcome&, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         ExpectFlashHoldsBlinky(clean);
       }},
      {"ProgramBinary",
       {"-a", kBinFile},
       {0, 2, 12, 13},
       [](Bench& b) { FillFlash(Chip(b)); },
       [](const Outcome&, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         ExpectFlashHoldsBlinky(clean);
         EXPECT_TRUE(AllErased(clean.option, 0, clean.option.size()));
       }},
      {"ProgramWhereEraseFails",
       {"-a", kHexFile},
       {12},
       [](Bench& b) {
         FillFlash(Chip(b));
         Chip(b).faults.eraseError.flags = sim::fmc::kErrAddress;
       },
       [](const Outcome&, const Outcome& clean) { EXPECT_EQ(clean.code, 12); }},
      {"VerifyMatching",
       {"-v", kHexFile},
       {0, 2, 12, 14},
       [](Bench& b) { FlashHoldsBlinky(b, false); },
       [](const Outcome& before, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         EXPECT_TRUE(clean.flash == before.flash);
       }},
      {"VerifyLastByteDiffers",
       {"-v", kHexFile},
       {2, 12, 14},
       [](Bench& b) { FlashHoldsBlinky(b, true); },
       [](const Outcome&, const Outcome& clean) { EXPECT_EQ(clean.code, 12); }},
      {"ErasePages",
       {"-se", "2", "3"},
       {0, 2, 5, 11, 14},
       [](Bench& b) { FillFlash(Chip(b)); },
       [](const Outcome& before, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         // Pages of 1 KB: pages 2 and 3 erased, the rest as it was.
         EXPECT_TRUE(AllErased(clean.flash, 0x800, 0x1000));
         EXPECT_TRUE(SameOutside(clean.flash, before.flash, 0x800, 0x1000));
       }},
      {"MassErase",
       {"-me"},
       {0, 11},
       [](Bench& b) { FillFlash(Chip(b)); },
       [](const Outcome&, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         EXPECT_TRUE(AllErased(clean.flash, 0, clean.flash.size()));
       }},
      {"OptionBytes",
       {"-ob", "pp1=3", "pp2=0x10", "pp3=8"},
       {0, 2, 5, 13, 14},
       [](Bench& b) {
         sim::SimChip& chip = Chip(b);
         chip.SetOptionWord(0, 0x0F0F0F0F);
         chip.SetOptionWord(3, 0x00000000);
         chip.SetOptionWord(8, 0x12345678);
       },
       [](const Outcome&, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         const std::vector<std::uint32_t> expected{0xFFFFFFFF, 0xFFFFFFFC, 0xFFFFFFEF,
                                                   0xFFFFFFF7, 0xFFFFFFFF, 0xFFFFFFFF,
                                                   0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFE0};
         std::vector<std::uint32_t> words;
         for (std::size_t i = 0; i < expected.size(); ++i)
           words.push_back(GetLe32(&clean.option[4 * i]));
         EXPECT_EQ(words, expected);
       }},
      {"WriteFlashWord",
       {"-w32", "0x100", "0x12345678"},
       {0, 2, 4, 5, 14},
       NoPreparation,
       [](const Outcome& before, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         EXPECT_EQ(GetLe32(&clean.flash[0x100]), 0x12345678u);
         EXPECT_TRUE(SameOutside(clean.flash, before.flash, 0x100, 0x104));
       }},
      {"DumpOverExistingFile",
       {"-dump", "0x20000000", std::to_string(kDumpWords), "DUMP"},
       {0, 2, 5, 20},
       [](Bench& b) {
         for (std::uint32_t i = 0; i < kDumpWords; ++i)
           Chip(b).SetSramWord(kSramBase + 4 * i, 0xA5000000u + i * 0x01010101u);
       },
       [](const Outcome& before, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         EXPECT_EQ(before.dump, kOldDump);
         ASSERT_TRUE(clean.dump.has_value());
         EXPECT_EQ(*clean.dump,
                   std::string(clean.sram.begin(), clean.sram.begin() + 4 * kDumpWords));
       }},
      {"SaveDefaultAdapter",
       {"-sdev", "id=1"},
       {0},
       [](Bench& b) {
         b.hid.AddAdapter(L"67890");
         b.settings.sn = kSerial;
       },
       [](const Outcome& before, const Outcome& clean) {
         EXPECT_EQ(clean.code, 0);
         EXPECT_TRUE(before.sn == kSerial);
         EXPECT_TRUE(clean.sn == L"67890");
       }},
  };
  return workloads;
}

INSTANTIATE_TEST_SUITE_P(Workloads, FaultSweep, ::testing::ValuesIn(Workloads()),
                         [](const ::testing::TestParamInfo<Workload>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace dravlopro
