#pragma once

#include <cstdint>
#include <vector>

#include "adapter/hid_device.h"

namespace dravlopro {

// How a group of target accesses went.
enum class AccessResult {
  Ok,
  Fault,    // the target refused an access (FAULT, WAIT or no answer on the wire)
  LinkLost  // no answer from the adapter: the link to it is gone
};

// Single-word accesses to scattered addresses (debug registers, a few
// words here and there), packed into as few DAP_Transfer requests as they
// fit: a TAR write is left out where the access port's auto-increment
// already points at the address. Run() sends them in order and fills in the
// words read. After a refused access the debug port's sticky error flags are
// cleared, so that the link keeps working.
class AccessBatch {
 public:
  void Write(std::uint32_t address, std::uint32_t value);
  void Read(std::uint32_t address, std::uint32_t* into);
  AccessResult Run(CHidDevice& device);
  bool empty() const { return ops_.empty(); }
  // Requests sent by the last Run.
  std::size_t requestsSent() const { return requests_; }

 private:
  struct Op {
    bool read;
    std::uint32_t address;
    std::uint32_t value;
    std::uint32_t* into;
  };
  std::vector<Op> ops_;
  std::size_t requests_ = 0;
};

// Clears the sticky error flags of the debug port after a refused access.
void ClearStickyErrors(CHidDevice& device);

}  // namespace dravlopro
