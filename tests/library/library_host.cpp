#include "library_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace lx2d::test {

namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream stream(text);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

}  // namespace

const LibraryTarget& Target() {
  // The HID library and its simulator unless the environment names another
  // variant (the same cases run against it).
  static const LibraryTarget target{
      FromEnvironment("LX2D_TEST_LIBRARY", LX2D_TEST_LIBRARY),
      FromEnvironment("LX2D_TEST_SIMULATOR", LX2D_TEST_SIMULATOR),
      Words(FromEnvironment("LX2D_TEST_SIMULATOR_ARGS", "")),
      FromEnvironment("LX2D_TEST_READY_FILE", "vhid/lx2d-reader.info"),
      FromEnvironment("LX2D_TEST_READER", "2D Barcode Reader SIM0000001")};
  return target;
}

namespace {

template <class Function>
bool Bind(platform::HMODULE module, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(platform::GetProcAddress(module, name));
  EXPECT_NE(slot, nullptr) << "export " << name << " missing";
  return slot != nullptr;
}

}  // namespace

bool CScannerLibrary::Load(const std::string& file) {
  module = platform::LoadLibrary(file);
  EXPECT_NE(module, nullptr) << platform::GetModuleErrorText();
  if (module == nullptr) return false;
  bool bound = true;
  bound &= Bind(module, "Initialize", Initialize);
  bound &= Bind(module, "Deinitialize", Deinitialize);
  bound &= Bind(module, "ConfigurationDialog", ConfigurationDialog);
  bound &= Bind(module, "Connect", Connect);
  bound &= Bind(module, "Disconnect", Disconnect);
  bound &= Bind(module, "SetupRead", SetupRead);
  bound &= Bind(module, "SetupWrite", SetupWrite);
  bound &= Bind(module, "StatusRead", StatusRead);
  bound &= Bind(module, "ControlCommand", ControlCommand);
  bound &= Bind(module, "SetupRangeRead", SetupRangeRead);
  bound &= Bind(module, "ControlRangeRead", ControlRangeRead);
  bound &= Bind(module, "SetupPermissionRead", SetupPermissionRead);
  bound &= Bind(module, "SetupPermissionWrite", SetupPermissionWrite);
  bound &= Bind(module, "StatusPermissionRead", StatusPermissionRead);
  bound &= Bind(module, "StatusPermissionWrite", StatusPermissionWrite);
  bound &= Bind(module, "ControlPermissionRead", ControlPermissionRead);
  bound &= Bind(module, "ControlPermissionWrite", ControlPermissionWrite);
  bound &= Bind(module, "ImageDataRead", ImageDataRead);
  bound &= Bind(module, "GenericVSCPRequest", GenericVSCPRequest);
  bound &= Bind(module, "GetBarcodeData", GetBarcodeData);
  bound &= Bind(module, "GetBarcodeDataEx", GetBarcodeDataEx);
  bound &= Bind(module, "GetBarcodeDataEx2", GetBarcodeDataEx2);
  bound &= Bind(module, "GetEventNotification", GetEventNotification);
  bound &= Bind(module, "GetSetupBarcodeData", GetSetupBarcodeData);
  bound &= Bind(module, "GetImageData", GetImageData);
  bound &= Bind(module, "GetRawData", GetRawData);
  bound &= Bind(module, "MessageIdentify", MessageIdentify);
  bound &= Bind(module, "GetDllVersion", GetDllVersion);
  bound &= Bind(module, "GetLibraryVersion", GetLibraryVersion);
  bound &= Bind(module, "DeviceIOControl", DeviceIOControl);
  bound &= Bind(module, "HIDEnumDevices", HIDEnumDevices);
  bound &= Bind(module, "UsbSettings", UsbSettings);
  bound &= Bind(module, "StartDataCapture", StartDataCapture);
  return bound;
}

void CScannerLibrary::Unload() {
  if (module == nullptr) return;
  // Whatever a test left running ends before the library may go.
  if (Disconnect != nullptr) Disconnect();
  if (StartDataCapture != nullptr) StartDataCapture(0, nullptr);
  platform::FreeLibrary(module);
  module = nullptr;
}

bool CSimulatedReader::Start(const std::vector<std::string>& extra) {
  const std::string runtime = std::getenv("LX2D_RUNTIME_DIR");
  // Beside the runtime folder, which may not exist yet.
  recordFile_ = runtime + ".requests.jsonl";
  std::vector<std::string> args = Target().simulatorArgs;
  args.insert(args.end(), {"--record", recordFile_});
  args.insert(args.end(), extra.begin(), extra.end());
  if (!process_.StartWithInput(Target().simulator, args)) return false;
  running_ = true;
  const std::string ready = runtime + "/" + Target().readyFile;
  return WaitUntil([&] { return std::filesystem::exists(ready); });
}

bool CSimulatedReader::Command(std::string_view line) {
  return process_.WriteInput(std::string(line) + "\n");
}

std::vector<std::string> CSimulatedReader::RequestKinds() const {
  std::vector<std::string> kinds;
  std::ifstream record(recordFile_);
  static const std::regex kKind("\"kind\":\"([A-Z0-9]+)\"");
  std::string line;
  std::smatch match;
  while (std::getline(record, line)) {
    if (std::regex_search(line, match, kKind)) kinds.push_back(match[1]);
  }
  return kinds;
}

void CSimulatedReader::Stop() {
  if (!running_) return;
  running_ = false;
  process_.Terminate();
  if (!process_.Wait(std::chrono::seconds(10))) process_.Kill();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

CLibraryTest::CLibraryTest() {
  folders_.ExportForAllDirectories();
  library_.Load(Target().libraryFile);
}

bool CLibraryTest::InitializeUserKey(const std::string& subkey) {
  unsigned char flag = 0;
  return library_.Initialize(("HKCU\\" + subkey).c_str(), &flag) == RDLK_SUCCESS && flag == 1;
}

bool CLibraryTest::Connected(const std::vector<std::string>& extra) {
  if (!InitializeUserKey() || !reader_.Start(extra)) return false;
  library_.UsbSettings(Target().readerDescription.c_str());
  return library_.Connect() == RDLK_SUCCESS;
}

}  // namespace lx2d::test
