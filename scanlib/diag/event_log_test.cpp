// The event log set up and written through real shared memory, under a
// private prefix, with an in-memory registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "event_log_init.h"
#include "event_log_observer.h"
#include "event_log_reader.h"
#include "platform/fakes/memory_registry.h"
#include "private_event_log.h"

namespace lx2d {
namespace {

using platform::DWORD;
using platform::HKEY_LOCAL_MACHINE;

constexpr std::uint32_t kFrameDump = 0x81A60000;
constexpr std::uint32_t kReportDump = 0x01A60000;
constexpr std::uint32_t kHidError = 0xC1A60000;

class EventLogTest : public ::testing::Test {
 protected:
  std::unique_ptr<CEventLogInit> Start() {
    return std::make_unique<CEventLogInit>(names.Prefix(), registry);
  }

  void SetQueueSize(std::uint32_t bytes) {
    std::vector<std::uint8_t> data(4);
    std::memcpy(data.data(), &bytes, 4);
    registry.SetRaw(HKEY_LOCAL_MACHINE, kEventLogKey, "QueueSize", platform::REG_DWORD, data);
  }

  void SetFilter(const TEventFilter& filter) {
    FilterBytes bytes = ToBytes(filter);
    registry.SetRaw(HKEY_LOCAL_MACHINE, kEventLogKey, "EventFilter", platform::REG_BINARY,
                    {bytes.begin(), bytes.end()});
  }

  std::vector<TEventRecord> Records() {
    CEventLogReader reader;
    EXPECT_EQ(reader.Open(names.Prefix()), platform::ERROR_SUCCESS);
    return reader.ReadAll();
  }

  // Records other than the start-up ones (the start text, registry errors).
  std::vector<TEventRecord> WrittenRecords() {
    std::vector<TEventRecord> written;
    for (TEventRecord& record : Records()) {
      if (record.type != kRecordWideText && (record.recordId >> 16) != 0xC12E) {
        written.push_back(std::move(record));
      }
    }
    return written;
  }

  std::uint32_t SharedWord(const std::string& name, std::size_t offset) {
    platform::CSharedMemory memory;
    EXPECT_EQ(memory.Open(name), platform::ERROR_SUCCESS) << name;
    std::uint32_t value = 0;
    if (memory.Size() >= offset + 4) std::memcpy(&value, memory.Data() + offset, 4);
    return value;
  }

  CPrivateEventLogNames names;  // first: its objects are removed last
  platform::CMemoryRegistry registry;
};

TEST_F(EventLogTest, FirstProcess_CreatesTheLogAndWritesTheDefaultFilterBack) {
  auto log = Start();
  ASSERT_TRUE(log->HasQueue());
  std::vector<TEventRecord> records = Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].type, kRecordWideText);
  EXPECT_EQ(records[0].text, "VLXEventLog started\n");
  EXPECT_EQ(records[1].recordId, kLogIdRegistryQuery);
  EXPECT_EQ(records[1].text, "CRegistry::QueryValue Error. Value name: QueueSize\r\n");
  EXPECT_EQ(records[2].text, "CRegistry::QueryValue Error. Value name: EventFilter\r\n");

  DWORD type = 0;
  std::vector<std::uint8_t> stored;
  ASSERT_TRUE(registry.GetRaw(HKEY_LOCAL_MACHINE, kEventLogKey, "EventFilter", &type, &stored));
  EXPECT_EQ(type, platform::REG_BINARY);
  FilterBytes expected = ToBytes(DefaultFilter());
  EXPECT_EQ(stored, std::vector<std::uint8_t>(expected.begin(), expected.end()));
  EXPECT_EQ(SharedWord(names.Names().queueSize, 0), 0x8000u);
  EXPECT_EQ(SharedWord(names.Names().filter, 42) & 0xFFFF, 12u) << "default mask";
  EXPECT_EQ(SharedWord(names.Names().filter, 176), 0x8000u) << "queue size in use";
}

