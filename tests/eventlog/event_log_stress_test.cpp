// Several processes, each with several threads, set up one log at the same
// time and write numbered records into it at once. Afterwards every record
// must be there intact, in reservation order, and the write index must equal
// the slots reserved.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "event_log_names.h"
#include "event_log_reader.h"
#include "numbered_record.h"
#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/registry.h"
#include "private_event_log.h"

namespace lx2d {
namespace {

using platform::CChildProcess;

constexpr int kWriters = 3;
constexpr int kThreads = 2;
constexpr int kRecords = 3000;
constexpr std::uint32_t kQueueSize = 0x400000;  // room for every record: nothing is lapped

bool Matches(const TEventRecord& record, const NumberedRecord& expected) {
  if (record.recordId != kStressRecordId || record.text != expected.text) return false;
  if (!expected.dump) return record.type == kRecordText;
  return record.type == kRecordDump && record.elementSize == 1 && record.elements == expected.bytes;
}

TEST(EventLogStress, ProcessesAndThreadsWritingAtOnce_LoseAndTearNothing) {
  platform::CTempDirectory folder;
  folder.UseForAllDirectories();
  CPrivateEventLogNames names;
  {
    platform::IRegistry& registry = platform::DefaultRegistry();
    platform::HKEY key = 0;
    ASSERT_EQ(registry.CreateKey(platform::HKEY_LOCAL_MACHINE, kEventLogKey, 0,
                                 platform::KEY_ALL_ACCESS, &key, nullptr),
              platform::ERROR_SUCCESS);
    std::uint32_t size = kQueueSize;
    ASSERT_EQ(registry.SetValue(key, kQueueSizeValue, platform::REG_DWORD,
                                reinterpret_cast<const std::uint8_t*>(&size), 4),
              platform::ERROR_SUCCESS);
    registry.CloseKey(key);
  }
  std::vector<std::pair<std::string, std::string>> environment = {
      {"LX2D_EVTLOG_PREFIX", names.Prefix()},
      {"LX2D_SYSTEM_DIR", folder.Path() + "/system"},
      {"LX2D_USER_DIR", folder.Path() + "/user"}};

  // All start at once, so that several race to create the segments.
  CChildProcess writers[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    ASSERT_TRUE(writers[w].Start(
        platform::TestProgramDirectory() + "/lx2d_event_log_writer",
        {std::to_string(w), std::to_string(kThreads), std::to_string(kRecords)}, environment));
  }
  for (auto& writer : writers) EXPECT_EQ(writer.Wait(std::chrono::seconds(120)), 0);

  CEventLogReader reader;
  ASSERT_EQ(reader.Open(names.Prefix()), platform::ERROR_SUCCESS);
  const CEventRing& ring = reader.Ring();
  ASSERT_EQ(ring.Slots(), kQueueSize / 8);
  ASSERT_LT(ring.WriteIndex(), ring.Slots()) << "the ring was meant to hold everything";

  std::map<std::pair<int, int>, int> next;  // (writer, thread) -> next sequence number
  std::uint64_t slots = 0;
  int started = 0;
  int stress = 0;
  int torn = 0;
  CRingWalker walker(ring, 0);
  RawRecord raw;
  while (walker.Next(&raw)) {
    slots += raw.slots;
    std::optional<TEventRecord> record = DecodeRecord(raw);
    ASSERT_TRUE(record) << "undecodable record at " << raw.index;
    if (record->type == kRecordWideText) {
      started += record->text == "VLXEventLog started\n";
      continue;
    }
    if (record->recordId != kStressRecordId) continue;  // the creator's registry notes
    int writer = -1;
    int thread = -1;
    int sequence = -1;
    ASSERT_EQ(std::sscanf(record->text.c_str(), "w%d.%d n%d", &writer, &thread, &sequence), 3)
        << record->text;
    int& expected = next[{writer, thread}];
    EXPECT_EQ(sequence, expected) << "out of order or missing before it: " << record->text;
    expected = sequence + 1;
    torn += !Matches(*record, MakeNumberedRecord(writer, thread, sequence));
    ++stress;
  }
  EXPECT_EQ(walker.Skipped(), 0u) << "every slot belongs to a finished record";
  EXPECT_EQ(started, 1) << "one process created the log";
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(stress, kWriters * kThreads * kRecords);
  EXPECT_EQ(next.size(), static_cast<std::size_t>(kWriters * kThreads));
  EXPECT_EQ(slots, ring.WriteIndex());
}

}  // namespace
}  // namespace lx2d
