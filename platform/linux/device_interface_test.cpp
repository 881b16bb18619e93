#include "platform/device_interface.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "device_interface_wire.h"
#include "platform/fakes/temp_directory.h"
#include "platform/last_error.h"
#include "platform/protected_file.h"

namespace lx2d::platform {
namespace {

constexpr std::string_view kClass = "{80DCC0C5-BD3E-4BC0-8A06-11EAE4AE7224}";
constexpr uint32_t kWaitMs = 10000;  // generous: a loaded machine

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A driver end served on a thread: answers every request with `answer`.
class CServedDriver {
 public:
  using Handler = std::function<void(IDeviceInterfaceDriver&, const DeviceControlRequest&)>;

  CServedDriver(const std::string& devicesDir, const std::string& name, Handler handler)
      : handler_(std::move(handler)) {
    registered_ =
        RegisterDeviceInterface(devicesDir, std::string(kClass), name, "1.0.8.0", driver_);
    if (registered_ == ERROR_SUCCESS) thread_ = std::thread([this] { Serve(); });
  }
  ~CServedDriver() {
    stop_ = true;
    if (driver_) driver_->Wake();
    if (thread_.joinable()) thread_.join();
  }

  DWORD Registered() const { return registered_; }
  const std::string& Path() const { return driver_->InterfacePath(); }

 private:
  void Serve() {
    DeviceControlRequest request;
    while (!stop_) {
      const DriverEvent event = driver_->Wait(request, kWaitMs);
      if (event == DriverEvent::kRequest) handler_(*driver_, request);
    }
  }

  Handler handler_;
  std::unique_ptr<IDeviceInterfaceDriver> driver_;
  DWORD registered_ = ERROR_GEN_FAILURE;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Echoes the input as output (cut to the capacity), with the code as the
// last error and success when the code is even.
void Echo(IDeviceInterfaceDriver& driver, const DeviceControlRequest& request) {
  const size_t size = std::min<size_t>(request.input.size(), request.outputCapacity);
  driver.Answer(request.code % 2 == 0, request.code,
                std::span<const uint8_t>(request.input.data(), size));
}

class DeviceInterfaceTest : public ::testing::Test {
 protected:
  std::string Devices() const { return temp.Path() + "/devices"; }
  CTempDirectory temp;
  std::unique_ptr<IDeviceInterfaceService> service = MakeDeviceInterfaceService(Devices());
};

TEST_F(DeviceInterfaceTest, Enumerate_ListsServedInterfacesOfTheClassOnly) {
  std::vector<std::string> paths{"stale"};
  EXPECT_EQ(service->EnumerateInterfaces(kClass, paths), ERROR_SUCCESS);
  EXPECT_TRUE(paths.empty());  // no devices folder at all

  CServedDriver second(Devices(), "b-driver", Echo);
  CServedDriver first(Devices(), "a-driver", Echo);
  ASSERT_EQ(first.Registered(), ERROR_SUCCESS);
  ASSERT_EQ(second.Registered(), ERROR_SUCCESS);
  // A folder without a socket (a driver that died uncleanly) is not listed.
  mkdir((Devices() + "/" + std::string(kClass) + "/dead").c_str(), 0755);
  std::unique_ptr<IDeviceInterfaceDriver> other;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), "{00000000-0000-0000-0000-000000000001}", "x",
                                    "1.0.0.0", other),
            ERROR_SUCCESS);

  ASSERT_EQ(service->EnumerateInterfaces("{80dcc0c5-bd3e-4bc0-8a06-11eae4ae7224}", paths),
            ERROR_SUCCESS);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], first.Path());
  EXPECT_EQ(paths[1], second.Path());
  EXPECT_EQ(paths[0], Devices() + "/" + std::string(kClass) + "/a-driver");
}

TEST_F(DeviceInterfaceTest, Register_RefusesBadNamesAndALiveDuplicate) {
  std::unique_ptr<IDeviceInterfaceDriver> driver;
  EXPECT_EQ(RegisterDeviceInterface(Devices(), kClass, ".hidden", "1.0.8.0", driver),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegisterDeviceInterface(Devices(), kClass, "a/b", "1.0.8.0", driver),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegisterDeviceInterface(Devices(), "80DCC0C5", "a", "1.0.8.0", driver),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0\n8", driver),
            ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", driver), ERROR_SUCCESS);
  std::unique_ptr<IDeviceInterfaceDriver> twin;
  EXPECT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", twin),
            ERROR_SHARING_VIOLATION);
  const std::string folder = driver->InterfacePath();
  driver.reset();
  struct stat info {};
  EXPECT_NE(stat(folder.c_str(), &info), 0) << "the folder goes with the driver";
}

