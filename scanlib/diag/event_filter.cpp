#include "event_filter.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

namespace lx2d {

static_assert(std::endian::native == std::endian::little,
              "the block's fields are stored as this machine stores them");
static_assert(std::atomic_ref<std::uint16_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic_ref<std::int32_t>::is_always_lock_free);
static_assert(std::atomic_ref<char16_t>::is_always_lock_free);

namespace {

constexpr char16_t kFilterValueName[] = u"EventFilter";

template <typename T>
T LoadField(T& field) {
  return std::atomic_ref<T>(field).load(std::memory_order_relaxed);
}

template <typename T>
void StoreField(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Copies every field of `from` into `to` through `copy(to, from)`, so that
// loading and storing the shared block walk the same list.
template <typename Copy>
void ForEachField(TEventFilter& to, TEventFilter& from, Copy copy) {
  for (std::size_t i = 0; i < kMaxCategoryRules; ++i) {
    copy(to.rules[i].category, from.rules[i].category);
    copy(to.rules[i].mask, from.rules[i].mask);
  }
  copy(to.ruleCount, from.ruleCount);
  copy(to.defaultMask, from.defaultMask);
  for (std::size_t i = 0; i < kMaxExplicitIds; ++i) copy(to.ids[i], from.ids[i]);
  copy(to.idCount, from.idCount);
  for (std::size_t i = 0; i < std::size(to.name); ++i) copy(to.name[i], from.name[i]);
  copy(to.reserved, from.reserved);
  copy(to.triggerId, from.triggerId);
  copy(to.triggerEnabled, from.triggerEnabled);
  copy(to.triggerCount, from.triggerCount);
  copy(to.triggerState, from.triggerState);
  copy(to.queueSize, from.queueSize);
}

}  // namespace

TEventFilter DefaultFilter() {
  TEventFilter filter{};
  filter.defaultMask = kDefaultSeverityMask;
  std::copy(std::begin(kFilterValueName), std::end(kFilterValueName), filter.name);
  filter.triggerId = kDefaultTriggerId;
  return filter;
}

bool FilterWithinLimits(const TEventFilter& filter) {
  if (filter.ruleCount > kMaxCategoryRules || filter.idCount > kMaxExplicitIds) return false;
  if (filter.defaultMask > kMaxSeverityMask) return false;
  return std::all_of(filter.rules, filter.rules + filter.ruleCount, [](const CategoryRule& rule) {
    return rule.category <= kMaxCategory && rule.mask <= kMaxSeverityMask;
  });
}

FilterBytes ToBytes(const TEventFilter& filter) {
  FilterBytes bytes;
  std::memcpy(bytes.data(), &filter, bytes.size());
  return bytes;
}

std::optional<TEventFilter> FilterFromBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() != sizeof(TEventFilter)) return std::nullopt;
  TEventFilter filter;
  std::memcpy(&filter, bytes.data(), sizeof filter);
  return filter;
}

CSharedFilter::CSharedFilter(std::byte* shared) : block(reinterpret_cast<TEventFilter*>(shared)) {}

TEventFilter CSharedFilter::Load() const {
  TEventFilter copy{};
  ForEachField(copy, *block, [](auto& to, auto& from) { to = LoadField(from); });
  return copy;
}

void CSharedFilter::Store(const TEventFilter& filter) {
  TEventFilter source = filter;
  ForEachField(*block, source, [](auto& to, auto& from) { StoreField(to, from); });
}

void CSharedFilter::SetQueueSize(std::uint32_t bytes) { StoreField(block->queueSize, bytes); }

bool CSharedFilter::FilterPasses(std::uint32_t recordId) const {
  std::uint32_t severityBit = 1u << (recordId >> 30);
  auto category = static_cast<std::uint16_t>((recordId >> 16) & 0xFFF);
  std::size_t rules = std::min<std::size_t>(LoadField(block->ruleCount), kMaxCategoryRules);
  std::uint32_t mask = LoadField(block->defaultMask);
  for (std::size_t i = 0; i < rules; ++i) {
    if (LoadField(block->rules[i].category) == category) {
      mask = LoadField(block->rules[i].mask);
      break;
    }
  }
  if ((mask & severityBit) != 0) return true;
  std::size_t ids = std::min<std::size_t>(LoadField(block->idCount), kMaxExplicitIds);
  for (std::size_t i = 0; i < ids; ++i) {
    if (LoadField(block->ids[i]) == recordId) return true;
  }
  return false;
}

bool CSharedFilter::TriggerPasses(std::uint32_t recordId, bool passes) {
  std::uint32_t state = LoadField(block->triggerState);
  if (state == kTriggerWaiting) {
    std::uint32_t trigger = LoadField(block->triggerId);
    if (recordId != trigger && (recordId >> 30) != trigger) return passes;
    std::uint32_t expected = kTriggerWaiting;
    std::atomic_ref<std::uint32_t>(block->triggerState)
        .compare_exchange_strong(expected, kTriggerFired, std::memory_order_relaxed);
    return true;
  }
  if (state != kTriggerFired) return false;
  // Writers of several processes count down together; each takes one.
  std::atomic_ref<std::int32_t> count(block->triggerCount);
  std::int32_t left = count.load(std::memory_order_relaxed);
  for (;;) {
    if (left < 0) {
      std::uint32_t expected = kTriggerFired;
      std::atomic_ref<std::uint32_t>(block->triggerState)
          .compare_exchange_strong(expected, kTriggerStopped, std::memory_order_relaxed);
      return false;
    }
    if (!passes) return false;
    if (count.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return true;
  }
}

bool CSharedFilter::Passes(std::uint32_t recordId) {
  bool passes = FilterPasses(recordId);
  if (LoadField(block->triggerEnabled) == 0) return passes;
  return TriggerPasses(recordId, passes);
}

}  // namespace lx2d
