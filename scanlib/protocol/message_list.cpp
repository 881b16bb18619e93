#include "message_list.h"

#include <algorithm>
#include <iterator>

namespace lx2d {

void CVscpMessageList::Append(uint8_t kind, std::span<const uint8_t> payload) {
  TStructVscpBuffer record{kind, static_cast<int32_t>(payload.size()),
                           std::vector<uint8_t>(payload.begin(), payload.end())};
  records_.push_back(std::move(record));
}

const TStructVscpBuffer* CVscpMessageList::FindFirst(int32_t kind) const {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [kind](const TStructVscpBuffer& r) { return r.kind == kind; });
  return found == records_.end() ? nullptr : &*found;
}

bool CVscpMessageList::RemoveFirst(int32_t kind) {
  const auto found = std::find_if(records_.begin(), records_.end(),
                                  [kind](const TStructVscpBuffer& r) { return r.kind == kind; });
  if (found == records_.end()) return false;
  records_.erase(found);
  return true;
}

std::vector<TStructVscpBuffer> CVscpMessageList::TakeAll(int32_t kind) {
  std::vector<TStructVscpBuffer> taken;
  const auto firstTaken =
      std::stable_partition(records_.begin(), records_.end(),
                            [kind](const TStructVscpBuffer& r) { return r.kind != kind; });
  std::move(firstTaken, records_.end(), std::back_inserter(taken));
  records_.erase(firstTaken, records_.end());
  return taken;
}

}  // namespace lx2d
