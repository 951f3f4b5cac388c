#pragma once

#include <cstdint>

#include "adapter/hid_device.h"
#include "base/progress.h"

namespace dravlopro {

// Word access to target memory through the memory access port. Each returns
// the transfer status: 1 for success, otherwise the status byte of the
// answer that failed, unchanged.
std::uint8_t ReadTargetWords(CHidDevice& device, std::uint32_t address, std::uint32_t* words,
                             std::uint32_t count, bool endWithStatusRead);
std::uint8_t WriteTargetWords(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                              std::uint32_t count, bool endWithStatusRead);
// The same in pieces of at most 256 words, TAR set anew for every piece;
// a piece also ends at every 1 KB boundary, where the access port's address
// auto-increment would wrap. The progress of a read counts the bytes read.
std::uint8_t ReadTargetBlock(CHidDevice& device, std::uint32_t address, std::uint32_t* words,
                             std::uint32_t count, Progress& progress = NoProgress());
std::uint8_t WriteTargetBlock(CHidDevice& device, std::uint32_t address, const std::uint32_t* words,
                              std::uint32_t count);

// The closing read of DP CTRL/STAT that most target operations end with.
void SendStatusRead(CHidDevice& device);

}  // namespace dravlopro
