// CBarcodeDll against real shared libraries: fake scanner libraries built by
// the test suite, each in a directory of its own that the binding takes for
// the program's directory.
#include <gtest/gtest.h>

#include <string>

#include "barcode_dll.h"
#include "platform/module.h"
#include "result_messages.h"

namespace lx2d {
namespace {

// The platform loader, with the program placed in a fake library's folder.
class CFolderLoader final : public ILibraryLoader {
 public:
  explicit CFolderLoader(const std::string& variant)
      : folder(std::string(FAKE_RDLK_DIR) + "/" + variant) {}

  std::string ProgramPath() const override { return folder + "/LX2D_B_SET"; }
  void* Load(const std::string& path) override { return platform.Load(path); }
  void* Symbol(void* module, const char* name) override { return platform.Symbol(module, name); }
  void Free(void* module) override { platform.Free(module); }

  // The fake's call log, read through a reference of our own.
  std::string CallLog() {
    void* module = platform::LoadLibrary(folder + "/libRDLK_HID.so");
    if (!module) return "<not loaded>";
    using LogFn = const char* (*)();
    const std::string log =
        reinterpret_cast<LogFn>(platform::GetProcAddress(module, "FakeCallLog"))();
    platform::FreeLibrary(module);
    return log;
  }

  const std::string folder;

 private:
  CPlatformLibraryLoader platform;
};

TEST(BarcodeDllLoading, FullLibrary_BindsConnectsAndDisconnectsOnUnload) {
  CFolderLoader loader("full");
  void* keepLoaded = platform::LoadLibrary(loader.folder + "/libRDLK_HID.so");
  ASSERT_NE(keepLoaded, nullptr);
  {
    CBarcodeDll dll(loader, [](std::chrono::milliseconds) {});
    ASSERT_EQ(dll.LoadBarcodeDll(false), kBindOk);
    EXPECT_EQ(dll.VersionText(), u"Veltrix 2D DLL:FAKE:1.0");
    dll.SetDevicePath("\\\\?\\hid#vid_0d2a&pid_0801&col02#x");
    EXPECT_EQ(dll.ConnectReader(), 0);
    EXPECT_EQ(dll.RestoreDefaults(), 0);
  }
  EXPECT_EQ(
      loader.CallLog(),
      "Initialize SOFTWARE\\Korvane\\LX2D_B_SET;GetDllVersion;"
      "DeviceIOControl 260 \\\\?\\hid#vid_0d2a&pid_0801&col02#x;Connect;ControlCommand 50 40 00;"
      "ControlCommand 40 02;ControlCommand 30 02;Disconnect;");
  platform::FreeLibrary(keepLoaded);
}

TEST(BarcodeDllLoading, MissingExport_EachGivesItsBindingResult) {
  const struct {
    const char* variant;
    int result;
    const char16_t* message;
  } cases[] = {
      {"no_Initialize", 81, u"Initialize function not exist"},
      {"no_GetDllVersion", 82, u"GetDLLVersion function not exist"},
      {"no_Connect", 84, u"Connect function not exist"},
      {"no_Disconnect", 85, u"Disconnect function not exist"},
      {"no_ControlCommand", 86, u"ControlCommand function not exist"},
      {"no_StatusRead", 87, u"StatusRead function not exist"},
      {"no_SetupRead", 88, u"SetupRead function not exist"},
      {"no_SetupWrite", 89, u"SetupWrite function not exist"},
      {"no_GetBarcodeData", 90, u"GetBarcodeData function not exist"},
      {"no_GetRawData", 91, u"GetRawData function not exist"},
      {"no_GetImageData", 92, u"GetImageData function not exist"},
      {"no_ImageDataRead", 93, u"ImageDataRead function not exist"},
      {"no_GetEventNotification", 94, u"GetEventNotification function not exist"},
      {"no_DeviceIOControl", 95, u"DeviceIOControl function not exist"},
      {"no_ConfigurationDialog", 96, u"ConfigurationDialog function not exist"},
      {"no_Deinitialize", 98, u"Deinitialize function not exist"},
  };
  for (const auto& c : cases) {
    CFolderLoader loader(c.variant);
    CBarcodeDll dll(loader);
    const int result = dll.LoadBarcodeDll(false);
    EXPECT_EQ(result, c.result) << c.variant;
    EXPECT_EQ(BindingFailureText(UiLanguage::kEnglish, result, dll.LastResult(), u"libRDLK_HID.so"),
              c.message)
        << c.variant;
    // Past the version check the library stays initialised until released.
    EXPECT_EQ(dll.State(), c.result > 83 ? BarcodeDllState::kInitialized : BarcodeDllState::kNone)
        << c.variant;
  }
}

TEST(BarcodeDllLoading, FailingInitialize_Gives83AndTheLibraryText) {
  CFolderLoader loader("initialize_fails");
  CBarcodeDll dll(loader);
  ASSERT_EQ(dll.LoadBarcodeDll(false), kBindVersionCheckFailed);
  EXPECT_EQ(dll.LastResult(), 3);
  EXPECT_EQ(
      BindingFailureText(UiLanguage::kEnglish, kBindVersionCheckFailed, dll.LastResult(), u""),
      u"GetDLLVersion Porc Error\nRegistry error => check registry permission");
}

TEST(BarcodeDllLoading, AbsentLibrary_Gives80) {
  CFolderLoader loader("absent");
  CBarcodeDll dll(loader);
  EXPECT_EQ(dll.LoadBarcodeDll(false), kBindNotLoadable);
  EXPECT_EQ(dll.LoadBarcodeDll(true), kBindNotLoadable);
  EXPECT_EQ(BindingFailureText(UiLanguage::kEnglish, kBindNotLoadable, 0, u"libRDLK_Rs.so"),
            u"Can not load Barcode DLL File : libRDLK_Rs.so");
}

}  // namespace
}  // namespace lx2d