TEST_F(DeviceInterfaceTest, ReadDriverVersion_TextWithoutLineFeedAndItsLimits) {
  std::unique_ptr<IDeviceInterfaceDriver> driver;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.7.3", driver), ERROR_SUCCESS);
  const std::string path = driver->InterfacePath();
  std::string version;
  EXPECT_EQ(service->ReadDriverVersion(path, version), ERROR_SUCCESS);
  EXPECT_EQ(version, "1.0.7.3");

  struct Case {
    std::string content;  // nullopt-like: "-" removes the file
    DWORD result;
    std::string version;
  };
  const Case cases[] = {
      {std::string(256, '9'), ERROR_SUCCESS, std::string(256, '9')},
      {std::string(256, '9') + "\n", ERROR_SUCCESS, std::string(256, '9')},
      {std::string(257, '9'), ERROR_MORE_DATA, ""},
      {"", ERROR_SUCCESS, ""},
      {"-", ERROR_FILE_NOT_FOUND, ""},
  };
  for (const Case& c : cases) {
    const std::string file = path + "/DriverVersion";
    if (c.content == "-") {
      unlink(file.c_str());
    } else {
      WriteFile(file, c.content);
    }
    version = "old";
    EXPECT_EQ(service->ReadDriverVersion(path, version), c.result) << c.content.size();
    EXPECT_EQ(version, c.version);
  }
  EXPECT_EQ(service->ReadDriverVersion(path + "-gone", version), ERROR_PATH_NOT_FOUND);
}

