#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adapter/hid_device.h"

namespace dravlopro {

// The adapter object: the one HID device of the run and the image buffer.
class CDownloader {
 public:
  CDownloader(HidBackend& backend, AdapterTable& table);
  virtual ~CDownloader() = default;
  CDownloader(const CDownloader&) = delete;
  CDownloader& operator=(const CDownloader&) = delete;

  // Enumerates the adapters and opens the one chosen by index, or by serial
  // number when the index names no adapter. Returns 0, 30 or 31.
  virtual int OpenAdapter(std::int32_t index, const std::wstring& serial);

  // The device closes its own handle when the object goes.
  CHidDevice device;
  // The image buffer. It stays empty until the first image load of the run
  // makes it kImageBufferSize bytes erased to 0xFF and fills it, so that a
  // run without an image never touches a megabyte of memory; only a loaded
  // image is ever sent or compared.
  std::vector<std::uint8_t> image;
};

// The driver's adapter object; it adds nothing to CDownloader.
class CommandLine : public CDownloader {
 public:
  using CDownloader::CDownloader;
};

}  // namespace dravlopro
