#include "event_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace lx2d {
namespace {

// A ring in ordinary memory, laid out as in the shared segment.
class CTestRing {
 public:
  explicit CTestRing(std::uint32_t queueSize)
      : storage(QueueMappingBytes(queueSize) / sizeof(std::uint64_t) + 1) {
    auto geometry = GeometryFor(queueSize);
    CEventRing::Format(Base(), *geometry);
    attached = ring.Attach(Base(), QueueMappingBytes(queueSize));
  }

  std::byte* Base() { return reinterpret_cast<std::byte*>(storage.data()); }
  std::uint32_t Word(std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, Base() + offset, sizeof value);
    return value;
  }
  void SetWord(std::size_t offset, std::uint32_t value) {
    std::memcpy(Base() + offset, &value, sizeof value);
  }

  int Append(std::uint32_t type, const std::vector<std::byte>& data) {
    const std::span<const std::byte> pieces[] = {data};
    return ring.Append(type, pieces);
  }

  std::vector<std::uint64_t> storage;
  CEventRing ring;
  bool attached = false;
};

std::vector<std::byte> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::byte> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = std::byte(static_cast<std::uint8_t>(seed + i));
  return data;
}

TEST(EventRing, Geometry_FollowsQueueSize) {
  struct Case {
    std::uint32_t queueSize;
    std::uint32_t slots;
    std::uint32_t largestRecord;
  } cases[] = {
      {0x8000, 0x1000, 0x1000},      // the default
      {0x9000, 0x1000, 0x1000},      // not a power of two: 0x8000 of it is used
      {0xFFFFF, 0x10000, 0x10000},   // just below the large-ring limit
      {0x100000, 0x20000, 0x20000},  // large rings cap records at 0x20000 slots
      {0x400000, 0x80000, 0x20000}, {16, 2, 2},
  };
  for (const Case& c : cases) {
    auto geometry = GeometryFor(c.queueSize);
    ASSERT_TRUE(geometry) << std::hex << c.queueSize;
    EXPECT_EQ(geometry->slots, c.slots) << std::hex << c.queueSize;
    EXPECT_EQ(geometry->largestRecord, c.largestRecord) << std::hex << c.queueSize;
  }
  EXPECT_EQ(QueueMappingBytes(0x9000), 0x9020u);
  EXPECT_FALSE(GeometryFor(0));
  EXPECT_FALSE(GeometryFor(15));
  EXPECT_FALSE(GeometryFor(0x80000000));
}

TEST(EventRing, Attach_RefusesHeadersThatDoNotFitTheMapping) {
  CTestRing test(0x100);  // 32 slots
  ASSERT_TRUE(test.attached);
  CEventRing other;
  EXPECT_TRUE(other.Attach(test.Base(), QueueMappingBytes(0x100), 32u));
  EXPECT_FALSE(other.Attach(test.Base(), QueueMappingBytes(0x100), 64u)) << "expected count";
  EXPECT_FALSE(other.Attach(test.Base(), 24 + 31 * 8)) << "mapping one slot short";
  for (std::uint32_t hostile : {0u, 1u, 24u, 64u, 0x80000000u, 0xFFFFFFFFu}) {
    test.SetWord(0, hostile);
    EXPECT_FALSE(other.Attach(test.Base(), QueueMappingBytes(0x100))) << hostile;
    EXPECT_FALSE(other.Attached());
  }
}

TEST(EventRing, Append_WritesHeaderSlotAndAdvancesWriteIndex) {
  CTestRing test(0x100);
  ASSERT_EQ(test.Append(kRecordDump, Pattern(10, 1)), kAppendStored);
  // Size 10, type 4, complement of 0x0A; reserved at index 0; 3 slots.
  EXPECT_EQ(test.Word(24), 0xF540000Au);
  EXPECT_EQ(test.Word(28), 0u);
  EXPECT_EQ(test.Word(16), 3u);
  ASSERT_EQ(test.Append(kRecordText, Pattern(8, 2)), kAppendStored);
  EXPECT_EQ(test.Word(24 + 3 * 8), 0xF7000008u);
  EXPECT_EQ(test.Word(24 + 3 * 8 + 4), 3u);
  EXPECT_EQ(test.Word(16), 5u);
  EXPECT_EQ(test.Word(12), 32u) << "largest record";

  RawRecord record;
  ASSERT_EQ(test.ring.Read(0, &record), ReadStatus::kRecord);
  EXPECT_EQ(record.type, kRecordDump);
  EXPECT_EQ(record.data, Pattern(10, 1));
  EXPECT_EQ(test.ring.Read(5, &record), ReadStatus::kEnd);
}

