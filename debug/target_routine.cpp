#include "debug/debug_registers.h"
#include "debug/target.h"

namespace dravlopro {

namespace dr = debugreg;

namespace {

constexpr std::uint32_t kThumbBit = 1u << 24;  // xPSR.T

}  // namespace

AccessResult DebugTarget::RunRoutine(std::uint32_t entry,
                                     const std::vector<std::uint32_t>& borrowed,
                                     std::uint32_t timeoutMs, std::uint32_t resultsAddress,
                                     std::uint32_t* results, std::uint32_t count) {
  if (!halted_ || lockedUp_) return AccessResult::Fault;
  std::vector<std::uint32_t> regsels = borrowed;
  regsels.push_back(dr::regsel::kPc);
  regsels.push_back(dr::regsel::kXpsr);
  std::vector<std::uint32_t> values;
  AccessResult result = ReadRegisters(regsels, values);
  if (result != AccessResult::Ok) return result;
  // A core out of Thumb state (locked up) would fault at once.
  if ((values.back() & kThumbBit) == 0) return AccessResult::Fault;
  for (std::size_t i = 0; i < regsels.size(); ++i) owed_.emplace(regsels[i], values[i]);

  // The pc set, then the core let go with interrupts masked: C_MASKINTS may
  // change only while the core is halted, so it is set first with C_HALT.
  std::uint32_t dhcsr = 0;
  AccessBatch lead;
  lead.Write(dr::dcrdr::kAddress, entry);
  lead.Write(dr::dcrsr::kAddress, dr::dcrsr::kWrite | dr::regsel::kPc);
  lead.Read(dr::dhcsr::kAddress, &dhcsr);
  lead.Write(dr::dhcsr::kAddress,
             dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kHalt | dr::dhcsr::kMaskInts);
  lead.Write(dr::dhcsr::kAddress, dr::dhcsr::kKey | dr::dhcsr::kDebugEnable | dr::dhcsr::kMaskInts);
  memory_.clear();
  maskIntsOwed_ = true;
  result = Run(lead);
  if (result != AccessResult::Ok) return result;
  halted_ = false;
  // The pc write had not been taken when the core was let go: it ran from
  // somewhere else.
  if ((dhcsr & dr::dhcsr::kRegReady) == 0) {
    Halt();
    return AccessResult::Fault;
  }

  const std::uint64_t start = clock_.NowMs();
  for (;;) {
    AccessBatch poll;
    poll.Read(dr::dhcsr::kAddress, &dhcsr);
    for (std::uint32_t k = 0; k < count; ++k) poll.Read(resultsAddress + 4 * k, &results[k]);
    if ((result = Run(poll)) != AccessResult::Ok) return result;
    if ((dhcsr & dr::dhcsr::kHalted) != 0) {
      halted_ = true;
      lockedUp_ = (dhcsr & dr::dhcsr::kLockup) != 0;
      return AccessResult::Ok;
    }
    if (clock_.NowMs() - start >= timeoutMs) {
      Halt();
      return AccessResult::Fault;
    }
    clock_.SleepMs(kPollMs);
  }
}

}  // namespace dravlopro
