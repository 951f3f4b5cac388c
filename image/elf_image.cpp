#include "image/elf_image.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>

#include "base/little_endian.h"
#include "base/text.h"
#include "image/loader.h"
#include "probe/registers.h"

namespace dravlopro {
namespace {

// The ELF32 header and program header fields read, by their offsets.
namespace field {
constexpr std::size_t kClass = 4;  // e_ident[EI_CLASS]
constexpr std::size_t kData = 5;   // e_ident[EI_DATA]
constexpr std::size_t kIdentSize = 16;
constexpr std::size_t kType = 16;
constexpr std::size_t kMachine = 18;
constexpr std::size_t kProgramHeaderOffset = 28;
constexpr std::size_t kProgramHeaderSize = 42;
constexpr std::size_t kProgramHeaderCount = 44;
constexpr std::size_t kHeaderSize = 52;

constexpr std::size_t kSegmentType = 0;
constexpr std::size_t kSegmentOffset = 4;
constexpr std::size_t kVirtualAddress = 8;
constexpr std::size_t kPhysicalAddress = 12;
constexpr std::size_t kFileSize = 16;
constexpr std::size_t kSegmentHeaderSize = 32;
}  // namespace field

constexpr std::uint8_t kClass32 = 1;
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint8_t kBigEndian = 2;
constexpr std::uint16_t kTypeRelocatable = 1;
constexpr std::uint16_t kTypeExecutable = 2;
constexpr std::uint16_t kMachineArm = 40;
constexpr std::uint32_t kLoadSegment = 1;  // PT_LOAD

// Option words 0 to 3 (PP0 to PP3) and word 4 (the protection word).
constexpr std::uint64_t kOptionWordsEnd = option::kProtectionWord + 4;
// The HEX copy's records hold 16 bytes each, from the start of a segment.
constexpr std::size_t kRecordBytes = 16;
constexpr std::uint32_t kOptionWordCount = 4;

// A PT_LOAD entry with file bytes: where they are and where they go.
struct Segment {
  std::size_t index;  // in the program header table, from 0 as readelf -l counts
  std::uint64_t address;
  std::uint64_t offset;
  std::uint64_t size;
  std::uint64_t end() const { return address + size; }
  bool inFlash() const { return end() <= kHexImageEnd; }
};

std::string Address(std::uint64_t address) {
  return Format("0x%08X", static_cast<unsigned>(address));
}

std::string Named(const Segment& s) {
  return "segment " + std::to_string(s.index) + " at " + Address(s.address);
}

bool ReadAt(std::istream& in, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
  if (count == 0) return true;
  in.clear();
  in.seekg(static_cast<std::streamoff>(offset));
  if (!in) return false;
  in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
  return static_cast<std::size_t>(in.gcount()) == count;
}

// What is wrong with the header, or nothing. header holds the first `got`
// bytes of the file (at most a header's worth).
std::optional<std::string> HeaderProblem(const std::uint8_t* header, std::size_t got) {
  if (got < sizeof kElfMagic ||
      !HasElfMagic(std::string_view(reinterpret_cast<const char*>(header), got))) {
    return "not an ELF file (it does not begin with 0x7F 'E' 'L' 'F')";
  }
  if (got < field::kIdentSize) return "truncated ELF file: it ends inside its header";
  const std::uint8_t elfClass = header[field::kClass];
  if (elfClass == kClass64) return "64-bit ELF file; only 32-bit Arm executables are loaded";
  if (elfClass != kClass32) return "ELF file of unknown class " + std::to_string(elfClass);
  const std::uint8_t order = header[field::kData];
  if (order == kBigEndian) {
    return "big-endian ELF file; only little-endian Arm executables are loaded";
  }
  if (order != kLittleEndian) return "ELF file of unknown byte order " + std::to_string(order);
  if (got < field::kHeaderSize) return "truncated ELF file: it ends inside its header";
  const std::uint16_t type = GetLe16(header + field::kType);
  if (type == kTypeRelocatable) return "relocatable object file, not a linked executable";
  if (type != kTypeExecutable) {
    return "ELF file of type " + std::to_string(type) + ", not an executable";
  }
  const std::uint16_t machine = GetLe16(header + field::kMachine);
  if (machine != kMachineArm) {
    return "ELF file for machine " + std::to_string(machine) + ", not for Arm";
  }
  return std::nullopt;
}

// What is wrong with where the segment goes, or nothing: it must lie in
// flash, or be the option words as a HEX option record gives them.
std::optional<std::string> PlaceProblem(const Segment& s) {
  if (s.inFlash()) return std::nullopt;
  if (s.address < kHexImageEnd) return Named(s) + " runs past the end of flash at 0x00040000";
  if (s.address < option::kPageAddress || s.address >= kOptionWordsEnd) {
    return Named(s) + " is not in flash";
  }
  if (s.address != option::kPageAddress && s.address != option::kProtectionWord) {
    return Named(s) + " is not at option word 0 (0x1FF00000) or option word 4 (0x1FF00010)";
  }
  if (s.end() > kOptionWordsEnd)
    return Named(s) + " runs past option word 4 (0x1FF00010 to 0x1FF00013)";
  return std::nullopt;
}

// The option texts and flags the HEX copy's records of this segment set.
void ApplyOptionBytes(std::uint64_t address, const std::vector<std::uint8_t>& bytes,
                      ImageState& state) {
  for (std::size_t at = 0; at < bytes.size(); at += kRecordBytes) {
    const std::size_t count = std::min(kRecordBytes, bytes.size() - at);
    const std::uint8_t* data = bytes.data() + at;
    if (address + at == option::kPageAddress) {
      const std::size_t words = std::min<std::size_t>(count / 4, kOptionWordCount);
      for (std::size_t w = 0; w < words; ++w) {
        const std::uint8_t* b = data + 4 * w;
        state.ppTexts[w] = Widen(Format("%02X%02X%02X%02X", b[3], b[2], b[1], b[0]));
      }
    } else if (address + at == option::kProtectionWord) {
      state.cp0Enabled = option::Cp0Enabled(data[0]) ? 1 : 0;
      state.cp1Enabled = option::Cp1Enabled(data[0]) ? 1 : 0;
    }
  }
}

std::optional<std::string> Load(std::istream& in, std::uint64_t size,
                                std::vector<std::uint8_t>& image, ImageState& state) {
  std::array<std::uint8_t, field::kHeaderSize> header{};
  const auto got = static_cast<std::size_t>(std::min<std::uint64_t>(size, header.size()));
  if (!ReadAt(in, 0, header.data(), got)) return "cannot be read";
  if (auto problem = HeaderProblem(header.data(), got)) return problem;

  const std::uint32_t tableOffset = GetLe32(header.data() + field::kProgramHeaderOffset);
  const std::uint16_t entrySize = GetLe16(header.data() + field::kProgramHeaderSize);
  const std::uint16_t count = GetLe16(header.data() + field::kProgramHeaderCount);
  if (count == 0) return "ELF file without program headers: nothing to load";
  if (entrySize != field::kSegmentHeaderSize) {
    return "program headers of " + std::to_string(entrySize) + " bytes, not 32";
  }
  const std::uint64_t tableSize = std::uint64_t{count} * field::kSegmentHeaderSize;
  if (tableOffset + tableSize > size) {
    return "truncated ELF file: it ends inside its program headers";
  }
  std::vector<std::uint8_t> table(tableSize);
  if (!ReadAt(in, tableOffset, table.data(), table.size())) return "cannot be read";

  // As the peers (and objcopy) do: when no program header gives a physical
  // address, the virtual addresses are the load addresses.
  bool anyPhysical = false;
  for (std::size_t i = 0; i < count; ++i) {
    anyPhysical |= GetLe32(&table[i * field::kSegmentHeaderSize + field::kPhysicalAddress]) != 0;
  }
  std::vector<Segment> segments;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &table[i * field::kSegmentHeaderSize];
    if (GetLe32(entry + field::kSegmentType) != kLoadSegment) continue;
    const Segment s{
        i, GetLe32(entry + (anyPhysical ? field::kPhysicalAddress : field::kVirtualAddress)),
        GetLe32(entry + field::kSegmentOffset), GetLe32(entry + field::kFileSize)};
    if (s.size == 0) continue;  // memory only: .bss, NOLOAD
    if (s.offset + s.size > size)
      return "segment " + std::to_string(i) + " runs past the end of the file";
    if (auto problem = PlaceProblem(s)) return problem;
    segments.push_back(s);
  }
  if (segments.empty()) return "no segment with file bytes to load";

