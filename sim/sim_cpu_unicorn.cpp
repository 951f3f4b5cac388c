// The simulated core's execution engine: Unicorn running M-profile Thumb code
// (the CPU model of the simulated core, a Cortex-M4).
//
// Flash, the option page and SRAM are mapped in place, so the core and the
// debug port see the same bytes; the peripherals and the private peripheral
// bus go through the chip's bus decoder, so the core programs flash through
// the FMC as the debug port does. One instruction hook counts every
// instruction, stops at the end of the run's share, at an FPB breakpoint
// and right after an access that a DWT comparator watches. Unicorn does not
// take M-profile exceptions itself: faults, SVC and exception returns come
// back to the chip's exception model (sim_exceptions.cpp).

#include <unicorn/unicorn.h>

#include <algorithm>
#include <vector>

#include "sim/sim_chip.h"

namespace dravlopro::sim {

namespace {
// Unicorn's numbers of the interrupts it reports (those of its ARM core).
constexpr std::uint32_t kSoftwareInterrupt = 2;
constexpr std::uint32_t kBreakpointInstruction = 7;
constexpr std::uint32_t kExceptionExit = 8;
// The run never ends at an address: a Thumb PC is never odd.
constexpr std::uint64_t kNoEndAddress = 0xFFFFFFFF;
// Faults, SVCs and exception returns taken in one run, at most.
constexpr int kEventsPerRun = 64;

constexpr int kCoreRegisters[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,
                                  UC_ARM_REG_R4, UC_ARM_REG_R5, UC_ARM_REG_R6,  UC_ARM_REG_R7,
                                  UC_ARM_REG_R8, UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
                                  UC_ARM_REG_R12};
}  // namespace

struct SimCpu::Engine {
  uc_engine* uc = nullptr;
  SimChip* chip = nullptr;
  const std::uint8_t* flash = nullptr;
  const std::uint8_t* sram = nullptr;
  uc_hook codeHook = 0;
  uc_hook memoryHook = 0;
  bool memoryHooked = false;
  bool usable = false;

  // The current run.
  std::vector<std::uint32_t> breakpoints;
  std::uint64_t executed = 0;
  std::uint64_t budget = 0;
  int watchHit = -1;
  bool breakpointHit = false;
  bool busError = false;
  bool budgetSpent = false;
  int interrupt = -1;

  ~Engine() {
    if (uc != nullptr) uc_close(uc);
  }

  static void OnInstruction(uc_engine* uc, std::uint64_t address, std::uint32_t, void* data) {
    Engine& e = *static_cast<Engine*>(data);
    if (e.watchHit >= 0) {
      uc_emu_stop(uc);  // halts after the access, before the next instruction
      return;
    }
    if (std::find(e.breakpoints.begin(), e.breakpoints.end(), address) != e.breakpoints.end()) {
      e.breakpointHit = true;
      uc_emu_stop(uc);
      return;
    }
    if (e.executed == e.budget) {
      e.budgetSpent = true;
      uc_emu_stop(uc);
      return;
    }
    ++e.executed;
  }

  static void OnMemory(uc_engine*, uc_mem_type type, std::uint64_t address, int size, std::int64_t,
                       void* data) {
    Engine& e = *static_cast<Engine*>(data);
    if (e.watchHit >= 0) return;
    e.watchHit = e.chip->units.Watchpoint(static_cast<std::uint32_t>(address),
                                          static_cast<std::uint32_t>(size), type == UC_MEM_WRITE);
  }

  static void OnInterrupt(uc_engine* uc, std::uint32_t number, void* data) {
    static_cast<Engine*>(data)->interrupt = static_cast<int>(number);
    uc_emu_stop(uc);
  }

  static std::uint64_t BusRead(uc_engine* uc, std::uint64_t offset, unsigned size, void* data,
                               std::uint32_t base) {
    Engine& e = *static_cast<Engine*>(data);
    const std::uint32_t address = base + static_cast<std::uint32_t>(offset);
    std::uint32_t word = 0;
    if (!e.chip->Read(address & ~3u, word)) {
      e.busError = true;
      uc_emu_stop(uc);
      return 0;
    }
    const std::uint32_t shifted = word >> (8 * (address & 3));
    return size >= 4 ? shifted : shifted & ((1u << (8 * size)) - 1);
  }

