// What the library suite needs to drive the scanner-access library as a
// host program does: the library file loaded at run time with its exports
// bound by name, and a simulated reader in private folders.
//
// The library file and the way its reader is simulated are named in one
// place, Target(), so the same cases can run against another variant of the
// library (another file, the simulator in another mode): the environment
// variables LX2D_TEST_LIBRARY, LX2D_TEST_SIMULATOR, LX2D_TEST_SIMULATOR_ARGS
// (blank-separated), LX2D_TEST_READY_FILE and LX2D_TEST_READER replace the
// HID library's values.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "RDLK_HID.h"
#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/module.h"

namespace lx2d::test {

struct LibraryTarget {
  std::string libraryFile;                 // the library loaded
  std::string simulator;                   // the simulator program
  std::vector<std::string> simulatorArgs;  // its mode options
  std::string readyFile;                   // below LX2D_RUNTIME_DIR, there once it serves
  std::string readerDescription;           // as HIDEnumDevices lists the reader
};

// The variant under test: the HID library unless the environment says
// otherwise.
const LibraryTarget& Target();

// The 33 exports, bound by name from the loaded file.
struct CScannerLibrary {
  // Loads the file and binds every export; false (with a test failure)
  // when the file or an export is missing.
  bool Load(const std::string& file);
  // Drops the module again.
  void Unload();
  ~CScannerLibrary() { Unload(); }

  platform::HMODULE module = nullptr;
  decltype(&::Initialize) Initialize = nullptr;
  decltype(&::Deinitialize) Deinitialize = nullptr;
  decltype(&::ConfigurationDialog) ConfigurationDialog = nullptr;
  decltype(&::Connect) Connect = nullptr;
  decltype(&::Disconnect) Disconnect = nullptr;
  decltype(&::SetupRead) SetupRead = nullptr;
  decltype(&::SetupWrite) SetupWrite = nullptr;
  decltype(&::StatusRead) StatusRead = nullptr;
  decltype(&::ControlCommand) ControlCommand = nullptr;
  decltype(&::SetupRangeRead) SetupRangeRead = nullptr;
  decltype(&::ControlRangeRead) ControlRangeRead = nullptr;
  decltype(&::SetupPermissionRead) SetupPermissionRead = nullptr;
  decltype(&::SetupPermissionWrite) SetupPermissionWrite = nullptr;
  decltype(&::StatusPermissionRead) StatusPermissionRead = nullptr;
  decltype(&::StatusPermissionWrite) StatusPermissionWrite = nullptr;
  decltype(&::ControlPermissionRead) ControlPermissionRead = nullptr;
  decltype(&::ControlPermissionWrite) ControlPermissionWrite = nullptr;
  decltype(&::ImageDataRead) ImageDataRead = nullptr;
  decltype(&::GenericVSCPRequest) GenericVSCPRequest = nullptr;
  decltype(&::GetBarcodeData) GetBarcodeData = nullptr;
  decltype(&::GetBarcodeDataEx) GetBarcodeDataEx = nullptr;
  decltype(&::GetBarcodeDataEx2) GetBarcodeDataEx2 = nullptr;
  decltype(&::GetEventNotification) GetEventNotification = nullptr;
  decltype(&::GetSetupBarcodeData) GetSetupBarcodeData = nullptr;
  decltype(&::GetImageData) GetImageData = nullptr;
  decltype(&::GetRawData) GetRawData = nullptr;
  decltype(&::MessageIdentify) MessageIdentify = nullptr;
  decltype(&::GetDllVersion) GetDllVersion = nullptr;
  decltype(&::GetLibraryVersion) GetLibraryVersion = nullptr;
  decltype(&::DeviceIOControl) DeviceIOControl = nullptr;
  decltype(&::HIDEnumDevices) HIDEnumDevices = nullptr;
  decltype(&::UsbSettings) UsbSettings = nullptr;
  decltype(&::StartDataCapture) StartDataCapture = nullptr;
};

// The simulated reader, a child process serving one device in the runtime
// folder of the test.
class CSimulatedReader {
 public:
  ~CSimulatedReader() { Stop(); }

  // Starts the simulator with the target's options plus `extra` and waits
  // until it serves; false when it did not come up.
  bool Start(const std::vector<std::string>& extra = {});

  // One command line on the simulator's input ("bcd HELLO", "evt 0101").
  bool Command(std::string_view line);

  // The kinds of the requests the reader received so far ("SW", "SR"...).
  std::vector<std::string> RequestKinds() const;

  // Ends the simulator (its device disappears).
  void Stop();

 private:
  platform::CChildProcess process_;
  std::string recordFile_;
  bool running_ = false;
};

// Polls `condition` every few milliseconds until it holds or `limit`
// passed; its last answer.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// A fresh test: private LX2D_* folders, the library loaded and a reader
// that can be started. Every test runs in a process of its own, so the
// library starts as a host finds it after loading.
class CLibraryTest {
 public:
  CLibraryTest();
  CScannerLibrary& Library() { return library_; }
  CSimulatedReader& Reader() { return reader_; }
  const std::string& Folder() const { return folders_.Path(); }

  // Initialize with a key of the user's hive; true on result 0.
  bool InitializeUserKey(const std::string& subkey = "Software\\Lx2dTest");
  // Initialize, start the reader (with `extra` options) and Connect, taking
  // the reader by its description; true when all went through.
  bool Connected(const std::vector<std::string>& extra = {});

 private:
  platform::CTempDirectory folders_;
  CSimulatedReader reader_;
  CScannerLibrary library_;
};

}  // namespace lx2d::test
