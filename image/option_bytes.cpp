#include "image/option_bytes.h"

#include "probe/flash.h"
#include "probe/memory.h"
#include "probe/registers.h"
#include "protocol/dap.h"

namespace dravlopro {

namespace {

constexpr std::size_t kChecksumIndex = 8;
constexpr std::size_t kChecksummedWords = 5;

}  // namespace

OptionBlock BuildOptionBlock(const OptionSettings& settings) {
  OptionBlock block;
  block.fill(0xFFFFFFFFu);
  for (std::size_t i = 0; i < 4; ++i) block[i] = ~settings[kPp0Setting + i].value;
  block[option::kProtectionWordIndex] =
      option::CpWord(settings[kCp0Setting].value != 0, settings[kCp1Setting].value != 0);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < kChecksummedWords; ++i) sum += block[i];
  block[kChecksumIndex] = sum;
  return block;
}

bool ProgramOptionBlock(CHidDevice& device, Clock& clock, const OptionBlock& block) {
  if (EraseOptionPage(device, clock) != 1) return false;
  return ProgramWords(device, option::kPageAddress, block.data(),
                      static_cast<std::uint32_t>(block.size())) == 1;
}

bool ReadOptionWords(CHidDevice& device, OptionWords& words) {
  return ReadTargetBlock(device, option::kPageAddress, words.data(),
                         static_cast<std::uint32_t>(words.size())) == dap::kTransferOk;
}

void DecodeOptionWords(const OptionWords& words, OptionSettings& settings) {
  const std::uint32_t cpWord = words[option::kProtectionWordIndex];
  settings[kCp0Setting].value = option::Cp0Enabled(cpWord) ? 1 : 0;
  settings[kCp1Setting].value = option::Cp1Enabled(cpWord) ? 1 : 0;
  for (std::size_t i = 0; i < 4; ++i) settings[kPp0Setting + i].value = ~words[i];
}

}  // namespace dravlopro
