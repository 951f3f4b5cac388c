#include "commands/downloader.h"

namespace dravlopro {

CDownloader::CDownloader(HidBackend& backend, AdapterTable& table) : device(backend, table) {}

int CDownloader::OpenAdapter(std::int32_t index, const std::wstring& serial) {
  return device.Open(index, serial, kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0);
}

}  // namespace dravlopro
