// CVscpCommunication: the state every export works on, and the methods
// behind the exports: settings in the registry, connect and disconnect, the
// request wrappers, the reads of buffered data and DeviceIOControl. Each
// method runs inside the export's call frame (LibraryLock held, state
// checked), so the object needs no lock of its own; only the engine's
// CommandMutex keeps its receive thread and the requests apart.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "library_observer.h"
#include "library_settings.h"
#include "platform/registry.h"
#include "platform_host_messaging.h"
#include "protocol.h"
#include "reader_port.h"
#include "spy_window.h"

namespace lx2d {

// Library result codes (RDLK_HID.h has them for hosts, with their meanings).
inline constexpr uint16_t kResultOk = 0;
inline constexpr uint16_t kResultInvalidInput = 1;
inline constexpr uint16_t kResultBufferTooSmall = 2;
inline constexpr uint16_t kResultRegistryError = 3;
inline constexpr uint16_t kResultNotInitialized = 7;
inline constexpr uint16_t kResultNoDevice = 8;
inline constexpr uint16_t kResultPortNotAvailable = 9;
inline constexpr uint16_t kResultConnectionLost = 10;
inline constexpr uint16_t kResultCancelled = 11;
inline constexpr uint16_t kResultOtherError = 12;
inline constexpr uint16_t kResultUnknownCode = 13;
inline constexpr uint16_t kResultReaderStatus3 = 14;

// The version text, also stamped into the registry key as "Version".
inline constexpr std::string_view kLibraryName = "RDLK_HID";
inline constexpr std::string_view kLibraryVersion = "1.0.9.0";

// Longest device path or reader description kept, without the terminator.
inline constexpr size_t kMaxDeviceText = 259;

// A request export: the frame kind it sends and its shortest request.
struct RequestKind {
  uint8_t kind;
  uint32_t minimumLength;
};

// One output buffer of an export: pointer, capacity and the count to set.
struct OutputBuffer {
  uint8_t* data;
  uint32_t capacity;
  uint32_t* length;
};

class CVscpCommunication {
 public:
  CVscpCommunication();
  virtual ~CVscpCommunication();
  CVscpCommunication(const CVscpCommunication&) = delete;
  CVscpCommunication& operator=(const CVscpCommunication&) = delete;

  // --- State checked by the call frame ---------------------------------------
  bool initialized = false;
  bool connected = false;  // set by Connect once the reader is open; never cleared
  bool portOpen = false;   // set with connected; cleared by Disconnect

  // 7 when not initialised; at level 2 also 8 when never connected; else 0.
  uint16_t CheckLibraryState(int level) const;

  // --- Settings in the registry (library_settings.cpp) ----------------------
  // Results 0, 1 (null pointer) or 3; `initializedFlag` 1 on success.
  uint16_t Initialize(const char* keyPath, uint8_t* initializedFlag);
  void SetDefaultSettings();
  bool LoadSettings();
  bool SaveSettings();
  void StoreSpyRect(int32_t top, int32_t bottom, int32_t left, int32_t right);
  const LibrarySettings& Settings() const { return settings_; }
  platform::HKEY RegistryRoot() const { return registryRoot_; }
  const std::string& RegistrySubkey() const { return registrySubkey_; }

  // --- Connection -----------------------------------------------------------
  uint16_t Connect();
  uint16_t Disconnect();
  // The reader-selection dialog: 11 when it ends other than by OK; else the
  // choice becomes the selected device (the explicit path is cleared) and
  // the settings are saved: 0, or 3 when that fails.
  uint16_t RunConfigurationDialog();
  void SetDeviceSelection(std::string_view description);
  bool EnumDevices(int index, std::string* description) {
    return port_->EnumDevices(index, description);
  }

  // --- Requests and buffered data -------------------------------------------
  // One request of `kind`: results 0, 1, 2, 10, 12, 13 or 14.
  uint16_t Request(const RequestKind& kind, const uint8_t* request, uint32_t requestLength,
                   OutputBuffer reply, uint16_t extension1 = kNoExtension,
                   uint16_t extension2 = kNoExtension);
  // The oldest buffered report of `kind`: 0, 1, 2 or 10.
  uint16_t TakeBufferedFrame(uint8_t kind, OutputBuffer out);
  // Every buffered report of `kind`, as many as fit: 0, 2 or 10.
  uint16_t TakeAllBufferedFrames(uint8_t kind, OutputBuffer out);
  // All raw bytes or none: 0, 1, 2 or 10.
  uint16_t TakeRawData(OutputBuffer out);

  // --- DeviceIOControl (device_io_control.cpp) -------------------------------
  uint16_t DeviceIoControl(uint32_t code, const uint8_t* input, uint32_t inputLength,
                           OutputBuffer out);

  // --- Spy window -----------------------------------------------------------
  // Opens it at the configured rectangle; nothing happens without a display
  // or while it shows already.
  void OpenSpyWindow();
  // Closes it when open; afterwards no code of its window thread runs.
  void CloseSpyWindow();
  bool SpyWindowOpen() const { return spyWindow_ != nullptr; }

  // --- Version ---------------------------------------------------------------
  const std::string& VersionString() const { return versionString_; }

  CProtocol& Protocol() { return *protocol_; }
  CLibraryObserver& Observer() { return observer_; }

 protected:
  // Called on the spy window's thread when the user moved the window: stores
  // the rectangle (StoreSpyRect) and answers true, or answers false when it
  // cannot be done now (it is offered again). A derived class that guards
  // the settings with a lock takes it here without waiting, and closes the
  // window in its own destructor.
  virtual bool TryStoreSpyRect(const SpyRect& rect);

 private:
  // Disconnect's steps, also the clean-up of a failed Connect.
  void CloseConnection();
  // Hands the stored "Timeout" to the engine when it is a usable value.
  void ApplyReplyTimeout();
  // Takes CommandMutex within the wait exports allow; false when it stayed
  // busy.
  bool LockCommands(std::unique_lock<CCommandMutex>& lock);
  uint16_t RunRequest(uint8_t kind, std::span<const uint8_t> request, OutputBuffer reply,
                      uint16_t extension1, uint16_t extension2);
  void TraceLine(std::string_view line);

  // Declared first so they are destroyed last: the engine's receive thread
  // uses the transport and the observer until the engine is gone.
  CLibraryObserver observer_;
  CPlatformHostMessaging host_;
  std::unique_ptr<IReaderPort> port_;
  std::unique_ptr<CProtocol> protocol_;
  std::unique_ptr<CSpyWindow> spyWindow_;  // attached to observer_ while open

  LibrarySettings settings_;
  std::string devicePath_;
  std::string deviceSelection_;
  std::string versionString_;
  std::string registrySubkey_;
  platform::HKEY registryRoot_ = platform::HKEY_LOCAL_MACHINE;
};

}  // namespace lx2d
