// Requests as a host sends them: shortest requests, replies that do not
// fit, a reader that is busy elsewhere, and connections that fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <future>
#include <numeric>
#include <string>
#include <vector>

#include "library_host.h"

namespace lx2d::test {
namespace {

class LibraryRequest : public ::testing::Test {
 protected:
  CLibraryTest host;
  CScannerLibrary& lib = host.Library();
};

using RequestCall = std::function<RDLK_RESULT(CScannerLibrary&, const unsigned char*, uint32_t,
                                              unsigned char*, uint32_t, uint32_t*)>;

// Each request export, its shortest request and the frame the reader sees.
struct RequestExport {
  const char* name;
  RequestCall call;
  uint32_t minimum;
  const char* frame;
};

template <auto Member>
RequestCall Plain() {
  return [](CScannerLibrary& l, const unsigned char* request, uint32_t length, unsigned char* reply,
            uint32_t capacity, uint32_t* replyLength) {
    return (l.*Member)(request, length, reply, capacity, replyLength);
  };
}

const RequestExport kRequestExports[] = {
    {"SetupRead", Plain<&CScannerLibrary::SetupRead>(), 2, "SR"},
    {"SetupWrite", Plain<&CScannerLibrary::SetupWrite>(), 3, "SW"},
    {"ControlCommand", Plain<&CScannerLibrary::ControlCommand>(), 2, "CCMD"},
    {"StatusRead", Plain<&CScannerLibrary::StatusRead>(), 2, "STR"},
    {"SetupPermissionRead", Plain<&CScannerLibrary::SetupPermissionRead>(), 2, "SPR"},
    {"SetupPermissionWrite", Plain<&CScannerLibrary::SetupPermissionWrite>(), 3, "SPW"},
    {"SetupRangeRead", Plain<&CScannerLibrary::SetupRangeRead>(), 2, "SRR"},
    {"ControlRangeRead", Plain<&CScannerLibrary::ControlRangeRead>(), 2, "CRR"},
    {"StatusPermissionRead", Plain<&CScannerLibrary::StatusPermissionRead>(), 2, "STPR"},
    {"StatusPermissionWrite", Plain<&CScannerLibrary::StatusPermissionWrite>(), 3, "STPW"},
    {"ControlPermissionRead", Plain<&CScannerLibrary::ControlPermissionRead>(), 2, "CPR"},
    {"ControlPermissionWrite", Plain<&CScannerLibrary::ControlPermissionWrite>(), 3, "CPW"},
    {"ImageDataRead", Plain<&CScannerLibrary::ImageDataRead>(), 1, "IDR"},
    {"GenericVSCPRequest",
     [](CScannerLibrary& l, const unsigned char* request, uint32_t length, unsigned char* reply,
        uint32_t capacity, uint32_t* replyLength) {
       return l.GenericVSCPRequest(0x1234, 0x5678, request, length, reply, capacity, replyLength);
     },
     2, "GIRQ"},
};

const unsigned char kRequest[] = {0x72, 0x43, 0x02, 0x00};

TEST_F(LibraryRequest, ShorterThanMinimum_Result1AndNothingSent) {
  ASSERT_TRUE(host.Connected());
  for (const RequestExport& entry : kRequestExports) {
    unsigned char reply[64];
    uint32_t length = 0xFFFF;
    EXPECT_EQ(entry.call(lib, kRequest, entry.minimum - 1, reply, sizeof reply, &length),
              RDLK_INVALID_INPUT)
        << entry.name;
    EXPECT_EQ(length, 0u) << entry.name;
    const size_t before = host.Reader().RequestKinds().size();
    EXPECT_EQ(entry.call(lib, kRequest, entry.minimum, reply, sizeof reply, &length), RDLK_SUCCESS)
        << entry.name;
    const std::vector<std::string> kinds = host.Reader().RequestKinds();
    ASSERT_EQ(kinds.size(), before + 1) << entry.name << ": exactly one request sent";
    EXPECT_EQ(kinds.back(), entry.frame);
  }
}

TEST_F(LibraryRequest, NullRequestOrReply_Result1BeforeAnythingIsRead) {
  ASSERT_TRUE(host.Connected());
  unsigned char reply[8];
  uint32_t length = 0xFFFF;
  EXPECT_EQ(lib.SetupWrite(nullptr, 3, reply, sizeof reply, &length), RDLK_INVALID_INPUT);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, nullptr, 8, &length), RDLK_INVALID_INPUT);
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, reply, sizeof reply, nullptr), RDLK_INVALID_INPUT);
  EXPECT_EQ(lib.GetBarcodeData(nullptr, 8, &length), RDLK_INVALID_INPUT);
  EXPECT_TRUE(host.Reader().RequestKinds().empty());
}

