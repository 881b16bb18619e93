// CSerialTransport: reader ports, open and close, byte I/O.
#include "serial_transport.h"

#include <chrono>
#include <cstdio>

#include "platform/text.h"
#include "reader_description.h"

namespace lx2d {
namespace {

class CSilentObserver final : public ILinkObserver {};

std::string Describe(const platform::SerialPortInfo& port) {
  return ReaderDescription(platform::Utf8ToUtf16(port.product), platform::Utf8ToUtf16(port.serial));
}

}  // namespace

CSerialTransport::CSerialTransport(platform::ISerialService* service, ILinkObserver* observer)
    : observer_(observer) {
  BindSerialService(service);
}

CSerialTransport::~CSerialTransport() { Close(); }

bool CSerialTransport::BindSerialService(platform::ISerialService* service) {
  service_ = service;
  return service_ != nullptr;
}

ILinkObserver& CSerialTransport::Observer() const {
  static CSilentObserver silent;
  ILinkObserver* observer = observer_.load();
  return observer != nullptr ? *observer : silent;
}

void CSerialTransport::DefaultSettings() {
  baudRate_ = kDefaultBaudRate;
  chosenPort_.clear();
}

void CSerialTransport::LoadSettings(IPortSettingStore& store) {
  DefaultSettings();
  store.ReadNumber(kBaudRateValue, baudRate_);
  store.ReadText(kPortValue, chosenPort_);
}

void CSerialTransport::SaveSettings(IPortSettingStore& store) {
  store.WriteNumber(kBaudRateValue, baudRate_);
  store.WriteText(kPortValue, chosenPort_);
}

template <typename Visit>
void CSerialTransport::ForEachReader(Visit visit) {
  if (service_ == nullptr) return;
  for (const platform::SerialPortInfo& port : service_->EnumeratePorts()) {
    if (port.vendorId != platform::kSerialReaderVendorId) continue;
    if (!visit(port)) return;
  }
}

bool CSerialTransport::EnumDevices(int index, std::string* description) {
  int count = 0;
  bool found = false;
  ForEachReader([&](const platform::SerialPortInfo& port) {
    if (count++ != index) return true;
    found = true;
    if (description != nullptr) *description = Describe(port);
    return false;
  });
  return found;
}

int CSerialTransport::FindDevice(std::string& path, std::string_view wanted) {
  int result = 1;
  ForEachReader([&](const platform::SerialPortInfo& port) {
    if (Describe(port) != wanted) return true;
    path = port.path;
    result = 0;
    return false;
  });
  return result;
}

int CSerialTransport::Open(std::string_view path) {
  Close();
  // Bytes of an earlier connection belong to no frame of this one.
  inputAvailable_.store(0);
  inputCursor_ = 0;
  if (service_ == nullptr) {
    lastOpenError_ = platform::kSerialErrorFileNotFound;
    return -1;
  }
  std::unique_ptr<platform::ISerialPort> port;
  lastOpenError_ = service_->Open(path, baudRate_, port);
  if (lastOpenError_ != platform::kSerialOk) {
    char text[96];
    std::snprintf(text, sizeof text, "Serial: open at %u bit/s FAILED(%u)", baudRate_,
                  lastOpenError_);
    Observer().LogText(kSerialLogError, text);
    return -1;
  }
  std::lock_guard lock(portMutex_);
  port_ = std::move(port);
  return 0;
}

int CSerialTransport::Close() {
  std::lock_guard lock(portMutex_);
  port_.reset();
  return 0;
}

void CSerialTransport::CancelRead() {
  std::lock_guard lock(portMutex_);
  if (port_ != nullptr) port_->CancelRead();
}

void CSerialTransport::PortGone(uint32_t error, std::string_view during) {
  char text[96];
  std::snprintf(text, sizeof text, "Serial: %.*s FAILED(0x%X), closing the port",
                static_cast<int>(during.size()), during.data(), error);
  Observer().LogText(kSerialLogError, text);
  Close();
}

uint32_t CSerialTransport::Send(std::span<const uint8_t> data, uint32_t timeoutMs,
                                bool& completedAtOnce) {
  completedAtOnce = false;
  if (port_ == nullptr) return kTransportNotOpen;
  Observer().LogDump(kSerialLogTxFrame, "Tx frame: ", data);
  if (data.empty()) {
    completedAtOnce = true;
    return kTransportOk;
  }
  const platform::SerialIoResult written = port_->Write(data, timeoutMs);
  if (written.error == platform::kSerialErrorDeviceNotConnected) PortGone(written.error, "write");
  completedAtOnce = written.error == platform::kSerialOk && !written.waited;
  return written.error;
}

int CSerialTransport::WriteReports(std::span<const uint8_t> data, uint32_t timeoutMs) {
  // A frame sent in part is garbled; the missing ACK tells the engine.
  bool completedAtOnce = false;
  Send(data, timeoutMs, completedAtOnce);
  return completedAtOnce ? 1 : 0;
}

uint32_t CSerialTransport::WriteAll(std::span<const uint8_t> data) {
  bool completedAtOnce = false;
  return Send(data, kSerialWriteTimeoutMs, completedAtOnce);
}

uint32_t CSerialTransport::FillInput(uint32_t timeoutMs) {
  if (port_ == nullptr) return kTransportNotOpen;
  const platform::SerialIoResult read = port_->Read(input_, timeoutMs);
  if (read.error == platform::kSerialOk) {
    Observer().LogDump(kSerialLogRead, "ReadBytes: ", {input_, read.bytes});
    inputCursor_ = 0;
    {
      std::lock_guard lock(inputMutex_);
      inputAvailable_.store(static_cast<int32_t>(read.bytes));
    }
    inputArrived_.notify_all();
    return kTransportOk;
  }
  if (read.error == platform::kSerialErrorTimeout) return kTransportTimeout;
  if (read.error == platform::kSerialErrorOperationAborted) return read.error;
  // Gone or failed: waiting on the port can bring nothing more.
  PortGone(read.error, "read");
  return kTransportDisconnected;
}

uint32_t CSerialTransport::ReadByte(uint8_t& out, uint32_t timeoutMs) {
  if (inputAvailable_.load() == 0) {
    const uint32_t error = FillInput(timeoutMs);
    if (error != kTransportOk) return error;
  }
  out = input_[inputCursor_++];
  inputAvailable_.fetch_sub(1);
  return kTransportOk;
}

bool CSerialTransport::PollInput(uint32_t timeoutMs) {
  return inputAvailable_.load() != 0 || FillInput(timeoutMs) == kTransportOk;
}

bool CSerialTransport::WaitForInput(uint32_t timeoutMs) {
  std::unique_lock lock(inputMutex_);
  return inputArrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return inputAvailable_.load() != 0; });
}

}  // namespace lx2d
