// A scripted HID service for the transport's unit tests: devices with given
// attributes, caps and strings, input reports queued by the test, and a
// record of the output reports written.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/hid.h"

namespace lx2d {

struct FakeHidDevice {
  std::string path;
  platform::HidAttributes attributes;
  platform::HidCaps caps;
  std::u16string product;
  std::u16string serial;
  bool openable = true;  // false: held by someone else
  bool open = false;
  // What the next reads give: a report, or a result without one.
  struct Input {
    std::vector<uint8_t> report;
    platform::HidIoResult result;  // used when report is empty
  };
  std::deque<Input> inputs;  // none left: reads time out (pending)
  std::vector<std::vector<uint8_t>> written;
  int failWriteAt = -1;  // index of the write that fails outright
  bool writesPend = false;
};

class CFakeHidService final : public platform::IHidService {
 public:
  FakeHidDevice& Add(FakeHidDevice device);
  std::vector<std::string> EnumerateInterfaces() override;
  uint32_t Open(std::string_view path, std::unique_ptr<platform::IHidDevice>& device) override;

 private:
  std::deque<FakeHidDevice> devices_;  // stable addresses
};

}  // namespace lx2d
