#include "fake_hid_service.h"

#include <algorithm>

namespace lx2d {
namespace {

class CFakeDevice final : public platform::IHidDevice {
 public:
  explicit CFakeDevice(FakeHidDevice& state) : state_(state) { state_.open = true; }
  ~CFakeDevice() override { state_.open = false; }

  uint32_t GetAttributes(platform::HidAttributes& out) override {
    out = state_.attributes;
    return platform::kHidOk;
  }
  uint32_t GetCaps(platform::HidCaps& out) override {
    out = state_.caps;
    return platform::kHidOk;
  }
  uint32_t GetProductString(std::u16string& out) override {
    out = state_.product;
    return platform::kHidOk;
  }
  uint32_t GetSerialNumberString(std::u16string& out) override {
    out = state_.serial;
    return out.empty() ? platform::kHidErrorInvalidParameter : platform::kHidOk;
  }
  platform::HidIoResult ReadReport(std::span<uint8_t> buffer, uint32_t) override {
    if (buffer.size() < state_.caps.inputReportByteLength || buffer.empty()) {
      return {platform::kHidErrorInvalidUserBuffer, false, 0};
    }
    if (state_.inputs.empty()) return {platform::kHidErrorTimeout, true, 0};
    FakeHidDevice::Input input = state_.inputs.front();
    state_.inputs.pop_front();
    if (input.report.empty()) return input.result;
    const size_t n = std::min(buffer.size(), input.report.size());
    std::copy_n(input.report.begin(), n, buffer.begin());
    return {platform::kHidOk, false, n};
  }
  platform::HidIoResult WriteReport(std::span<const uint8_t> report) override {
    const int index = static_cast<int>(state_.written.size());
    state_.written.emplace_back(report.begin(), report.end());
    if (index == state_.failWriteAt) return {platform::kHidErrorGenFailure, false, 0};
    return {platform::kHidOk, state_.writesPend, report.size()};
  }
  void CancelRead() override {}

 private:
  FakeHidDevice& state_;
};

}  // namespace

FakeHidDevice& CFakeHidService::Add(FakeHidDevice device) {
  devices_.push_back(std::move(device));
  return devices_.back();
}

std::vector<std::string> CFakeHidService::EnumerateInterfaces() {
  std::vector<std::string> paths;
  for (const FakeHidDevice& device : devices_) paths.push_back(device.path);
  return paths;
}

uint32_t CFakeHidService::Open(std::string_view path,
                               std::unique_ptr<platform::IHidDevice>& device) {
  for (FakeHidDevice& state : devices_) {
    if (state.path != path) continue;
    if (!state.openable || state.open) return platform::kHidErrorSharingViolation;
    device = std::make_unique<CFakeDevice>(state);
    return platform::kHidOk;
  }
  return platform::kHidErrorFileNotFound;
}

}  // namespace lx2d
