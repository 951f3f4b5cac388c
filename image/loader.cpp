#include "image/loader.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

#include "cli/result_code.h"

namespace dravlopro {
namespace {

constexpr std::size_t kMinRecordLength = 11;
constexpr std::size_t kDataIndex = 9;
constexpr std::uint32_t kOptionWordCount = 4;

enum RecordType : std::uint8_t { Data = 0, EndOfFile = 1, ExtendedLinearAddress = 4 };

// A line as the loader reads it: bytes taken one by one as code units, with
// a trailing carriage return (CRLF files) removed.
std::wstring WidenLine(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::wstring wide(line.size(), L'\0');
  std::transform(line.begin(), line.end(), wide.begin(),
                 [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
  return wide;
}

// PP0..PP3 from an option record at kOptionBytesAddress: each word's four
// data bytes, last byte first, characters copied as they stand. Returns
// false when the line is too short for the words its count announces.
bool ReadOptionWords(const std::wstring& line, std::uint32_t count, ImageState& state) {
  const std::uint32_t words = std::min(count / 4, kOptionWordCount);
  if (line.size() < kDataIndex + 8 * words) return false;
  for (std::uint32_t w = 0; w < words; ++w) {
    const std::size_t first = kDataIndex + 8 * w;  // first character of byte 0
    std::wstring text;
    for (int byte = 3; byte >= 0; --byte) {
      text += line[first + 2 * byte];
      text += line[first + 2 * byte + 1];
    }
    state.ppTexts[w] = text;
  }
  return true;
}

// One data record below the option bytes; bytes past the buffer are dropped.
bool StoreData(const std::wstring& line, std::uint32_t address, std::uint32_t count,
               std::vector<std::uint8_t>& image) {
  const std::uint32_t stored =
      address < kImageBufferSize ? std::min(count, kImageBufferSize - address) : 0;
  if (line.size() < kDataIndex + 2 * static_cast<std::size_t>(stored)) return false;
  for (std::uint32_t i = 0; i < stored; ++i) {
    image[address + i] = HexPairToByte(line, kDataIndex + 2 * i);
  }
  return true;
}

bool IsDirectory(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::is_directory(file, error);
}

}  // namespace

bool IsHexFileName(const std::wstring& upperCasedName) {
  return upperCasedName.size() > 5 && upperCasedName.ends_with(L".HEX");
}

std::uint8_t hexDigitValue(wchar_t digit) {
  if (digit >= L'0' && digit <= L'9') return static_cast<std::uint8_t>(digit - L'0');
  if (digit >= L'A' && digit <= L'F') return static_cast<std::uint8_t>(digit - L'A' + 10);
  if (digit >= L'a' && digit <= L'f') return static_cast<std::uint8_t>(digit - L'a' + 10);
  return 0;
}

std::uint8_t HexPairToByte(const std::wstring& text, std::size_t index) {
  const auto at = [&text](std::size_t i) { return i < text.size() ? text[i] : L'\0'; };
  return static_cast<std::uint8_t>(16 * hexDigitValue(at(index)) + hexDigitValue(at(index + 1)));
}

std::uint32_t HexTextToUInt(const std::wstring& text) {
  std::uint32_t value = 0;
  for (wchar_t c : text) value = (value << 4) | hexDigitValue(c);
  return value;
}

HexLoad LoadHexImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                     ImageState& state) {
  if (IsDirectory(file)) return HexLoad::CannotOpen;
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return HexLoad::CannotOpen;

  image.assign(kImageBufferSize, 0xFF);
  std::uint32_t end = 0;
  std::uint32_t address = 0;
  HexLoad outcome = HexLoad::Loaded;

  std::string raw;
  while (outcome == HexLoad::Loaded && std::getline(in, raw)) {
    const std::wstring line = WidenLine(raw);
    if (line.empty() || line[0] != L':') {
      outcome = HexLoad::BadLine;
      break;
    }
    if (line.size() < kMinRecordLength) continue;

    const std::uint32_t count = HexPairToByte(line, 1);
    address = (address & 0xFFFF0000u) + 256u * HexPairToByte(line, 3) + HexPairToByte(line, 5);
    const std::uint8_t type = HexPairToByte(line, 7);

    const std::uint32_t recordEnd = address + count;
    if (recordEnd > end && recordEnd <= kHexImageEnd) end = recordEnd;

    if (type == EndOfFile) break;
    if (type == ExtendedLinearAddress) {
      if (line.size() < 13) {
        outcome = HexLoad::ShortRecord;
        break;
      }
      address = (256u * HexPairToByte(line, 9) + HexPairToByte(line, 11)) << 16;
      if (address != kOptionBytesAddress && address >= kHexImageEnd) outcome = HexLoad::Rejected;
      continue;
    }
    if (type != Data) continue;

    if (address < kOptionBytesAddress) {
      if (!StoreData(line, address, count, image)) outcome = HexLoad::ShortRecord;
    } else if (address == kOptionBytesAddress) {
      if (!ReadOptionWords(line, count, state)) outcome = HexLoad::ShortRecord;
    } else if (address == kOptionWord4Address && count >= 1) {
      const std::uint8_t b = HexPairToByte(line, kDataIndex);
      state.cp0Enabled = (b & 0x01) == 0 ? 1 : 0;
      state.cp1Enabled = (b & 0x02) == 0 ? 1 : 0;
    }
  }

  state.imageSize = outcome == HexLoad::Loaded ? end : 0;
  return outcome;
}

int LoadBinaryImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                    ImageState& state) {
  if (IsDirectory(file)) return FileAccessFailed;
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return FileAccessFailed;

  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return FileAccessFailed;
  in.seekg(0, std::ios::beg);

  // A file too long for the buffer is refused without reading it.
  if (static_cast<std::uint64_t>(length) > kImageBufferSize) {
    state.imageSize = static_cast<std::uint64_t>(length) > 0xFFFFFFFFu
                          ? 0xFFFFFFFFu
                          : static_cast<std::uint32_t>(length);
    return ProgramVerifyFailed;
  }

  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
  if (!bytes.empty() &&
      !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length))) {
    return FileAccessFailed;
  }

  state.imageSize = static_cast<std::uint32_t>(length);
  if (image.size() < kImageBufferSize) image.resize(kImageBufferSize, 0xFF);
  std::copy(bytes.begin(), bytes.end(), image.begin());
  return Success;
}

}  // namespace dravlopro
