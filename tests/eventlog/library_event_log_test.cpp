// The library loaded by a host and connected to the simulated reader writes
// its frame dumps into the event log, and `lx2d-evtlog dump` shows them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "event_log_names.h"
#include "event_log_reader.h"
#include "library_host.h"

namespace lx2d::test {
namespace {

// The record lines of a dump from write index `from` on.
std::vector<std::string> LinesFrom(const std::string& dump, std::uint32_t from) {
  std::vector<std::string> lines;
  std::istringstream in(dump);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 1 && line[0] == '#' && std::stoul(line.substr(1)) >= from) {
      lines.push_back(line);
    }
  }
  return lines;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

class LibraryEventLog : public ::testing::Test {
 protected:
  // The library is gone by now: its log goes too, so the next run starts
  // afresh.
  ~LibraryEventLog() override {
    TEventLogNames names = EventLogNames(EventLogPrefixFromEnvironment());
    for (const std::string* name :
         {&names.queueSize, &names.filter, &names.queue, &names.mutex, &names.event}) {
      platform::CSharedMemory::Remove(*name);
    }
  }
};

TEST_F(LibraryEventLog, ExchangeWithSimulatedReader_DumpShowsTxAndRxFrames) {
  CLibraryTest host;  // loads the library, which sets the log up
  CEventLogReader reader;
  ASSERT_EQ(reader.Open(EventLogPrefixFromEnvironment()), platform::ERROR_SUCCESS);
  std::uint32_t from = reader.Ring().WriteIndex();

  ASSERT_TRUE(host.Connected());
  const unsigned char request[] = {0x72, 0x43, 0x02};
  unsigned char reply[256];
  uint32_t length = 0;
  EXPECT_EQ(host.Library().SetupRead(request, sizeof request, reply, sizeof reply, &length),
            RDLK_SUCCESS);

  std::string output = host.Folder() + "/dump.txt";
  platform::CChildProcess tool;
  ASSERT_TRUE(tool.Start("/bin/sh", {"-c", "\"$0\" dump > \"$1\"", LX2D_TEST_EVTLOG, output}));
  ASSERT_EQ(tool.Wait(std::chrono::seconds(60)), 0);
  std::ifstream file(output);
  std::stringstream text;
  text << file.rdbuf();
  std::vector<std::string> lines = LinesFrom(text.str(), from);
  // SR request frame out, the reader's acknowledgement and reply in: every
  // frame starts with STX (02) and ends with ETX (03).
  EXPECT_TRUE(Has(lines, "id 81A60000/2 Tx frame: 02 ")) << text.str();
  EXPECT_TRUE(Has(lines, "id 81A60000/2 RX frame: 02 ")) << text.str();
  EXPECT_FALSE(Has(lines, "WriteReport: ")) << "report dumps are held back by the default filter";
}

}  // namespace
}  // namespace lx2d::test
