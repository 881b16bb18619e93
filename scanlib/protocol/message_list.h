// The buffers of unsolicited data: the list of received reports, in order of
// arrival, and the raw bytes received outside frames. The receive path
// fills them; the host's getters empty them. Callers hold CommandMutex.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace lx2d {

// One buffered report (BCD, EVT, SBCD, BCDEX2, BCDEX or IDTA).
struct TStructVscpBuffer {
  int32_t kind;
  int32_t length;             // payload bytes, data.size()
  std::vector<uint8_t> data;  // the record's own copy of the payload
};

class CVscpMessageList {
 public:
  // Appends a copy of `payload` as the newest record. Throws std::bad_alloc
  // when the copy cannot be made; the list is then unchanged.
  void Append(uint8_t kind, std::span<const uint8_t> payload);

  // The oldest record of `kind`, or nullptr when there is none.
  const TStructVscpBuffer* FindFirst(int32_t kind) const;

  // Removes the oldest record of `kind`; false when there is none.
  bool RemoveFirst(int32_t kind);

  // Removes every record of `kind` and returns them in order of arrival.
  std::vector<TStructVscpBuffer> TakeAll(int32_t kind);

  // All records, oldest first.
  const std::deque<TStructVscpBuffer>& Records() const { return records_; }
  std::deque<TStructVscpBuffer>& Records() { return records_; }

 private:
  std::deque<TStructVscpBuffer> records_;
};

}  // namespace lx2d
