#include "barcode_dll.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "recording_library.h"

namespace lx2d {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class BarcodeDllTest : public ::testing::Test {
 protected:
  BarcodeDllTest()
      : dll(library, [this](std::chrono::milliseconds wait) {
          library.calls.push_back("Sleep " + std::to_string(wait.count()));
        }) {}

  int LoadAndForget(bool serial = false) {
    const int result = dll.LoadBarcodeDll(serial);
    library.calls.clear();
    return result;
  }

  CRecordingLibrary library;
  CBarcodeDll dll;
};

TEST_F(BarcodeDllTest, Load_FromProgramDirectoryThenInitialise) {
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindOk);
  EXPECT_THAT(library.loadedPaths, ElementsAre("/opt/lx2d/libRDLK_HID.so"));
  EXPECT_THAT(library.calls,
              ElementsAre("Initialize SOFTWARE\\Korvane\\LX2D_B_SET", "GetDllVersion"));
  EXPECT_EQ(dll.State(), BarcodeDllState::kInitialized);
  EXPECT_EQ(dll.VersionText(), u"Veltrix 2D DLL:RDLK_HID:1.0.9.0");

  EXPECT_EQ(dll.LoadBarcodeDll(true), kBindOk);
  EXPECT_EQ(library.loadedPaths.back(), "/opt/lx2d/libRDLK_Rs.so");
}

TEST_F(BarcodeDllTest, Load_ProgramPathUnknownOrWithoutSlash) {
  library.programPath = "";
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindOk);
  EXPECT_THAT(library.loadedPaths, ElementsAre("libRDLK_HID.so"));
  library.programPath = "LX2D_B_SET";
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindNotLoadable);
  EXPECT_EQ(library.loadedPaths.size(), 1u);
  EXPECT_EQ(dll.State(), BarcodeDllState::kNone);
}

TEST_F(BarcodeDllTest, MissingExport_ReportsItsResult) {
  const struct {
    const char* name;
    int result;
  } cases[] = {
      {"Initialize", 81},
      {"GetDllVersion", 82},
      {"Connect", 84},
      {"Disconnect", 85},
      {"ControlCommand", 86},
      {"StatusRead", 87},
      {"SetupRead", 88},
      {"SetupWrite", 89},
      {"GetBarcodeData", 90},
      {"GetRawData", 91},
      {"GetImageData", 92},
      {"ImageDataRead", 93},
      {"GetEventNotification", 94},
      {"DeviceIOControl", 95},
      {"ConfigurationDialog", 96},
      {"Deinitialize", 98},
  };
  for (const auto& c : cases) {
    library.missing = {c.name};
    library.calls.clear();
    EXPECT_EQ(dll.LoadBarcodeDll(false), c.result) << c.name;
    // The version check runs after GetDllVersion is bound, before the rest.
    EXPECT_EQ(library.calls.size(), c.result <= 82 ? 0u : 2u) << c.name;
  }
}

TEST_F(BarcodeDllTest, FailingInitialize_Gives83WithLibraryResult) {
  library.results["Initialize"] = 3;
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindVersionCheckFailed);
  EXPECT_EQ(dll.LastResult(), 3);
  EXPECT_EQ(dll.State(), BarcodeDllState::kNone);
  EXPECT_THAT(library.calls, ElementsAre("Initialize SOFTWARE\\Korvane\\LX2D_B_SET"));

  library.results = {{"GetDllVersion", 2}};
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindVersionCheckFailed);
  EXPECT_EQ(dll.LastResult(), 2);
  EXPECT_EQ(dll.State(), BarcodeDllState::kInitialized);
  EXPECT_TRUE(dll.VersionText().empty());
}

TEST_F(BarcodeDllTest, Connect_WithPathUsesDeviceIoControlWhateverItAnswers) {
  LoadAndForget();
  dll.SetDevicePath("\\\\?\\hid#vid_0d2a&pid_0801&col02#1");
  library.results["DeviceIOControl"] = 13;
  EXPECT_EQ(dll.ConnectReader(), 0);
  EXPECT_THAT(library.calls, ElementsAre("DeviceIOControl 260 \\\\?\\hid#vid_0d2a&pid_0801&col02#1",
                                         "Connect", "ControlCommand 50 40 00"));
  EXPECT_EQ(dll.State(), BarcodeDllState::kConnected);
}

