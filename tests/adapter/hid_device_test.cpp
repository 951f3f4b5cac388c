#include "adapter/hid_device.h"

#include <gtest/gtest.h>

#include "base/result_code.h"
#include "sim/sim_bench.h"

namespace dravlopro {
namespace {

class HidDeviceTest : public ::testing::Test {
 protected:
  int Open(std::int32_t index, const std::wstring& serial) {
    return device.Open(index, serial, kAdapterVendorId, kAdapterProductId, kMaxAdapters, 0);
  }
  // The serial number of the adapter whose handle is open, as the bench
  // sees it on the wire.
  std::wstring OpenedOnTheWire() {
    Report request{};
    request[1] = 0x00;
    request[2] = 0x04;
    hid.trace.clear();
    device.WriteReport(request.data(), request.size());
    return hid.trace.empty() ? L"<none>" : hid.trace.back().serial;
  }

  sim::SimBench hid;
  AdapterTable table;
  CHidDevice device{hid, table};
};

TEST_F(HidDeviceTest, NoAdapterGivesThirtyWithoutRetry) {
  hid.AddOtherDevice(0x1111, 0x2222);
  EXPECT_EQ(Open(0, L""), NoAdapter);
  EXPECT_EQ(table.adapterCount, 0u);
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(HidDeviceTest, SelectsByIndexAndBySerialNumber) {
  hid.AddOtherDevice(0x04D9, 0x1234, L"OTHER");  // same vendor, other product
  hid.AddAdapter(L"A1");
  hid.AddOtherDevice(0x1111, 0x802F, L"B2");  // other vendor, same product
  hid.AddAdapter(L"B2");
  EXPECT_EQ(Open(1, L"ignored"), Success);
  EXPECT_EQ(table.adapterCount, 2u);
  EXPECT_EQ(table.adapterSns[0], L"A1");
  EXPECT_EQ(table.adapterSns[1], L"B2");
  EXPECT_EQ(table.openedSn, L"B2");
  EXPECT_EQ(OpenedOnTheWire(), L"B2");

  EXPECT_EQ(Open(255, L"A1"), Success);
  EXPECT_EQ(table.openedSn, L"A1");
  EXPECT_EQ(OpenedOnTheWire(), L"A1");
  // The caps describe the opened adapter, not the last device examined.
  EXPECT_EQ(device.caps.inputReportByteLength, kReportLength);
  EXPECT_EQ(device.attributes.productId, kAdapterProductId);

  EXPECT_EQ(Open(5, L""), AdapterNotFound);
  EXPECT_EQ(Open(255, L"C3"), AdapterNotFound);
  EXPECT_EQ(Open(255, L"a1"), AdapterNotFound);
}

TEST_F(HidDeviceTest, AtMostEightAdaptersAreRecorded) {
  for (int i = 0; i < 9; ++i) hid.AddAdapter(L"SN" + std::to_wstring(i));
  EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(table.adapterCount, 8u);
  EXPECT_EQ(table.adapterSns[7], L"SN7");
  EXPECT_EQ(Open(255, L"SN8"), AdapterNotFound);
}

TEST_F(HidDeviceTest, AdapterWithoutSerialOpensByIdOnly) {
  hid.AddAdapterWithoutSerial();
  hid.AddAdapter(L"B2");
  EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(table.adapterSns[0], L"");
  EXPECT_EQ(OpenedOnTheWire(), L"");
  EXPECT_EQ(Open(255, L""), AdapterNotFound);
}

TEST_F(HidDeviceTest, DuplicateSerialNumbersOpenTheFirst) {
  hid.AddAdapter(L"SAME", "1.0");
  hid.AddAdapter(L"SAME", "2.0");
  EXPECT_EQ(Open(1, L""), Success);
  Report request{};
  request[2] = 0x04;
  Report answer{};
  device.WriteReport(request.data(), request.size());
  device.ReadReport(answer.data(), answer.size());
  EXPECT_EQ(answer[3], '1');
}

TEST_F(HidDeviceTest, SerialNumbersAreCutToSixteenUnits) {
  hid.AddAdapter(L"0123456789ABCDEFGH");
  EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(table.adapterSns[0], L"0123456789ABCDEF");
}

TEST_F(HidDeviceTest, UnopenableDevicesAreSkipped) {
  hid.AddOtherDevice(0x04D9, 0x802F, L"LOCKED", false);
  hid.AddAdapter(L"B2");
  EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(table.adapterCount, 1u);
  EXPECT_EQ(table.openedSn, L"B2");
}

TEST_F(HidDeviceTest, AdapterVanishingOnceIsFoundAgainByTheRetry) {
  hid.AddAdapter(L"A1");
  hid.AddAdapter(L"B2");
  hid.VanishAfterEnumeration(1, sim::SimDevice::Vanish::Once);
  EXPECT_EQ(Open(255, L"B2"), Success);
  EXPECT_EQ(OpenedOnTheWire(), L"B2");
}

TEST_F(HidDeviceTest, AdapterGoneForGoodIsNotFoundByTheRetry) {
  hid.AddAdapter(L"A1");
  hid.AddAdapter(L"B2");
  hid.VanishAfterEnumeration(1, sim::SimDevice::Vanish::ForGood);
  EXPECT_EQ(Open(255, L"B2"), AdapterNotFound);
  EXPECT_EQ(table.adapterCount, 1u);
}

TEST_F(HidDeviceTest, ByIdTheRetryMayOpenAnotherAdapter) {
  hid.AddAdapter(L"A1");
  hid.AddAdapter(L"B2");
  hid.VanishAfterEnumeration(0, sim::SimDevice::Vanish::ForGood);
  EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(table.openedSn, L"B2");
}

TEST_F(HidDeviceTest, LastAdapterGoneForGoodGivesThirty) {
  hid.AddAdapter(L"A1");
  hid.VanishAfterEnumeration(0, sim::SimDevice::Vanish::ForGood);
  EXPECT_EQ(Open(0, L""), NoAdapter);
}

TEST_F(HidDeviceTest, ReopeningReleasesTheEarlierHandle) {
  hid.AddAdapter(L"A1");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Open(0, L""), Success);
  EXPECT_EQ(hid.openHandles, 1);
  device.Close();
  EXPECT_EQ(hid.openHandles, 0);
  EXPECT_FALSE(device.IsOpen());
}

}  // namespace
}  // namespace dravlopro
