// Runs that share one bench folder, in-process: each run has its own bench,
// clock and console, as separate processes would, and the folder's locks are
// shared between them the way lock files are shared between processes.
#include "sim/sim_store.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/shared_file.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;
namespace fs = std::filesystem;

class SharedLocks : public sim::FolderLocks {
 public:
  Attempt TryTake(const fs::path& file, std::unique_ptr<Held>& out) override {
    if (!held_.insert(file).second) return Attempt::Busy;
    out = std::make_unique<Release>(held_, file);
    return Attempt::Taken;
  }

 private:
  struct Release : Held {
    Release(std::set<fs::path>& held, fs::path file) : held(held), file(std::move(file)) {}
    ~Release() override { held.erase(file); }
    std::set<fs::path>& held;
    fs::path file;
  };
  std::set<fs::path> held_;
};

// One run of the simulated tool on the folder, from opening the bench to
// saving it.
struct FolderRun {
  FolderRun(const fs::path& folder, sim::FolderLocks& locks) : store(folder, locks, clock) {
    opened = store.Open(hid);
  }
  int Run(const std::vector<std::string>& words) {
    std::vector<std::wstring> argv{L"dravlopro.exe"};
    for (const std::string& w : words) argv.push_back(Widen(w));
    console.out.clear();
    errors.out.clear();
    return RunDriver(argv, Environment{hid, clock, settings, console, errors});
  }

  sim::SimBench hid;
  sim::SimClock clock;
  sim::MemorySettingsStore settings;
  StringSink console;
  StringSink errors;
  sim::BenchFolder store;
  bool opened = false;
};

std::string Selection(const std::string& serial) {
  return "This Dravlo Pro/Lite Ver:2.0.0, SN=" + serial + ".\n";
}

std::string Word(const std::string& address, const std::string& value) {
  return address + ":  " + value + " \n";
}

