#include "probe/flash.h"

#include <array>

#include "base/result_code.h"
#include "protocol/dap.h"
#include "probe/memory.h"
#include "probe/registers.h"

namespace dravlopro {

namespace {

constexpr int kFlashDone = 1;
constexpr int kFlashFailed = 4;
// An erase that has not finished after this many polls, about 2 s at 1 ms
// apart, is taken as failed rather than waited for without end.
constexpr std::uint32_t kErasePollLimit = 2000;
constexpr std::uint32_t kErasePollIntervalMs = 1;

using RegisterImage = std::array<std::uint32_t, fmc::kImageWords>;
using StatusImage = std::array<std::uint32_t, fmc::kStatusImageWords>;

bool Ok(std::uint8_t status) { return status == dap::kTransferOk; }

// Starts one erase at the address through the register image, then waits for
// it and checks its error flags. mainFlash: set bit 1 of the word at
// 0x014 and write FMC_CTRL once more on its own, as a main-flash page needs.
int EraseAt(CHidDevice& device, Clock& clock, std::uint32_t address, bool mainFlash) {
  RegisterImage image{};
  if (!Ok(ReadTargetBlock(device, fmc::kBase, image.data(), fmc::kImageWords))) {
    return kFlashFailed;
  }
  image[fmc::kImageAddr] = address;
  if (mainFlash) image[fmc::kImageReg14] |= fmc::kReg14EraseEnable;
  image[fmc::kImageCmd] = fmc::kCmdErasePage;
  image[fmc::kImageCtrl] = fmc::kCtrlStart;
  if (!Ok(WriteTargetBlock(device, fmc::kBase, image.data(), fmc::kImageWords))) {
    return kFlashFailed;
  }
  if (mainFlash) {
    const std::uint32_t start = fmc::kCtrlStart;
    if (!Ok(WriteTargetBlock(device, fmc::kCtrl, &start, 1))) return kFlashFailed;
  }

  StatusImage status{};
  for (std::uint32_t poll = 1;; ++poll) {
    if (!Ok(ReadTargetBlock(device, fmc::kCtrl, status.data(), fmc::kStatusImageWords))) {
      return kFlashFailed;
    }
    if (fmc::Finished(status[fmc::kStatusImageCtrl])) break;
    if (poll >= kErasePollLimit) return kFlashFailed;
    clock.SleepMs(kErasePollIntervalMs);
  }
  if ((status[fmc::kStatusImageStatus] & fmc::kStatusErrorMask) != 0) {
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
  return (word & option::kSecurityOff) != 0 ? Success : TargetLocked;
}

int ErasePages(CHidDevice& device, Clock& clock, std::uint32_t flashPageSize,
               std::uint32_t firstPage, std::uint32_t lastPage) {
  if (firstPage > lastPage) return kFlashDone;
  // A page that lies past the 32-bit address space would wrap onto a
  // low page: refuse before erasing anything.
  if (static_cast<std::uint64_t>(lastPage) * flashPageSize > 0xFFFFFFFFu) return kFlashFailed;
  for (std::uint64_t page = firstPage; page <= lastPage; ++page) {
    const auto address = static_cast<std::uint32_t>(page * flashPageSize);
    if (EraseAt(device, clock, address, true) != kFlashDone) return kFlashFailed;
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
    RegisterImage image{};
    if (!Ok(ReadTargetWords(device, fmc::kBase, image.data(), fmc::kImageWords, false))) {
      return kFlashFailed;
    }
    image[fmc::kImageAddr] = address;
    image[fmc::kImageData] = words[k];
    image[fmc::kImageCmd] = fmc::kCmdProgramWord;
    image[fmc::kImageCtrl] = fmc::kCtrlStart;
    if (!Ok(WriteTargetWords(device, fmc::kBase, image.data(), fmc::kImageWords, false))) {
      return kFlashFailed;
    }
    StatusImage status{};
    if (!Ok(ReadTargetWords(device, fmc::kCtrl, status.data(), fmc::kStatusImageWords, false))) {
      return kFlashFailed;
    }
    // A word whose operation has not finished yet is not waited for.
    if (fmc::Finished(status[fmc::kStatusImageCtrl]) &&
        (status[fmc::kStatusImageStatus] & fmc::kStatusProgrammed) == 0) {
      return kFlashFailed;
    }
  }
  SendStatusRead(device);
  return kFlashDone;
}

}  // namespace dravlopro
