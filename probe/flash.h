#pragma once

#include <cstdint>

#include "adapter/hid_device.h"
#include "base/clock.h"
#include "base/progress.h"

namespace dravlopro {

// 512, 1024 or 2048; a register holding any other value gives 512. 0 when
// the register cannot be read.
std::uint32_t ReadFlashPageSize(CHidDevice& device);
// 0 (not locked), 5 (option word unreadable) or 14 (securely locked).
int CheckSecurityLock(CHidDevice& device);
// 1 when done, 4 when failed. The progress counts the pages erased.
int ErasePages(CHidDevice& device, Clock& clock, std::uint32_t flashPageSize,
               std::uint32_t firstPage, std::uint32_t lastPage, Progress& progress = NoProgress());
int EraseOptionPage(CHidDevice& device, Clock& clock);
int ProgramWords(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                 std::uint32_t count);

}  // namespace dravlopro
