// ELF images: every fixture loads exactly as its Intel HEX copy (made by
// objcopy) does, and a file that cannot be loaded is refused with its
// reason before anything is sent to the adapter. The fixtures and their
// sources are in tests/image/elf/ (rebuilt by its build.sh).

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "image/elf_image.h"
#include "image/program.h"
#include "tests/image/loader_test_support.h"

namespace dravlopro::loadertest {
namespace {

const std::string kFixtures = DRAVLOPRO_SOURCE_DIR "/tests/image/elf/";
// Each with its HEX copy beside it: NAME.elf and NAME.hex.
const std::string kBlinky = "../../../examples/blinky/blinky";
const std::vector<std::string> kLoadable = {kBlinky, "data", "gap", "options", "virtual"};

struct Loaded {
  ImageLoad load;
  std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kImageBufferSize, 0);
  ImageState state;
};

Loaded Load(const std::string& name, ImageKind kind) {
  Loaded out;
  out.state.ppTexts.fill(L"FFFFFFFF");  // as "-a" leaves them
  out.load = LoadImageFile(testing::Utf8Path(kFixtures + name), kind, out.image, out.state);
  return out;
}

TEST(ElfFileName, EndsInElfOrAxfAfterUpperCasing) {
  EXPECT_EQ(ImageKindOfName(L"APP.ELF"), ImageKind::Elf);
  EXPECT_EQ(ImageKindOfName(L"APP.AXF"), ImageKind::Elf);
  EXPECT_EQ(ImageKindOfName(L"APP.HEX"), ImageKind::Hex);
  EXPECT_EQ(ImageKindOfName(L"APP.ELF.BIN"), ImageKind::Binary);
  EXPECT_TRUE(
      HasElfMagic("\x7F"
                  "ELF\x01"));
  EXPECT_FALSE(
      HasElfMagic("\x7F"
                  "EL"));
}

TEST(ElfImages, LoadExactlyAsTheirHexCopies) {
  std::vector<std::string> names = kLoadable;
  names.push_back("sram");  // refused, as its HEX copy is
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const Loaded elf = Load(name + ".elf", ImageKind::Elf);
    const Loaded hex = Load(name + ".hex", ImageKind::Hex);
    EXPECT_EQ(elf.load.kind, ImageKind::Elf);
    EXPECT_EQ(elf.load.result, hex.load.result);
    EXPECT_EQ(elf.state.imageSize, hex.state.imageSize);
    EXPECT_EQ(elf.state.ppTexts, hex.state.ppTexts);
    EXPECT_EQ(elf.state.cp0Enabled, hex.state.cp0Enabled);
    EXPECT_EQ(elf.state.cp1Enabled, hex.state.cp1Enabled);
    if (hex.load.result == 0) {
      EXPECT_TRUE(elf.image == hex.image);
    }
  }
  // What the fixtures hold, so that the comparison above compares something.
  const Loaded data = Load("data.elf", ImageKind::Elf);
  EXPECT_EQ(data.state.imageSize, 0x68u);  // .data's 4 bytes at their load address, no .bss
  EXPECT_EQ(GetLe32(&data.image[0x64]), 0x12345678u);
  const Loaded gap = Load("virtual.elf", ImageKind::Elf);
  EXPECT_EQ(gap.image[0x14], 0xFF);
  EXPECT_EQ(GetLe32(&gap.image[0x2000]), 0x11111111u);
  const Loaded options = Load("options.elf", ImageKind::Elf);
  EXPECT_EQ(options.state.ppTexts[0], L"FFFFFFFE");
  EXPECT_EQ(options.state.ppTexts[3], L"7FFFFFFF");
  EXPECT_EQ(options.state.cp1Enabled, 1u);
  EXPECT_EQ(Load("sram.hex", ImageKind::Hex).load.result, 20);
}