TEST(EventRing, Append_RefusesRecordsNotBelowTheLargest) {
  CTestRing test(0x80);  // 16 slots, largest record 16
  EXPECT_EQ(test.Append(kRecordText, Pattern(120, 0)), kAppendTooLarge);  // 16 slots
  EXPECT_EQ(test.Word(16), 0u) << "nothing reserved";
  EXPECT_EQ(test.Append(kRecordText, Pattern(112, 0)), kAppendStored);  // 15 slots
}

TEST(EventRing, Records_WrapAroundTheRingsEnd) {
  CTestRing test(0x80);  // 16 slots
  // Records of 5 slots start at 0, 5, 10, 15 (data in slots 0-3), 20 (slot 4).
  for (std::uint8_t seed = 0; seed < 5; ++seed) {
    ASSERT_EQ(test.Append(kRecordText, Pattern(32 - seed % 2 * 3, seed)), kAppendStored);
  }
  EXPECT_EQ(test.Word(24 + 15 * 8 + 4), 15u) << "header in the last slot";
  CRingWalker walker(test.ring);
  RawRecord record;
  std::vector<std::uint32_t> found;
  while (walker.Next(&record)) {
    std::uint8_t seed = static_cast<std::uint8_t>(record.index / 5);
    EXPECT_EQ(record.data, Pattern(32 - seed % 2 * 3, seed)) << record.index;
    found.push_back(record.index);
  }
  EXPECT_EQ(found, (std::vector<std::uint32_t>{10, 15, 20}));
  EXPECT_EQ(test.ring.Read(5, &record), ReadStatus::kOverwritten);
}

TEST(EventRing, UnpublishedRecord_IsSkippedOrWaitedFor) {
  CTestRing test(0x100);
  ASSERT_EQ(test.Append(kRecordText, Pattern(16, 7)), kAppendStored);  // slots 0-2
  test.SetWord(16, 3 + 4);  // a writer reserved 4 slots and has not published
  ASSERT_EQ(test.Append(kRecordText, Pattern(16, 8)), kAppendStored);  // slots 7-9

  RawRecord record;
  EXPECT_EQ(test.ring.Read(3, &record), ReadStatus::kNoRecord);
  CRingWalker waiting(test.ring, 0);
  ASSERT_TRUE(waiting.Next(&record, /*waitForUnfinished=*/true));
  EXPECT_FALSE(waiting.Next(&record, /*waitForUnfinished=*/true));
  EXPECT_EQ(waiting.Position(), 3u);

  CRingWalker skipping(test.ring, 3);
  ASSERT_TRUE(skipping.Next(&record));
  EXPECT_EQ(record.index, 7u);
  EXPECT_EQ(skipping.Skipped(), 4u);
}

TEST(EventRing, DamagedHeader_IsNotAccepted) {
  CTestRing test(0x100);
  ASSERT_EQ(test.Append(kRecordText, Pattern(16, 7)), kAppendStored);
  RawRecord record;
  struct Case {
    const char* what;
    std::uint32_t sizeWord;
  } cases[] = {
      {"complement of another size", 0xEE000010},
      {"size beyond the write index", 0xBF000040},
      {"size beyond the largest record", 0x000FFFFF},
  };
  for (const Case& c : cases) {
    test.SetWord(24, c.sizeWord);
    EXPECT_EQ(test.ring.Read(0, &record), ReadStatus::kNoRecord) << c.what;
  }
}

// Writers lap the ring again and again while a reader follows it: every
// record the reader accepts must be exactly as written. (A writer held up
// for a whole lap between its last check and one slot store could still
// damage that one slot of a newer record, a limit of the layout; the ring is
// large enough here that a lap takes far longer than such a hold-up.)
TEST(EventRing, ReaderRacingLappingWriters_NeverAcceptsATornRecord) {
  CTestRing test(0x100000);  // 0x20000 slots, lapped several times below
  constexpr int kWriters = 2;
  constexpr std::uint32_t kRecordsPerWriter = 100000;
  std::atomic<int> running{kWriters};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (std::uint32_t n = 0; n < kRecordsPerWriter; ++n) {
        // Size and contents both follow from the record's first byte.
        auto seed = static_cast<std::uint8_t>(n * 2 + w);
        std::vector<std::byte> data = Pattern(1 + seed % 120, seed);
        test.Append(kRecordText, data);
      }
      running.fetch_sub(1);
    });
  }
  std::uint64_t accepted = 0;
  std::uint64_t torn = 0;
  RawRecord record;
  while (running.load() > 0) {
    CRingWalker walker(test.ring, test.ring.WriteIndex() - test.ring.Slots() / 2);
    while (walker.Next(&record)) {
      auto seed = std::to_integer<std::uint8_t>(record.data.at(0));
      if (record.data != Pattern(1 + seed % 120, seed)) ++torn;
      ++accepted;
    }
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(torn, 0u);
  EXPECT_GT(accepted, 0u);
  EXPECT_GE(test.ring.WriteIndex() / test.ring.Slots(), 3u) << "the writers lapped the ring";
}

}  // namespace
}  // namespace lx2d
