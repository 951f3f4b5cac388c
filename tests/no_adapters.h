#pragma once

// A HID backend with nothing attached, for tests that build a device by hand
// and never enumerate.
#include <cstdint>
#include <memory>

#include "adapter/hid_backend.h"

namespace dravlopro::testing {

class NoAdapters : public HidBackend {
 public:
  std::unique_ptr<HidPass> BeginPass(std::uint16_t, std::uint16_t) override {
    return std::make_unique<EmptyPass>();
  }

 private:
  struct EmptyPass : HidPass {
    InterfaceOpen OpenInterface(std::uint32_t, HidInterface&) override {
      return InterfaceOpen::NoInterface;
    }
  };
};

}  // namespace dravlopro::testing