// Copies of options.elf (option words in program header 2, code in 0) with
// one field changed, for the refusals no fixture shows.
TEST(ElfImages, SegmentsOnlyInFlashAndWhereHexOptionRecordsGo) {
  const std::string original = testing::ScratchDir::Read(kFixtures + "options.elf");
  const auto load = [](std::string bytes) {
    std::vector<std::uint8_t> image;
    ImageState state;
    std::istringstream in(bytes);
    std::string why;
    EXPECT_FALSE(ReadElfImage(in, bytes.size(), image, state, why));
    return why;
  };
  const auto withPhysical = [&](int segment, std::uint32_t address) {
    std::string bytes = original;
    PutLe32(reinterpret_cast<std::uint8_t*>(&bytes[52 + 32 * segment + 12]), address);
    return load(bytes);
  };
  EXPECT_EQ(withPhysical(2, 0x1FF00004),
            "segment 2 at 0x1FF00004 is not at option word 0 (0x1FF00000) or option word 4 "
            "(0x1FF00010)");
  EXPECT_EQ(withPhysical(2, 0x1FF00010),
            "segment 2 at 0x1FF00010 runs past option word 4 (0x1FF00010 to 0x1FF00013)");
  EXPECT_EQ(withPhysical(2, 0x1FF00020), "segment 2 at 0x1FF00020 is not in flash");
  EXPECT_EQ(withPhysical(0, 0x3FFF0),
            "segment 0 at 0x0003FFF0 runs past the end of flash at 0x00040000");
  EXPECT_EQ(load(original.substr(0, 100)),
            "truncated ELF file: it ends inside its program headers");
}

TEST_F(ImageFileCommandTest, ElfProgramsAndVerifiesWhatItsHexCopyDoes) {
  for (const std::string& name : kLoadable) {
    SCOPED_TRACE(name);
    ASSERT_EQ(bench_.Run({"-a", kFixtures + name + ".hex"}), 0);
    const std::vector<sim::TraceEntry> hex = bench_.hid.trace;
    chip().SetFlashBytes(0, std::vector<std::uint8_t>(0x100, 0));
    ASSERT_EQ(bench_.Run({"-a", kFixtures + name + ".elf"}), 0);
    // "-a" sent exactly what it sent for the HEX copy, option words and all.
    ASSERT_EQ(bench_.hid.trace.size(), hex.size());
    for (std::size_t i = 0; i < hex.size(); ++i) {
      ASSERT_EQ(bench_.hid.trace[i].request, hex[i].request) << "exchange " << i;
    }
    EXPECT_EQ(bench_.Run({"-v", kFixtures + name + ".elf"}), 0);
  }
  EXPECT_EQ(chip().FlashByte(0x2000), 0x11);  // virtual.elf's table, at its virtual address
}

TEST_F(ImageFileCommandTest, RefusedElfFilesGiveTwentyAndSendNothing) {
  struct Case {
    const char* file;
    std::string why;
  };
  for (const Case& c : {
           Case{"sram.elf", "segment 0 at 0x20000000 is not in flash"},
           Case{"overlap.elf", "segments 0 and 1 overlap at 0x00000008"},
           Case{"big-endian.elf",
                "big-endian ELF file; only little-endian Arm executables are loaded"},
           Case{"machine.elf", "ELF file for machine 3, not for Arm"},
           Case{"x86-64.elf", "64-bit ELF file; only 32-bit Arm executables are loaded"},
           Case{"app.o", "relocatable object file, not a linked executable"},  // by its first bytes
           Case{"header-cut.elf", "truncated ELF file: it ends inside its header"},
           Case{"segment-cut.elf", "segment 0 runs past the end of the file"},
           Case{"data.hex", "not an ELF file (it does not begin with 0x7F 'E' 'L' 'F')"},
       }) {
    SCOPED_TRACE(c.file);
    std::string file = kFixtures + c.file;
    if (file.ends_with(".hex"))
      file = dir_.Write("DATA.ELF", testing::ScratchDir::Read(file)).string();
    EXPECT_EQ(bench_.Run({"-a", file}), 20);
    EXPECT_EQ(bench_.output(), testing::kDefaultSelection + "Process: -a (Fail)\n" + kFileFailure);
    EXPECT_EQ(bench_.errorOutput(), "dravlopro: " + file + ": " + c.why + "\n");
    EXPECT_TRUE(bench_.console.alerts.empty());
    ExpectNothingSent();
  }
  EXPECT_EQ(bench_.Run({"-v", kFixtures + "sram.elf"}), 20);
  ExpectNothingSent();
  EXPECT_EQ(bench_.Run({"-q", "-a", kFixtures + "sram.elf"}), 20);
  EXPECT_EQ(bench_.errorOutput(), "");
}

}  // namespace
}  // namespace dravlopro::loadertest
