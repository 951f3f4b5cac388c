// The one line on standard error that names the cause of a surprise, beside
// standard output and the result code, which stay what they are without it.
// Quiet mode silences it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/result_code.h"
#include "tests/harness.h"
#include "tests/result_lines.h"

namespace dravlopro {
namespace {

using namespace testing;

const std::string kBlinkyHex = DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.hex";

struct BenchWithAdapter : Bench {
  BenchWithAdapter() { hid.AddAdapter(L"A1"); }
};

TEST(CauseLines, AWordThatIsNoCommandIsNamed) {
  BenchWithAdapter bench;
  EXPECT_EQ(bench.Run({"-a", kBlinkyHex, "-rts"}), CommandNotApplicable);
  // The trail still ends with the command before it.
  EXPECT_EQ(bench.output(), kDefaultSelection + "Process: -a (Fail)\n" + kNotApplicable);
  EXPECT_EQ(bench.errorOutput(), "dravlopro: -rts: not a command; run dravlopro --help\n");

  EXPECT_EQ(bench.Run({"-a", kBlinkyHex, "-RTS", "-q"}), CommandNotApplicable);
  EXPECT_EQ(bench.output(), "");
  EXPECT_EQ(bench.errorOutput(), "");
}

TEST(CauseLines, ASavedSerialNumberThatNoAttachedAdapterHas) {
  BenchWithAdapter bench;
  EXPECT_EQ(bench.Run({"-sdev", "sn=a2"}), Success);
  EXPECT_EQ(bench.output(), "SN: A2 saves in the INI file.\n" + kSuccess);
  EXPECT_EQ(bench.errorOutput(),
            "dravlopro: no attached adapter has the serial number A2; saved all the same: runs "
            "without -id or -sn will look for it\n");
  EXPECT_TRUE(bench.settings.sn == L"A2");

  EXPECT_EQ(bench.Run({"-sdev", "sn=a1"}), Success);
  EXPECT_EQ(bench.errorOutput(), "");
  EXPECT_EQ(bench.Run({"-q", "-sdev", "sn=a3"}), Success);
  EXPECT_EQ(bench.errorOutput(), "");
}

TEST(CauseLines, ASettingThatCannotBeSavedIsAFailure) {
  BenchWithAdapter bench;
  bench.settings.sn = L"OLD";
  bench.settings.failWrites = true;
  for (const char* value : {"sn=a1", "null"}) {
    EXPECT_EQ(bench.Run({"-sdev", value}), FileAccessFailed) << value;
    EXPECT_EQ(bench.output().find("INI file"), std::string::npos) << bench.output();
    EXPECT_EQ(bench.output().find("default value"), std::string::npos) << bench.output();
    EXPECT_EQ(bench.errorOutput(),
              "dravlopro: memory/Vexa Dravlo Pro Commander/config.ini: the default adapter could "
              "not be saved\n");
    EXPECT_TRUE(bench.settings.sn == L"OLD");
  }
}

// Runs in the folder, so that a file is named as typed there ("A.HEX").
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder)
      : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(before_); }

 private:
  std::filesystem::path before_;
};

TEST(CauseLines, ABinaryImageThatLooksLikeText) {
  ScratchDir folder;
  const InFolder here(folder.path());
  const std::string hexText = ScratchDir::Read(kBlinkyHex);
  struct Case {
    const char* name;
    std::string bytes;
    std::string line;  // after "dravlopro: NAME: "
  };
  const std::string hexLine =
      "looks like Intel HEX text but is taken as a binary image; a file is read as HEX only "
      "when its name is longer than five characters and ends in .hex (any case), for example "
      "app.hex\n";
  const std::vector<Case> cases{
      {"A.HEX", hexText, hexLine},
      {"APP.IHEX", hexText, hexLine},
      {"APP.S19",
       "S00F000068656C6C6F202020202000003C\r\nS1130000285F245F2212226A000424290008237C2A\r\n",
       "looks like Motorola S-record text but is taken as a binary image; only Intel HEX (a name "
       "ending in .hex), ELF and raw binary files are read: convert it, for example with objcopy -I "
       "srec -O ihex PATH app.hex\n"},
      {"APP.BIN", ScratchDir::Read(DRAVLOPRO_SOURCE_DIR "/examples/blinky/blinky.bin"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    folder.Write(c.name, c.bytes);
    const std::string path = c.name;
    std::string expected = c.line;
    if (const std::size_t at = expected.find("PATH"); at != std::string::npos) {
      expected.replace(at, 4, path);
    }
    if (!expected.empty()) expected = "dravlopro: " + path + ": " + expected;
    BenchWithAdapter bench;  // "-v" finds what "-a" programmed
    for (const char* command : {"-a", "-v"}) {
      EXPECT_EQ(bench.Run({command, path}), Success) << command;
      EXPECT_EQ(bench.output(), kDefaultSelection + kSuccess) << command;
      EXPECT_EQ(bench.errorOutput(), expected) << command;
    }
  }
  BenchWithAdapter bench;
  EXPECT_EQ(bench.Run({"-q", "-a", "A.HEX"}), Success);
  EXPECT_EQ(bench.errorOutput(), "");
}

}  // namespace
}  // namespace dravlopro