TEST_F(EventLogTest, QueueSize0x9000_Gives4096SlotsIn0x9020Bytes) {
  SetQueueSize(0x9000);
  auto log = Start();
  ASSERT_TRUE(log->HasQueue());
  platform::CSharedMemory queue;
  ASSERT_EQ(queue.Open(names.Names().queue), platform::ERROR_SUCCESS);
  EXPECT_EQ(queue.Size(), 0x9020u);
  EXPECT_EQ(SharedWord(names.Names().queue, 0), 4096u);
  EXPECT_EQ(SharedWord(names.Names().queue, 12), 4096u);
  EXPECT_EQ(SharedWord(names.Names().queueSize, 0), 0x9000u);
  EXPECT_EQ(SharedWord(names.Names().filter, 176), 0x9000u);
}

TEST_F(EventLogTest, UnusableQueueSize_FallsBackTo0x8000AndSaysSo) {
  for (std::uint32_t bytes : {8u, 0x7FFFFFF0u}) {
    CPrivateEventLogNames own;
    SetQueueSize(bytes);
    CEventLogInit first(own.Prefix(), registry);
    ASSERT_TRUE(first.HasQueue()) << bytes;
    platform::CSharedMemory size;
    ASSERT_EQ(size.Open(own.Names().queueSize), platform::ERROR_SUCCESS);
    std::uint32_t agreed = 0;
    std::memcpy(&agreed, size.Data(), 4);
    EXPECT_EQ(agreed, 0x8000u) << bytes;
    CEventLogInit later(own.Prefix(), registry);
    EXPECT_TRUE(later.HasQueue()) << "a later process maps what is there";
  }
}

TEST_F(EventLogTest, LaterProcess_TakesTheAgreedSizeAndFilter) {
  auto first = Start();
  SetQueueSize(0x10000);
  TEventFilter other = DefaultFilter();
  other.defaultMask = 1;
  SetFilter(other);
  auto later = Start();
  ASSERT_TRUE(later->HasQueue());
  EXPECT_EQ(later->WriteDump(kReportDump, 1, 1, "x", "R"), ERROR_CANCELLED)
      << "the first process's filter holds";
  EXPECT_EQ(later->WriteText(kHidError, "from the later one"), platform::ERROR_SUCCESS);
  std::vector<TEventRecord> records = WrittenRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "from the later one");
  int started = 0;
  for (const TEventRecord& record : Records()) started += record.type == kRecordWideText;
  EXPECT_EQ(started, 1) << "only the creator writes the start record";
}

TEST_F(EventLogTest, SegmentsThatDoNotFit_LeaveTheProcessWithoutAQueue) {
  auto first = Start();
  struct Case {
    const char* what;
    std::string segment;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"size segment names a larger queue", names.Names().queueSize, 0, 0x10000},
      {"ring header claims more slots than mapped", names.Names().queue, 0, 0x2000},
      {"ring header slot count not a power of two", names.Names().queue, 0, 4095},
  };
  for (const Case& c : cases) {
    platform::CSharedMemory segment;
    ASSERT_EQ(segment.Open(c.segment), platform::ERROR_SUCCESS);
    std::uint32_t saved;
    std::memcpy(&saved, segment.Data() + c.offset, 4);
    std::memcpy(segment.Data() + c.offset, &c.value, 4);
    auto later = Start();
    EXPECT_FALSE(later->HasQueue()) << c.what;
    EXPECT_EQ(later->WriteText(kHidError, "lost"), platform::ERROR_INVALID_HANDLE) << c.what;
    std::memcpy(segment.Data() + c.offset, &saved, 4);
  }
}

