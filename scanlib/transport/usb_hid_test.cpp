#include "usb_hid.h"

#include <gtest/gtest.h>

#include <thread>

#include "fake_hid_service.h"

namespace lx2d {
namespace {

using platform::HidIoResult;

struct Entry {
  uint32_t id;
  std::string text;  // the text, or the dump's title
  std::vector<uint8_t> data;
};

class CRecordingObserver final : public ILinkObserver {
 public:
  void LogText(uint32_t id, std::string_view text) override {
    entries.push_back({id, std::string(text), {}});
  }
  void LogDump(uint32_t id, std::string_view title, std::span<const uint8_t> data) override {
    entries.push_back({id, std::string(title), {data.begin(), data.end()}});
  }
  std::vector<Entry> entries;
};

FakeHidDevice Reader(std::string path, uint16_t product = 0x0801, uint16_t length = 64) {
  FakeHidDevice device;
  device.path = std::move(path);
  device.attributes = {0x0D2A, product, 0x0100};
  device.caps.inputReportByteLength = length;
  device.caps.outputReportByteLength = length;
  device.product = u"2D Barcode Reader";
  device.serial = u"A123";
  return device;
}

// An input report of `size` bytes with count byte `count` and payload bytes 1, 2, 3, ...
std::vector<uint8_t> InputReport(uint8_t count, size_t size = 64) {
  std::vector<uint8_t> report(size, 0xEE);
  report[0] = 2;
  report[1] = count;
  for (size_t i = 2; i < size; ++i) report[i] = static_cast<uint8_t>(i - 1);
  return report;
}

class UsbHidTest : public ::testing::Test {
 protected:
  FakeHidDevice& AddAndOpen(FakeHidDevice device) {
    FakeHidDevice& added = service.Add(std::move(device));
    EXPECT_EQ(hid.Open(added.path), 0);
    return added;
  }

