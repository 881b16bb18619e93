// CVscpCommunication: connect, disconnect, the request wrappers and the
// reads of buffered data.
#include "vscp_communication.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "event_log_init.h"
#include "setup_dialog.h"

namespace lx2d {
namespace {

// How long an export waits for the receive thread or another request to
// give the reader up.
constexpr auto kCommandWait = std::chrono::milliseconds(2000);

// Copies `bytes` out when they fit: 0 with the count set, else 2.
uint16_t Deliver(std::span<const uint8_t> bytes, OutputBuffer out) {
  if (out.capacity < bytes.size()) return kResultBufferTooSmall;
  if (!bytes.empty()) std::memcpy(out.data, bytes.data(), bytes.size());
  *out.length = static_cast<uint32_t>(bytes.size());
  return kResultOk;
}

// The count is always needed, the buffer whenever it has room.
bool Usable(OutputBuffer out) {
  return out.length != nullptr && (out.data != nullptr || out.capacity == 0);
}

}  // namespace

CVscpCommunication::CVscpCommunication()
    : port_(MakeReaderPort(&observer_)),
      protocol_(std::make_unique<CProtocol>(*port_, host_, &observer_)),
      versionString_(std::string(kLibraryName) + ":" + std::string(kLibraryVersion)) {
  observer_.Attach(&ProcessEventLogObserver());
}

CVscpCommunication::~CVscpCommunication() {
  CloseSpyWindow();
  // The engine stops its receive thread before the transport goes.
  protocol_.reset();
  port_.reset();
}

uint16_t CVscpCommunication::CheckLibraryState(int level) const {
  if (level != 1 && level != 2) return kResultOk;
  if (!initialized) return kResultNotInitialized;
  if (level == 2 && !connected) return kResultNoDevice;
  return kResultOk;
}

bool CVscpCommunication::LockCommands(std::unique_lock<CCommandMutex>& lock) {
  return lock.try_lock_for(kCommandWait);
}

void CVscpCommunication::SetDeviceSelection(std::string_view description) {
  deviceSelection_ = description.substr(0, kMaxDeviceText);
}

uint16_t CVscpCommunication::Connect() {
  // Connecting again starts from a closed link, not from a second thread.
  CloseConnection();
  std::string path = devicePath_;
  if (path.empty() && port_->FindDevice(path, deviceSelection_) != 0)
    return kResultPortNotAvailable;
  if (port_->Open(path) != 0) {
    port_->Close();  // a device opened halfway would stay unavailable to others
    return kResultPortNotAvailable;
  }
  portOpen = true;
  connected = true;
  // A fresh CommandMutex: nobody owns it from an earlier connection.
  protocol_->CommandMutex().Reset();
  if (!protocol_->StartReceiveThread()) {
    CloseConnection();
    return kResultNoDevice;
  }
  bool synchronised = false;
  {
    std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
    if (LockCommands(lock)) {
      synchronised = protocol_->ControlExchange(kCtlSync, 0, kCtlSydn) == 0;
    }
  }
  if (!synchronised) {
    CloseConnection();
    return kResultNoDevice;
  }
  return kResultOk;
}

void CVscpCommunication::CloseConnection() {
  if (!portOpen) return;
  protocol_->StopReceiveThread();
  // As if the mutex were closed: a host that held it through
  // DeviceIOControl 519 does not block the next connection.
  protocol_->CommandMutex().Reset();
  portOpen = false;
  port_->Close();
}

uint16_t CVscpCommunication::Disconnect() {
  // Only here, not in a failed Connect's clean-up: a window opened to watch
  // the connection stays to show why it failed.
  CloseSpyWindow();
  CloseConnection();
  return kResultOk;
}

uint16_t CVscpCommunication::RunConfigurationDialog() {
  std::string description;
  const uint16_t chosen = ChooseReader(*port_, description);
  if (chosen != kResultOk) return chosen;
  devicePath_.clear();
  SetDeviceSelection(description);
  return SaveSettings() ? kResultOk : kResultRegistryError;
}

void CVscpCommunication::OpenSpyWindow() {
  // A window the user closed is replaced; one that shows stays.
  if (spyWindow_ != nullptr && spyWindow_->Showing()) return;
  CloseSpyWindow();
  const SpyRect rect{settings_.spyRectLeft, settings_.spyRectTop, settings_.spyRectRight,
                     settings_.spyRectBottom};
  spyWindow_ = CSpyWindow::Open(FindViewProgram(), rect,
                                [this](const SpyRect& moved) { return TryStoreSpyRect(moved); });
  if (spyWindow_ != nullptr && !observer_.Attach(spyWindow_.get())) spyWindow_.reset();
}

void CVscpCommunication::CloseSpyWindow() {
  if (spyWindow_ == nullptr) return;
  observer_.Detach(spyWindow_.get());
  spyWindow_.reset();
}

bool CVscpCommunication::TryStoreSpyRect(const SpyRect& rect) {
  StoreSpyRect(rect.top, rect.bottom, rect.left, rect.right);
  return true;
}

uint16_t CVscpCommunication::Request(const RequestKind& kind, const uint8_t* request,
                                     uint32_t requestLength, OutputBuffer reply,
                                     uint16_t extension1, uint16_t extension2) {
  if (reply.length != nullptr) *reply.length = 0;
  if ((request == nullptr && requestLength != 0) || !Usable(reply)) return kResultInvalidInput;
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (!LockCommands(lock)) return kResultConnectionLost;
  if (requestLength < kind.minimumLength) return kResultInvalidInput;
  return RunRequest(kind.kind, {request, requestLength}, reply, extension1, extension2);
}

uint16_t CVscpCommunication::RunRequest(uint8_t kind, std::span<const uint8_t> request,
                                        OutputBuffer reply, uint16_t extension1,
                                        uint16_t extension2) {
  const int result = protocol_->Transact(kind, request, extension1, extension2);
  switch (result) {
    case kTransactOk:
      break;
    case kTransactRefused:
      return kResultOtherError;
    case kTransactResult3:
      return kResultReaderStatus3;
    default:
      return kResultConnectionLost;
  }
  const VscpFrame& answer = protocol_->Reply();
  return Deliver({answer.payload.data(), answer.length}, reply);
}

uint16_t CVscpCommunication::TakeBufferedFrame(uint8_t kind, OutputBuffer out) {
  if (out.length != nullptr) *out.length = 0;
  if (!Usable(out)) return kResultInvalidInput;
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (!LockCommands(lock)) return kResultConnectionLost;
  CVscpMessageList& messages = protocol_->Messages();
  const TStructVscpBuffer* record = messages.FindFirst(kind);
  if (record == nullptr) return kResultOk;
  const uint16_t result = Deliver(record->data, out);
  if (result == kResultOk) messages.RemoveFirst(kind);
  return result;
}

uint16_t CVscpCommunication::TakeAllBufferedFrames(uint8_t kind, OutputBuffer out) {
  if (out.length != nullptr) *out.length = 0;
  if (!Usable(out)) return kResultInvalidInput;
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (!LockCommands(lock)) return kResultConnectionLost;
  uint16_t result = kResultOk;
  uint32_t used = 0;
  for (const TStructVscpBuffer& record : protocol_->Messages().TakeAll(kind)) {
    // A report that does not fit behind the ones copied is dropped.
    if (out.capacity - used < record.data.size()) {
      result = kResultBufferTooSmall;
      continue;
    }
    if (!record.data.empty()) std::memcpy(out.data + used, record.data.data(), record.data.size());
    used += static_cast<uint32_t>(record.data.size());
  }
  *out.length = used;
  return result;
}

uint16_t CVscpCommunication::TakeRawData(OutputBuffer out) {
  if (out.length != nullptr) *out.length = 0;
  if (!Usable(out)) return kResultInvalidInput;
  std::unique_lock<CCommandMutex> lock(protocol_->CommandMutex(), std::defer_lock);
  if (!LockCommands(lock)) return kResultConnectionLost;
  std::vector<uint8_t>& raw = protocol_->RawData();
  const uint16_t result = Deliver(raw, out);
  if (result == kResultOk) raw.clear();
  return result;
}

}  // namespace lx2d