TEST_F(DeviceInterfaceTest, Control_CarriesCodeCapacityInputAndTheAnswer) {
  CServedDriver driver(Devices(), "echo", Echo);
  ASSERT_EQ(driver.Registered(), ERROR_SUCCESS);
  std::unique_ptr<IDeviceInterface> device;
  ASSERT_EQ(service->Open(driver.Path(), device), ERROR_SUCCESS);

  const std::vector<uint8_t> input{1, 2, 3, 4, 5};
  struct Case {
    DWORD code;
    size_t capacity;
    BOOL result;
    DWORD returned;
  };
  const Case cases[] = {
      {0x222000, 16, TRUE, 5},   // success, all input echoed
      {0x222001, 16, FALSE, 5},  // failure that still returns bytes
      {0x222008, 3, TRUE, 3},    // cut to the capacity by the driver
      {0x222004, 0, TRUE, 0},    // no output buffer
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> output(c.capacity, 0xEE);
    DWORD returned = 99;
    SetLastError(0);
    EXPECT_EQ(device->Control(c.code, input, output, &returned), c.result) << c.code;
    EXPECT_EQ(GetLastError(), c.code);
    ASSERT_EQ(returned, c.returned);
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + returned, input.begin()));
  }
  std::vector<uint8_t> tooLarge(kMaxDeviceControlBytes + 1);
  DWORD returned = 7;
  EXPECT_FALSE(device->Control(0, tooLarge, {}, &returned));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(device->Control(0, input, {}, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(DeviceInterfaceTest, Answer_MoreThanTheCapacityIsRefusedAtTheDriver) {
  DWORD answered = ERROR_SUCCESS;
  CServedDriver driver(Devices(), "greedy",
                       [&](IDeviceInterfaceDriver& end, const DeviceControlRequest& request) {
                         const std::vector<uint8_t> lots(request.outputCapacity + 1, 7);
                         answered = end.Answer(true, 0, lots);
                         end.Answer(true, 0, {});
                       });
  ASSERT_EQ(driver.Registered(), ERROR_SUCCESS);
  std::unique_ptr<IDeviceInterface> device;
  ASSERT_EQ(service->Open(driver.Path(), device), ERROR_SUCCESS);
  std::vector<uint8_t> output(4);
  DWORD returned = 0;
  EXPECT_TRUE(device->Control(1, {}, output, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(answered, ERROR_INVALID_PARAMETER);
}

// A driver of another make that breaks the rules: the host does not trust it.
TEST_F(DeviceInterfaceTest, Control_HostileAnswersAreFailures) {
  std::unique_ptr<IDeviceInterfaceDriver> registration;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "raw", "1.0.8.0", registration),
            ERROR_SUCCESS);
  // Take the name over with a raw socket of our own; the registration's
  // listener is left unreachable.
  const std::string folder = registration->InterfacePath();
  const std::string socketPath = folder + "/socket";
  unlink(socketPath.c_str());
  const int listener = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);

  struct Case {
    std::vector<uint8_t> answer;  // empty: hang up
    DWORD error;
  };
  const Case cases[] = {
      {{1, 0, 0, 0, 0, 0, 0}, ERROR_GEN_FAILURE},                    // head cut short
      {{1, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5}, ERROR_GEN_FAILURE},  // 5 bytes for 4
      {{}, ERROR_DEVICE_NOT_CONNECTED},
  };
  for (const Case& c : cases) {
    std::unique_ptr<IDeviceInterface> device;
    ASSERT_EQ(service->Open(folder, device), ERROR_SUCCESS);
    const int conn = accept(listener, nullptr, nullptr);
    ASSERT_GE(conn, 0);
    std::thread peer([&] {
      uint8_t request[64];
      ASSERT_GT(recv(conn, request, sizeof request, 0), 0);
      if (!c.answer.empty()) send(conn, c.answer.data(), c.answer.size(), 0);
      close(conn);
    });
    std::vector<uint8_t> output(4, 0xEE);
    DWORD returned = 9;
    EXPECT_FALSE(device->Control(0x222008, {}, output, &returned));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(returned, 0u);
    peer.join();
  }
  close(listener);
}

TEST_F(DeviceInterfaceTest, Open_OneHostAtATime) {
  CServedDriver driver(Devices(), "echo", Echo);
  ASSERT_EQ(driver.Registered(), ERROR_SUCCESS);
  std::unique_ptr<IDeviceInterface> first;
  ASSERT_EQ(service->Open(driver.Path(), first), ERROR_SUCCESS);
  std::unique_ptr<IDeviceInterface> second;
  EXPECT_EQ(service->Open(driver.Path(), second), ERROR_SHARING_VIOLATION);
  first.reset();
  ASSERT_EQ(service->Open(driver.Path(), second), ERROR_SUCCESS);
  std::vector<uint8_t> output(2);
  DWORD returned = 0;
  EXPECT_TRUE(second->Control(2, std::vector<uint8_t>{9, 8}, output, &returned));
  EXPECT_EQ(returned, 2u);
  EXPECT_EQ(service->Open(driver.Path() + "x", first), ERROR_FILE_NOT_FOUND);
}

// A host that leaves while the next one is already knocking: the driver
// still hears of the leave before it meets the next host, so it can drop
// what it kept for the first (its session).
TEST_F(DeviceInterfaceTest, Wait_HostLeavingIsReportedBeforeTheNextHostIsTaken) {
  std::unique_ptr<IDeviceInterfaceDriver> driver;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", driver), ERROR_SUCCESS);
  DeviceControlRequest request;
  std::unique_ptr<IDeviceInterface> host;
  ASSERT_EQ(service->Open(driver->InterfacePath(), host), ERROR_SUCCESS);
  ASSERT_EQ(driver->Wait(request, kWaitMs), DriverEvent::kConnected);
  host.reset();
  ASSERT_EQ(service->Open(driver->InterfacePath(), host), ERROR_SUCCESS);
  EXPECT_EQ(driver->Wait(request, kWaitMs), DriverEvent::kDisconnected);
  EXPECT_EQ(driver->Wait(request, kWaitMs), DriverEvent::kConnected);

  // The next host is served.
  std::thread answer([&] {
    DeviceControlRequest next;
    if (driver->Wait(next, kWaitMs) == DriverEvent::kRequest) driver->Answer(true, 0, {});
  });
  DWORD returned = 9;
  EXPECT_TRUE(host->Control(0x222000, {}, {}, &returned));
  answer.join();
}

// Every request gets its one answer, also one the driver cannot take: a
// host of another make is told at once instead of waiting for its time-out.
TEST_F(DeviceInterfaceTest, Wait_MalformedRequestsAreAnsweredAsInvalid) {
  std::unique_ptr<IDeviceInterfaceDriver> driver;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", driver), ERROR_SUCCESS);
  const int host = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  ASSERT_GE(host, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = driver->InterfacePath() + "/socket";
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  ASSERT_EQ(connect(host, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  DeviceControlRequest request;
  ASSERT_EQ(driver->Wait(request, kWaitMs), DriverEvent::kConnected);

  std::vector<uint8_t> capacityTooLarge;
  PutWireWord(capacityTooLarge, 0x222000);
  PutWireWord(capacityTooLarge, static_cast<DWORD>(kMaxDeviceControlBytes + 1));
  std::vector<uint8_t> inputTooLarge;
  PutWireWord(inputTooLarge, 0x222000);
  PutWireWord(inputTooLarge, 0);
  inputTooLarge.resize(kDeviceWireHeadBytes + kMaxDeviceControlBytes + 1);
  const std::vector<uint8_t> malformed[] = {{1, 2, 3, 4}, capacityTooLarge, inputTooLarge};
  for (const std::vector<uint8_t>& message : malformed) {
    SCOPED_TRACE(message.size());
    ASSERT_EQ(send(host, message.data(), message.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(message.size()));
    // Nothing for the driver's own code to answer; the answer has gone out.
    EXPECT_EQ(driver->Wait(request, 200), DriverEvent::kTimeout);
    uint8_t answer[16] = {};
    ASSERT_EQ(recv(host, answer, sizeof answer, MSG_DONTWAIT), 8);
    EXPECT_EQ(WireWordAt(answer, 0), 0u);
    EXPECT_EQ(WireWordAt(answer, 4), ERROR_INVALID_PARAMETER);
  }
  close(host);
}

TEST_F(DeviceInterfaceTest, Open_StaleRegistrationIsNotFound) {
  std::unique_ptr<IDeviceInterfaceDriver> driver;
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", driver), ERROR_SUCCESS);
  const std::string folder = driver->InterfacePath();
  driver.reset();
  mkdir(folder.c_str(), 0755);
  WriteFile(folder + "/DriverVersion", "1.0.8.0\n");
  std::unique_ptr<IDeviceInterface> device;
  EXPECT_EQ(service->Open(folder, device), ERROR_FILE_NOT_FOUND);
  // A new driver takes the name over.
  ASSERT_EQ(RegisterDeviceInterface(Devices(), kClass, "a", "1.0.8.0", driver), ERROR_SUCCESS);
}

TEST(ProtectedFile, OnlyAnOwnersFileOfTheRightSizeIsRead) {
  CTempDirectory temp;
  const std::string path = temp.Path() + "/key";
  struct Case {
    const char* what;
    std::string content;
    mode_t mode;
    ProtectedFileStatus status;
  };
  const Case cases[] = {
      {"owner only", std::string(16, 'k'), 0600, ProtectedFileStatus::kOk},
      {"readable by all", std::string(16, 'k'), 0644, ProtectedFileStatus::kOk},
      {"group may write", std::string(16, 'k'), 0620, ProtectedFileStatus::kWritableByOthers},
      {"others may write", std::string(16, 'k'), 0602, ProtectedFileStatus::kWritableByOthers},
      {"15 bytes", std::string(15, 'k'), 0600, ProtectedFileStatus::kWrongSize},
      {"17 bytes", std::string(17, 'k'), 0600, ProtectedFileStatus::kWrongSize},
  };
  for (const Case& c : cases) {
    unlink(path.c_str());
    WriteFile(path, c.content);
    chmod(path.c_str(), c.mode);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReadProtectedFile(path, 16, bytes), c.status) << c.what;
    EXPECT_EQ(bytes.size(), c.status == ProtectedFileStatus::kOk ? 16u : 0u) << c.what;
  }
  std::vector<uint8_t> bytes;
  EXPECT_EQ(ReadProtectedFile(temp.Path() + "/none", 16, bytes), ProtectedFileStatus::kMissing);
  EXPECT_EQ(ReadProtectedFile(temp.Path(), 16, bytes), ProtectedFileStatus::kNotRegular);
  symlink(path.c_str(), (temp.Path() + "/link").c_str());
  EXPECT_EQ(ReadProtectedFile(temp.Path() + "/link", 16, bytes), ProtectedFileStatus::kNotRegular);
}

}  // namespace
}  // namespace lx2d::platform
