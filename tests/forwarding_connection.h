#pragma once

#include <memory>
#include <utility>

#include "adapter/hid_backend.h"

namespace dravlopro::testing {

// A connection that hands everything to another one; a test overrides the
// calls it wants to bend.
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
  bool Claim() override { return inner_->Claim(); }

 private:
  std::unique_ptr<HidConnection> inner_;
};

// The interfaces of another backend, each connection wrapped by Wrap().
class ForwardingBackend : public HidBackend {
 public:
  explicit ForwardingBackend(HidBackend& inner) : inner_(inner) {}
  InterfaceOpen OpenInterface(std::uint32_t memberIndex, std::unique_ptr<HidConnection>& out,
                              std::string& path) override {
    std::unique_ptr<HidConnection> connection;
    const InterfaceOpen opened = inner_.OpenInterface(memberIndex, connection, path);
    if (connection) out = Wrap(std::move(connection));
    return opened;
  }

 protected:
  virtual std::unique_ptr<HidConnection> Wrap(std::unique_ptr<HidConnection> connection) = 0;

 private:
  HidBackend& inner_;
};

}  // namespace dravlopro::testing
