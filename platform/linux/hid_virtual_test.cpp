#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "hid_internal.h"
#include "platform/fakes/temp_directory.h"
#include "platform/hid.h"

namespace lx2d::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

VirtualHidInfo ReaderInfo() {
  VirtualHidInfo info;
  info.vendorId = 0x0D2A;
  info.productId = 0x0801;
  info.versionNumber = 0x0109;
  info.productString = "2D Barcode Reader";
  info.serial = "SN\xC3\xA9-42";  // UTF-8 e acute
  info.inputReportLength = 64;
  info.outputReportLength = 64;
  info.collection = 2;
  return info;
}

class VirtualHid : public ::testing::Test {
 protected:
  void SetUp() override {
    service = MakeHidService({false, temp.Path()});
    ASSERT_EQ(CreateVirtualHidDevice(temp.Path(), "reader", ReaderInfo(), device), kHidOk);
  }

  // Opens the reader and lets the device accept the connection.
  std::unique_ptr<IHidDevice> OpenReader() {
    std::unique_ptr<IHidDevice> host;
    EXPECT_EQ(service->Open(device->InterfacePath(), host), kHidOk);
    std::vector<uint8_t> report(64);
    EXPECT_EQ(device->Wait(report, 2000), VirtualHidEvent::kConnected);
    return host;
  }

  CTempDirectory temp;
  std::unique_ptr<IHidService> service;
  std::unique_ptr<IVirtualHidDevice> device;
};

TEST(VirtualHidInfoText, RoundTrip_AndMissingOrBadKeysRefused) {
  VirtualHidInfo parsed;
  ASSERT_TRUE(ParseVirtualHidInfo(FormatVirtualHidInfo(ReaderInfo()), parsed));
  EXPECT_EQ(parsed.vendorId, 0x0D2A);
  EXPECT_EQ(parsed.versionNumber, 0x0109);
  EXPECT_EQ(parsed.serial, "SN\xC3\xA9-42");
  EXPECT_EQ(parsed.outputReportLength, 64);
  EXPECT_EQ(parsed.collection, 2);

  const std::string good = FormatVirtualHidInfo(ReaderInfo());
  for (const char* bad :
       {"vendor=0x0d2a\n", "vendor=0d2a\n", "input_report_length=70000\n", "collection=x\n"}) {
    std::string text = good;
    const std::string key = std::string(bad).substr(0, std::string(bad).find('='));
    const size_t at = text.find(key + "=");
    text.replace(at, text.find('\n', at) + 1 - at,
                 std::string(bad) == "vendor=0x0d2a\n" ? "" : bad);
    EXPECT_FALSE(ParseVirtualHidInfo(text, parsed)) << bad;
  }
}

TEST_F(VirtualHid, Enumerate_ListsDevicesByNameWithTheirPaths) {
  std::unique_ptr<IVirtualHidDevice> second;
  VirtualHidInfo single = ReaderInfo();
  single.productId = 0x0809;
  single.collection = 0;
  ASSERT_EQ(CreateVirtualHidDevice(temp.Path(), "Alpha", single, second), kHidOk);
  const std::vector<std::string> paths = service->EnumerateInterfaces();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0],
            "\\\\?\\hid#vid_0d2a&pid_0809#vhid&Alpha#{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_EQ(
      paths[1],
      "\\\\?\\hid#vid_0d2a&pid_0801&col02#vhid&reader#{4d1e55b2-f16f-11cf-88cb-001111000030}");
  second.reset();
  EXPECT_EQ(service->EnumerateInterfaces().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(temp.Path() + "/Alpha.info"));
  EXPECT_FALSE(std::filesystem::exists(temp.Path() + "/Alpha.sock"));
}