TEST_F(LibraryRequest, ReplyLargerThanCapacity_Result2AndLength0) {
  ASSERT_TRUE(host.Connected());
  // The simulated reader answers a status read with the request's bytes.
  std::vector<unsigned char> request(300);
  std::iota(request.begin(), request.end(), 0);
  std::vector<unsigned char> reply(300, 0xEE);
  uint32_t length = 0xFFFF;
  EXPECT_EQ(lib.StatusRead(request.data(), 300, reply.data(), 299, &length), RDLK_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(reply[0], 0xEE);
  EXPECT_EQ(lib.StatusRead(request.data(), 300, reply.data(), 300, &length), RDLK_SUCCESS);
  EXPECT_EQ(length, 300u);
  EXPECT_EQ(reply, request);
}

TEST_F(LibraryRequest, ReaderHeldByAnotherThread_Result10AndNothingSent) {
  ASSERT_TRUE(host.Connected());
  const unsigned char hold = 0;
  const unsigned char release = 1;
  uint32_t length = 0;
  // This thread holds the link (as a host does around byte-level I/O).
  ASSERT_EQ(lib.DeviceIOControl(RDLK_IOCTL_RECEIVE_THREAD, &hold, 1, nullptr, 0, &length),
            RDLK_SUCCESS);
  auto other = std::async(std::launch::async, [&] {
    unsigned char reply[8];
    uint32_t replyLength = 0xFFFF;
    const RDLK_RESULT result = lib.SetupWrite(kRequest, 3, reply, sizeof reply, &replyLength);
    return std::make_pair(result, replyLength);
  });
  const auto [result, replyLength] = other.get();
  EXPECT_EQ(result, RDLK_CONNECTION_LOST);
  EXPECT_EQ(replyLength, 0u);
  EXPECT_TRUE(host.Reader().RequestKinds().empty());
  // The holder itself still gets through, and after the release everyone.
  unsigned char reply[8];
  EXPECT_EQ(lib.SetupWrite(kRequest, 3, reply, sizeof reply, &length), RDLK_SUCCESS);
  ASSERT_EQ(lib.DeviceIOControl(RDLK_IOCTL_RECEIVE_THREAD, &release, 1, nullptr, 0, &length),
            RDLK_SUCCESS);
  EXPECT_EQ(std::async(std::launch::async,
                       [&] {
                         uint32_t n = 0;
                         return lib.SetupWrite(kRequest, 3, reply, sizeof reply, &n);
                       })
                .get(),
            RDLK_SUCCESS);
}

TEST_F(LibraryRequest, ConnectWithoutMatchingReader_Result9) {
  ASSERT_TRUE(host.InitializeUserKey());
  // Nothing attached at all.
  EXPECT_EQ(lib.Connect(), RDLK_PORT_NOT_AVAILABLE);
  ASSERT_TRUE(host.Reader().Start());
  // No reader has an empty description, nor this one.
  EXPECT_EQ(lib.Connect(), RDLK_PORT_NOT_AVAILABLE);
  lib.UsbSettings("2D Barcode Reader SIM0000002");
  EXPECT_EQ(lib.Connect(), RDLK_PORT_NOT_AVAILABLE);
  // An explicit path that names nothing.
  const char path[] = "\\\\?\\hid#vid_0d2a&pid_0801#nothing#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  uint32_t length = 0;
  ASSERT_EQ(lib.DeviceIOControl(RDLK_IOCTL_SET_DEVICE_PATH, path, sizeof path, nullptr, 0, &length),
            RDLK_SUCCESS);
  lib.UsbSettings(Target().readerDescription.c_str());
  EXPECT_EQ(lib.Connect(), RDLK_PORT_NOT_AVAILABLE);
  // Clearing the path lets the description choose again.
  ASSERT_EQ(lib.DeviceIOControl(RDLK_IOCTL_SET_DEVICE_PATH, "", 1, nullptr, 0, &length),
            RDLK_SUCCESS);
  EXPECT_EQ(lib.Connect(), RDLK_SUCCESS);
}

size_t ThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

TEST_F(LibraryRequest, ReaderIgnoresSync_Result8DeviceClosedNoThread) {
  ASSERT_TRUE(host.InitializeUserKey());
  ASSERT_TRUE(host.Reader().Start({"--ignore-sync"}));
  lib.UsbSettings(Target().readerDescription.c_str());
  const size_t threadsBefore = ThreadCount();
  EXPECT_EQ(lib.Connect(), RDLK_NO_DEVICE);
  EXPECT_EQ(ThreadCount(), threadsBefore);
  // Closed again: the reader is listed (a held reader is not) and a new
  // connection can open it.
  char description[520] = {};
  EXPECT_EQ(lib.HIDEnumDevices(0, description), 1);
  EXPECT_EQ(lib.Connect(), RDLK_NO_DEVICE);
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace lx2d::test
