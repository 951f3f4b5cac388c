#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/report.h"
#include "sim/sim_chip.h"

namespace dravlopro::sim {

// One download header as the engine received it.
struct EngineHeader {
  std::uint8_t operation = 0;
  std::uint32_t imageSize = 0;
  std::array<std::uint32_t, 4> optionWords{};
  std::uint32_t cpWord = 0;
  std::uint8_t status = 0;  // what answer byte 2 said (0 = accepted)
};

// The adapter's programming engine (command bytes 0x80 and 0x81). It takes a
// download header and the image in data packets and does the rest on the
// target by itself: erase the option page and the flash when the header
// comes (a header it cannot erase for is refused), program the image
// from address 0, then write the option words, the protection word and the
// checksum of words 0 to 4 (at 0x1FF00020). A header with operation 0x06
// and size 0 only erases the whole flash; the option page stays as it is.
class SimEngine {
 public:
  static constexpr std::uint8_t kHeader = 0x80;
  static constexpr std::uint8_t kData = 0x81;
  static constexpr std::uint8_t kOpQuery = 0x0E;
  static constexpr std::uint8_t kOpDownload = 0x06;

  // Answer byte 2 values.
  static constexpr std::uint8_t kAccepted = 0x00;
  static constexpr std::uint8_t kBadHeader = 0x01;  // signature missing
  static constexpr std::uint8_t kNoTarget = 0x02;   // target does not answer or is not ready
  static constexpr std::uint8_t kTooBig = 0x03;     // image larger than the flash
  static constexpr std::uint8_t kBadOperation = 0x04;
  static constexpr std::uint8_t kFlashFailed = 0x05;  // erase or programming failed
  static constexpr std::uint8_t kNoDownload = 0x06;   // data packet without a download
  static constexpr std::uint8_t kBadPacket = 0x07;    // byte count 0, above 62 or too many

  static bool Knows(std::uint8_t command) { return command == kHeader || command == kData; }
  // False when the engine sends no answer.
  bool Handle(const Report& request, Report& answer, SimChip& chip);

  // --- What happened, for tests.
  std::vector<EngineHeader> headers;    // every header received, in order
  std::size_t packetsReceived = 0;      // data packets, over all downloads
  std::vector<std::uint8_t> lastImage;  // the last image programmed completely
  int imagesProgrammed = 0;
  int fullErases = 0;           // erase-only requests carried out
  std::uint8_t lastStatus = 0;  // outcome of the last header or final packet

  // --- Download in progress.
  bool receiving = false;
  std::uint32_t expectedBytes = 0;
  std::size_t packetIndex = 0;        // data packets of the current download so far
  std::vector<std::uint8_t> pending;  // bytes received so far
  EngineHeader current;

 private:
  std::uint8_t AcceptHeader(const Report& request, SimChip& chip);
  std::uint8_t TakePacket(const Report& request, SimChip& chip);
  std::uint8_t ProgramImage(SimChip& chip);
  static bool TargetAnswers(SimChip& chip);
};

}  // namespace dravlopro::sim
