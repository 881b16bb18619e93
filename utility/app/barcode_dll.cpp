#include "barcode_dll.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace lx2d {

namespace {

constexpr std::chrono::milliseconds kRestoreDefaultsWait{2000};
constexpr uint8_t kConnectCommand[] = {0x50, 0x40, 0x00};
constexpr uint8_t kDisconnectCommand[] = {0x30, 0x02};
constexpr uint8_t kRestoreDefaultsCommand[] = {0x40, 0x02};
constexpr uint8_t kBeepGroup = 0x72;

}  // namespace

// Binding order; a missing export ends the binding with its result.
const CBarcodeDll::Binding CBarcodeDll::kBindings[] = {
    {"Initialize", kInitialize, 81},
    {"GetDllVersion", kGetDllVersion, 82},
    {nullptr, kExportSlots, kBindVersionCheckFailed},
    {"Connect", kConnect, 84},
    {"Disconnect", kDisconnect, 85},
    {"ControlCommand", kControlCommand, 86},
    {"StatusRead", kStatusRead, 87},
    {"SetupRead", kSetupRead, 88},
    {"SetupWrite", kSetupWrite, 89},
    {"GetBarcodeData", kGetBarcodeData, 90},
    {"GetRawData", kGetRawData, 91},
    {"GetImageData", kGetImageData, 92},
    {"ImageDataRead", kImageDataRead, 93},
    {"GetEventNotification", kGetEventNotification, 94},
    {"DeviceIOControl", kDeviceIoControl, 95},
    {"ConfigurationDialog", kConfigurationDialog, 96},
    {"Deinitialize", kDeinitialize, 98},
};

CBarcodeDll::CBarcodeDll(ILibraryLoader& libraryLoader, Sleeper waits)
    : loader(libraryLoader), sleeper(std::move(waits)) {
  if (!sleeper)
    sleeper = [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); };
}

CBarcodeDll::~CBarcodeDll() { UnloadBarcodeDll(); }

std::string_view CBarcodeDll::LibraryFileName(bool serialReader) {
  return serialReader ? "libRDLK_Rs.so" : "libRDLK_HID.so";
}

int CBarcodeDll::LoadBarcodeDll(bool serialReader) {
  if (module) {
    loader.Free(module);
    module = nullptr;
    exports.fill(nullptr);
  }
  state = BarcodeDllState::kNone;
  const std::string program = loader.ProgramPath();
  const std::string_view fileName = LibraryFileName(serialReader);
  if (program.empty()) {
    module = loader.Load(std::string(fileName));
  } else if (const std::size_t slash = program.rfind('/'); slash != std::string::npos) {
    module = loader.Load(program.substr(0, slash + 1) + std::string(fileName));
  }
  if (!module) return kBindNotLoadable;
  return BindExports();
}

int CBarcodeDll::BindExports() {
  for (const Binding& binding : kBindings) {
    if (!binding.name) {
      if (CheckDllVersion() != 0) return binding.missingResult;
      continue;
    }
    exports[binding.slot] = loader.Symbol(module, binding.name);
    if (!exports[binding.slot]) return binding.missingResult;
  }
  return kBindOk;
}

int CBarcodeDll::CheckDllVersion() {
  unsigned char initialized = 0;
  if (Store(Export<InitializeFn>(kInitialize)(kUtilityRegistryKey, &initialized)) != 0) return -1;
  state = BarcodeDllState::kInitialized;
  PrepareReply();
  if (Store(Export<GetDllVersionFn>(kGetDllVersion)(reinterpret_cast<char*>(reply.data()),
                                                    kExchangeBufferSize, &replyLength)) != 0) {
    versionText.clear();
    return -1;
  }
  versionText = kVersionPrefix;
  for (const uint8_t byte : Reply()) versionText.push_back(byte);
  return 0;
}

void CBarcodeDll::SetDevicePath(std::string_view path) {
  devicePath.fill(0);
  std::copy_n(path.begin(), std::min(path.size(), devicePath.size() - 1), devicePath.begin());
}

std::string_view CBarcodeDll::DevicePath() const { return devicePath.data(); }

int CBarcodeDll::ConnectReader() {
  const std::string_view path = DevicePath();
  if (!path.empty()) {
    const auto deviceIoControl = Export<DeviceIoControlFn>(kDeviceIoControl);
    if (!deviceIoControl) return -1;
    PrepareReply();
    Store(deviceIoControl(kIoControlSetDevicePath, path.data(),
                          static_cast<uint32_t>(path.size() + 1), nullptr, 0, &replyLength));
  } else {
    const auto configurationDialog = Export<PlainFn>(kConfigurationDialog);
    if (!configurationDialog || Store(configurationDialog()) != 0) return -1;
  }
  const auto connect = Export<PlainFn>(kConnect);
  if (!connect || Store(connect()) != 0) return -1;
  if (SendControlCommand(kConnectCommand) != 0) return -1;
  state = BarcodeDllState::kConnected;
  return 0;
}

int CBarcodeDll::DisconnectReader() {
  SendControlCommand(kDisconnectCommand);
  const auto disconnect = Export<PlainFn>(kDisconnect);
  if (!disconnect || Store(disconnect()) != 0) return -1;
  state = BarcodeDllState::kInitialized;
  return 0;
}

int CBarcodeDll::SendControlCommand(std::span<const uint8_t> bytes) {
  return Request(Export<RequestFn>(kControlCommand), bytes);
}

int CBarcodeDll::WriteSetup(std::span<const uint8_t> bytes) {
  return Request(Export<RequestFn>(kSetupWrite), bytes);
}

int CBarcodeDll::RestoreDefaults() {
  SendControlCommand(kRestoreDefaultsCommand);
  sleeper(kRestoreDefaultsWait);
  return lastResult == 0 ? 0 : -1;
}

int CBarcodeDll::WriteSetupZero(uint8_t beepParameter) {
  const uint8_t record[] = {kBeepGroup, beepParameter, 0x00};
  return WriteSetup(record);
}

void CBarcodeDll::UnloadBarcodeDll() {
  if (state == BarcodeDllState::kConnected) DisconnectReader();
  if (!module) return;
  loader.Free(module);
  module = nullptr;
  state = BarcodeDllState::kNone;
  exports.fill(nullptr);
}

std::span<const uint8_t> CBarcodeDll::Reply() const {
  // A library may report more than it was given room for; never read past
  // the buffer.
  return {reply.data(), std::min<std::size_t>(replyLength, reply.size())};
}

int CBarcodeDll::Request(RequestFn function, std::span<const uint8_t> bytes) {
  if (!function || bytes.empty() || bytes.size() > command.size()) return -1;
  std::copy(bytes.begin(), bytes.end(), command.begin());
  commandLength = static_cast<uint32_t>(bytes.size());
  PrepareReply();
  return Store(
      function(command.data(), commandLength, reply.data(), kExchangeBufferSize, &replyLength));
}

int CBarcodeDll::Store(uint16_t result) {
  lastResult = result;
  return result == 0 ? 0 : -1;
}

void CBarcodeDll::PrepareReply() {
  reply.fill(0);
  replyLength = 0;
}

}  // namespace lx2d
