#pragma once

#include <cstdint>

#include "adapter/hid_device.h"
#include "base/clock.h"

namespace dravlopro {

// Brings up the serial-wire link; true when the target answered.
bool ConnectTarget(CHidDevice& device, bool underReset);
// 1 when the target is ready (flashPageSize refreshed), 4 when not, or
// when its flash page size cannot be read.
int WaitTargetReady(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize);
// ConnectTarget without reset, then WaitTargetReady: true when both worked.
// What nearly every target command starts with.
bool ConnectAndWait(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize);

void HaltCore(CHidDevice& device);
void RunCore(CHidDevice& device);
void RequestSystemReset(CHidDevice& device);

// "-rst" and "-run": result codes 0, 2, 4 or 5.
int ResetAndRun(CHidDevice& device);
int ClearDebugAndRun(CHidDevice& device, Clock& clock, std::uint32_t& flashPageSize);

}  // namespace dravlopro
