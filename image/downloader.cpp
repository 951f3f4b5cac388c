#include "image/downloader.h"

namespace dravlopro {

CDownloader::CDownloader(HidBackend& backend, AdapterTable& table) : device(backend, table) {}

// The device closes its own handle.
CDownloader::~CDownloader() = default;

int CDownloader::OpenAdapter(std::int32_t index, const std::wstring& serial) {
  return device.Open(index, serial, kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0);
}

}  // namespace dravlopro