TEST_F(EventLogTest, LongTexts_AreCutTo124CharactersAndAnEllipsis) {
  auto log = Start();
  struct Case {
    std::size_t length;
    std::size_t stored;
  } cases[] = {{127, 127}, {128, 128}, {200, 128}};
  for (const Case& c : cases) {
    std::string text(c.length, 'a');
    text.back() = 'z';
    EXPECT_EQ(log->LogText(kHidError, "%s", text.c_str()), platform::ERROR_SUCCESS);
    EXPECT_EQ(log->WriteText(kHidError, text), platform::ERROR_SUCCESS);
    std::wstring wide(c.length, L'w');
    EXPECT_EQ(log->LogWideText(L"%ls", wide.c_str()), platform::ERROR_SUCCESS);
  }
  std::vector<TEventRecord> records;
  for (TEventRecord& record : Records()) {
    if (record.type != kRecordWideText || record.text[0] == 'w') records.push_back(record);
  }
  records.erase(records.begin(), records.begin() + 2);  // the start-up query errors
  ASSERT_EQ(records.size(), 9u);
  for (std::size_t i = 0; i < 3; ++i) {
    const Case& c = cases[i];
    for (std::size_t kind = 0; kind < 3; ++kind) {
      const std::string& text = records[i * 3 + kind].text;
      char fill = kind == 2 ? 'w' : 'a';
      EXPECT_EQ(text.size(), c.stored) << c.length;
      if (c.length > 127) {
        EXPECT_EQ(text, std::string(124, fill) + "...\n") << c.length;
      } else {
        EXPECT_EQ(text.substr(0, 126), std::string(126, fill)) << c.length;
      }
    }
  }
}

TEST_F(EventLogTest, Dump_StoresTitleFillAndElements) {
  auto log = Start();
  const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  ASSERT_EQ(log->LogDump(kFrameDump, 2, 4, data, "AB"), platform::ERROR_SUCCESS);
  ASSERT_EQ(log->LogDump(kFrameDump, 8, 1, data, "RX frame: "), platform::ERROR_SUCCESS);
  std::vector<TEventRecord> records = WrittenRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, kRecordDump);
  EXPECT_EQ(records[0].recordId, kFrameDump);
  EXPECT_EQ(records[0].count, 2u);
  EXPECT_EQ(records[0].elementSize, 4);
  EXPECT_EQ(records[0].text, "AB");
  EXPECT_EQ(records[0].elements, std::vector<std::uint8_t>(data, data + 8));

  // Raw layout: stamp, count, element size, 0, title bytes "AB\0" + 1 fill.
  CEventLogReader reader;
  ASSERT_EQ(reader.Open(names.Prefix()), platform::ERROR_SUCCESS);
  RawRecord raw;
  ASSERT_EQ(reader.Ring().Read(records[0].index, &raw), ReadStatus::kRecord);
  const std::byte expected[] = {std::byte{2},   std::byte{0},   std::byte{0}, std::byte{0},
                                std::byte{4},   std::byte{0},   std::byte{4}, std::byte{0},
                                std::byte{'A'}, std::byte{'B'}, std::byte{0}, std::byte{0}};
  ASSERT_EQ(raw.data.size(), 12u + sizeof expected + 8);
  EXPECT_EQ(std::memcmp(raw.data.data() + 12, expected, sizeof expected), 0);

  EXPECT_NE(FormatRecord(records[0]).find("id 81A60000/2 AB 04030201 08070605"), std::string::npos)
      << FormatRecord(records[0]);
  EXPECT_NE(FormatRecord(records[1]).find("RX frame: 01 02 03 04 05 06 07 08"), std::string::npos)
      << FormatRecord(records[1]);
}

TEST_F(EventLogTest, DumpsThatDoNotFit_LeaveTheirTextRecord) {
  SetQueueSize(0x100000);  // records up to 1 MiB
  auto log = Start();
  std::vector<std::uint8_t> data(0x100000);
  EXPECT_EQ(log->WriteDump(kFrameDump, 70000, 1, data.data(), "RX frame: "),
            platform::ERROR_SUCCESS);
  EXPECT_EQ(log->WriteDump(kFrameDump, 0x20000, 8, data.data(), "Big"), platform::ERROR_SUCCESS);
  EXPECT_EQ(log->LogDump(kFrameDump, 0xFFFF, 1, data.data(), "Fits"), platform::ERROR_SUCCESS);
  std::vector<TEventRecord> records = WrittenRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].type, kRecordText);
  EXPECT_EQ(records[0].text, "RX frame: : (70000 binary elements)") << "count beyond 16 bits";
  EXPECT_EQ(records[1].text, "Big: (131072 binary elements)") << "larger than the queue allows";
  EXPECT_EQ(records[2].type, kRecordDump);
  EXPECT_EQ(records[2].count, 0xFFFFu);
}