  std::vector<Segment> byAddress = segments;
  std::sort(byAddress.begin(), byAddress.end(),
            [](const Segment& a, const Segment& b) { return a.address < b.address; });
  for (std::size_t i = 1; i < byAddress.size(); ++i) {
    const Segment& a = byAddress[i - 1];
    const Segment& b = byAddress[i];
    if (a.end() > b.address) {
      return "segments " + std::to_string(std::min(a.index, b.index)) + " and " +
             std::to_string(std::max(a.index, b.index)) + " overlap at " + Address(b.address);
    }
  }

  image.assign(kImageBufferSize, 0xFF);
  std::uint64_t end = 0;
  std::vector<std::pair<std::uint64_t, std::vector<std::uint8_t>>> options;
  for (const Segment& s : segments) {
    if (s.inFlash()) {
      if (!ReadAt(in, s.offset, image.data() + s.address, s.size)) return "cannot be read";
      end = std::max(end, s.end());
    } else {
      std::vector<std::uint8_t> bytes(s.size);
      if (!ReadAt(in, s.offset, bytes.data(), bytes.size())) return "cannot be read";
      options.emplace_back(s.address, std::move(bytes));
    }
  }
  for (const auto& [address, bytes] : options) ApplyOptionBytes(address, bytes, state);
  state.imageSize = static_cast<std::uint32_t>(end);
  return std::nullopt;
}

}  // namespace

bool HasElfMagic(std::string_view bytes) {
  return bytes.size() >= sizeof kElfMagic &&
         std::equal(std::begin(kElfMagic), std::end(kElfMagic), bytes.begin());
}

bool IsElfFileName(const std::wstring& upperCasedName) {
  return upperCasedName.ends_with(L".ELF") || upperCasedName.ends_with(L".AXF");
}

bool ReadElfImage(std::istream& in, std::uint64_t size, std::vector<std::uint8_t>& image,
                  ImageState& state, std::string& why) {
  std::optional<std::string> problem;
  try {
    problem = Load(in, size, image, state);
  } catch (const std::bad_alloc&) {
    problem = "not enough memory to load it";
  }
  if (!problem) return true;
  state.imageSize = 0;
  why = *problem;
  return false;
}

}  // namespace dravlopro
