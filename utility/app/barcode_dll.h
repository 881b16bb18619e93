// CBarcodeDll: the utility's binding of the scanner library. It loads the
// library that fits the reader from the program's own directory, binds its
// exports by name, checks that it initialises and reports a version, and
// offers connect, disconnect and the setup operations. Every library call
// stores the library's 16-bit result as the last result, for the message a
// caller may show. Main thread only: the exchange buffers are shared.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "barcode_exports.h"
#include "library_loader.h"
#include "setup_channel.h"

namespace lx2d {

// LoadBarcodeDll results. 0 success; 80 the library file could not be
// loaded; 81 to 96 and 98 an export is missing (below); 83 Initialize or
// GetDllVersion failed (the library's result is the last result). 97 is not
// used.
inline constexpr int kBindOk = 0;
inline constexpr int kBindNotLoadable = 80;
inline constexpr int kBindVersionCheckFailed = 83;

// The settings key the utility hands to Initialize.
inline constexpr const char* kUtilityRegistryKey = "SOFTWARE\\Korvane\\LX2D_B_SET";

// The prefix of the version text.
inline constexpr std::u16string_view kVersionPrefix = u"Veltrix 2D DLL:";

// Size of the shared command and reply buffers.
inline constexpr uint32_t kExchangeBufferSize = 4096;

// Size of the device-path field, terminator included.
inline constexpr std::size_t kDevicePathSize = 512;

// The DeviceIOControl code that names the reader's HID interface path.
inline constexpr uint32_t kIoControlSetDevicePath = 260;

enum class BarcodeDllState : uint8_t {
  kNone = 0,         // no library initialised
  kInitialized = 1,  // Initialize and GetDllVersion succeeded
  kConnected = 2,    // ConnectReader succeeded
};

// Waits for the given time; replaced in tests and in the settings tool.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

class CBarcodeDll final : public ISetupChannel {
 public:
  // `loader` must outlive the object. The default sleeper really waits.
  explicit CBarcodeDll(ILibraryLoader& loader, Sleeper sleeper = {});
  ~CBarcodeDll() override;
  CBarcodeDll(const CBarcodeDll&) = delete;
  CBarcodeDll& operator=(const CBarcodeDll&) = delete;

  // The library file for the reader kind: "libRDLK_Rs.so" for a serial
  // reader, "libRDLK_HID.so" otherwise.
  static std::string_view LibraryFileName(bool serialReader);

  // Frees any loaded library, loads the one for the reader kind from the
  // program's directory (by bare name when the program path is unknown) and
  // binds it. Results: see kBindOk and the codes above.
  int LoadBarcodeDll(bool serialReader);

  // Names the reader for ConnectReader; at most kDevicePathSize - 1 bytes
  // are kept. Empty for a serial reader.
  void SetDevicePath(std::string_view path);
  std::string_view DevicePath() const;

  // Each returns 0 on success and -1 on failure, with the library's result
  // in LastResult(). An export that is not bound fails without a call.
  // ConnectReader: DeviceIOControl 260 with the device path (its result
  // stops nothing) or, without a path, ConfigurationDialog; then Connect and
  // control command 50 40 00.
  int ConnectReader();
  // Control command 30 02 (its result decides nothing), then Disconnect.
  int DisconnectReader();

  // ISetupChannel: requests of more than kExchangeBufferSize bytes fail at
  // once, as do empty ones.
  int SendControlCommand(std::span<const uint8_t> bytes) override;
  int WriteSetup(std::span<const uint8_t> bytes) override;
  int RestoreDefaults() override;
  int WriteSetupZero(uint8_t beepParameter) override;

  // Disconnects when connected, then frees the library and clears the
  // bindings. Deinitialize is not called.
  void UnloadBarcodeDll();

  uint16_t LastResult() const { return lastResult; }
  BarcodeDllState State() const { return state; }
  const std::u16string& VersionText() const { return versionText; }
  // The reply of the last request and its length as the library reported it.
  std::span<const uint8_t> Reply() const;

 private:
  // Slots of the export table, in the order the table holds them; the
  // unnamed ones stay empty.
  enum ExportSlot : std::size_t {
    kConfigurationDialog,
    kConnect,
    kInitialize,
    kControlCommand,
    kDisconnect,
    kGetDllVersion,
    kGetRawData,
    kSetupWrite,
    kStatusRead,
    kSetupRead,
    kGetEventNotification,
    kGetBarcodeData,
    kUnused12,
    kImageDataRead,
    kGetImageData,
    kUnused15,
    kUnused16,
    kDeviceIoControl,
    kUnused18,
    kDeinitialize,
    kExportSlots,
  };
  struct Binding {
    const char* name;  // nullptr: the version check runs here
    ExportSlot slot;
    int missingResult;
  };
  static const Binding kBindings[];

  template <typename Function>
  Function Export(ExportSlot slot) const {
    return reinterpret_cast<Function>(exports[slot]);
  }
  int BindExports();
  int CheckDllVersion();
  int Request(RequestFn function, std::span<const uint8_t> bytes);
  int Store(uint16_t result);
  void PrepareReply();

  ILibraryLoader& loader;
  Sleeper sleeper;
  uint16_t lastResult = 0;
  std::u16string versionText;
  void* module = nullptr;
  std::array<void*, kExportSlots> exports{};
  std::array<char, kDevicePathSize> devicePath{};
  BarcodeDllState state = BarcodeDllState::kNone;

  std::array<uint8_t, kExchangeBufferSize> command{};
  uint32_t commandLength = 0;
  std::array<uint8_t, kExchangeBufferSize> reply{};
  uint32_t replyLength = 0;
};

}  // namespace lx2d