TEST_F(BarcodeDllTest, Connect_WithoutPathAsksConfigurationDialog) {
  LoadAndForget();
  library.results["ConfigurationDialog"] = 11;
  EXPECT_EQ(dll.ConnectReader(), -1);
  EXPECT_EQ(dll.LastResult(), 11);
  EXPECT_THAT(library.calls, ElementsAre("ConfigurationDialog"));

  library.results = {{"ControlCommand", 10}};
  library.calls.clear();
  EXPECT_EQ(dll.ConnectReader(), -1);
  EXPECT_THAT(library.calls,
              ElementsAre("ConfigurationDialog", "Connect", "ControlCommand 50 40 00"));
  EXPECT_EQ(dll.LastResult(), 10);
  EXPECT_EQ(dll.State(), BarcodeDllState::kInitialized);
}

TEST_F(BarcodeDllTest, Disconnect_ControlResultDecidesNothing) {
  LoadAndForget();
  ASSERT_EQ(dll.ConnectReader(), 0);
  library.calls.clear();
  library.results = {{"ControlCommand", 10}};
  EXPECT_EQ(dll.DisconnectReader(), 0);
  EXPECT_THAT(library.calls, ElementsAre("ControlCommand 30 02", "Disconnect"));
  EXPECT_EQ(dll.LastResult(), 0);
  EXPECT_EQ(dll.State(), BarcodeDllState::kInitialized);
}

TEST_F(BarcodeDllTest, Disconnect_FailureKeepsConnectedState) {
  LoadAndForget();
  ASSERT_EQ(dll.ConnectReader(), 0);
  library.results = {{"Disconnect", 10}};
  EXPECT_EQ(dll.DisconnectReader(), -1);
  EXPECT_EQ(dll.State(), BarcodeDllState::kConnected);
}

TEST_F(BarcodeDllTest, RestoreDefaults_AlwaysWaits2000Ms) {
  LoadAndForget();
  library.results["ControlCommand"] = 10;
  EXPECT_EQ(dll.RestoreDefaults(), -1);
  library.results.clear();
  EXPECT_EQ(dll.RestoreDefaults(), 0);
  EXPECT_THAT(library.calls, ElementsAre("ControlCommand 40 02", "Sleep 2000",
                                         "ControlCommand 40 02", "Sleep 2000"));
}

TEST_F(BarcodeDllTest, Requests_EmptyOrOversizedFailWithoutCall) {
  LoadAndForget();
  EXPECT_EQ(dll.WriteSetup({}), -1);
  EXPECT_EQ(dll.SendControlCommand({}), -1);
  const std::vector<uint8_t> tooLong(kExchangeBufferSize + 1, 0x41);
  EXPECT_EQ(dll.WriteSetup(tooLong), -1);
  EXPECT_THAT(library.calls, IsEmpty());
  EXPECT_EQ(dll.WriteSetupZero(0x43), 0);
  library.results["SetupWrite"] = 14;
  EXPECT_EQ(dll.WriteSetup(std::vector<uint8_t>{0x42, 0x40, 0x01}), -1);
  EXPECT_EQ(dll.LastResult(), 14);
  EXPECT_THAT(library.calls, ElementsAre("SetupWrite 72 43 00", "SetupWrite 42 40 01"));
}

TEST_F(BarcodeDllTest, Unload_WhileConnectedDisconnectsFirst) {
  LoadAndForget();
  ASSERT_EQ(dll.ConnectReader(), 0);
  library.calls.clear();
  dll.UnloadBarcodeDll();
  EXPECT_THAT(library.calls, ElementsAre("ControlCommand 30 02", "Disconnect"));
  EXPECT_EQ(dll.State(), BarcodeDllState::kNone);
  // Nothing is bound any more: operations fail without a call.
  EXPECT_EQ(dll.WriteSetupZero(0x41), -1);
  EXPECT_EQ(dll.ConnectReader(), -1);
  EXPECT_EQ(library.calls.size(), 2u);
}

TEST_F(BarcodeDllTest, DevicePath_KeptUpTo511Bytes) {
  dll.SetDevicePath(std::string(600, 'p'));
  EXPECT_EQ(dll.DevicePath().size(), kDevicePathSize - 1);
  dll.SetDevicePath("");
  EXPECT_TRUE(dll.DevicePath().empty());
}

}  // namespace
}  // namespace lx2d
