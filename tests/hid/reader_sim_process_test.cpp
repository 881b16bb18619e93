// Run by run_with_reader_sim.sh while lx2d-reader-sim serves its default
// device in LX2D_RUNTIME_DIR: the system's HID service lists it, CUsbHid
// opens it and one request goes through the protocol engine.
#include <gtest/gtest.h>

#include <algorithm>

#include "in_process_reader.h"  // CQuietHost
#include "protocol.h"

namespace lx2d::test {
namespace {

constexpr std::string_view kReaderPrefix = "\\\\?\\hid#vid_0d2a&pid_0801&col02#vhid&";

TEST(ReaderSimProcess, ListedAndOpenedWithReportId2AndSize64) {
  const std::vector<std::string> paths = platform::SystemHidService()->EnumerateInterfaces();
  const auto listed = std::find_if(paths.begin(), paths.end(), [](const std::string& path) {
    return path.starts_with(kReaderPrefix);
  });
  ASSERT_NE(listed, paths.end());

  CUsbHid hid(kReaderVendorId, kReaderProductId, platform::SystemHidService());
  std::string description;
  ASSERT_TRUE(hid.EnumDevices(0, &description));
  EXPECT_EQ(description, "2D Barcode Reader SIM0000001");
  std::string path;
  ASSERT_EQ(hid.FindDevice(path, description), 0);
  EXPECT_EQ(path, *listed);
  ASSERT_EQ(hid.Open(path), 0);
  EXPECT_EQ(hid.ReportId(), 2);
  EXPECT_EQ(hid.ReportSize(), 64);

  CQuietHost host;
  CProtocol protocol(hid, host);
  std::lock_guard lock(protocol.CommandMutex());
  EXPECT_EQ(protocol.ControlExchange(kCtlSync, 0, kCtlSydn), 0);
  ASSERT_EQ(protocol.Transact(kKindSw, std::vector<uint8_t>{0x72, 0x43, 0x02}, kNoExtension,
                              kNoExtension),
            kTransactOk);
  EXPECT_EQ(protocol.Reply().kind, kKindRslt);
  EXPECT_EQ(protocol.Reply().length, 1u);
  EXPECT_EQ(protocol.Reply().payload[0], 0);
}

}  // namespace
}  // namespace lx2d::test