  static void BusWrite(uc_engine* uc, std::uint64_t offset, unsigned size, std::uint64_t value,
                       void* data, std::uint32_t base) {
    Engine& e = *static_cast<Engine*>(data);
    const std::uint32_t address = base + static_cast<std::uint32_t>(offset);
    const std::uint32_t shift = 8 * (address & 3);
    const std::uint32_t lanes = size >= 4 ? 0xFFFFFFFF : ((1u << (8 * size)) - 1) << shift;
    if (!e.chip->Write(address & ~3u, static_cast<std::uint32_t>(value) << shift, lanes)) {
      e.busError = true;
      uc_emu_stop(uc);
    }
  }

  // The bus from kBase to end, through the chip's bus decoder.
  template <std::uint32_t kBase>
  bool MapBus(std::uint32_t end) {
    return uc_mmio_map(
               uc, kBase, end - kBase,
               [](uc_engine* u, std::uint64_t o, unsigned s, void* d) {
                 return BusRead(u, o, s, d, kBase);
               },
               this,
               [](uc_engine* u, std::uint64_t o, unsigned s, std::uint64_t v, void* d) {
                 BusWrite(u, o, s, v, d, kBase);
               },
               this) == UC_ERR_OK;
  }

  bool Open(SimChip& c) {
    chip = &c;
    flash = c.flash_.data();
    sram = c.sram_.data();
    if (uc_open(UC_ARCH_ARM, static_cast<uc_mode>(UC_MODE_THUMB | UC_MODE_MCLASS), &uc) !=
        UC_ERR_OK) {
      uc = nullptr;
      return false;
    }
    bool ok = uc_ctl_set_cpu_model(uc, UC_CPU_ARM_CORTEX_M4) == UC_ERR_OK;
    ok = ok && uc_mem_map_ptr(uc, map::kFlashBase, c.flash_.size(), UC_PROT_READ | UC_PROT_EXEC,
                              c.flash_.data()) == UC_ERR_OK;
    ok = ok && uc_mem_map_ptr(uc, map::kOptionBase, c.option_.size(), UC_PROT_READ,
                              c.option_.data()) == UC_ERR_OK;
    ok = ok && uc_mem_map_ptr(uc, map::kSramBase, c.sram_.size(), UC_PROT_ALL, c.sram_.data()) ==
                   UC_ERR_OK;
    ok = ok && MapBus<map::kPeripheralBase>(map::kPeripheralEnd);
    ok = ok && MapBus<map::kPpbBase>(map::kPpbEnd);
    ok = ok && uc_hook_add(uc, &codeHook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnInstruction),
                           this, 1, 0) == UC_ERR_OK;
    uc_hook interruptHook = 0;
    ok = ok && uc_hook_add(uc, &interruptHook, UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt),
                           this, 1, 0) == UC_ERR_OK;
    usable = ok;
    return ok;
  }

  void Watch(bool on) {
    if (on == memoryHooked) return;
    if (on) {
      memoryHooked = uc_hook_add(uc, &memoryHook, UC_HOOK_MEM_READ | UC_HOOK_MEM_WRITE,
                                 reinterpret_cast<void*>(&OnMemory), this, 1, 0) == UC_ERR_OK;
    } else {
      uc_hook_del(uc, memoryHook);
      memoryHooked = false;
    }
  }

  void Load(const SimChip::Core& core) {
    const auto& r = core.registers;
    std::uint32_t v = r[regsel::kXpsr];
    uc_reg_write(uc, UC_ARM_REG_XPSR, &v);
    const std::uint32_t special = r[regsel::kSpecial];
    std::uint32_t control = special >> 24, faultmask = (special >> 16) & 0xFF,
                  basepri = (special >> 8) & 0xFF, primask = special & 0xFF;
    uc_reg_write(uc, UC_ARM_REG_CONTROL, &control);
    uc_reg_write(uc, UC_ARM_REG_FAULTMASK, &faultmask);
    uc_reg_write(uc, UC_ARM_REG_BASEPRI, &basepri);
    uc_reg_write(uc, UC_ARM_REG_PRIMASK, &primask);
    v = r[regsel::kMsp];
    uc_reg_write(uc, UC_ARM_REG_MSP, &v);
    v = r[regsel::kPsp];
    uc_reg_write(uc, UC_ARM_REG_PSP, &v);
    for (std::size_t i = 0; i < std::size(kCoreRegisters); ++i) {
      v = r[i];
      uc_reg_write(uc, kCoreRegisters[i], &v);
    }
    v = r[regsel::kLr];
    uc_reg_write(uc, UC_ARM_REG_LR, &v);
  }

  void Store(SimChip::Core& core) {
    auto& r = core.registers;
    for (std::size_t i = 0; i < std::size(kCoreRegisters); ++i) {
      uc_reg_read(uc, kCoreRegisters[i], &r[i]);
    }
    uc_reg_read(uc, UC_ARM_REG_LR, &r[regsel::kLr]);
    uc_reg_read(uc, UC_ARM_REG_PC, &r[regsel::kPc]);
    uc_reg_read(uc, UC_ARM_REG_XPSR, &r[regsel::kXpsr]);
    uc_reg_read(uc, UC_ARM_REG_MSP, &r[regsel::kMsp]);
    uc_reg_read(uc, UC_ARM_REG_PSP, &r[regsel::kPsp]);
    std::uint32_t control = 0, faultmask = 0, basepri = 0, primask = 0;
    uc_reg_read(uc, UC_ARM_REG_CONTROL, &control);
    uc_reg_read(uc, UC_ARM_REG_FAULTMASK, &faultmask);
    uc_reg_read(uc, UC_ARM_REG_BASEPRI, &basepri);
    uc_reg_read(uc, UC_ARM_REG_PRIMASK, &primask);
    r[regsel::kSpecial] =
        (control << 24) | ((faultmask & 0xFF) << 16) | ((basepri & 0xFF) << 8) | (primask & 0xFF);
  }

  // One stretch of execution up to the next event; false when the run ends.
  bool Stretch(SimChip& c) {
    SimChip::Core& core = c.core;
    const std::uint32_t pc = core.registers[regsel::kPc];
    if ((core.registers[regsel::kXpsr] & exc::kThumbBit) == 0) {
      c.Fault(pc);  // the core executes Thumb code only: an invalid state
      return true;
    }
    watchHit = -1;
    breakpointHit = busError = budgetSpent = false;
    interrupt = -1;
    Load(core);
    if (budget - executed == 1) uc_ctl_remove_cache(uc, pc, pc + 4);
    const uc_err error = uc_emu_start(uc, pc | 1u, kNoEndAddress, 0, 0);
    Store(core);
    const std::uint32_t at = core.registers[regsel::kPc];
    if (watchHit >= 0) {
      c.units.dwtFunction[static_cast<std::size_t>(watchHit)] |= dwt::kMatched;
      c.Halt(scs::kDfsrDwtTrap);
      return false;
    }
    if (breakpointHit) {
      c.Halt(scs::kDfsrBkpt);
      return false;
    }
    if (c.corePendingReset_ || budgetSpent) return false;
    if (busError || error != UC_ERR_OK) {
      c.Fault(at);
      return true;
    }
    switch (interrupt) {
      case -1:
        return false;  // WFI or WFE: asleep for the rest of the run (the bench has no interrupts)
      case kBreakpointInstruction:
        if (c.Halting()) {
          c.Halt(scs::kDfsrBkpt);
          return false;
        }
        c.Fault(at);
        return true;
      case kSoftwareInterrupt:
        if (!c.EnterException(exc::kSvCall, at)) c.Fault(at);
        return true;
      case kExceptionExit:
        c.ReturnFromException(at);
        return true;
      default:
        c.Fault(at);
        return true;
    }
  }
};

