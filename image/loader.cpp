#include "image/loader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <system_error>

#include "base/result_code.h"
#include "base/text.h"
#include "image/elf_image.h"
#include "probe/registers.h"

namespace dravlopro {
namespace {

constexpr std::size_t kMinRecordLength = 11;
constexpr std::size_t kDataIndex = 9;
constexpr std::uint32_t kOptionWordCount = 4;

enum RecordType : std::uint8_t { Data = 0, EndOfFile = 1, ExtendedLinearAddress = 4 };

// A HEX file takes a character that is no hexadecimal digit as 0.
std::uint32_t DigitOrZero(wchar_t c) {
  const int value = HexDigitValue(c);
  return value < 0 ? 0 : static_cast<std::uint32_t>(value);
}

// Bytes taken one by one as code units.
std::wstring WidenBytes(const std::string& line) {
  std::wstring wide(line.size(), L'\0');
  std::transform(line.begin(), line.end(), wide.begin(),
                 [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
  return wide;
}

// Hands out the lines of a stream without their line ends ("\n", "\r\n" or
// a bare "\r"). The stream is read in blocks and no line grows past
// kMaxHexLineLength, so memory stays bounded whatever the stream holds.
class LineReader {
 public:
  enum class Next { Line, End, TooLong, Failed };

  explicit LineReader(std::istream& in) : in_(in) { line_.reserve(kMaxHexLineLength); }

  Next Read() {
    line_.clear();
    ++number_;
    for (;;) {
      if (next_ == filled_ && !Refill()) {
        if (failed_) return Next::Failed;
        return line_.empty() ? Next::End : Next::Line;
      }
      if (afterCr_) {
        afterCr_ = false;
        if (block_[next_] == '\n') {  // the second half of "\r\n"
          ++next_;
          continue;
        }
      }
      const char* const begin = block_.data() + next_;
      const char* const end = block_.data() + filled_;
      const char* const stop =
          std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
      const auto length = static_cast<std::size_t>(stop - begin);
      if (line_.size() + length > kMaxHexLineLength) return Next::TooLong;
      line_.append(begin, length);
      next_ += length;
      if (stop != end) {
        ++next_;
        afterCr_ = *stop == '\r';
        return Next::Line;
      }
    }
  }

  const std::string& line() const { return line_; }
  // The number of the line Read() handed out last, from 1.
  std::size_t number() const { return number_; }

 private:
  bool Refill() {
    if (ended_) return false;
    in_.read(block_.data(), static_cast<std::streamsize>(block_.size()));
    filled_ = static_cast<std::size_t>(in_.gcount());
    next_ = 0;
    failed_ = in_.bad();
    ended_ = failed_ || !in_.good();
    return !failed_ && filled_ > 0;
  }

  std::istream& in_;
  std::array<char, 4096> block_{};
  std::size_t filled_ = 0;
  std::size_t next_ = 0;
  bool afterCr_ = false;
  bool ended_ = false;
  bool failed_ = false;
  std::size_t number_ = 0;
  std::string line_;
};

// PP0..PP3 from an option record at option::kPageAddress: each word's four
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

// Why a HEX text was refused, for the user: the line and what is wrong.
std::string HexProblem(HexLoad outcome, std::size_t line, std::uint32_t upper) {
  const std::string at = "line " + std::to_string(line);
  switch (outcome) {
    case HexLoad::BadLine:
      return at + " does not begin with ':'";
    case HexLoad::ShortRecord:
      return at + " holds fewer characters than its record needs";
    case HexLoad::Rejected:
      return at + Format(
                      " sets the upper address 0x%04X, outside flash (0x0000 to 0x0003) and the "
                      "option bytes (0x1FF0)",
                      static_cast<unsigned>(upper >> 16));
    case HexLoad::LongLine:
      static_assert(kMaxHexLineLength == 1024);
      return at + " is longer than 1,024 characters";
    case HexLoad::Loaded:
    case HexLoad::CannotOpen:
    case HexLoad::ReadFailed:
      break;
  }
  return {};
}

// The records of a HEX text, in order, up to the end record. Sets
// state.imageSize when the load succeeds.
HexLoad ReadHexRecords(std::istream& in, std::vector<std::uint8_t>& image, ImageState& state,
                       std::string* why) {
  image.assign(kImageBufferSize, 0xFF);
  std::uint32_t end = 0;
  std::uint32_t address = 0;

  LineReader reader(in);
  const auto refuse = [&](HexLoad outcome) {
    if (why != nullptr) *why = HexProblem(outcome, reader.number(), address);
    return outcome;
  };
  for (;;) {
    const LineReader::Next next = reader.Read();
    if (next == LineReader::Next::End) break;
    if (next == LineReader::Next::TooLong) return refuse(HexLoad::LongLine);
    if (next == LineReader::Next::Failed) return HexLoad::ReadFailed;
    const std::wstring line = WidenBytes(reader.line());
    if (line.empty() || line[0] != L':') return refuse(HexLoad::BadLine);
    if (line.size() < kMinRecordLength) continue;

    const std::uint32_t count = HexPairToByte(line, 1);
    address = (address & 0xFFFF0000u) + 256u * HexPairToByte(line, 3) + HexPairToByte(line, 5);
    const std::uint8_t type = HexPairToByte(line, 7);

    const std::uint32_t recordEnd = address + count;
    if (recordEnd > end && recordEnd <= kHexImageEnd) end = recordEnd;

    if (type == EndOfFile) break;
    if (type == ExtendedLinearAddress) {
      if (line.size() < 13) return refuse(HexLoad::ShortRecord);
      address = (256u * HexPairToByte(line, 9) + HexPairToByte(line, 11)) << 16;
      if (address != option::kPageAddress && address >= kHexImageEnd) {
        return refuse(HexLoad::Rejected);
      }
      continue;
    }
    if (type != Data) continue;

    if (address < option::kPageAddress) {
      if (!StoreData(line, address, count, image)) return refuse(HexLoad::ShortRecord);
    } else if (address == option::kPageAddress) {
      if (!ReadOptionWords(line, count, state)) return refuse(HexLoad::ShortRecord);
    } else if (address == option::kProtectionWord && count >= 1) {
      const std::uint8_t b = HexPairToByte(line, kDataIndex);
      state.cp0Enabled = option::Cp0Enabled(b) ? 1 : 0;
      state.cp1Enabled = option::Cp1Enabled(b) ? 1 : 0;
    }
  }
  state.imageSize = end;
  return HexLoad::Loaded;
}

// Reads the stream to its end, or until bytes holds limit bytes, adding to
// what bytes holds. False on a read error.
bool ReadAtMost(std::istream& in, std::size_t limit, std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t kBlock = 64 * 1024;
  if (in.fail()) return false;
  while (bytes.size() < limit) {
    const std::size_t had = bytes.size();
    const std::size_t wanted = std::min(kBlock, limit - had);
    bytes.resize(had + wanted);
    in.read(reinterpret_cast<char*>(bytes.data() + had), static_cast<std::streamsize>(wanted));
    bytes.resize(had + static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return false;
    if (!in.good()) break;
  }
  return true;
}

// A binary image already read: at most kImageBufferSize bytes fit.
int PlaceBinary(const std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t>& image,
                ImageState& state) {
  if (bytes.size() > kImageBufferSize) {
    state.imageSize = kImageBufferSize + 1;
    return ProgramVerifyFailed;
  }
  if (image.size() < kImageBufferSize) image.resize(kImageBufferSize, 0xFF);
  std::copy(bytes.begin(), bytes.end(), image.begin());
  state.imageSize = static_cast<std::uint32_t>(bytes.size());
  return Success;
}

// The most an ELF file that cannot be sought in (a pipe, a FIFO) may hold;
// it is read whole before its headers are looked at.
constexpr std::size_t kMaxElfStream = 64 * 1024 * 1024;

bool IsDirectory(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::is_directory(file, error);
}

std::string SystemReason(int error) { return std::generic_category().message(error); }

// Sets *why, when asked for, and gives the result.
int Refuse(std::string* why, std::string reason, int result = FileAccessFailed) {
  if (why != nullptr) *why = std::move(reason);
  return result;
}

// Opens the file for reading; on failure *why says why, in the system's
// words ("No such file or directory", "Is a directory").
bool OpenForReading(const std::filesystem::path& file, std::ifstream& in, std::string* why) {
  if (IsDirectory(file)) {
    Refuse(why, SystemReason(static_cast<int>(std::errc::is_a_directory)));
    return false;
  }
  errno = 0;
  in.open(file, std::ios::binary);
  if (in.is_open()) return true;
  const int error = errno;
  std::error_code ignored;
  if (error != 0) {
    Refuse(why, SystemReason(error));
  } else if (!std::filesystem::exists(file, ignored)) {
    Refuse(why, SystemReason(static_cast<int>(std::errc::no_such_file_or_directory)));
  } else {
    Refuse(why, "cannot be opened");
  }
  return false;
}

// Why reading failed: the system's reason when it gave one.
std::string ReadReason(int error) {
  return error != 0 ? SystemReason(error) : std::string("cannot be read to its end");
}

}  // namespace

bool IsHexFileName(const std::wstring& upperCasedName) {
  return upperCasedName.size() > 5 && upperCasedName.ends_with(L".HEX");
}

std::uint8_t HexPairToByte(const std::wstring& text, std::size_t index) {
  const auto at = [&text](std::size_t i) { return i < text.size() ? text[i] : L'\0'; };
  return static_cast<std::uint8_t>(16 * DigitOrZero(at(index)) + DigitOrZero(at(index + 1)));
}

std::uint32_t HexTextToUInt(const std::wstring& text) {
  std::uint32_t value = 0;
  for (wchar_t c : text) value = (value << 4) | DigitOrZero(c);
  return value;
}

HexLoad LoadHexImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                     ImageState& state, std::string* why) {
  std::ifstream in;
  if (!OpenForReading(file, in, why)) return HexLoad::CannotOpen;
  errno = 0;
  return ReadHexImage(in, image, state, why);
}

HexLoad ReadHexImage(std::istream& in, std::vector<std::uint8_t>& image, ImageState& state,
                     std::string* why) {
  HexLoad outcome = HexLoad::ReadFailed;
  try {
    if (!in.fail()) outcome = ReadHexRecords(in, image, state, why);
  } catch (const std::bad_alloc&) {
    outcome = HexLoad::ReadFailed;
  }
  if (outcome == HexLoad::ReadFailed) Refuse(why, ReadReason(errno));
  if (outcome != HexLoad::Loaded) state.imageSize = 0;
  return outcome;
}

int LoadBinaryImage(const std::filesystem::path& file, std::vector<std::uint8_t>& image,
                    ImageState& state, std::string* why) {
  bool elf = false;
  return LoadBinaryOrElfImage(file, false, image, state, elf, why);
}

int LoadBinaryOrElfImage(const std::filesystem::path& file, bool namedElf,
                         std::vector<std::uint8_t>& image, ImageState& state, bool& elf,
                         std::string* why) {
  elf = false;
  std::ifstream in;
  if (!OpenForReading(file, in, why)) return FileAccessFailed;
  std::string reason;
  try {
    std::error_code error;
    if (std::filesystem::is_regular_file(file, error)) {
      // A regular file: its first bytes tell an ELF file; anything else too
      // long for the buffer is refused by its length, without reading it.
      in.seekg(0, std::ios::end);
      const std::streamoff length = in.tellg();
      in.seekg(0, std::ios::beg);
      char head[sizeof kElfMagic] = {};
      errno = 0;
      in.read(head, sizeof head);
      if (in.bad() || length < 0) return Refuse(why, ReadReason(errno));
      in.clear();
      if (namedElf || HasElfMagic(std::string_view(head, static_cast<std::size_t>(in.gcount())))) {
        elf = true;
        if (ReadElfImage(in, static_cast<std::uint64_t>(length), image, state, reason)) {
          return Success;
        }
        return Refuse(why, reason);
      }
      if (length > static_cast<std::streamoff>(kImageBufferSize)) {
        state.imageSize = static_cast<std::uint64_t>(length) > 0xFFFFFFFFu
                              ? 0xFFFFFFFFu
                              : static_cast<std::uint32_t>(length);
        return ProgramVerifyFailed;
      }
      in.seekg(0, std::ios::beg);
      return ReadBinaryImage(in, image, state, why);
    }
    // Anything else is read to its end, its first bytes telling the kind: a
    // binary image up to one byte past the buffer, an ELF file up to
    // kMaxElfStream.
    std::vector<std::uint8_t> bytes;
    errno = 0;
    if (!ReadAtMost(in, sizeof kElfMagic, bytes)) return Refuse(why, ReadReason(errno));
    const bool magic =
        HasElfMagic(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const std::size_t limit = magic || namedElf ? kMaxElfStream + 1 : kImageBufferSize + 1;
    // A name that says ELF over other bytes is refused from these.
    const bool more = in.good() && (magic || !namedElf);
    if (more && !ReadAtMost(in, limit, bytes)) return Refuse(why, ReadReason(errno));
    if (!magic && !namedElf) return PlaceBinary(bytes, image, state);
    elf = true;
    if (bytes.size() > kMaxElfStream) return Refuse(why, "ELF file of more than 64 MB in a stream");
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    if (ReadElfImage(text, bytes.size(), image, state, reason)) return Success;
    return Refuse(why, reason);
  } catch (const std::bad_alloc&) {
    return Refuse(why, "not enough memory to load it");
  }
}

int ReadBinaryImage(std::istream& in, std::vector<std::uint8_t>& image, ImageState& state,
                    std::string* why) {
  try {
    std::vector<std::uint8_t> bytes;
    errno = 0;
    if (!ReadAtMost(in, kImageBufferSize + 1, bytes)) return Refuse(why, ReadReason(errno));
    return PlaceBinary(bytes, image, state);
  } catch (const std::bad_alloc&) {
    return Refuse(why, "not enough memory to load it");
  }
}

}  // namespace dravlopro