  CFakeHidService service;
  CRecordingObserver observer;
  CUsbHid hid{kReaderVendorId, kReaderProductId, &service, &observer};
};

TEST_F(UsbHidTest, Open_ReportIdFromProductAndSizeFromCaps) {
  const struct {
    uint16_t product;
    uint8_t reportId;
  } kCases[] = {{0x0801, 2}, {0x0880, 2}, {0x0809, 0xF0}, {0x0802, 0}, {0x1234, 0}};
  for (const auto& c : kCases) {
    FakeHidDevice& device = service.Add(Reader("p" + std::to_string(c.product), c.product, 32));
    ASSERT_EQ(hid.Open(device.path), 0) << c.product;
    EXPECT_EQ(hid.ReportId(), c.reportId) << c.product;
    EXPECT_EQ(hid.ReportSize(), 32);
  }
  EXPECT_EQ(observer.entries.back().id, kLogInfo);
  EXPECT_EQ(observer.entries.back().text, "ReportSize: 32");
}

TEST_F(UsbHidTest, Open_UnequalLengths_RefusedDeviceHeldUntilClose) {
  FakeHidDevice device = Reader("r");
  device.caps.inputReportByteLength = 32;
  FakeHidDevice& added = service.Add(device);
  EXPECT_EQ(hid.Open("r"), -1);
  EXPECT_EQ(hid.ReportSize(), 0);
  ASSERT_FALSE(observer.entries.empty());
  EXPECT_EQ(observer.entries.back().id, kLogError);
  EXPECT_EQ(observer.entries.back().text, "InputReportByteLength != OutputReportByteLength");
  EXPECT_TRUE(added.open);
  // Nothing can be sent with no usable report size.
  EXPECT_EQ(hid.WriteReports(std::vector<uint8_t>(10, 1), 2000), 0);
  EXPECT_TRUE(added.written.empty());
  hid.Close();
  EXPECT_FALSE(added.open);
}

TEST_F(UsbHidTest, Open_LengthOutsideThreeToSixtyFour_Refused) {
  for (uint16_t length : {0, 1, 2, 65, 512}) {
    service.Add(Reader("len" + std::to_string(length), 0x0801, length));
    EXPECT_EQ(hid.Open("len" + std::to_string(length)), -1) << length;
    EXPECT_EQ(hid.ReportSize(), 0) << length;
  }
  for (uint16_t length : {3, 64}) {
    service.Add(Reader("len" + std::to_string(length), 0x0801, length));
    EXPECT_EQ(hid.Open("len" + std::to_string(length)), 0) << length;
  }
  EXPECT_EQ(hid.Open("missing"), -1);
  EXPECT_FALSE(hid.IsOpen());
}

TEST(UsbHidNoService, NothingFoundNothingOpened) {
  CUsbHid hid(kReaderVendorId, kReaderProductId, nullptr);
  EXPECT_FALSE(hid.BindHidLibraries(nullptr));
  EXPECT_FALSE(hid.EnumDevices(0, nullptr));
  std::string path;
  EXPECT_EQ(hid.FindDevice(path, ""), 1);
  EXPECT_EQ(hid.Open("anything"), -1);
  uint8_t byte;
  EXPECT_EQ(hid.ReadByte(byte, 0), kTransportNotOpen);
}

TEST_F(UsbHidTest, Enum_ReadersOnlyInOrderWithDescriptions) {
  service.Add(Reader("a"));
  FakeHidDevice other = Reader("b");
  other.attributes.vendorId = 0x1111;
  service.Add(other);
  service.Add(Reader("c", 0x0809));  // searched by the utility, not listed here
  FakeHidDevice alt = Reader("d", 0x0802);
  alt.serial = u"?";
  service.Add(alt);
  FakeHidDevice busy = Reader("e");
  busy.openable = false;
  service.Add(busy);

  std::string description;
  ASSERT_TRUE(hid.EnumDevices(0, &description));
  EXPECT_EQ(description, "2D Barcode Reader A123");
  ASSERT_TRUE(hid.EnumDevices(1, &description));
  EXPECT_EQ(description, "2D Barcode Reader");
  EXPECT_TRUE(hid.EnumDevices(1, nullptr));
  EXPECT_FALSE(hid.EnumDevices(2, &description));

  std::string path;
  EXPECT_EQ(hid.FindDevice(path, "2D Barcode Reader"), 0);
  EXPECT_EQ(path, "d");
  EXPECT_EQ(hid.FindDevice(path, "2D Barcode Reader a123"), 1);
  EXPECT_EQ(hid.FindDevice(path, ""), 1);

  // The reader held open by this transport is not listed.
  ASSERT_EQ(hid.Open("a"), 0);
  ASSERT_TRUE(hid.EnumDevices(0, &description));
  EXPECT_EQ(description, "2D Barcode Reader");
  EXPECT_FALSE(hid.EnumDevices(1, nullptr));
}

TEST_F(UsbHidTest, Write_SplitsIntoReportsWithCountAndPadding) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  const struct {
    size_t length;
    std::vector<size_t> counts;
  } kCases[] = {{1, {1}}, {62, {62}}, {63, {62, 1}}, {130, {62, 62, 6}}};
  for (const auto& c : kCases) {
    device.written.clear();
    std::vector<uint8_t> frame(c.length);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i + 1);
    EXPECT_NE(hid.WriteReports(frame, 2000), 0) << c.length;
    ASSERT_EQ(device.written.size(), c.counts.size()) << c.length;
    std::vector<uint8_t> joined;
    for (size_t r = 0; r < c.counts.size(); ++r) {
      const std::vector<uint8_t>& report = device.written[r];
      ASSERT_EQ(report.size(), 64u);
      EXPECT_EQ(report[0], 2);
      EXPECT_EQ(report[1], c.counts[r]);
      joined.insert(joined.end(), report.begin() + 2, report.begin() + 2 + report[1]);
      for (size_t i = 2 + c.counts[r]; i < 64; ++i) EXPECT_EQ(report[i], 0) << c.length;
    }
    EXPECT_EQ(joined, frame) << c.length;
  }
  // One frame entry, then one entry per report.
  observer.entries.clear();
  hid.WriteReports(std::vector<uint8_t>(63, 9), 2000);
  ASSERT_EQ(observer.entries.size(), 3u);
  EXPECT_EQ(observer.entries[0].id, kLogTxFrame);
  EXPECT_EQ(observer.entries[0].text, "Tx frame: ");
  EXPECT_EQ(observer.entries[0].data.size(), 63u);
  EXPECT_EQ(observer.entries[1].id, kLogReport);
  EXPECT_EQ(observer.entries[1].text, "WriteReport: ");
  EXPECT_EQ(observer.entries[2].data.size(), 64u);
}

TEST_F(UsbHidTest, Write_EmptyFrameSendsNothing_ClosedOrPendingAnswersZero) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  EXPECT_NE(hid.WriteReports({}, 2000), 0);
  EXPECT_TRUE(device.written.empty());
  device.writesPend = true;
  EXPECT_EQ(hid.WriteReports(std::vector<uint8_t>(5, 1), 2000), 0);
  EXPECT_EQ(device.written.size(), 1u);
  hid.Close();
  EXPECT_EQ(hid.WriteReports(std::vector<uint8_t>(5, 1), 2000), 0);
  EXPECT_EQ(device.written.size(), 1u);
}

TEST_F(UsbHidTest, Write_FailedReport_EndsTheFrame) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.failWriteAt = 1;
  EXPECT_EQ(hid.WriteReports(std::vector<uint8_t>(200, 7), 2000), 0);
  EXPECT_EQ(device.written.size(), 2u);
}

