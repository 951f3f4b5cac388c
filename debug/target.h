#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "adapter/hid_device.h"
#include "base/clock.h"
#include "debug/access_batch.h"

namespace dravlopro {

// Why the core stopped, as the server tells the debugger.
struct StopEvent {
  enum class Kind {
    Step,           // a single step ended
    Interrupt,      // halted on request
    Breakpoint,     // an FPB comparator matched
    SoftwareBreak,  // a BKPT instruction: one the server placed, or the firmware's own
    Watchpoint,     // a DWT comparator matched
    Reset,          // the reset vector catch
    Lockup,         // the core is locked up
    Halted          // halted for a reason the core does not tell
  };
  enum class Access { Write, Read, Any };
  Kind kind = Kind::Halted;
  Access access = Access::Write;
  std::uint32_t address = 0;  // the watched address of a watchpoint
};

enum class WatchKind { Write, Read, Access };

// What adding a breakpoint or watchpoint gave.
enum class SlotResult { Ok, NoRoom, Unsupported, Fault, LinkLost };

// The target as a debugger sees it, over an open adapter with the link up:
// the core's run control through DHCSR, its registers through DCRSR and
// DCRDR, memory of any size and alignment, breakpoints on the FPB (and BKPT
// instructions in SRAM), watchpoints on the DWT, and resets. Every wait is
// bounded and goes through the clock. Registers and memory read while the
// core is halted are kept until it runs again, so that they are not read
// twice.
class DebugTarget {
 public:
  // The longest wait for the core to halt, and for a register transfer.
  static constexpr std::uint32_t kHaltWaitMs = 1000;
  static constexpr std::uint32_t kRegisterWaitMs = 100;
  static constexpr std::uint32_t kPollMs = 1;

  DebugTarget(CHidDevice& device, Clock& clock) : device_(device), clock_(clock) {}

  // Brings the link up without a reset and without halting the core, turns
  // halting debug on and learns the FPB and DWT. False when the target does
  // not answer.
  bool Attach();
  std::uint32_t flashPageSize() const { return flashPageSize_; }
  CHidDevice& device() { return device_; }
  Clock& clock() { return clock_; }
  // True once an exchange found the adapter gone.
  bool linkLost() const { return linkLost_; }

  // --- Run control -------------------------------------------------------
  // Reads DHCSR: whether the core is halted now.
  AccessResult PollHalted(bool& halted);
  bool halted() const { return halted_; }
  // Whether the last look at the core found it locked up.
  bool lockedUp() const { return lockedUp_; }
  // Asks the core to halt and waits for it; Fault when it does not within
  // kHaltWaitMs.
  AccessResult Halt();
  AccessResult Resume();
  // One instruction, then halted again.
  AccessResult Step();
  // Why the core halted; clears the reasons the core recorded.
  AccessResult ReadStopEvent(StopEvent& event);
  // A system reset; the core then halts on its first instruction, or runs.
  AccessResult Reset(bool halt);

  // --- Registers (REGSEL numbers) -----------------------------------------
  AccessResult ReadRegisters(const std::vector<std::uint32_t>& regsels,
                             std::vector<std::uint32_t>& values);
  AccessResult WriteRegister(std::uint32_t regsel, std::uint32_t value);

  // --- Memory ----------------------------------------------------------------
  AccessResult ReadMemory(std::uint32_t address, std::uint32_t length,
                          std::vector<std::uint8_t>& bytes);
  AccessResult WriteMemory(std::uint32_t address, const std::uint8_t* bytes, std::uint32_t length);
  // Drops what was kept of memory (after the flash changed).
  void ForgetMemory() { memory_.clear(); }
  // Consecutive words in as few requests as they fit: for every 1 KB piece,
  // TAR with the first words in one transfer request, the rest in block
  // transfers.
  AccessResult WriteBlock(std::uint32_t address, const std::uint32_t* words, std::uint32_t count);

  // --- Routines run on the core -------------------------------------------
  // Runs code placed in SRAM from `entry`, with interrupts masked, until it
  // halts (at a BKPT), waiting at most timeoutMs. Each look at whether it
  // halted also reads `count` words from `resultsAddress` into `results`.
  // The registers it may change (`borrowed`, with the pc and xPSR) keep for
  // the debugger the values they had, and are given back before the core
  // runs again or the session ends. Fault when the core is not halted, locked
  // up or not
  // in Thumb state (nothing was run then), or the routine did not halt in
  // time (the core is halted then).
  AccessResult RunRoutine(std::uint32_t entry, const std::vector<std::uint32_t>& borrowed,
                          std::uint32_t timeoutMs, std::uint32_t resultsAddress,
                          std::uint32_t* results, std::uint32_t count);

  // --- Breakpoints and watchpoints ---------------------------------------
  SlotResult AddBreakpoint(std::uint32_t address, bool software);
  SlotResult RemoveBreakpoint(std::uint32_t address);
  SlotResult AddWatchpoint(WatchKind kind, std::uint32_t address, std::uint32_t length);
  SlotResult RemoveWatchpoint(WatchKind kind, std::uint32_t address, std::uint32_t length);
  // Every breakpoint and watchpoint removed, BKPT instructions restored.
  AccessResult RemoveAll();
  std::uint32_t codeComparators() const { return static_cast<std::uint32_t>(fpb_.size()); }
  std::uint32_t dataComparators() const { return static_cast<std::uint32_t>(dwt_.size()); }

 private:
  struct Watch {
    bool used = false;
    WatchKind kind = WatchKind::Write;
    std::uint32_t address = 0;
    std::uint32_t length = 0;
  };
  AccessResult Run(AccessBatch& batch);
  // What a transfer status means; the sticky errors cleared after a refusal.
  AccessResult Outcome(std::uint8_t status);
  // Writes back what a routine borrowed and turns the interrupt masking off
  // again, while the core is still halted.
  AccessResult GiveBack();
  AccessResult WaitHalted();
  AccessResult WaitRegisterReady();
  void Forget();
  AccessResult ReadWords(std::uint32_t address, std::uint32_t count, std::uint32_t* words);
  AccessResult WriteWords(std::uint32_t address, const std::uint32_t* words, std::uint32_t count);
  std::optional<std::size_t> FpbSlotFor(std::uint32_t address) const;
  std::uint32_t FpbCompValue(std::uint32_t address, std::uint32_t existing) const;

  CHidDevice& device_;
  Clock& clock_;
  std::uint32_t flashPageSize_ = 0;
  bool halted_ = false;
  bool lockedUp_ = false;
  bool linkLost_ = false;
  bool stepping_ = false;
  bool interruptRequested_ = false;
  std::uint32_t fpbRevision_ = 0;
  // The FPB comparators' addresses (word-aligned) with the halfword(s) they
  // break on as FP_COMP value; 0 for a free one.
  std::vector<std::uint32_t> fpb_;
  std::vector<Watch> dwt_;
  // BKPT instructions placed in SRAM: address to the halfword they replaced.
  std::map<std::uint32_t, std::uint16_t> software_;
  // Kept while halted: registers by REGSEL, memory words by address.
  std::map<std::uint32_t, std::uint32_t> registers_;
  std::map<std::uint32_t, std::uint32_t> memory_;
  // Registers a routine changed, by REGSEL, with the values they must get
  // back; C_MASKINTS left set by a routine.
  std::map<std::uint32_t, std::uint32_t> owed_;
  bool maskIntsOwed_ = false;
};

}  // namespace dravlopro
