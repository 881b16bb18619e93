#include "event_filter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace lx2d {
namespace {

constexpr std::uint32_t kFrameDump = 0x81A60000;   // severity 2, category 0x1A6
constexpr std::uint32_t kReportDump = 0x01A60000;  // severity 0
constexpr std::uint32_t kHidError = 0xC1A60000;    // severity 3
constexpr std::uint32_t kHidInfo = 0x41A60000;     // severity 1
constexpr std::uint32_t kOtherInfo = 0x412E0001;   // severity 1, category 0x12E

// A block in its own exactly sized allocation, so that AddressSanitizer
// sees any read beyond its 180 bytes.
class CFilterFixture {
 public:
  explicit CFilterFixture(const TEventFilter& start)
      : memory(std::make_unique<std::uint32_t[]>(sizeof(TEventFilter) / 4)),
        filter(reinterpret_cast<std::byte*>(memory.get())) {
    filter.Store(start);
  }
  std::unique_ptr<std::uint32_t[]> memory;
  CSharedFilter filter;
};

TEST(EventFilter, Rules_DecideBySeverityCategoryAndExplicitIds) {
  TEventFilter categoryRule = DefaultFilter();
  categoryRule.rules[0] = {0x1A6, 1};
  categoryRule.ruleCount = 1;
  TEventFilter withIds = categoryRule;
  withIds.ids[0] = kHidError;
  withIds.idCount = 1;
  TEventFilter firstRuleWins = DefaultFilter();
  firstRuleWins.rules[0] = {0x1A6, 2};
  firstRuleWins.rules[1] = {0x1A6, 15};
  firstRuleWins.ruleCount = 2;

  struct Case {
    const char* what;
    const TEventFilter& filter;
    std::uint32_t recordId;
    bool passes;
  } cases[] = {
      {"default mask 12: frame dump", DefaultFilter(), kFrameDump, true},
      {"default mask 12: error", DefaultFilter(), kHidError, true},
      {"default mask 12: report dump", DefaultFilter(), kReportDump, false},
      {"default mask 12: information", DefaultFilter(), kHidInfo, false},
      {"rule 0x1A6 mask 1: report dump", categoryRule, kReportDump, true},
      {"rule 0x1A6 mask 1: frame dump", categoryRule, kFrameDump, false},
      {"rule 0x1A6 mask 1: error", categoryRule, kHidError, false},
      {"rule for another category leaves the default", categoryRule, 0xC12E000A, true},
      {"listed id passes despite its rule", withIds, kHidError, true},
      {"unlisted id of that category stays out", withIds, kFrameDump, false},
      {"first matching rule decides", firstRuleWins, kFrameDump, false},
  };
  for (const Case& c : cases) {
    CFilterFixture fixture(c.filter);
    EXPECT_EQ(fixture.filter.Passes(c.recordId), c.passes) << c.what;
  }
}

TEST(EventFilter, Trigger_PassesTheTriggerThenCountsDownThenStops) {
  TEventFilter start = DefaultFilter();
  start.triggerEnabled = 1;
  start.triggerCount = 2;
  CFilterFixture fixture(start);
  CSharedFilter& filter = fixture.filter;

  EXPECT_TRUE(filter.Passes(kFrameDump)) << "before the trigger: filtered as usual";
  EXPECT_FALSE(filter.Passes(kReportDump));
  EXPECT_TRUE(filter.Passes(kDefaultTriggerId)) << "the trigger itself passes";
  EXPECT_EQ(filter.Load().triggerState, kTriggerFired);
  EXPECT_FALSE(filter.Passes(kReportDump)) << "held back: does not count";
  EXPECT_EQ(filter.Load().triggerCount, 2);
  EXPECT_TRUE(filter.Passes(kFrameDump));  // 2 -> 1
  EXPECT_TRUE(filter.Passes(kHidError));   // 1 -> 0
  EXPECT_TRUE(filter.Passes(kFrameDump));  // 0 -> -1
  EXPECT_EQ(filter.Load().triggerCount, -1);
  EXPECT_FALSE(filter.Passes(kHidError)) << "below 0: stops";
  EXPECT_EQ(filter.Load().triggerState, kTriggerStopped);
  EXPECT_FALSE(filter.Passes(kDefaultTriggerId)) << "stopped for good";
}

TEST(EventFilter, Trigger_FiresOnASeverityEqualToTheTriggerId) {
  TEventFilter start = DefaultFilter();
  start.triggerEnabled = 1;
  start.triggerId = 0;  // severity 0
  CFilterFixture fixture(start);
  EXPECT_TRUE(fixture.filter.Passes(kReportDump)) << "filtered out, but it fires the trigger";
  EXPECT_EQ(fixture.filter.Load().triggerState, kTriggerFired);
}

TEST(EventFilter, Limits_RefuseOversizedBlocks) {
  EXPECT_TRUE(FilterWithinLimits(DefaultFilter()));
  struct Case {
    const char* what;
    void (*spoil)(TEventFilter&);
  } cases[] = {
      {"11 rules", [](TEventFilter& f) { f.ruleCount = 11; }},
      {"21 ids", [](TEventFilter& f) { f.idCount = 21; }},
      {"category 4096",
       [](TEventFilter& f) {
         f.rules[0] = {4096, 1};
         f.ruleCount = 1;
       }},
      {"rule mask 16",
       [](TEventFilter& f) {
         f.rules[0] = {1, 16};
         f.ruleCount = 1;
       }},
      {"default mask 16", [](TEventFilter& f) { f.defaultMask = 16; }},
  };
  for (const Case& c : cases) {
    TEventFilter filter = DefaultFilter();
    c.spoil(filter);
    EXPECT_FALSE(FilterWithinLimits(filter)) << c.what;
  }
}

// Anyone can write the shared block: counts far beyond the arrays must not
// make the filter read past the block (AddressSanitizer watches).
TEST(EventFilter, HostileCounts_StayWithinTheBlock) {
  TEventFilter hostile = DefaultFilter();
  hostile.ruleCount = 0xFFFF;
  hostile.idCount = 0xFFFF;
  hostile.defaultMask = 0;
  hostile.ids[19] = kOtherInfo;
  CFilterFixture fixture(hostile);
  EXPECT_TRUE(fixture.filter.Passes(kOtherInfo)) << "the 20 ids are still looked at";
  EXPECT_FALSE(fixture.filter.Passes(kFrameDump));
}

TEST(EventFilter, Bytes_AreTheStoredLayout) {
  TEventFilter filter = DefaultFilter();
  filter.rules[0] = {0x1A6, 1};
  filter.ruleCount = 1;
  filter.queueSize = 0x9000;
  FilterBytes bytes = ToBytes(filter);
  EXPECT_EQ(bytes[0], 0xA6);
  EXPECT_EQ(bytes[1], 0x01);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[40], 1);
  EXPECT_EQ(bytes[42], 12);
  EXPECT_EQ(bytes[126], 'E');
  EXPECT_EQ(bytes[128], 'v');
  EXPECT_EQ(bytes[160], 0x04);
  EXPECT_EQ(bytes[163], 0x41);
  EXPECT_EQ(bytes[177], 0x90);
  auto back = FilterFromBytes(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::memcmp(&*back, &filter, sizeof filter), 0);
  EXPECT_FALSE(FilterFromBytes(std::vector<std::uint8_t>(179)));
}

}  // namespace
}  // namespace lx2d