TEST_F(VirtualHid, Open_AttributesCapsAndStringsFromTheDescription) {
  std::unique_ptr<IHidDevice> host;
  // Paths compare without regard to case, as the utility hands them on in lower case.
  ASSERT_EQ(
      service->Open(
          "\\\\?\\HID#VID_0D2A&PID_0801&COL02#VHID&READER#{4D1E55B2-F16F-11CF-88CB-001111000030}",
          host),
      kHidOk);
  HidAttributes attributes;
  ASSERT_EQ(host->GetAttributes(attributes), kHidOk);
  EXPECT_EQ(attributes.vendorId, 0x0D2A);
  EXPECT_EQ(attributes.productId, 0x0801);
  EXPECT_EQ(attributes.versionNumber, 0x0109);
  HidCaps caps;
  ASSERT_EQ(host->GetCaps(caps), kHidOk);
  EXPECT_EQ(caps.inputReportByteLength, 64);
  EXPECT_EQ(caps.outputReportByteLength, 64);
  std::u16string text;
  ASSERT_EQ(host->GetProductString(text), kHidOk);
  EXPECT_EQ(text, u"2D Barcode Reader");
  ASSERT_EQ(host->GetSerialNumberString(text), kHidOk);
  EXPECT_EQ(text, u"SN\u00e9-42");

  EXPECT_EQ(service->Open("\\\\?\\hid#vid_0d2a&pid_0801&col02#vhid&other#{x}", host),
            kHidErrorFileNotFound);
}

TEST_F(VirtualHid, Open_SecondOpenRefusedUntilTheFirstCloses) {
  std::unique_ptr<IHidDevice> first = OpenReader();
  std::unique_ptr<IHidDevice> second;
  EXPECT_EQ(service->Open(device->InterfacePath(), second), kHidErrorSharingViolation);
  first.reset();
  std::vector<uint8_t> report(64);
  EXPECT_EQ(device->Wait(report, 2000), VirtualHidEvent::kDisconnected);
  EXPECT_EQ(service->Open(device->InterfacePath(), second), kHidOk);
  EXPECT_EQ(device->Wait(report, 2000), VirtualHidEvent::kConnected);
}

TEST_F(VirtualHid, Open_HostThatLeftBeforeBeingAccepted_NextHostServed) {
  // What an enumeration does: open, close, and the real open right after,
  // before the device has looked at its socket.
  std::unique_ptr<IHidDevice> host;
  ASSERT_EQ(service->Open(device->InterfacePath(), host), kHidOk);
  host.reset();
  ASSERT_EQ(service->Open(device->InterfacePath(), host), kHidOk);
  std::vector<uint8_t> report(64);
  while (device->Wait(report, 100) != VirtualHidEvent::kTimeout) {
  }
  ASSERT_TRUE(device->Connected());
  ASSERT_EQ(device->SendReport(std::vector<uint8_t>(64, 3)), kHidOk);
  EXPECT_EQ(host->ReadReport(report, 1000).error, kHidOk);
  EXPECT_EQ(report[0], 3);
}

TEST_F(VirtualHid, Reports_CarriedWholeInBothDirections) {
  std::unique_ptr<IHidDevice> host = OpenReader();
  std::vector<uint8_t> out(64, 0xA5);
  out[0] = 2;
  const HidIoResult written = host->WriteReport(out);
  EXPECT_EQ(written.error, kHidOk);
  EXPECT_FALSE(written.pending);
  std::vector<uint8_t> atDevice(64);
  ASSERT_EQ(device->Wait(atDevice, 2000), VirtualHidEvent::kReport);
  EXPECT_EQ(atDevice, out);

  std::vector<uint8_t> in(64, 0x5A);
  ASSERT_EQ(device->SendReport(in), kHidOk);
  std::vector<uint8_t> atHost(64);
  const HidIoResult read = host->ReadReport(atHost, 1000);
  ASSERT_EQ(read.error, kHidOk);
  EXPECT_EQ(read.bytes, 64u);
  EXPECT_EQ(atHost, in);

  EXPECT_EQ(host->WriteReport(std::vector<uint8_t>(63)).error, kHidErrorInvalidParameter);
  EXPECT_EQ(device->SendReport(std::vector<uint8_t>(65)), kHidErrorInvalidParameter);
  std::vector<uint8_t> shortBuffer(32);
  const HidIoResult refused = host->ReadReport(shortBuffer, 0);
  EXPECT_EQ(refused.error, kHidErrorInvalidUserBuffer);
  EXPECT_FALSE(refused.pending);
}

TEST_F(VirtualHid, Read_NothingArrives_TimesOutAfterItsWait) {
  std::unique_ptr<IHidDevice> host = OpenReader();
  std::vector<uint8_t> buffer(64);
  const auto start = Clock::now();
  const HidIoResult result = host->ReadReport(buffer, 150);
  const auto waited = Clock::now() - start;
  EXPECT_EQ(result.error, kHidErrorTimeout);
  EXPECT_TRUE(result.pending);
  EXPECT_GE(waited, 140ms);
  EXPECT_LT(waited, 3s);
  EXPECT_EQ(host->ReadReport(buffer, 0).error, kHidErrorTimeout);
}

