#include "debug/flash_writer.h"

#include <vector>

#include "base/result_code.h"
#include "debug/access_batch.h"
#include "probe/flash.h"
#include "probe/registers.h"

namespace dravlopro {

namespace {

constexpr int kFlashDone = 1;
constexpr std::uint32_t kErased = 0xFFFFFFFFu;

bool IsOptionPage(std::uint32_t address) { return address == option::kPageAddress; }

}  // namespace

FlashWriter::Outcome FlashWriter::CheckLock() {
  if (target_.linkLost()) return Outcome::LinkLost;
  if (!lockChecked_) {
    const int lock = CheckSecurityLock(target_.device());
    if (lock == ReadFailed)
      return target_.device().linkRetired ? Outcome::LinkLost : Outcome::Failed;
    lockChecked_ = true;
    locked_ = lock == TargetLocked;
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
  target_.ForgetMemory();
  if (option) {
    return EraseOptionPage(target_.device(), target_.clock()) == kFlashDone ? Outcome::Ok
                                                                            : Outcome::Failed;
  }
  const int erased = ErasePages(target_.device(), target_.clock(), page, address / page,
                                (address + length) / page - 1);
  if (target_.device().linkRetired) return Outcome::LinkLost;
  return erased == kFlashDone ? Outcome::Ok : Outcome::Failed;
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
  std::map<std::uint32_t, std::uint32_t> words = std::move(words_);
  words_.clear();
  if (words.empty()) return Outcome::Ok;
  if (const Outcome checked = CheckLock(); checked != Outcome::Ok) return checked;
  target_.ForgetMemory();
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
  target_.ForgetMemory();
  return Outcome::Ok;
}

}  // namespace dravlopro
