#pragma once

#include <string>

#include "adapter/hid_device.h"

namespace dravlopro {

// The adapter's firmware version text, at most 5 characters; empty when it
// does not answer.
std::string ReadAdapterVersion(CHidDevice& device);

// Switches the adapter's connect indicator.
void SetConnectLed(CHidDevice& device, bool on);

}  // namespace dravlopro