TEST_F(VirtualHid, Unplug_QueuedReportFirstThenGoneThenFailsAtOnce) {
  std::unique_ptr<IHidDevice> host = OpenReader();
  ASSERT_EQ(device->SendReport(std::vector<uint8_t>(64, 7)), kHidOk);
  device->Unplug();
  std::vector<uint8_t> buffer(64);
  EXPECT_EQ(host->ReadReport(buffer, 1000).error, kHidOk);
  EXPECT_EQ(buffer[0], 7);
  const HidIoResult gone = host->ReadReport(buffer, 1000);
  EXPECT_EQ(gone.error, kHidErrorDeviceNotConnected);
  const HidIoResult again = host->ReadReport(buffer, 1000);
  EXPECT_EQ(again.error, kHidErrorDeviceNotConnected);
  EXPECT_FALSE(again.pending);
  EXPECT_EQ(host->WriteReport(std::vector<uint8_t>(64)).error, kHidErrorDeviceNotConnected);
}

TEST_F(VirtualHid, Unplug_DuringAWaitingRead_EndsItAsNotConnected) {
  // The unplug must come while the read waits; should a loaded machine
  // start the read later than that, the attempt is made again.
  std::vector<uint8_t> buffer(64);
  HidIoResult result;
  for (int attempt = 0; attempt < 3 && !result.pending; ++attempt) {
    std::unique_ptr<IHidDevice> host = OpenReader();
    std::thread unplug([&] {
      std::this_thread::sleep_for(100ms);
      device->Unplug();
    });
    const auto start = Clock::now();
    result = host->ReadReport(buffer, 10000);
    unplug.join();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(result.error, kHidErrorDeviceNotConnected);
    EXPECT_FALSE(host->ReadReport(buffer, 0).pending);  // gone: fails at once
  }
  EXPECT_TRUE(result.pending);
}

TEST_F(VirtualHid, CancelRead_WakesAWaitingRead) {
  std::unique_ptr<IHidDevice> host = OpenReader();
  std::thread cancel([&] {
    std::this_thread::sleep_for(50ms);
    host->CancelRead();
  });
  std::vector<uint8_t> buffer(64);
  const auto start = Clock::now();
  const HidIoResult result = host->ReadReport(buffer, 10000);
  cancel.join();
  EXPECT_EQ(result.error, kHidErrorOperationAborted);
  EXPECT_LT(Clock::now() - start, 5s);
}

// A connected SOCK_SEQPACKET socket to `path`, as a host that ignores the lock would make.
int RawConnect(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  return fd;
}

TEST_F(VirtualHid, Device_SecondConnectionClosedAtOnce_FirstKept) {
  std::unique_ptr<IHidDevice> first = OpenReader();
  const int intruder = RawConnect(temp.Path() + "/reader.sock");
  std::vector<uint8_t> report(64);
  EXPECT_EQ(device->Wait(report, 200), VirtualHidEvent::kTimeout);
  char byte;
  EXPECT_EQ(recv(intruder, &byte, 1, MSG_DONTWAIT), 0);  // closed by the device
  close(intruder);
  EXPECT_TRUE(device->Connected());
  ASSERT_EQ(device->SendReport(std::vector<uint8_t>(64, 1)), kHidOk);
  EXPECT_EQ(first->ReadReport(report, 1000).error, kHidOk);
}