class BenchFolderTest : public ::testing::Test {
 protected:
  // A bench of two adapters whose targets were never saved (erased).
  void WriteTwoAdapterBench() {
    scratch.Write("bench.txt", "dravlopro-sim bench 1\nadapter GANG1 2.0.0\nadapter GANG2 2.0.0\n");
  }
  std::set<std::string> FolderEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(scratch.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  ScratchDir scratch;
  SharedLocks locks;
};

TEST_F(BenchFolderTest, FirstRunCreatesTheDefaultBenchThatRunsStartedMeanwhileFind) {
  const fs::path folder = scratch.path() / "new" / "bench";
  FolderRun first(folder, locks);
  ASSERT_TRUE(first.opened);
  // A second run starting before the first one ends finds the same bench.
  FolderRun second(folder, locks);
  ASSERT_TRUE(second.opened);
  EXPECT_EQ(first.Run({"-w32", "0x1000", "0x12345678"}), 0);
  EXPECT_TRUE(first.store.Save(first.hid));
  EXPECT_EQ(second.Run({"-list", "-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(second.console.out, "ID:0, SN:SIM00001.\r\n" + kDefaultSelection +
                                    Word("0x00001000", "12345678") + kSuccess);
  EXPECT_TRUE(second.store.Save(second.hid));

  FolderRun later(folder, locks);
  ASSERT_TRUE(later.opened);
  EXPECT_EQ(later.Run({"-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(later.console.out, kDefaultSelection + Word("0x00001000", "12345678") + kSuccess);
}

TEST_F(BenchFolderTest, RunsStartingWhileTheBenchIsCreatedWaitForIt) {
  // Another run holds the bench list while it creates the bench.
  std::unique_ptr<sim::FolderLocks::Held> creating;
  ASSERT_EQ(locks.TryTake(scratch.path() / "bench.lock", creating),
            sim::FolderLocks::Attempt::Taken);
  FolderRun starting(scratch.path(), locks);
  EXPECT_FALSE(starting.opened);
  EXPECT_EQ(starting.clock.elapsedMs, sim::kLockWaitMs);
  EXPECT_FALSE(fs::exists(scratch.path() / "bench.txt"));

  creating.reset();
  FolderRun later(scratch.path(), locks);
  EXPECT_TRUE(later.opened);
  EXPECT_EQ(later.clock.elapsedMs, 0u);
}

TEST_F(BenchFolderTest, AReaderOfASavedStateKeepsTheWholeOldStateWhileARunSaves) {
  FolderRun first(scratch.path(), locks);
  ASSERT_TRUE(first.opened);
  EXPECT_EQ(first.Run({"-w32", "0x1000", "0x11111111"}), 0);
  EXPECT_TRUE(first.store.Save(first.hid));
  const fs::path state = scratch.path() / "target-0.bin";
  const std::string before = ScratchDir::Read(state);

  FolderRun second(scratch.path(), locks);
  ASSERT_TRUE(second.opened);
  EXPECT_EQ(second.Run({"-w32", "0x2000", "0x22222222"}), 0);
  // Another run starts reading, the way runs read the folder.
  platform::SharedFileReader reader(state);
  ASSERT_EQ(reader.opened(), platform::SharedRead::Read);
  EXPECT_TRUE(second.store.Save(second.hid));
  std::string read;
  EXPECT_TRUE(reader.ReadAll(read));
  EXPECT_EQ(read, before);
  EXPECT_NE(ScratchDir::Read(state), before);
  sim::SimTarget saved;
  ASSERT_TRUE(saved.Load(state));
  EXPECT_EQ(saved.chip.FlashWord(0x2000), 0x22222222u);
  EXPECT_EQ(saved.chip.FlashWord(0x1000), 0x11111111u);
}

TEST_F(BenchFolderTest, RunsOnDifferentAdaptersKeepEachOthersWork) {
  WriteTwoAdapterBench();
  FolderRun one(scratch.path(), locks);
  FolderRun two(scratch.path(), locks);
  ASSERT_TRUE(one.opened && two.opened);
  EXPECT_EQ(one.Run({"-sn", "GANG1", "-w32", "0x1000", "0x11111111"}), 0);
  EXPECT_EQ(two.Run({"-sn", "GANG2", "-w32", "0x2000", "0x22222222"}), 0);
  EXPECT_TRUE(one.store.Save(one.hid));
  // The second run loaded GANG1 before the first one saved it, but never
  // used it: its save leaves GANG1 alone.
  EXPECT_TRUE(two.store.Save(two.hid));

  FolderRun check(scratch.path(), locks);
  ASSERT_TRUE(check.opened);
  EXPECT_EQ(check.Run({"-sn", "GANG1", "-r32", "0x1000", "1", "-r32", "0x2000", "1"}), 0);
  EXPECT_EQ(check.console.out, Selection("GANG1") + Word("0x00001000", "11111111") +
                                   Word("0x00002000", "FFFFFFFF") + kSuccess);
  EXPECT_EQ(check.Run({"-sn", "GANG2", "-r32", "0x1000", "1", "-r32", "0x2000", "1"}), 0);
  EXPECT_EQ(check.console.out, Selection("GANG2") + Word("0x00001000", "FFFFFFFF") +
                                   Word("0x00002000", "22222222") + kSuccess);
  // Every file was replaced whole: no temporary file is left behind.
  EXPECT_EQ(FolderEntries(), (std::set<std::string>{"bench.txt", "target-0.bin", "target-1.bin"}));
}

TEST_F(BenchFolderTest, ARunKeepsItsOwnWorkFromOneCommandToTheNext) {
  WriteTwoAdapterBench();
  FolderRun run(scratch.path(), locks);
  ASSERT_TRUE(run.opened);
  // Every command opens the adapter again; only the first open claims it and
  // loads its saved state.
  EXPECT_EQ(run.Run({"-sn", "GANG2", "-w32", "0x1000", "0x0BADF00D", "-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(run.console.out, Selection("GANG2") + Word("0x00001000", "0BADF00D") + kSuccess);
  EXPECT_EQ(run.Run({"-sn", "GANG2", "-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(run.console.out, Selection("GANG2") + Word("0x00001000", "0BADF00D") + kSuccess);
}

TEST_F(BenchFolderTest, ARunOnABusyAdapterWaitsWithinTheBoundThenTakesItsTurn) {
  WriteTwoAdapterBench();
  FolderRun holder(scratch.path(), locks);
  FolderRun impatient(scratch.path(), locks);
  FolderRun next(scratch.path(), locks);
  ASSERT_TRUE(holder.opened && impatient.opened && next.opened);
  EXPECT_EQ(holder.Run({"-sn", "GANG1", "-w32", "0x1000", "0x11111111"}), 0);

  // The adapter stays taken until the holder ends: the bound runs out, once
  // for the whole run although the selection looks for the adapter twice.
  EXPECT_EQ(impatient.Run({"-sn", "GANG1", "-w32", "0x2000", "0x22222222"}), 30);
  EXPECT_EQ(impatient.console.out, kNoAdapter);
  EXPECT_EQ(impatient.clock.elapsedMs, sim::kLockWaitMs);
  EXPECT_EQ(impatient.clock.sleeps,
            std::vector<std::uint32_t>(sim::kLockWaitMs / sim::kLockPollMs, sim::kLockPollMs));
  // Its other adapter is free all the same.
  EXPECT_EQ(impatient.Run({"-sn", "GANG2", "-w32", "0x2000", "0x22222222"}), 0);
  EXPECT_TRUE(impatient.store.Save(impatient.hid));

  EXPECT_TRUE(holder.store.Save(holder.hid));
  // A run that loaded the bench before the holder saved sees the holder's
  // work once it has the adapter.
  EXPECT_EQ(next.Run({"-sn", "GANG1", "-r32", "0x1000", "1", "-r32", "0x2000", "1"}), 0);
  EXPECT_EQ(next.console.out, Selection("GANG1") + Word("0x00001000", "11111111") +
                                  Word("0x00002000", "FFFFFFFF") + kSuccess);
  EXPECT_EQ(next.Run({"-sn", "GANG2", "-r32", "0x2000", "1"}), 0);
  EXPECT_EQ(next.console.out, Selection("GANG2") + Word("0x00002000", "22222222") + kSuccess);
}

// Standard error says when the wait starts and when it gives up; the
// output and the result code are those of a run without the lines.
TEST_F(BenchFolderTest, AWaitForABusyAdapterIsNamedWhenItStartsAndWhenItGivesUp) {
  WriteTwoAdapterBench();
  FolderRun holder(scratch.path(), locks);
  FolderRun waiting(scratch.path(), locks);
  ASSERT_TRUE(holder.opened && waiting.opened);
  EXPECT_EQ(holder.Run({"-sn", "GANG1", "-rst"}), 0);
  EXPECT_EQ(waiting.Run({"-sn", "GANG1", "-rst"}), 30);
  EXPECT_EQ(waiting.console.out, kNoAdapter);
  EXPECT_EQ(waiting.errors.out,
            "dravlopro: adapter SN GANG1 is in use by another run; waiting for it, at most 30 s\n"
            "dravlopro: adapter SN GANG1 is still in use after 30 s; giving up\n");

  FolderRun quiet(scratch.path(), locks);
  ASSERT_TRUE(quiet.opened);
  EXPECT_EQ(quiet.Run({"-q", "-sn", "GANG1", "-rst"}), 30);
  EXPECT_EQ(quiet.errors.out, "");
}

TEST_F(BenchFolderTest, ADamagedStateFileFailsTheClaimAndStaysAsItIs) {
  WriteTwoAdapterBench();
  FolderRun run(scratch.path(), locks);
  ASSERT_TRUE(run.opened);
  const std::string damaged = "DRAVLOPRO-SIM 1\n\x06";
  scratch.Write("target-1.bin", damaged);
  EXPECT_EQ(run.Run({"-sn", "GANG2", "-r32", "0x0", "1"}), 30);
  EXPECT_TRUE(run.store.damaged());
  EXPECT_LT(run.clock.elapsedMs, sim::kLockWaitMs);
  EXPECT_TRUE(run.store.Save(run.hid));
  EXPECT_EQ(ScratchDir::Read(scratch.path() / "target-1.bin"), damaged);

  // A bench that cannot be read is no bench at all.
  FolderRun later(scratch.path(), locks);
  EXPECT_FALSE(later.opened);
}

TEST_F(BenchFolderTest, ABenchListThatCannotBeReadFailsTheOpen) {
  scratch.Write("bench.txt", "dravlopro-sim bench 1\nadapter GANG1\n");
  FolderRun run(scratch.path(), locks);
  EXPECT_FALSE(run.opened);
  EXPECT_EQ(ScratchDir::Read(scratch.path() / "bench.txt"),
            "dravlopro-sim bench 1\nadapter GANG1\n");
}

TEST_F(BenchFolderTest, AnAdapterLineDescribesTheFreshTargetBehindIt) {
  const std::string list =
      "dravlopro-sim bench 1\n"
      "adapter BIG 2.0.0 page=2048 flash=0x20000\n"
      "adapter LOCKED 2.0.0 locked\n"
      "adapter - 2.0.0\n";
  scratch.Write("bench.txt", list);
  FolderRun run(scratch.path(), locks);
  ASSERT_TRUE(run.opened);
  EXPECT_EQ(run.Run({"-list"}), 0);
  EXPECT_EQ(run.console.out, "ID:0, SN:BIG.\r\nID:1, SN:LOCKED.\r\nID:2, SN:(*).\r\n" + kSuccess);

  // Pages of 2 KB: the register tells, and page 1 is 0x800 to 0xFFF.
  EXPECT_EQ(run.Run({"-sn",  "BIG",   "-r32",  "0x40080188", "1",      "-w32",  "0x7FC", "0x11",
                     "-w32", "0xFFC", "0x22",  "-w32",       "0x1000", "0x33",  "-se",   "1",
                     "1",    "-r32",  "0x7FC", "1",          "-r32",   "0xFFC", "2"}),
            0);
  EXPECT_EQ(run.console.out, Selection("BIG") + Word("0x40080188", "00000800") +
                                 Word("0x000007FC", "00000011") +
                                 "0x00000FFC:  FFFFFFFF 00000033 \n" + kSuccess);
  // 128 KB of flash, and nothing after it.
  EXPECT_EQ(run.Run({"-sn", "BIG", "-r32", "0x1FFFC", "1"}), 0);
  EXPECT_EQ(run.Run({"-sn", "BIG", "-r32", "0x20000", "1"}), 5);

  EXPECT_EQ(run.Run({"-sn", "LOCKED", "-rob"}), 14);
  EXPECT_EQ(run.console.out, Selection("LOCKED") + "Process: -sn >> -rob (Fail)\n" + kLocked);
  // The adapter without a serial number, by its ID: the default kind.
  EXPECT_EQ(run.Run({"-id", "2", "-r32", "0x40080188", "1", "-rob"}), 0);
  EXPECT_EQ(run.console.out, "This Dravlo Pro/Lite Ver:2.0.0, ID=2\n" +
                                 Word("0x40080188", "00000400") +
                                 "CP0=0, CP1=0, PP0=0x00000000, PP1=0x00000000, "
                                 "PP2=0x00000000, PP3=0x00000000\n" +
                                 kSuccess);
  EXPECT_TRUE(run.store.Save(run.hid));
  // The list keeps its words; the saved targets keep their kind.
  EXPECT_EQ(ScratchDir::Read(scratch.path() / "bench.txt"), list);
  FolderRun later(scratch.path(), locks);
  ASSERT_TRUE(later.opened);
  EXPECT_EQ(later.Run({"-sn", "BIG", "-r32", "0x40080188", "1", "-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(later.console.out, Selection("BIG") + Word("0x40080188", "00000800") +
                                   Word("0x00001000", "00000033") + kSuccess);
  EXPECT_EQ(later.Run({"-sn", "LOCKED", "-rob"}), 14);
  // Programming erases the whole chip, which lifts the lock.
  const std::string blinky = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";
  EXPECT_EQ(later.Run({"-sn", "LOCKED", "-a", blinky, "-rob"}), 0);
}

TEST_F(BenchFolderTest, TheLineDescribesOnlyATargetThatWasNeverSaved) {
  WriteTwoAdapterBench();
  FolderRun first(scratch.path(), locks);
  ASSERT_TRUE(first.opened);
  EXPECT_EQ(first.Run({"-sn", "GANG2", "-w32", "0x1000", "0x12345678"}), 0);
  EXPECT_TRUE(first.store.Save(first.hid));

  // Both lines now ask for a locked target: the saved one stays as it was
  // saved, the erased one that was never saved starts locked.
  scratch.Write("bench.txt",
                "dravlopro-sim bench 1\nadapter GANG1 2.0.0 locked\nadapter GANG2 2.0.0 locked\n");
  fs::remove(scratch.path() / "target-0.bin");
  FolderRun second(scratch.path(), locks);
  ASSERT_TRUE(second.opened);
  EXPECT_EQ(second.Run({"-sn", "GANG1", "-rob"}), 14);
  EXPECT_EQ(second.Run({"-sn", "GANG2", "-rob", "-r32", "0x1000", "1"}), 0);
  EXPECT_EQ(second.console.out, Selection("GANG2") +
                                    "CP0=0, CP1=0, PP0=0x00000000, PP1=0x00000000, "
                                    "PP2=0x00000000, PP3=0x00000000\n" +
                                    Word("0x00001000", "12345678") + kSuccess);
}

TEST_F(BenchFolderTest, AnUnknownWordOrATargetThatCannotExistFailsTheOpen) {
  for (const std::string words :
       {"colour=red", "lockd", "page", "page=", "page=0x", "page=12ab", "page=6",
        "page=1000 flash=1024", "page=2048 flash=1024", "flash=0x2000000", "flash=99999999999",
        "sram=0x2000000", "sram=6", "page=0x1_000"}) {
    SCOPED_TRACE(words);
    const std::string list = "dravlopro-sim bench 1\nadapter GANG1 2.0.0 " + words + "\n";
    scratch.Write("bench.txt", list);
    FolderRun run(scratch.path(), locks);
    EXPECT_FALSE(run.opened);
    EXPECT_EQ(ScratchDir::Read(scratch.path() / "bench.txt"), list);
  }
  // The same words spelled right.
  scratch.Write("bench.txt",
                "dravlopro-sim bench 1\nadapter GANG1 2.0.0 page=512 flash=0x1000 sram=4096\n");
  FolderRun run(scratch.path(), locks);
  ASSERT_TRUE(run.opened);
  EXPECT_EQ(run.Run({"-r32", "0x40080188", "1", "-r32", "0xFFC", "1", "-r32", "0x20000FFC", "1"}),
            0);
  EXPECT_EQ(run.Run({"-r32", "0x1000", "1"}), 5);
  EXPECT_EQ(run.Run({"-r32", "0x20001000", "1"}), 5);
}

}  // namespace
}  // namespace dravlopro