SimCpu::SimCpu() = default;
SimCpu::~SimCpu() = default;
SimCpu::SimCpu(const SimCpu&) {}
SimCpu& SimCpu::operator=(const SimCpu&) {
  engine_.reset();
  return *this;
}

bool SimCpu::Executes() { return true; }
const char* SimCpu::WhyNot() { return ""; }

std::uint64_t SimCpu::Run(SimChip& chip, std::uint64_t instructions) {
  if (engine_ && (engine_->chip != &chip || engine_->flash != chip.flash_.data() ||
                  engine_->sram != chip.sram_.data())) {
    engine_.reset();
  }
  if (!engine_) {
    engine_ = std::make_unique<Engine>();
    engine_->Open(chip);
  }
  Engine& e = *engine_;
  if (!e.usable) return 0;
  // Code may have changed behind the core: drop what was translated from it.
  for (SimChip::Touched* touched : {&chip.touchedCode_, &chip.touchedSram_}) {
    if (touched->first < touched->end) uc_ctl_remove_cache(e.uc, touched->first, touched->end);
    *touched = SimChip::Touched{};
  }
  e.breakpoints = chip.Halting() ? chip.units.Breakpoints() : std::vector<std::uint32_t>{};
  e.Watch(chip.Halting() && chip.units.AnyWatchpoint());
  e.executed = 0;
  e.budget = instructions;
  chip.coreRunning_ = true;
  for (int events = 0; events < kEventsPerRun && e.executed < e.budget; ++events) {
    if (!e.Stretch(chip) || chip.core.halted || chip.core.lockedUp) break;
  }
  chip.coreRunning_ = false;
  return e.executed;
}

}  // namespace dravlopro::sim