TEST_F(VirtualHid, EmptyMessage_DroppedNotTakenAsUnplug) {
  // Host to device: the device drops it and keeps the host.
  const int host = RawConnect(temp.Path() + "/reader.sock");
  std::vector<uint8_t> report(64);
  ASSERT_EQ(device->Wait(report, 2000), VirtualHidEvent::kConnected);
  ASSERT_EQ(send(host, "", 0, MSG_NOSIGNAL), 0);
  const std::vector<uint8_t> out(64, 0x42);
  ASSERT_EQ(send(host, out.data(), out.size(), MSG_NOSIGNAL), 64);
  EXPECT_EQ(device->Wait(report, 2000), VirtualHidEvent::kReport);
  EXPECT_EQ(report, out);
  EXPECT_TRUE(device->Connected());
  close(host);
  EXPECT_EQ(device->Wait(report, 2000), VirtualHidEvent::kDisconnected);

  // Device to host: a device of our own making sends an empty message first.
  const std::string base = temp.Path() + "/raw";
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (base + ".sock").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  {
    std::FILE* info = std::fopen((base + ".info").c_str(), "w");
    ASSERT_NE(info, nullptr);
    std::fputs(FormatVirtualHidInfo(ReaderInfo()).c_str(), info);
    std::fclose(info);
  }
  std::unique_ptr<IHidDevice> reader;
  ASSERT_EQ(service->Open(VirtualHidPath(ReaderInfo(), "raw"), reader), kHidOk);
  const int connection = accept(listener, nullptr, nullptr);
  ASSERT_GE(connection, 0);
  ASSERT_EQ(send(connection, "", 0, MSG_NOSIGNAL), 0);
  const std::vector<uint8_t> in(64, 0x24);
  ASSERT_EQ(send(connection, in.data(), in.size(), MSG_NOSIGNAL), 64);
  std::vector<uint8_t> atHost(64);
  const HidIoResult read = reader->ReadReport(atHost, 2000);
  EXPECT_EQ(read.error, kHidOk);
  EXPECT_EQ(atHost, in);
  close(connection);
  EXPECT_EQ(reader->ReadReport(atHost, 2000).error, kHidErrorDeviceNotConnected);
  close(listener);
}

TEST(VirtualHidName, CreatedAtOnceUnderOneName_ExactlyOneWins) {
  CTempDirectory temp;
  constexpr int kContenders = 4;
  for (int round = 0; round < 20; ++round) {
    std::unique_ptr<IVirtualHidDevice> devices[kContenders];
    uint32_t results[kContenders] = {};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kContenders; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready.load() < kContenders) std::this_thread::yield();  // start together
        results[i] = CreateVirtualHidDevice(temp.Path(), "shared", ReaderInfo(), devices[i]);
      });
    }
    for (std::thread& thread : threads) thread.join();
    int winners = 0;
    for (int i = 0; i < kContenders; ++i) {
      if (results[i] == kHidOk) {
        ++winners;
      } else {
        EXPECT_EQ(results[i], kHidErrorSharingViolation) << round;
      }
    }
    ASSERT_EQ(winners, 1) << "round " << round;
    // The losers left the winner's files alone: a host still reaches it.
    EXPECT_TRUE(std::filesystem::exists(temp.Path() + "/shared.info"));
    EXPECT_TRUE(std::filesystem::exists(temp.Path() + "/shared.sock"));
    const int host = RawConnect(temp.Path() + "/shared.sock");
    close(host);
  }
}

TEST_F(VirtualHid, Wake_EndsAWaitOfTheDevice) {
  std::vector<uint8_t> report(64);
  device->Wake();
  EXPECT_EQ(device->Wait(report, 5000), VirtualHidEvent::kWoken);
  EXPECT_EQ(device->Wait(report, 20), VirtualHidEvent::kTimeout);
}

TEST_F(VirtualHid, Create_LiveNameAndBadNamesRefused_StalePairReplaced) {
  std::unique_ptr<IVirtualHidDevice> other;
  EXPECT_EQ(CreateVirtualHidDevice(temp.Path(), "reader", ReaderInfo(), other),
            kHidErrorSharingViolation);
  for (const char* bad : {"", "bad#name", ".hidden", "a/b"}) {
    EXPECT_EQ(CreateVirtualHidDevice(temp.Path(), bad, ReaderInfo(), other),
              kHidErrorInvalidParameter)
        << bad;
  }
  // What a killed device leaves behind: its files, and nobody listening.
  const std::string stale = temp.Path() + "/stale";
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (stale + ".sock").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(fd);
  std::filesystem::copy_file(temp.Path() + "/reader.info", stale + ".info");
  std::unique_ptr<IHidDevice> host;
  const std::string stalePath = service->EnumerateInterfaces()[1];
  EXPECT_EQ(service->Open(stalePath, host), kHidErrorFileNotFound);
  ASSERT_EQ(CreateVirtualHidDevice(temp.Path(), "stale", ReaderInfo(), other), kHidOk);
  EXPECT_EQ(service->Open(stalePath, host), kHidOk);
}

}  // namespace
}  // namespace lx2d::platform
