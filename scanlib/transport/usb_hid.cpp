// CUsbHid: binding, enumeration, description, open and close.
#include "usb_hid.h"

#include <cstdio>

#include "reader_description.h"

namespace lx2d {
namespace {

// The description text of a reader, from its own strings.
std::string Describe(platform::IHidDevice& device) {
  std::u16string product;
  std::u16string serial;
  device.GetProductString(product);  // a missing string reads as empty
  device.GetSerialNumberString(serial);
  return ReaderDescription(product, serial);
}

class CSilentObserver final : public ILinkObserver {};

}  // namespace

uint8_t ReportIdForProduct(uint16_t productId) {
  for (const ReportIdRule& rule : kReportIdRules) {
    if (rule.productId == productId) return rule.reportId;
  }
  return 0;
}

CUsbHid::CUsbHid(uint32_t vendorId, uint32_t productId, platform::IHidService* service,
                 ILinkObserver* observer)
    : vendorId_(vendorId), productId_(productId), observer_(observer) {
  BindHidLibraries(service);
}

CUsbHid::~CUsbHid() { Close(); }

bool CUsbHid::BindHidLibraries(platform::IHidService* service) {
  service_ = service;
  return service_ != nullptr;
}

ILinkObserver& CUsbHid::Observer() const {
  static CSilentObserver silent;
  ILinkObserver* observer = observer_.load();
  return observer != nullptr ? *observer : silent;
}

template <typename Visit>
void CUsbHid::ForEachReader(Visit visit) {
  if (service_ == nullptr) return;
  for (const std::string& path : service_->EnumerateInterfaces()) {
    // A device held open, here or elsewhere, cannot be opened and is skipped.
    std::unique_ptr<platform::IHidDevice> device;
    if (service_->Open(path, device) != platform::kHidOk) continue;
    platform::HidAttributes attributes;
    if (device->GetAttributes(attributes) != platform::kHidOk) continue;
    if (attributes.vendorId != vendorId_) continue;
    if (attributes.productId != productId_ && attributes.productId != kReaderAltProductId) continue;
    if (!visit(path, *device)) return;
  }
}

bool CUsbHid::EnumDevices(int index, std::string* description) {
  int count = 0;
  bool found = false;
  ForEachReader([&](const std::string&, platform::IHidDevice& device) {
    if (count++ == index) {
      found = true;
      if (description != nullptr) *description = Describe(device);
    }
    return true;  // the enumeration runs to its end
  });
  return found;
}

int CUsbHid::FindDevice(std::string& path, std::string_view wanted) {
  int result = 1;
  ForEachReader([&](const std::string& candidate, platform::IHidDevice& device) {
    if (Describe(device) != wanted) return true;
    path = candidate;
    result = 0;
    return false;
  });
  return result;
}

int CUsbHid::Open(std::string_view path) {
  Close();
  if (service_ == nullptr) return -1;
  std::unique_ptr<platform::IHidDevice> device;
  if (service_->Open(path, device) != platform::kHidOk) return -1;
  {
    std::lock_guard lock(deviceMutex_);
    device_ = std::move(device);
  }
  reportId_ = 0;
  reportSize_ = 0;
  // Bytes of an earlier connection belong to no frame of this one.
  inputAvailable_.store(0);
  inputCursor_ = 0;

  platform::HidAttributes attributes;
  if (device_->GetAttributes(attributes) != platform::kHidOk) return -1;
  reportId_ = ReportIdForProduct(attributes.productId);
  platform::HidCaps caps;
  if (device_->GetCaps(caps) != platform::kHidOk) return -1;
  if (caps.inputReportByteLength != caps.outputReportByteLength) {
    Observer().LogText(kLogError, "InputReportByteLength != OutputReportByteLength");
    return -1;
  }
  char text[64];
  if (caps.inputReportByteLength < kMinReportSize || caps.inputReportByteLength > kMaxReportSize) {
    std::snprintf(text, sizeof text, "ReportSize: %d not supported", caps.inputReportByteLength);
    Observer().LogText(kLogError, text);
    return -1;
  }
  reportSize_ = static_cast<uint8_t>(caps.inputReportByteLength);
  std::snprintf(text, sizeof text, "ReportSize: %d", reportSize_);
  Observer().LogText(kLogInfo, text);
  return 0;
}

int CUsbHid::Close() {
  std::lock_guard lock(deviceMutex_);
  device_.reset();
  return 0;
}

void CUsbHid::CancelRead() {
  std::lock_guard lock(deviceMutex_);
  if (device_ != nullptr) device_->CancelRead();
}

}  // namespace lx2d