TEST_F(EventLogTest, Filter_FromTheRegistryDecidesWhatIsStored) {
  TEventFilter filter = DefaultFilter();
  filter.rules[0] = {0x1A6, 1};
  filter.ruleCount = 1;
  SetFilter(filter);
  auto log = Start();
  const std::uint8_t report[] = {0x02, 0x01, 0x06};
  EXPECT_EQ(log->WriteDump(kReportDump, 3, 1, report, "ReadReport: "), platform::ERROR_SUCCESS);
  EXPECT_EQ(log->WriteDump(kFrameDump, 3, 1, report, "RX frame: "), ERROR_CANCELLED);
  EXPECT_EQ(log->WriteText(kHidError, "UsbHid: ClosingHandle"), ERROR_CANCELLED);
  std::vector<TEventRecord> records = WrittenRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "ReadReport: ");
}

TEST_F(EventLogTest, RegistryErrors_AreLoggedWithTheirOwnTexts) {
  struct Case {
    const char* what;
    bool keyExists;
    std::vector<std::string> texts;
  } cases[] = {
      {"no key, read-only hive",
       false,
       {"CRegistry::Open Error; Subkey: SOFTWARE\\Veltrix\\EventLog\r\n"}},
      {"key without values, read-only hive",
       true,
       {"CRegistry::QueryValue Error. Value name: QueueSize\r\n",
        "CRegistry::QueryValue Error. Value name: EventFilter\r\n",
        "CRegistry::SetBinaryValue Err: 0x5 Value Name: EventFilter"}},
  };
  for (const Case& c : cases) {
    CPrivateEventLogNames own;
    platform::CMemoryRegistry readOnly;
    if (c.keyExists)
      readOnly.SetRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrix\\EventLog\\x", "", 1, {});
    readOnly.SetReadOnly(HKEY_LOCAL_MACHINE, true);
    CEventLogInit log(own.Prefix(), readOnly);
    ASSERT_TRUE(log.HasQueue()) << c.what;
    CEventLogReader reader;
    ASSERT_EQ(reader.Open(own.Prefix()), platform::ERROR_SUCCESS);
    std::vector<std::string> texts;
    for (const TEventRecord& record : reader.ReadAll()) {
      if (record.type == kRecordText) texts.push_back(record.text);
    }
    EXPECT_EQ(texts, c.texts) << c.what;
  }
}

TEST_F(EventLogTest, Observer_WritesTheEnginesRecords) {
  auto log = Start();
  CEventLogObserver observer(*log);
  const std::uint8_t frame[] = {0x02, 0x05, 0x03};
  observer.LogDump(kFrameDump, "Tx frame: ", frame);
  observer.LogText(kHidError, "UsbHid: ClosingHandle");
  std::vector<TEventRecord> records = WrittenRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].text, "Tx frame: ");
  EXPECT_EQ(records[0].elements, std::vector<std::uint8_t>(frame, frame + 3));
  EXPECT_EQ(records[1].text, "UsbHid: ClosingHandle");
}

TEST_F(EventLogTest, WaitingReader_IsWokenByTheNextRecord) {
  auto log = Start();
  CEventLogReader reader;
  ASSERT_EQ(reader.Open(names.Prefix()), platform::ERROR_SUCCESS);
  std::uint32_t position = reader.Ring().WriteIndex();
  EXPECT_FALSE(reader.WaitForRecords(std::chrono::milliseconds(10)));
  EXPECT_EQ(SharedWord(names.Names().queue, 4), 1u) << "reader waiting";
  log->WriteText(kHidError, "wake up");
  EXPECT_TRUE(reader.WaitForRecords(std::chrono::seconds(10)));
  std::vector<TEventRecord> records = reader.ReadFrom(&position);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].text, "wake up");
}

}  // namespace
}  // namespace lx2d
