#include "platform/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/fakes/temp_directory.h"
#include "serial_internal.h"

namespace lx2d::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Whether the tty at `path` is claimed with TIOCEXCL (a check root may make).
bool Exclusive(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  int claimed = 0;
  const bool asked = fd >= 0 && ioctl(fd, TIOCGEXCL, &claimed) == 0;
  if (fd >= 0) close(fd);
  return asked && claimed != 0;
}

SerialPortIdentity ReaderIdentity(std::string serial = "SIM0000001") {
  return {0x0D2A, 0x0801, "2D Barcode Reader", std::move(serial)};
}

class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    service = MakeSerialService({false, temp.Path()});
    ASSERT_EQ(CreatePseudoTerminalPort(temp.Path(), "reader", ReaderIdentity(), device), kSerialOk);
  }

  std::unique_ptr<ISerialPort> OpenReader(uint32_t baudRate = 115200) {
    std::unique_ptr<ISerialPort> host;
    EXPECT_EQ(service->Open(device->PortPath(), baudRate, host), kSerialOk);
    return host;
  }

  // Reads from the device end until `count` bytes came or 5 s passed.
  std::vector<uint8_t> DeviceReads(size_t count) {
    std::vector<uint8_t> got;
    const auto deadline = Clock::now() + 5s;
    while (got.size() < count && Clock::now() < deadline) {
      uint8_t buffer[256];
      const SerialIoResult read = device->Read(buffer, 100);
      if (read.error == kSerialOk) got.insert(got.end(), buffer, buffer + read.bytes);
    }
    return got;
  }

  CTempDirectory temp;
  std::unique_ptr<ISerialService> service;
  std::unique_ptr<IPseudoTerminalPort> device;
};

TEST(SerialIdentityText, RoundTrip_AndBadNumberRefused) {
  SerialPortIdentity parsed;
  ASSERT_TRUE(ParseSerialIdentity(FormatSerialIdentity(ReaderIdentity("S N")), parsed));
  EXPECT_EQ(parsed.vendorId, 0x0D2A);
  EXPECT_EQ(parsed.productId, 0x0801);
  EXPECT_EQ(parsed.product, "2D Barcode Reader");
  EXPECT_EQ(parsed.serial, "S N");
  EXPECT_FALSE(ParseSerialIdentity("vendor=xyz\n", parsed));
  EXPECT_FALSE(ParseSerialIdentity("product_id=10000\n", parsed));
}

TEST(SerialSpeed, StandardRatesOnly) {
  EXPECT_EQ(SpeedConstant(115200), B115200);
  EXPECT_EQ(SpeedConstant(9600), B9600);
  EXPECT_FALSE(SpeedConstant(0).has_value());
  EXPECT_FALSE(SpeedConstant(12345).has_value());
  EXPECT_FALSE(SpeedConstant(115201).has_value());
}

TEST_F(SerialPort, Enumerate_ListsPublishedPortsByNameWithTheirDescription) {
  std::unique_ptr<IPseudoTerminalPort> second;
  ASSERT_EQ(CreatePseudoTerminalPort(temp.Path(), "a-reader", ReaderIdentity(""), second),
            kSerialOk);
  // A link without a description, and a stale one whose simulator died.
  ASSERT_EQ(symlink(std::filesystem::read_symlink(device->PortPath()).c_str(),
                    (temp.Path() + "/bare").c_str()),
            0);
  ASSERT_EQ(symlink("/dev/pts/no-such-pty", (temp.Path() + "/stale").c_str()), 0);

  const std::vector<SerialPortInfo> ports = service->EnumeratePorts();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].path, second->PortPath());
  EXPECT_EQ(ports[0].serial, "");
  EXPECT_EQ(ports[1].path, temp.Path() + "/bare");
  EXPECT_EQ(ports[1].product, "bare");
  EXPECT_EQ(ports[2].path, device->PortPath());
  EXPECT_EQ(ports[2].vendorId, 0x0D2A);
  EXPECT_EQ(ports[2].productId, 0x0801);
  EXPECT_EQ(ports[2].product, "2D Barcode Reader");
  EXPECT_EQ(ports[2].serial, "SIM0000001");
}