TEST_F(UsbHidTest, ReadByte_HandsOutPayloadThenReadsTheNextReport) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({InputReport(3), {}});
  device.inputs.push_back({InputReport(62), {}});
  uint8_t byte = 0;
  for (uint8_t expected : {1, 2, 3}) {
    ASSERT_EQ(hid.ReadByte(byte, 50), kTransportOk);
    EXPECT_EQ(byte, expected);
  }
  EXPECT_EQ(device.inputs.size(), 1u);
  for (int i = 1; i <= 62; ++i) {
    ASSERT_EQ(hid.ReadByte(byte, 50), kTransportOk);
    EXPECT_EQ(byte, i);
  }
  EXPECT_EQ(hid.ReadByte(byte, 0), kTransportTimeout);
  EXPECT_EQ(observer.entries.back().text, "ReadReport: ");
}

TEST_F(UsbHidTest, ReadReportByte_NewReportOnlyForTheFirstByteOfEachReport) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({InputReport(2), {}});
  device.inputs.push_back({InputReport(1), {}});
  uint8_t byte = 0;
  const struct {
    uint8_t byte;
    bool newReport;
  } kExpected[] = {{1, true}, {2, false}, {1, true}};
  for (const auto& expected : kExpected) {
    bool newReport = !expected.newReport;
    ASSERT_EQ(hid.ReadReportByte(byte, 50, newReport), kTransportOk);
    EXPECT_EQ(byte, expected.byte);
    EXPECT_EQ(newReport, expected.newReport);
  }
  bool newReport = false;
  EXPECT_EQ(hid.ReadReportByte(byte, 0, newReport), kTransportTimeout);
  EXPECT_TRUE(newReport);  // it had to wait for a report
}

TEST_F(UsbHidTest, ReadByte_CountOutsideOneToSizeLessTwo_HandsOutNothingOfThatReport) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({InputReport(0), {}});
  device.inputs.push_back({InputReport(63), {}});
  device.inputs.push_back({InputReport(255), {}});
  device.inputs.push_back({InputReport(10, 8), {}});  // count beyond the bytes read
  device.inputs.push_back({InputReport(1), {}});
  uint8_t byte = 0;
  ASSERT_EQ(hid.ReadByte(byte, 1000), kTransportOk);
  EXPECT_EQ(byte, 1);
  EXPECT_TRUE(device.inputs.empty());
  device.inputs.push_back({InputReport(0), {}});
  EXPECT_FALSE(hid.PollInput(0));
  EXPECT_EQ(hid.ReadByte(byte, 0), kTransportTimeout);
}

TEST_F(UsbHidTest, Read_FailureAtOnce_ClosesAndAnswersTimeoutThenNotOpen) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({{}, HidIoResult{platform::kHidErrorDeviceNotConnected, false, 0}});
  uint8_t byte;
  EXPECT_EQ(hid.ReadByte(byte, 100), kTransportTimeout);
  EXPECT_FALSE(hid.IsOpen());
  EXPECT_FALSE(device.open);
  ASSERT_GE(observer.entries.size(), 2u);
  const Entry& failed = observer.entries[observer.entries.size() - 2];
  EXPECT_EQ(failed.id, kLogError);
  EXPECT_EQ(failed.text, "UsbHid: CUsbHid::ReadReports ReadFile FAILED(0x48F)");
  EXPECT_EQ(observer.entries.back().text, "UsbHid: ClosingHandle");
  EXPECT_EQ(hid.ReadByte(byte, 100), kTransportNotOpen);
  EXPECT_FALSE(hid.PollInput(0));
}

TEST_F(UsbHidTest, Read_GoneWhileWaiting_AnswersDisconnectedAndStaysOpen) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({{}, HidIoResult{platform::kHidErrorDeviceNotConnected, true, 0}});
  uint8_t byte;
  EXPECT_EQ(hid.ReadByte(byte, 100), kTransportDisconnected);
  EXPECT_TRUE(hid.IsOpen());
  std::vector<uint8_t> buffer(64);
  size_t length = buffer.size();
  EXPECT_EQ(hid.ReadReports(buffer, length, 10), kTransportTimeout);
}

TEST_F(UsbHidTest, Open_DiscardsBytesLeftFromTheLastConnection) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  device.inputs.push_back({InputReport(5), {}});
  uint8_t byte;
  ASSERT_EQ(hid.ReadByte(byte, 50), kTransportOk);
  ASSERT_EQ(hid.Open("r"), 0);
  EXPECT_FALSE(hid.PollInput(0));
}

TEST_F(UsbHidTest, WaitForInput_SeesBytesAnotherThreadPolled) {
  FakeHidDevice& device = AddAndOpen(Reader("r"));
  EXPECT_FALSE(hid.WaitForInput(20));
  device.inputs.push_back({InputReport(2), {}});
  std::thread poller([&] { EXPECT_TRUE(hid.PollInput(0)); });
  EXPECT_TRUE(hid.WaitForInput(5000));
  poller.join();
  EXPECT_TRUE(hid.PollInput(0));
}

}  // namespace
}  // namespace lx2d
