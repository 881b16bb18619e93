// The event log's filter: which records a writer stores. The same 180 bytes
// (little-endian) live in the shared segment and in the registry value
// "EventFilter".
//
// For a record id A (severity in bits 30-31, category in bits 16-27; the
// severity bit is 1 << severity):
//  1. The first category rule naming A's category decides: its mask has the
//     severity bit, or the record falls to step 3.
//  2. No rule names it: the default mask has the severity bit, or step 3.
//  3. A is one of the explicit ids.
//  4. With the trigger enabled: in state 0 (waiting) a record whose id, or
//     whose severity, equals the trigger id passes and moves to state 1;
//     in state 1 (triggered) a count below 0 moves to state 2 and holds the
//     record back, otherwise a passing record lowers the count by 1; in
//     state 2 (stopped) nothing passes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace lx2d {

inline constexpr std::size_t kMaxCategoryRules = 10;
inline constexpr std::size_t kMaxExplicitIds = 20;
inline constexpr std::uint16_t kMaxCategory = 4095;
inline constexpr std::uint16_t kMaxSeverityMask = 15;
inline constexpr std::uint16_t kDefaultSeverityMask = 12;  // severities 2 and 3
inline constexpr std::uint32_t kDefaultTriggerId = 0x41040004;

enum TriggerState : std::uint32_t { kTriggerWaiting = 0, kTriggerFired = 1, kTriggerStopped = 2 };

struct CategoryRule {
  std::uint16_t category;  // 0..4095
  std::uint16_t mask;      // severity bits, 0..15
};

// The filter block, laid out as stored.
struct TEventFilter {
  CategoryRule rules[kMaxCategoryRules];
  std::uint16_t ruleCount;
  std::uint16_t defaultMask;
  std::uint32_t ids[kMaxExplicitIds];
  std::uint16_t idCount;
  char16_t name[15];  // the registry value's name, UTF-16, zero-filled
  std::uint32_t reserved;
  std::uint32_t triggerId;
  std::uint32_t triggerEnabled;
  std::int32_t triggerCount;  // records still to log after the trigger
  std::uint32_t triggerState;
  std::uint32_t queueSize;  // queue size in use, stored by every process
};
static_assert(sizeof(TEventFilter) == 180);
static_assert(offsetof(TEventFilter, ruleCount) == 40 && offsetof(TEventFilter, ids) == 44 &&
              offsetof(TEventFilter, idCount) == 124 && offsetof(TEventFilter, name) == 126 &&
              offsetof(TEventFilter, triggerId) == 160 && offsetof(TEventFilter, queueSize) == 176);

using FilterBytes = std::array<std::uint8_t, sizeof(TEventFilter)>;

// No rules, default mask 12, no ids, name "EventFilter", trigger id
// 0x41040004 not enabled, count 0, state waiting, queue size 0.
TEventFilter DefaultFilter();

// True when the block keeps the limits: at most 10 rules and 20 ids,
// categories up to 4095, masks (rules and default) up to 15.
bool FilterWithinLimits(const TEventFilter& filter);

FilterBytes ToBytes(const TEventFilter& filter);
std::optional<TEventFilter> FilterFromBytes(std::span<const std::uint8_t> bytes);  // 180 bytes

// The filter as it lives in a shared segment that anyone may write: every
// field is read and written with lock-free atomic operations and every count
// is bounded, so a hostile block filters wrongly but never makes this
// process touch memory outside the block.
class CSharedFilter {
 public:
  // Uses the block at `block` (a mapping of at least 180 bytes, 4-aligned).
  explicit CSharedFilter(std::byte* block);

  // Applies the filter, trigger included, to a record id.
  bool Passes(std::uint32_t recordId);

  // Copies the whole block out or in, field by field.
  TEventFilter Load() const;
  void Store(const TEventFilter& filter);

  void SetQueueSize(std::uint32_t bytes);

 private:
  bool FilterPasses(std::uint32_t recordId) const;
  bool TriggerPasses(std::uint32_t recordId, bool passes);

  TEventFilter* block;
};

}  // namespace lx2d
