#include "gdb/descriptions.h"

#include <cstdio>

#include "debug/debug_registers.h"
#include "image/image_state.h"
#include "probe/registers.h"

namespace dravlopro::gdb {

namespace rs = debugreg::regsel;

const std::vector<RegisterInfo>& Registers() {
  static const std::vector<RegisterInfo> kRegisters = {{"r0", 0, -1},
                                                       {"r1", 1, -1},
                                                       {"r2", 2, -1},
                                                       {"r3", 3, -1},
                                                       {"r4", 4, -1},
                                                       {"r5", 5, -1},
                                                       {"r6", 6, -1},
                                                       {"r7", 7, -1},
                                                       {"r8", 8, -1},
                                                       {"r9", 9, -1},
                                                       {"r10", 10, -1},
                                                       {"r11", 11, -1},
                                                       {"r12", 12, -1},
                                                       {"sp", rs::kSp, -1},
                                                       {"lr", rs::kLr, -1},
                                                       {"pc", rs::kPc, -1},
                                                       {"xpsr", rs::kXpsr, -1},
                                                       {"msp", rs::kMsp, -1},
                                                       {"psp", rs::kPsp, -1},
                                                       {"primask", rs::kSpecial, 0},
                                                       {"basepri", rs::kSpecial, 1},
                                                       {"faultmask", rs::kSpecial, 2},
                                                       {"control", rs::kSpecial, 3}};
  return kRegisters;
}

std::string TargetDescription() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE target SYSTEM \"gdb-target.dtd\">\n"
      "<target version=\"1.0\">\n"
      "<architecture>arm</architecture>\n"
      "<feature name=\"org.gnu.gdb.arm.m-profile\">\n";
  const std::vector<RegisterInfo>& regs = Registers();
  for (std::size_t n = 0; n < regs.size(); ++n) {
    if (n == 17) xml += "</feature>\n<feature name=\"org.gnu.gdb.arm.m-system\">\n";
    if (n == 19) xml += "</feature>\n<feature name=\"org.dravlopro.arm.m-special\">\n";
    const char* type = n == 13 || n == 17 || n == 18 ? "data_ptr" : n == 15 ? "code_ptr" : "uint32";
    const char* group = n < 17 ? "general" : "system";
    char line[160];
    std::snprintf(line, sizeof line,
                  "<reg name=\"%s\" bitsize=\"32\" regnum=\"%zu\" type=\"%s\" group=\"%s\"/>\n",
                  regs[n].name, n, type, group);
    xml += line;
  }
  xml += "</feature>\n</target>\n";
  return xml;
}

std::string MemoryMap(std::uint32_t flashPageSize) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "<?xml version=\"1.0\"?>\n"
                "<!DOCTYPE memory-map PUBLIC \"+//IDN gnu.org//DTD GDB Memory Map V1.0//EN\" "
                "\"http://sourceware.org/gdb/gdb-memory-map.dtd\">\n"
                "<memory-map>\n"
                "<memory type=\"flash\" start=\"0x0\" length=\"0x%x\">"
                "<property name=\"blocksize\">0x%x</property></memory>\n"
                "<memory type=\"flash\" start=\"0x%x\" length=\"0x%x\">"
                "<property name=\"blocksize\">0x%x</property></memory>\n"
                "<memory type=\"ram\" start=\"0x%x\" length=\"0x20000000\"/>\n"
                "<memory type=\"ram\" start=\"0x40000000\" length=\"0xc0000000\"/>\n"
                "</memory-map>\n",
                kImageBufferSize, flashPageSize, option::kPageAddress, flashPageSize, flashPageSize,
                kSramBase);
  return text;
}

}  // namespace dravlopro::gdb
