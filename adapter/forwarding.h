#pragma once

#include <memory>
#include <utility>

#include "adapter/hid_backend.h"

namespace dravlopro {

// A connection that hands everything to another one; a wrapper (the slow
// link, the field-trace recorder, a test's) overrides the calls it bends.
class ForwardingConnection : public HidConnection {
 public:
  explicit ForwardingConnection(std::unique_ptr<HidConnection> inner) : inner_(std::move(inner)) {}
  bool GetAttributes(HidAttributes& out) override { return inner_->GetAttributes(out); }
  bool GetCaps(HidCaps& out) override { return inner_->GetCaps(out); }
  bool GetSerialNumber(std::wstring& out) override { return inner_->GetSerialNumber(out); }
  bool Write(const std::uint8_t* report, std::size_t length) override {
    return inner_->Write(report, length);
  }
  HidRead Read(std::uint8_t* report, std::size_t length, std::uint32_t timeoutMs) override {
    return inner_->Read(report, length, timeoutMs);
  }
  bool Claim(ClaimWait& wait) override { return inner_->Claim(wait); }

 protected:
  HidConnection& inner() { return *inner_; }

 private:
  std::unique_ptr<HidConnection> inner_;
};

// The interfaces of another backend, each connection wrapped by Wrap().
class ForwardingBackend : public HidBackend {
 public:
  explicit ForwardingBackend(HidBackend& inner) : inner_(inner) {}
  std::unique_ptr<HidPass> BeginPass(std::uint16_t vendorId, std::uint16_t productId) override {
    return std::make_unique<Pass>(inner_.BeginPass(vendorId, productId), *this);
  }

 protected:
  virtual std::unique_ptr<HidConnection> Wrap(std::unique_ptr<HidConnection> connection) = 0;

 private:
  class Pass : public HidPass {
   public:
    Pass(std::unique_ptr<HidPass> inner, ForwardingBackend& backend)
        : inner_(std::move(inner)), backend_(backend) {}
    InterfaceOpen OpenInterface(std::uint32_t memberIndex, HidInterface& out) override {
      const InterfaceOpen opened = inner_->OpenInterface(memberIndex, out);
      if (out.connection) out.connection = backend_.Wrap(std::move(out.connection));
      return opened;
    }

   private:
    std::unique_ptr<HidPass> inner_;
    ForwardingBackend& backend_;
  };

  HidBackend& inner_;
};

}  // namespace dravlopro
