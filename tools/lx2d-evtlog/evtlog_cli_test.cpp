#include "evtlog_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>

#include "event_log_init.h"
#include "event_log_names.h"
#include "platform/fakes/memory_registry.h"
#include "private_event_log.h"

namespace lx2d::evtlog {
namespace {

class EvtlogCliTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return RunEvtlogCommand(args, out, err, registry, names.Prefix());
  }

  std::optional<TEventFilter> StoredFilter() {
    platform::DWORD type = 0;
    std::vector<std::uint8_t> bytes;
    if (!registry.GetRaw(platform::HKEY_LOCAL_MACHINE, kEventLogKey, "EventFilter", &type,
                         &bytes)) {
      return std::nullopt;
    }
    return FilterFromBytes(bytes);
  }

  CPrivateEventLogNames names;
  platform::CMemoryRegistry registry;
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(EvtlogCliTest, FilterSet_WritesRegistryAndRunningLog) {
  CEventLogInit log(names.Prefix(), registry);
  ASSERT_EQ(Run({"filter", "set", "--default", "0", "--rule", "0x1A6:1", "--id", "0xC1A60000",
                 "--trigger", "0x41040004", "--trigger-count", "2", "--trigger-on"}),
            kExitSuccess)
      << err.str();
  auto stored = StoredFilter();
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->defaultMask, 0);
  ASSERT_EQ(stored->ruleCount, 1);
  EXPECT_EQ(stored->rules[0].category, 0x1A6);
  EXPECT_EQ(stored->rules[0].mask, 1);
  ASSERT_EQ(stored->idCount, 1);
  EXPECT_EQ(stored->ids[0], 0xC1A60000u);
  EXPECT_EQ(stored->triggerEnabled, 1u);
  EXPECT_EQ(stored->triggerCount, 2);

  // The running log filters with it at once.
  EXPECT_EQ(log.WriteText(0x81A60000, "frame"), ERROR_CANCELLED);
  EXPECT_EQ(log.WriteText(0xC1A60000, "listed"), platform::ERROR_SUCCESS);
  EXPECT_EQ(log.WriteText(0x01A60000, "report"), platform::ERROR_SUCCESS);

  ASSERT_EQ(Run({"filter", "show"}), kExitSuccess);
  EXPECT_EQ(out.str(),
            "registry:\n"
            "default mask 0 (severities)\n"
            "rule category 0x1A6 mask 1 (severities 0)\n"
            "id 0xC1A60000\n"
            "trigger id 0x41040004 on, count 2, state waiting\n"
            "running log: the same, queue size 0x8000\n");
}

TEST_F(EvtlogCliTest, FilterSet_RefusesWhatTheBlockCannotHold) {
  std::vector<std::string> elevenRules = {"filter", "set"};
  for (int i = 0; i < 11; ++i) {
    elevenRules.push_back("--rule");
    elevenRules.push_back(std::to_string(i) + ":1");
  }
  std::vector<std::vector<std::string>> cases = {
      {"filter", "set", "--rule", "4096:1"},    {"filter", "set", "--rule", "1:16"},
      {"filter", "set", "--rule", "1"},         {"filter", "set", "--default", "16"},
      {"filter", "set", "--id", "0x100000000"}, {"filter", "set", "--id"},
      {"filter", "set", "--colour", "1"},       elevenRules,
  };
  for (const auto& args : cases) {
    EXPECT_EQ(Run(args), kExitUsage) << args.back();
    EXPECT_FALSE(StoredFilter()) << "nothing written for " << args.back();
  }
}

TEST_F(EvtlogCliTest, Dump_PrintsTheRecordsInOrder) {
  EXPECT_EQ(Run({"dump"}), kExitFailed) << "no log yet";
  CEventLogInit log(names.Prefix(), registry);
  const std::uint8_t frame[] = {0x02, 0x05, 0x03};
  log.WriteDump(0x81A60000, 3, 1, frame, "Tx frame: ");
  log.WriteText(0xC1A60000, "UsbHid: ClosingHandle");
  ASSERT_EQ(Run({"dump"}), kExitSuccess);
  std::string text = out.str();
  std::size_t started = text.find("id - VLXEventLog started");
  std::size_t dump = text.find("id 81A60000/2 Tx frame: 02 05 03\n");
  std::size_t error = text.find("id C1A60000/3 UsbHid: ClosingHandle\n");
  EXPECT_NE(started, std::string::npos) << text;
  EXPECT_NE(dump, std::string::npos) << text;
  EXPECT_NE(error, std::string::npos) << text;
  EXPECT_LT(started, dump);
  EXPECT_LT(dump, error);
}

TEST_F(EvtlogCliTest, Follow_PrintsNewRecords) {
  CEventLogInit log(names.Prefix(), registry);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    // Until the follower has its records; it may open the log after the first.
    for (int i = 0; i < 2000 && !done.load(); ++i) {
      log.WriteText(0xC1A60000, "tick");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  int result = Run({"follow", "--count", "2"});
  done = true;
  writer.join();
  EXPECT_EQ(result, kExitSuccess);
  std::string text = out.str();
  EXPECT_NE(text.find("C1A60000/3 tick\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST_F(EvtlogCliTest, Reset_RemovesTheLogOnlyWhenNobodyHoldsIt) {
  {
    CEventLogInit log(names.Prefix(), registry);
    EXPECT_EQ(Run({"reset"}), kExitFailed);
    EXPECT_NE(err.str().find("still holds"), std::string::npos);
    EXPECT_EQ(Run({"dump"}), kExitSuccess) << "still there";
  }
  EXPECT_EQ(Run({"reset"}), kExitSuccess);
  EXPECT_EQ(out.str(), "event log removed; the next process creates it afresh\n");
  EXPECT_EQ(Run({"dump"}), kExitFailed);
  EXPECT_EQ(Run({"reset"}), kExitSuccess);
  EXPECT_EQ(out.str(), "no event log to remove\n");
}

TEST_F(EvtlogCliTest, Reset_ReportsSegmentsItCannotRemove) {
  // Names the platform refuses stand for segments this user may not touch.
  EXPECT_EQ(RunEvtlogCommand({"reset"}, out, err, registry, "bad/prefix_"), kExitFailed);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("cannot remove /bad/prefix_EVTLOG_LOG_QUEUE"), std::string::npos)
      << err.str();
}

TEST_F(EvtlogCliTest, FilterShow_ReportsAValueItCannotRead) {
  struct Case {
    const char* what;
    std::size_t bytes;
  } cases[] = {{"shorter than a block", 100}, {"longer than a block", 200}};
  for (const Case& c : cases) {
    registry.SetRaw(platform::HKEY_LOCAL_MACHINE, kEventLogKey, "EventFilter", platform::REG_BINARY,
                    std::vector<std::uint8_t>(c.bytes, 1));
    EXPECT_EQ(Run({"filter", "show"}), kExitFailed) << c.what;
    EXPECT_EQ(out.str().find("no EventFilter"), std::string::npos) << c.what << ": " << out.str();
    EXPECT_NE(err.str().find("EventFilter"), std::string::npos) << c.what;
  }
}

TEST_F(EvtlogCliTest, BadUsage_PrintsTheUsage) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"dump", "x"}, {"filter"}, {"follow", "--count"}, {"follow", "--count", "x"}}) {
    EXPECT_EQ(Run(args), kExitUsage);
    EXPECT_NE(err.str().find("usage: lx2d-evtlog dump"), std::string::npos);
  }
}

}  // namespace
}  // namespace lx2d::evtlog
