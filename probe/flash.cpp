#include "probe/flash.h"

#include <array>

#include "base/result_code.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/dap.h"

namespace dravlopro {

namespace {

constexpr int kFlashDone = 1;
constexpr int kFlashFailed = 4;
// An erase that has not finished after this many polls, about 2 s at 1 ms
// apart, is taken as failed rather than waited for without end.
constexpr std::uint32_t kErasePollLimit = 2000;
constexpr std::uint32_t kErasePollIntervalMs = 1;

using RegisterBlock = std::array<std::uint32_t, fmc::kRegisterBlockWords>;
using StatusBlock = std::array<std::uint32_t, fmc::kStatusBlockWords>;

bool Ok(std::uint8_t status) { return status == dap::kTransferOk; }

// Starts one erase at the address through the register block, then waits for
// it and checks its error flags. mainFlash: set bit 1 of the word at
// 0x014 and write FMC_CTRL once more on its own, as a main-flash page needs.
int EraseAt(CHidDevice& device, Clock& clock, std::uint32_t address, bool mainFlash) {
  RegisterBlock block{};
  if (!Ok(ReadTargetBlock(device, fmc::kBase, block.data(), fmc::kRegisterBlockWords))) {
    return kFlashFailed;
  }
  block[fmc::kBlockAddr] = address;
  if (mainFlash) block[fmc::kBlockReg14] |= fmc::kReg14EraseEnable;
  block[fmc::kBlockCmd] = fmc::kCmdErasePage;
  block[fmc::kBlockCtrl] = fmc::kCtrlStart;
  if (!Ok(WriteTargetBlock(device, fmc::kBase, block.data(), fmc::kRegisterBlockWords))) {
    return kFlashFailed;
  }
  if (mainFlash) {
    const std::uint32_t start = fmc::kCtrlStart;
    if (!Ok(WriteTargetBlock(device, fmc::kCtrl, &start, 1))) return kFlashFailed;
  }

  StatusBlock status{};
  for (std::uint32_t poll = 1;; ++poll) {
    if (!Ok(ReadTargetBlock(device, fmc::kCtrl, status.data(), fmc::kStatusBlockWords))) {
      return kFlashFailed;
    }
    if (fmc::Finished(status[fmc::kStatusBlockCtrl])) break;
    if (poll >= kErasePollLimit) return kFlashFailed;
    clock.SleepMs(kErasePollIntervalMs);
  }
  if ((status[fmc::kStatusBlockStatus] & fmc::kStatusErrorMask) != 0) {
    const std::uint32_t clear = fmc::kStatusClearErrors;
    WriteTargetBlock(device, fmc::kStatus, &clear, 1);
    return kFlashFailed;
  }
  return kFlashDone;
}

}  // namespace

std::uint32_t ReadFlashPageSize(CHidDevice& device) {
  std::uint32_t v = 0;
  if (!Ok(ReadTargetBlock(device, fmc::kPageSize, &v, 1))) return 0;
  return (v == 512 || v == 1024 || v == 2048) ? v : kDefaultPageSize;
}

int CheckSecurityLock(CHidDevice& device) {
  std::uint32_t word = 0;
  if (!Ok(ReadTargetBlock(device, option::kProtectionWord, &word, 1))) return ReadFailed;
  return option::Cp0Enabled(word) ? TargetLocked : Success;
}

int ErasePages(CHidDevice& device, Clock& clock, std::uint32_t flashPageSize,
               std::uint32_t firstPage, std::uint32_t lastPage, Progress& progress) {
  if (firstPage > lastPage) return kFlashDone;
  // A page that lies past the 32-bit address space would wrap onto a
  // low page: refuse before erasing anything.
  if (static_cast<std::uint64_t>(lastPage) * flashPageSize > 0xFFFFFFFFu) return kFlashFailed;
  const std::uint64_t pages = std::uint64_t{lastPage} - firstPage + 1;
  progress.Update(0, pages);
  for (std::uint64_t page = firstPage; page <= lastPage; ++page) {
    const auto address = static_cast<std::uint32_t>(page * flashPageSize);
    if (EraseAt(device, clock, address, true) != kFlashDone) return kFlashFailed;
    progress.Update(page - firstPage + 1, pages);
  }
  return kFlashDone;
}

int EraseOptionPage(CHidDevice& device, Clock& clock) {
  return EraseAt(device, clock, option::kPageAddress, false);
}

int ProgramWords(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                 std::uint32_t count) {
  const std::uint32_t end = address + count * 4;
  for (std::uint32_t k = 0; address < end; ++k, address += 4) {
    RegisterBlock block{};
    if (!Ok(ReadTargetWords(device, fmc::kBase, block.data(), fmc::kRegisterBlockWords, false))) {
      return kFlashFailed;
    }
    block[fmc::kBlockAddr] = address;
    block[fmc::kBlockData] = words[k];
    block[fmc::kBlockCmd] = fmc::kCmdProgramWord;
    block[fmc::kBlockCtrl] = fmc::kCtrlStart;
    if (!Ok(WriteTargetWords(device, fmc::kBase, block.data(), fmc::kRegisterBlockWords, false))) {
      return kFlashFailed;
    }
    StatusBlock status{};
    if (!Ok(ReadTargetWords(device, fmc::kCtrl, status.data(), fmc::kStatusBlockWords, false))) {
      return kFlashFailed;
    }
    // A word whose operation has not finished yet is not waited for.
    if (fmc::Finished(status[fmc::kStatusBlockCtrl]) &&
        (status[fmc::kStatusBlockStatus] & fmc::kStatusProgrammed) == 0) {
      return kFlashFailed;
    }
  }
  SendStatusRead(device);
  return kFlashDone;
}

}  // namespace dravlopro