TEST_F(SerialPort, Destroy_RemovesLinkAndDescription) {
  const std::string link = device->PortPath();
  device.reset();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  EXPECT_FALSE(std::filesystem::exists(link + ".info"));
  EXPECT_TRUE(service->EnumeratePorts().empty());
}

TEST_F(SerialPort, CreateSecondWithLiveName_SharingViolation_StaleNameReplaced) {
  std::unique_ptr<IPseudoTerminalPort> other;
  EXPECT_EQ(CreatePseudoTerminalPort(temp.Path(), "reader", ReaderIdentity(), other),
            kSerialErrorSharingViolation);
  EXPECT_EQ(CreatePseudoTerminalPort(temp.Path(), ".hidden", ReaderIdentity(), other),
            kSerialErrorInvalidParameter);
  EXPECT_EQ(CreatePseudoTerminalPort(temp.Path(), "a/b", ReaderIdentity(), other),
            kSerialErrorInvalidParameter);
  // Files a killed simulator left behind.
  ASSERT_EQ(symlink("/dev/pts/no-such-pty", (temp.Path() + "/old").c_str()), 0);
  std::ofstream(temp.Path() + "/old.info") << "product=gone\n";
  ASSERT_EQ(CreatePseudoTerminalPort(temp.Path(), "old", ReaderIdentity("NEW"), other), kSerialOk);
  const std::vector<SerialPortInfo> ports = service->EnumeratePorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].serial, "NEW");
}

TEST_F(SerialPort, Open_SpeedTable) {
  struct Case {
    uint32_t baudRate;
    uint32_t result;
  };
  const Case cases[] = {
      {115200, kSerialOk},
      {9600, kSerialOk},
      {4000000, kSerialOk},
      {0, kSerialErrorInvalidParameter},  // would hang up a modem line
      {12345, kSerialErrorInvalidParameter},
      {115201, kSerialErrorInvalidParameter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baudRate);
    std::unique_ptr<ISerialPort> host;
    EXPECT_EQ(service->Open(device->PortPath(), c.baudRate, host), c.result);
    EXPECT_EQ(host != nullptr, c.result == kSerialOk);
  }
}

TEST_F(SerialPort, Open_BadPaths) {
  std::ofstream(temp.Path() + "/plain") << "x";
  struct Case {
    std::string path;
    uint32_t result;
  };
  const Case cases[] = {
      {temp.Path() + "/missing", kSerialErrorFileNotFound},
      {temp.Path() + "/plain", kSerialErrorNotSerial},
      {"/dev/null", kSerialErrorNotSerial},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::unique_ptr<ISerialPort> host;
    EXPECT_EQ(service->Open(c.path, 115200, host), c.result);
    EXPECT_EQ(host, nullptr);
  }
}

