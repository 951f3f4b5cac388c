#include "debug/flash_writer.h"

#include <vector>

#include "debug/access_batch.h"
#include "debug/debug_registers.h"
#include "debug/routine/flash_routine_code.h"
#include "probe/flash.h"
#include "probe/registers.h"

namespace dravlopro {

namespace {

constexpr int kFlashDone = 1;
constexpr std::uint32_t kErased = 0xFFFFFFFFu;

bool IsOptionPage(std::uint32_t address) { return address == option::kPageAddress; }

// Where the routine goes and what it is given: its code at the start of
// SRAM, then its parameters (result, first page, pages, page size, first
// word's address, words), then the words, all within 4 KB.
constexpr std::uint32_t kRoutineBase = kSramBase;
constexpr std::uint32_t kWorkAreaBytes = 4096;
constexpr std::uint32_t kCodeWords = routine::kFlashRoutine.size();
constexpr std::uint32_t kParamsAddress = kRoutineBase + 4 * kCodeWords;
constexpr std::uint32_t kParamWords = 6;
constexpr std::uint32_t kBufferWords = kWorkAreaBytes / 4 - kCodeWords - kParamWords;
constexpr std::uint32_t kNotFinished = 0xFFFFFFFFu;
// The registers the routine changes besides the pc and xPSR: r0 to r5, r7
// and lr.
const std::vector<std::uint32_t> kBorrowed = {0, 1, 2, 3, 4, 5, 7, debugreg::regsel::kLr};
// How long one run may take: a page erase takes tens of milliseconds on
// real flash, a word tens of microseconds.
std::uint32_t RunTimeoutMs(std::uint32_t pages, std::uint32_t words) {
  return 1000 + 100 * pages + words / 8;
}

// One run of the routine: a range of pages to erase, then words to program.
struct RoutineRun {
  std::uint32_t firstPage = 0;
  std::uint32_t pages = 0;
  std::uint32_t address = 0;
  std::vector<std::uint32_t> words;
};

// The runs for a load: one per range of consecutive pages, the last range
// with the first piece of words; then the other pieces, each consecutive
// words that fit the buffer.
std::vector<RoutineRun> PlanRuns(const std::set<std::uint32_t>& pages, std::uint32_t pageSize,
                                 const std::map<std::uint32_t, std::uint32_t>& words) {
  std::vector<RoutineRun> runs;
  for (auto it = pages.begin(); it != pages.end();) {
    RoutineRun run;
    run.firstPage = *it;
    while (it != pages.end() && *it == run.firstPage + run.pages * pageSize) {
      ++run.pages;
      ++it;
    }
    runs.push_back(run);
  }
  bool first = true;
  for (auto it = words.begin(); it != words.end();) {
    if (!first || runs.empty()) runs.emplace_back();
    first = false;
    RoutineRun& run = runs.back();
    run.address = it->first;
    while (it != words.end() && it->first == run.address + 4 * run.words.size() &&
           run.words.size() < kBufferWords) {
      run.words.push_back(it->second);
      ++it;
    }
  }
  return runs;
}

}  // namespace

FlashWriter::Outcome FlashWriter::CheckLock() {
  if (target_.linkLost()) return Outcome::LinkLost;
  if (!lockChecked_) {
    std::uint32_t word = 0;
    AccessBatch batch;
    batch.Read(option::kProtectionWord, &word);
    const AccessResult read = batch.Run(target_.device());
    if (read == AccessResult::LinkLost) return Outcome::LinkLost;
    if (read != AccessResult::Ok) return Outcome::Failed;
    lockChecked_ = true;
    locked_ = option::Cp0Enabled(word);
  }
  if (locked_) return Outcome::Locked;
  // The core must not run from flash that changes under it.
  if (!target_.halted() && target_.Halt() != AccessResult::Ok) return Outcome::Failed;
  return Outcome::Ok;
}

FlashWriter::Outcome FlashWriter::Erase(std::uint32_t address, std::uint32_t length) {
  const std::uint32_t page = target_.flashPageSize();
  if (page == 0 || length == 0) return Outcome::BadRange;
  const bool option = IsOptionPage(address);
  if (!option &&
      (address % page != 0 || length % page != 0 || std::uint64_t{address} + length > kSramBase)) {
    return Outcome::BadRange;
  }
  if (option && length > page) return Outcome::BadRange;
  if (const Outcome checked = CheckLock(); checked != Outcome::Ok) return checked;
  if (option) {
    target_.ForgetMemory();
    return EraseOptionPage(target_.device(), target_.clock()) == kFlashDone ? Outcome::Ok
                                                                            : Outcome::Failed;
  }
  // Main-flash pages are erased at Done, with the words.
  for (std::uint32_t at = address; at < address + length; at += page) pages_.insert(at);
  return Outcome::Ok;
}

FlashWriter::Outcome FlashWriter::Write(std::uint32_t address, const std::uint8_t* bytes,
                                        std::uint32_t length) {
  if (std::uint64_t{address} + length > kSramBase) return Outcome::BadRange;
  if (const Outcome checked = CheckLock(); checked != Outcome::Ok) return checked;
  for (std::uint32_t k = 0; k < length; ++k) {
    const std::uint32_t at = address + k;
    auto [word, fresh] = words_.try_emplace(at & ~3u, kErased);
    const std::uint32_t shift = 8 * (at % 4);
    word->second = (word->second & ~(0xFFu << shift)) | (std::uint32_t{bytes[k]} << shift);
  }
  return Outcome::Ok;
}

// Each word: FMC_ADDR, FMC_DATA, FMC_CMD and FMC_CTRL written and FMC_CTRL
// and FMC_STATUS read back, in one transfer request.
FlashWriter::Outcome FlashWriter::Program(std::uint32_t address, const std::uint32_t* words,
                                          std::uint32_t count) {
  for (std::uint32_t k = 0; k < count; ++k) {
    std::uint32_t ctrl = 0, status = 0;
    AccessBatch batch;
    batch.Write(fmc::kBase + 4 * fmc::kBlockAddr, address + 4 * k);
    batch.Write(fmc::kBase + 4 * fmc::kBlockData, words[k]);
    batch.Write(fmc::kBase + 4 * fmc::kBlockCmd, fmc::kCmdProgramWord);
    batch.Write(fmc::kBase + 4 * fmc::kBlockCtrl, fmc::kCtrlStart);
    batch.Read(fmc::kCtrl, &ctrl);
    batch.Read(fmc::kStatus, &status);
    const AccessResult result = batch.Run(target_.device());
    if (result == AccessResult::LinkLost) return Outcome::LinkLost;
    if (result != AccessResult::Ok) return Outcome::Failed;
    // As the tool does it: a word whose operation has not finished yet is
    // not waited for; the read-back tells whether it took.
    if (fmc::Finished(ctrl) && (status & fmc::kStatusProgrammed) == 0) return Outcome::Failed;
  }
  return Outcome::Ok;
}

FlashWriter::Outcome FlashWriter::Done() {
  const Words words = std::move(words_);
  const std::set<std::uint32_t> pages = std::move(pages_);
  words_.clear();
  pages_.clear();
  if (words.empty() && pages.empty()) return Outcome::Ok;
  if (const Outcome checked = CheckLock(); checked != Outcome::Ok) return checked;
  Words main, optionWords;
  for (const auto& [address, word] : words) {
    (address < option::kPageAddress ? main : optionWords)[address] = word;
  }
  Outcome outcome = Outcome::Ok;
  if (!main.empty() || !pages.empty()) {
    // A locked-up core (a blank chip's, say) runs nothing until a reset; its
    // registers have no values worth giving back then.
    const bool reset = target_.lockedUp();
    if (reset && target_.Reset(true) == AccessResult::LinkLost) return Outcome::LinkLost;
    std::vector<std::uint32_t> state;
    const AccessResult read =
        target_.ReadRegisters({debugreg::regsel::kPc, debugreg::regsel::kXpsr}, state);
    if (read == AccessResult::LinkLost) return Outcome::LinkLost;
    // Out of Thumb state the core cannot run the routine either.
    const bool runs =
        read == AccessResult::Ok && !target_.lockedUp() && (state[1] & (1u << 24)) != 0;
    outcome = runs ? ProgramOnCore(pages, main, reset ? std::vector<std::uint32_t>{} : kBorrowed)
                   : ProgramFromHost(pages, main);
  }
  if (outcome == Outcome::Ok) outcome = ProgramFromHost({}, optionWords);
  target_.ForgetMemory();
  return outcome;
}

FlashWriter::Outcome FlashWriter::ProgramOnCore(const std::set<std::uint32_t>& pages,
                                                const Words& words,
                                                const std::vector<std::uint32_t>& borrowed) {
  const std::uint32_t pageSize = target_.flashPageSize();
  bool codePlaced = false;
  for (const RoutineRun& run : PlanRuns(pages, pageSize, words)) {
    std::vector<std::uint32_t> area;
    if (!codePlaced) area.assign(routine::kFlashRoutine.begin(), routine::kFlashRoutine.end());
    const auto count = static_cast<std::uint32_t>(run.words.size());
    area.insert(area.end(), {kNotFinished, run.firstPage, run.pages, pageSize, run.address, count});
    area.insert(area.end(), run.words.begin(), run.words.end());
    const std::uint32_t at = codePlaced ? kParamsAddress : kRoutineBase;
    AccessResult result =
        target_.WriteBlock(at, area.data(), static_cast<std::uint32_t>(area.size()));
    if (result == AccessResult::Ok) {
      codePlaced = true;
      std::uint32_t outcome[2] = {kNotFinished, 0};
      result = target_.RunRoutine(kRoutineBase, borrowed, RunTimeoutMs(run.pages, count),
                                  kParamsAddress, outcome, 2);
      if (result == AccessResult::Ok && outcome[0] != 0) return Outcome::Failed;
    }
    if (result == AccessResult::LinkLost) return Outcome::LinkLost;
    if (result != AccessResult::Ok) return Outcome::Failed;
  }
  return Outcome::Ok;
}

FlashWriter::Outcome FlashWriter::ProgramFromHost(const std::set<std::uint32_t>& pages,
                                                  const Words& words) {
  const std::uint32_t pageSize = target_.flashPageSize();
  target_.ForgetMemory();
  for (const std::uint32_t page : pages) {
    const int erased =
        ErasePages(target_.device(), target_.clock(), pageSize, page / pageSize, page / pageSize);
    if (target_.device().linkRetired) return Outcome::LinkLost;
    if (erased != kFlashDone) return Outcome::Failed;
  }
  // Runs of consecutive words, each programmed and read back.
  auto it = words.begin();
  while (it != words.end()) {
    const std::uint32_t start = it->first;
    std::vector<std::uint32_t> run;
    std::uint32_t expect = start;
    while (it != words.end() && it->first == expect) {
      run.push_back(it->second);
      expect += 4;
      ++it;
    }
    const auto count = static_cast<std::uint32_t>(run.size());
    if (const Outcome programmed = Program(start, run.data(), count); programmed != Outcome::Ok) {
      return programmed;
    }
    std::vector<std::uint8_t> back;
    const AccessResult read = target_.ReadMemory(start, count * 4, back);
    if (read == AccessResult::LinkLost) return Outcome::LinkLost;
    if (read != AccessResult::Ok) return Outcome::Failed;
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::uint32_t got = static_cast<std::uint32_t>(back[4 * k]) |
                                static_cast<std::uint32_t>(back[4 * k + 1]) << 8 |
                                static_cast<std::uint32_t>(back[4 * k + 2]) << 16 |
                                static_cast<std::uint32_t>(back[4 * k + 3]) << 24;
      if (got != run[k]) return Outcome::Failed;
    }
  }
  return Outcome::Ok;
}

}  // namespace dravlopro
