#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocol/report.h"

// The CMSIS-DAP requests the tool sends, one encoder and one answer decoder
// each. An encoder writes only its own fields from byte 1 on: bytes past
// them keep what an earlier request in the same buffer left there, which the
// adapter ignores and the exact request bytes of an operation rely on.
namespace dravlopro::dap {

// Command codes, as byte 1 of a request and of its answer.
constexpr std::uint8_t kInfo = 0x00;
constexpr std::uint8_t kHostStatus = 0x01;
constexpr std::uint8_t kConnect = 0x02;
// Never sent by the tool; named for what other programs may have sent.
constexpr std::uint8_t kDisconnect = 0x03;
constexpr std::uint8_t kTransferConfigure = 0x04;
constexpr std::uint8_t kTransfer = 0x05;
constexpr std::uint8_t kTransferBlock = 0x06;
constexpr std::uint8_t kWriteAbort = 0x08;
constexpr std::uint8_t kSwjPins = 0x10;
constexpr std::uint8_t kSwjClock = 0x11;
constexpr std::uint8_t kSwjSequence = 0x12;
constexpr std::uint8_t kSwdConfigure = 0x13;

constexpr std::uint8_t kInfoFirmwareVersion = 0x04;
constexpr std::uint8_t kInfoPacketSize = 0xFF;
constexpr std::uint8_t kConnectSwd = 0x01;
constexpr std::uint8_t kIndicatorConnect = 0x00;
// The status byte of a general answer.
constexpr std::uint8_t kDapOk = 0x00;

// Transfer request bytes: bit 0 AP, bit 1 read, bits 2-3 A[3:2].
constexpr std::uint8_t kWriteApCsw = 0x01;
constexpr std::uint8_t kReadDpIdr = 0x02;
constexpr std::uint8_t kWriteDpCtrlStat = 0x04;
constexpr std::uint8_t kWriteApTar = 0x05;
constexpr std::uint8_t kReadDpCtrlStat = 0x06;
constexpr std::uint8_t kWriteDpSelect = 0x08;
constexpr std::uint8_t kReadApBank8 = 0x0B;
constexpr std::uint8_t kWriteApDrw = 0x0D;
constexpr std::uint8_t kReadApDrw = 0x0F;

// The acknowledge of the last transfer. An answer that never came reads as
// all zeros, so kTransferNoAnswer stands for a broken link; anything else
// but kTransferOk is the target's own refusal (WAIT, FAULT, no answer on
// the wire).
constexpr std::uint8_t kTransferNoAnswer = 0;
constexpr std::uint8_t kTransferOk = 1;
// At most 14 words travel in one DAP_TransferBlock.
constexpr std::uint32_t kMaxBlockWords = 14;

// --- DAP_Info ---------------------------------------------------------------
void EncodeInfo(Report& request, std::uint8_t id);
// A string item (the firmware version): at most maxLength characters, cut at
// the first zero.
std::string DecodeInfoText(const Report& answer, std::size_t maxLength);
// The packet-size item: true with the size when the answer is one.
bool DecodeInfoPacketSize(const Report& answer, std::uint16_t& size);

// --- DAP_HostStatus ----------------------------------------------------------
void EncodeHostStatus(Report& request, std::uint8_t indicator, bool on);

// --- DAP_Connect -------------------------------------------------------------
void EncodeConnect(Report& request, std::uint8_t port);
// The port the adapter connected, 0 when it failed.
std::uint8_t DecodeConnect(const Report& answer);

// --- DAP_SWJ_Clock, DAP_TransferConfigure, DAP_SWD_Configure, DAP_WriteABORT,
// DAP_SWJ_Sequence: their answers carry only a status, read by DecodeStatus.
void EncodeSwjClock(Report& request, std::uint32_t hertz);
void EncodeTransferConfigure(Report& request, std::uint8_t idleCycles, std::uint16_t waitRetries,
                             std::uint16_t matchRetries);
void EncodeSwdConfigure(Report& request, std::uint8_t configuration);
void EncodeWriteAbort(Report& request, std::uint32_t value);
void EncodeSwjSequence(Report& request, std::uint8_t bitCount, std::span<const std::uint8_t> bits);
// True when the answer echoes `command` and says DAP_OK. A lost answer reads
// as all zeros, whose status byte would say DAP_OK too: the echo tells it
// apart, as it does DAP_Invalid and the answer of another request.
bool DecodeStatus(const Report& answer, std::uint8_t command);

// --- DAP_SWJ_Pins ------------------------------------------------------------
void EncodeSwjPins(Report& request, std::uint8_t output, std::uint8_t select,
                   std::uint32_t waitMicroseconds);
// The pin levels the adapter read back.
std::uint8_t DecodeSwjPins(const Report& answer);

// --- DAP_Transfer ------------------------------------------------------------
// The header (DAP index 0 and the number of transfers); the transfers follow
// through the returned writer.
RequestWriter BeginTransfer(Report& request, std::uint8_t transfers);
// One register write, one register read.
void EncodeRegisterWrite(Report& request, std::uint8_t access, std::uint32_t value);
void EncodeRegisterRead(Report& request, std::uint8_t access);
// One write of TAR.
void EncodeTarWrite(Report& request, std::uint32_t address);
// The closing read of DP CTRL/STAT.
void EncodeStatusRead(Report& request);
// TAR and one DRW write, or TAR and one DRW read, in one request.
void EncodeWordWrite(Report& request, std::uint32_t address, std::uint32_t value);
void EncodeWordRead(Report& request, std::uint32_t address);

struct TransferAnswer {
  std::uint8_t count = 0;                   // transfers done
  std::uint8_t status = kTransferNoAnswer;  // the last transfer's acknowledge
  std::uint32_t value = 0;                  // the word of the first read (the tool sends one)
};
TransferAnswer DecodeTransfer(const Report& answer);

// --- DAP_TransferBlock -------------------------------------------------------
// The header for count accesses of one register; the words of a write follow
// through the returned writer.
RequestWriter BeginTransferBlock(Report& request, std::uint16_t count, std::uint8_t access);
// The acknowledge, and the data words of the answer into `words` (as many as
// it holds, at most what one answer carries). The words are copied whatever
// the acknowledge says; they are the target's only when it is kTransferOk.
std::uint8_t DecodeTransferBlock(const Report& answer, std::span<std::uint32_t> words);

}  // namespace dravlopro::dap