TEST_F(SerialPort, Open_HeldByThisOrAnotherProcess_SharingViolationUntilClosed) {
  std::unique_ptr<ISerialPort> first = OpenReader();
  std::unique_ptr<ISerialPort> second;
  EXPECT_EQ(service->Open(device->PortPath(), 115200, second), kSerialErrorSharingViolation);
  // The refused open (root's gets past TIOCEXCL) leaves the holder's claim.
  EXPECT_TRUE(Exclusive(device->PortPath()));
  first.reset();
  EXPECT_FALSE(Exclusive(device->PortPath()));

  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<ISerialPort> held;
    const char answer = service->Open(device->PortPath(), 115200, held) == kSerialOk ? 'y' : 'n';
    [[maybe_unused]] ssize_t put = write(ready[1], &answer, 1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  EXPECT_EQ(answer, 'y');
  EXPECT_EQ(service->Open(device->PortPath(), 115200, second), kSerialErrorSharingViolation);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(service->Open(device->PortPath(), 115200, second), kSerialOk);
}

TEST_F(SerialPort, Bytes_TravelBothWaysUnchanged) {
  std::unique_ptr<ISerialPort> host = OpenReader();
  // Every byte value, line feeds, XON/XOFF and carriage returns included:
  // the line is raw in both directions.
  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  const SerialIoResult written = host->Write(all, 2000);
  EXPECT_EQ(written.error, kSerialOk);
  EXPECT_EQ(written.bytes, all.size());
  EXPECT_EQ(DeviceReads(all.size()), all);

  ASSERT_EQ(device->Write(all), kSerialOk);
  std::vector<uint8_t> got;
  while (got.size() < all.size()) {
    uint8_t buffer[64];
    const SerialIoResult read = host->Read(buffer, 2000);
    ASSERT_EQ(read.error, kSerialOk);
    got.insert(got.end(), buffer, buffer + read.bytes);
  }
  EXPECT_EQ(got, all);
}

TEST_F(SerialPort, Open_DiscardsBytesQueuedBeforeIt) {
  const uint8_t stale[] = {1, 2, 3};
  ASSERT_EQ(device->Write(stale), kSerialOk);
  std::unique_ptr<ISerialPort> host = OpenReader();
  uint8_t buffer[8];
  EXPECT_EQ(host->Read(buffer, 50).error, kSerialErrorTimeout);
}

TEST_F(SerialPort, Read_TimesOutOrIsWokenEarly) {
  std::unique_ptr<ISerialPort> host = OpenReader();
  uint8_t buffer[8];
  const auto start = Clock::now();
  const SerialIoResult quiet = host->Read(buffer, 100);
  EXPECT_EQ(quiet.error, kSerialErrorTimeout);
  EXPECT_GE(Clock::now() - start, 100ms);
  EXPECT_EQ(host->Read(buffer, 0).error, kSerialErrorTimeout);

  std::thread waker([&] {
    std::this_thread::sleep_for(50ms);
    host->CancelRead();
  });
  const auto woken = Clock::now();
  EXPECT_EQ(host->Read(buffer, 20000).error, kSerialErrorOperationAborted);
  EXPECT_LT(Clock::now() - woken, 10s);
  waker.join();
}

TEST_F(SerialPort, Unplug_WaitingReadSeesPortGone_ThenEveryCallFailsAtOnce) {
  std::unique_ptr<ISerialPort> host = OpenReader();
  const uint8_t last[] = {0x55};
  ASSERT_EQ(device->Write(last), kSerialOk);
  std::thread unplugger([&] {
    std::this_thread::sleep_for(100ms);
    device->Unplug();
  });
  uint8_t buffer[8];
  // What came before the hang-up is still handed out.
  SerialIoResult read = host->Read(buffer, 20000);
  ASSERT_EQ(read.error, kSerialOk);
  EXPECT_EQ(buffer[0], 0x55);
  const auto start = Clock::now();
  read = host->Read(buffer, 20000);
  EXPECT_EQ(read.error, kSerialErrorDeviceNotConnected);
  EXPECT_LT(Clock::now() - start, 10s);
  unplugger.join();
  EXPECT_EQ(host->Read(buffer, 20000).error, kSerialErrorDeviceNotConnected);
  EXPECT_EQ(host->Write(last, 2000).error, kSerialErrorDeviceNotConnected);

  // The simulated reader is published again on a fresh pseudo-terminal.
  host.reset();
  std::unique_ptr<ISerialPort> again = OpenReader();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->Write(last, 2000).error, kSerialOk);
  EXPECT_EQ(DeviceReads(1), std::vector<uint8_t>{0x55});
}

TEST_F(SerialPort, HostClose_DeviceEndToldOnce_NextHostServed) {
  std::unique_ptr<ISerialPort> host = OpenReader();
  host.reset();
  uint8_t buffer[8];
  EXPECT_EQ(device->Read(buffer, 2000).error, kSerialErrorDeviceNotConnected);
  EXPECT_EQ(device->Read(buffer, 60).error, kSerialErrorTimeout);

  host = OpenReader();
  const uint8_t byte[] = {0xAA};
  ASSERT_EQ(host->Write(byte, 2000).error, kSerialOk);
  EXPECT_EQ(DeviceReads(1), std::vector<uint8_t>{0xAA});
}

TEST_F(SerialPort, DeviceWake_EndsItsWait) {
  std::thread waker([&] {
    std::this_thread::sleep_for(50ms);
    device->Wake();
  });
  uint8_t buffer[8];
  EXPECT_EQ(device->Read(buffer, 20000).error, kSerialErrorOperationAborted);
  waker.join();
}

}  // namespace
}  // namespace lx2d::platform
