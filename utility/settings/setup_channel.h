// What the settings engine needs of the scanner library binding: the two
// request wrappers and the fixed operations. The binding keeps the library's
// result of every call as its last result.
#pragma once

#include <cstdint>
#include <span>

namespace lx2d {

class ISetupChannel {
 public:
  virtual ~ISetupChannel() = default;

  // Each returns 0 when the library answered 0, and -1 otherwise. Empty
  // bytes fail at once without a library call.
  virtual int SendControlCommand(std::span<const uint8_t> bytes) = 0;
  virtual int WriteSetup(std::span<const uint8_t> bytes) = 0;
  // Control command 40 02, then a 2000 ms wait whatever the answer.
  virtual int RestoreDefaults() = 0;
  // Setup write 72 <beepParameter> 00: one beep parameter set to 0.
  virtual int WriteSetupZero(uint8_t beepParameter) = 0;
};

}  // namespace lx2d
