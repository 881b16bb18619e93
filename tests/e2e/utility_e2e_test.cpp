// LX2D_B_SET end to end: the program, the scanner library, the simulated
// reader and the emulator stand-in as real processes in a private set of
// LX2D directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/child_process.h"
#include "platform/fakes/temp_directory.h"
#include "platform/text.h"
#include "platform/window.h"
#include "result_messages.h"

namespace lx2d {
namespace {

using namespace std::chrono_literals;
using platform::CChildProcess;

const std::string kBin = LX2D_BIN_DIR;
const std::string kExample = LX2D_SOURCE_DIR "/examples/settings.ini";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Polls `ready` every 20 ms for at most `limit`.
bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The request lines the simulator recorded ("ControlCommand 40 02",
// "SetupWrite 42 40 01"), as lx2d-settings plan writes them.
std::vector<std::string> RecordedRequests(const std::string& recordFile) {
  static const std::map<std::string, std::string> kExports = {{"CCMD", "ControlCommand"},
                                                              {"SW", "SetupWrite"}};
  std::vector<std::string> requests;
  for (const std::string& line : Lines(ReadFile(recordFile))) {
    auto field = [&line](const std::string& name) {
      const size_t start = line.find("\"" + name + "\":\"") + name.size() + 4;
      return line.substr(start, line.find('"', start) - start);
    };
    const auto exportName = kExports.find(field("kind"));
    std::string request = exportName == kExports.end() ? field("kind") : exportName->second;
    const std::string payload = field("payload");
    for (size_t i = 0; i < payload.size(); i += 2) {
      request += ' ';
      for (char c : payload.substr(i, 2)) request += static_cast<char>(std::toupper(c));
    }
    requests.push_back(request);
  }
  return requests;
}

// A short file without the default restore and its 2000 ms wait.
constexpr char kQuickSettings[] =
    "[INI_FILE_ID]\nBCR_TYPE=VELTRIX_QM20_2D\n[NOT_FORCE_DEFAULT]\nACTIVATE=1\n"
    "[Code39]\nACTIVATE=1\n[Initial_Connection]\nSTATUS=1\n";

// The control commands of the connect and of the disconnect.
constexpr char kConnectCommand[] = "ControlCommand 50 40 00";
constexpr char kDisconnectCommand[] = "ControlCommand 30 02";

// What the reader should receive for a plan: the connect's command, the
// plan's requests, the disconnect's command.
std::vector<std::string> ExpectedRequests(const std::vector<std::string>& plan) {
  std::vector<std::string> expected = {kConnectCommand};
  for (const std::string& line : plan) {
    if (line.starts_with("ControlCommand ") || line.starts_with("SetupWrite "))
      expected.push_back(line);
  }
  expected.push_back(kDisconnectCommand);
  return expected;
}

class UtilityEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    temp.UseForAllDirectories();
    environment = {{"LX2D_SYSTEM_DIR", temp.Path() + "/system"},
                   {"LX2D_USER_DIR", temp.Path() + "/user"},
                   {"LX2D_STATE_DIR", temp.Path() + "/state"},
                   {"LX2D_RUNTIME_DIR", temp.Path() + "/run"},
                   {"LC_ALL", "C.UTF-8"}};
    // A short wake wait keeps the runs fast.
    SetWakeWait(50);
  }

  // Starts `program` from the build's bin folder (or a path) with its
  // standard output and error in <temp>/<name>.out and .err.
  void Start(CChildProcess& process, const std::string& name, const std::string& program,
             const std::vector<std::string>& args) {
    std::vector<std::string> shellArgs = {
        "-c", "exec \"$0\" \"$@\" >\"$E2E_OUT\" 2>\"$E2E_ERR\" </dev/null",
        program.find('/') == std::string::npos ? kBin + "/" + program : program};
    shellArgs.insert(shellArgs.end(), args.begin(), args.end());
    auto env = environment;
    env.emplace_back("E2E_OUT", OutFile(name));
    env.emplace_back("E2E_ERR", ErrFile(name));
    ASSERT_TRUE(process.Start("/bin/sh", shellArgs, env)) << program;
  }

  // Runs a program to its end; its exit code as the program returned it.
  int Run(const std::string& name, const std::string& program, const std::vector<std::string>& args,
          std::chrono::milliseconds limit = 60s) {
    CChildProcess process;
    Start(process, name, program, args);
    const std::optional<int> status = process.Wait(limit);
    if (!status) {
      ADD_FAILURE() << program << " did not end";
      return 1000;
    }
    return static_cast<int8_t>(*status);
  }

  int RunUtility(const std::vector<std::string>& args, const std::string& program = "LX2D_B_SET") {
    return Run("utility", program, args);
  }

  // Starts the simulated reader and waits until its device is listed.
  void StartReader(const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {"--record", RecordFile()};
    args.insert(args.end(), options.begin(), options.end());
    Start(reader, "reader", "lx2d-reader-sim", args);
    ASSERT_TRUE(
        WaitFor([&] { return ReadFile(OutFile("reader")).starts_with("lx2d-reader-sim: "); }, 20s))
        << ReadFile(ErrFile("reader"));
  }

  // Starts the emulator stand-in and waits for its window.
  void StartEmulator(const std::vector<std::string>& options = {}) {
    Start(emulator, "emulator", "lx2d-emu-stub", options);
    ASSERT_TRUE(WaitFor([] { return platform::FindWindow("Korvane_LX2D_Emu_Class") != 0; }, 20s));
  }

  std::vector<std::string> EmulatorLines() { return Lines(ReadFile(OutFile("emulator"))); }

  void SetWakeWait(int milliseconds) {
    ASSERT_EQ(Run("reg", "lx2d-reg",
                  {"add", "HKLM\\SOFTWARE\\Korvane\\LX2D_B_SET", "/v", "AfterWakeupWait", "/t",
                   "REG_DWORD", "/d", std::to_string(milliseconds), "/f"}),
              0)
        << ReadFile(ErrFile("reg"));
  }

  // The file at <temp>/<name> with `text`.
  std::string WriteSettings(const std::string& name, const std::string& text) {
    const std::string path = temp.Path() + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  // What lx2d-settings plan prints for `file`.
  std::vector<std::string> Plan(const std::string& file) {
    EXPECT_EQ(Run("plan", "lx2d-settings", {"plan", file}), 0);
    return Lines(ReadFile(OutFile("plan")));
  }

  std::string Quick() { return WriteSettings("quick.ini", kQuickSettings); }

  std::string OutFile(const std::string& name) const { return temp.Path() + "/" + name + ".out"; }
  std::string ErrFile(const std::string& name) const { return temp.Path() + "/" + name + ".err"; }
  std::string RecordFile() const { return temp.Path() + "/record.json"; }

  platform::CTempDirectory temp;
  std::vector<std::pair<std::string, std::string>> environment;
  CChildProcess reader;
  CChildProcess emulator;
};

TEST_F(UtilityEndToEnd, EarlyExits_SilentWithTheirCodes) {
  const std::string settings = WriteSettings("settings.ini", "[INI_FILE_ID]\nBCR_TYPE=2\n");
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int exitCode;
  };
  const Case cases[] = {
      {"no argument", {}, -21},
      {"two arguments", {settings, settings}, -21},
      {"missing file", {settings + ".absent"}, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RunUtility(c.args), c.exitCode) << c.what;
    EXPECT_EQ(ReadFile(ErrFile("utility")), "") << c.what;
    EXPECT_EQ(ReadFile(OutFile("utility")), "") << c.what;
  }
}

TEST_F(UtilityEndToEnd, LibraryMissingBesideTheProgram_Minus10WithItsName) {
  StartReader();
  const std::string alone = temp.Path() + "/alone";
  std::filesystem::create_directory(alone);
  std::filesystem::copy_file(kBin + "/LX2D_B_SET", alone + "/LX2D_B_SET");
  EXPECT_EQ(RunUtility({kExample}, alone + "/LX2D_B_SET"), -10);
  EXPECT_EQ(ReadFile(ErrFile("utility")),
            "LX2D_SET: Can not load Barcode DLL File : libRDLK_HID.so\n");
  EXPECT_EQ(ReadFile(RecordFile()), "");
}

TEST_F(UtilityEndToEnd, ReaderNeverAnswersWithoutEmulator_Minus10WithTheLibraryText) {
  StartReader({"--answer-after", "600000"});
  EXPECT_EQ(RunUtility({kExample}), -10);
  const std::string error = ReadFile(ErrFile("utility"));
  bool known = false;
  for (uint16_t result = 1; result < 256 && !known; ++result) {
    known = error ==
            "LX2D_SET: " + platform::Utf16ToUtf8(LibraryResultText(UiLanguage::kEnglish, result)) +
                "\n";
  }
  EXPECT_TRUE(known) << error;
  EXPECT_EQ(Run("query", "lx2d-reg", {"query", "HKLM\\SOFTWARE\\Korvane\\LX2D_EMU"}), 1)
      << "no emulator preferences after a failed connect";
}

TEST_F(UtilityEndToEnd, FullFile_ReaderGetsThePlanAndTheRegistryThePreferences) {
  // The plan first: it reads the stored hide flags, which the run changes.
  const std::vector<std::string> plan = Plan(kExample);
  StartReader();
  EXPECT_EQ(RunUtility({kExample}), 0) << ReadFile(ErrFile("utility"));
  EXPECT_EQ(ReadFile(ErrFile("utility")), "");

  std::map<std::string, std::string> preferences;  // name -> "TYPE data"
  for (const std::string& line : plan) {
    if (line.starts_with("RegSetValue ")) {
      std::istringstream fields(line.substr(12));
      std::string name, type, data;
      fields >> name >> type >> data;
      preferences[name] = type == "REG_DWORD" ? type + " " + data : type;
    }
  }
  EXPECT_EQ(RecordedRequests(RecordFile()), ExpectedRequests(plan));

  ASSERT_EQ(Run("query", "lx2d-reg", {"query", "HKLM\\SOFTWARE\\Korvane\\LX2D_EMU"}), 0);
  std::map<std::string, std::string> stored;
  for (const std::string& line : Lines(ReadFile(OutFile("query")))) {
    std::istringstream fields(line);
    std::string name, type, data;  // an empty REG_SZ has no data column
    if (!(fields >> name >> type) || !type.starts_with("REG_")) continue;
    fields >> data;
    stored[name] =
        type == "REG_DWORD" ? type + " " + std::to_string(std::stoul(data, nullptr, 16)) : type;
  }
  EXPECT_FALSE(preferences.empty());
  EXPECT_EQ(stored, preferences);
}

// The rows the simulator's table of written parameters shows for the
// records of a plan's SetupWrite lines (the last value of each parameter).
std::vector<std::string> ParameterRows(const std::vector<std::string>& plan) {
  std::map<std::pair<int, int>, std::vector<int>> written;
  for (const std::string& line : plan) {
    if (!line.starts_with("SetupWrite ")) continue;
    std::istringstream hex(line.substr(11));
    std::vector<int> bytes;
    for (int byte; hex >> std::hex >> byte;) bytes.push_back(byte);
    for (size_t at = 0; at + 2 <= bytes.size();) {
      const int group = bytes[at], parameter = bytes[at + 1];
      at += 2;
      size_t length = parameter < 0x80 ? 1 : 2;
      if (parameter >= 0xC0 && at + 2 <= bytes.size()) {
        length = static_cast<size_t>(bytes[at] << 8 | bytes[at + 1]);
        at += 2;
      }
      const size_t end = std::min(bytes.size(), at + length);
      written[{group, parameter}] = {bytes.begin() + static_cast<ptrdiff_t>(at),
                                     bytes.begin() + static_cast<ptrdiff_t>(end)};
      at = end;
    }
  }
  std::vector<std::string> rows;
  for (const auto& [key, value] : written) {
    char head[40];
    std::snprintf(head, sizeof head, "0x%02X   0x%02X   %6zu  ", key.first, key.second,
                  value.size());
    std::string row = head;
    for (size_t i = 0; i < value.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", value[i]);
      row += byte;
    }
    rows.push_back(row);
  }
  return rows;
}

TEST_F(UtilityEndToEnd, SerialReaderOnly_SerialLibraryAppliesTheFile) {
  const std::vector<std::string> plan = Plan(kExample);
  StartReader({"--serial"});  // no HID reader at all
  EXPECT_EQ(RunUtility({kExample}), 0) << ReadFile(ErrFile("utility"));
  EXPECT_EQ(ReadFile(ErrFile("utility")), "");
  EXPECT_EQ(RecordedRequests(RecordFile()), ExpectedRequests(plan));

  reader.Terminate();
  ASSERT_TRUE(reader.Wait(30s).has_value());
  const std::string table = ReadFile(OutFile("reader"));
  const std::vector<std::string> rows = ParameterRows(plan);
  ASSERT_FALSE(rows.empty());
  EXPECT_NE(table.find("Parameters written: " + std::to_string(rows.size()) + "\n"),
            std::string::npos)
      << table;
  for (const std::string& row : rows) EXPECT_NE(table.find(row), std::string::npos) << row;
  // The port chosen is kept with the library's settings.
  ASSERT_EQ(Run("port", "lx2d-reg", {"query", "HKLM\\SOFTWARE\\Korvane\\LX2D_B_SET", "/v", "Port"}),
            0);
  EXPECT_NE(ReadFile(OutFile("port")).find("/serial/lx2d-reader"), std::string::npos);
}

TEST_F(UtilityEndToEnd, RefusedReaderType_Minus2AfterConnectAndDisconnect) {
  StartReader();
  const std::string settings = WriteSettings(
      "marlow.ini", "[INI_FILE_ID]\nBCR_TYPE=MARLOW_LK310_1D\n[Code39]\nACTIVATE=1\n");
  EXPECT_EQ(RunUtility({settings}), -2);
  EXPECT_EQ(ReadFile(ErrFile("utility")), "");
  EXPECT_EQ(RecordedRequests(RecordFile()),
            (std::vector<std::string>{kConnectCommand, kDisconnectCommand}));
}

TEST_F(UtilityEndToEnd, SecondInstanceDuringTheRun_Minus20AndTheFirstCompletes) {
  StartReader();
  // Held still during its wake wait, where no request is under way, the
  // first one keeps the guard.
  SetWakeWait(2000);
  CChildProcess first;
  Start(first, "first", "LX2D_B_SET", {Quick()});
  ASSERT_TRUE(WaitFor([] { return platform::FindWindow("LX2D_B_SET_Worker") != 0; }, 20s));
  const std::string pid = std::to_string(first.Id());
  ASSERT_EQ(Run("stop", "/bin/sh", {"-c", "kill -STOP " + pid}), 0);
  EXPECT_EQ(RunUtility({Quick()}), -20);
  EXPECT_EQ(ReadFile(ErrFile("utility")), "");
  ASSERT_EQ(Run("continue", "/bin/sh", {"-c", "kill -CONT " + pid}), 0);
  const std::optional<int> status = first.Wait(60s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << ReadFile(ErrFile("first"));
  EXPECT_EQ(RecordedRequests(RecordFile()), ExpectedRequests(Plan(Quick())));
}

TEST_F(UtilityEndToEnd, Emulator_PowerOnRetriesUntilTheReaderAnswersThenRestore) {
  // The stand-in's command runs from the power-on to the restore.
  const std::string started = temp.Path() + "/command-started";
  const std::string stopped = temp.Path() + "/command-stopped";
  StartEmulator({"--on-poweron", "trap 'touch " + stopped + "; exit 0' TERM; touch " + started +
                                     "; while :; do sleep 0.05; done"});
  StartReader({"--answer-after", "1500"});
  EXPECT_EQ(RunUtility({Quick()}), 0) << ReadFile(ErrFile("utility"));
  EXPECT_EQ(EmulatorLines(),
            (std::vector<std::string>{"WM_KORV_FORCE_POWERON", "WM_KORV_RESTORE_POWERSTATE"}));
  EXPECT_EQ(RecordedRequests(RecordFile()), ExpectedRequests(Plan(Quick())));
  EXPECT_TRUE(std::filesystem::exists(started));
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(stopped); }, 20s));
}

TEST_F(UtilityEndToEnd, EmulatorGoneByTheFinish_NoRestore) {
  StartEmulator({"--quit-after-poweron"});
  StartReader();
  EXPECT_EQ(RunUtility({Quick()}), 0) << ReadFile(ErrFile("utility"));
  EXPECT_TRUE(emulator.Wait(20s).has_value());
  EXPECT_EQ(EmulatorLines(), (std::vector<std::string>{"WM_KORV_FORCE_POWERON"}));
}

TEST_F(UtilityEndToEnd, SigtermDuringTheRun_DisconnectsAndRestores) {
  StartEmulator();
  StartReader({"--answer-after", "2000"});
  CChildProcess utility;
  Start(utility, "utility", "LX2D_B_SET", {Quick()});
  // Terminated while it retries the connect.
  ASSERT_TRUE(WaitFor([&] { return !EmulatorLines().empty(); }, 20s));
  utility.Terminate();
  const std::optional<int> status = utility.Wait(60s);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << ReadFile(ErrFile("utility"));
  const std::vector<std::string> requests = RecordedRequests(RecordFile());
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.front(), kConnectCommand);
  EXPECT_EQ(requests.back(), kDisconnectCommand);
  EXPECT_EQ(EmulatorLines(),
            (std::vector<std::string>{"WM_KORV_FORCE_POWERON", "WM_KORV_RESTORE_POWERSTATE"}));
}

TEST_F(UtilityEndToEnd, NoEmulator_PowerOnThroughTheDriverThenTheWokenReaderIsConfigured) {
  // Driver and utility prove themselves with the machine's key file.
  const std::string keyDir = temp.Path() + "/system/power";
  std::filesystem::create_directories(keyDir);
  {
    std::ofstream key(keyDir + "/auth.key", std::ios::binary);
    key << "0123456789abcdef";
  }
  std::filesystem::permissions(keyDir + "/auth.key", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_write);
  // The reader seen at the start only lets the HID library be chosen: it
  // never answers. Powering on brings up another one, listed first by name,
  // which only the search after the wake wait can find.
  StartReader({"--name", "zz-asleep", "--answer-after", "600000"});
  const std::string wokenRecord = temp.Path() + "/woken.json";
  CChildProcess driver;
  Start(driver, "driver", "lx2d-power-driver-sim",
        {"--power-command",
         "exec '" + kBin + "/lx2d-reader-sim' --name aa-woken --record '" + wokenRecord + "'"});
  ASSERT_TRUE(WaitFor(
      [&] { return ReadFile(OutFile("driver")).find("serving") != std::string::npos; }, 20s))
      << ReadFile(ErrFile("driver"));
  SetWakeWait(5000);  // ample for the woken reader to come up on a loaded machine

  EXPECT_EQ(RunUtility({Quick()}), 0) << ReadFile(ErrFile("utility"));
  EXPECT_EQ(ReadFile(ErrFile("utility")), "");
  EXPECT_EQ(RecordedRequests(wokenRecord), ExpectedRequests(Plan(Quick())));
  EXPECT_EQ(ReadFile(RecordFile()), "") << "the reader asleep got nothing";

  driver.Terminate();
  ASSERT_EQ(driver.Wait(60s).value_or(-1), 0);
  // The woken reader shares the driver's output; the driver's own lines:
  std::vector<std::string> calls;
  for (const std::string& line : Lines(ReadFile(OutFile("driver")))) {
    if (line.starts_with("item ")) calls.push_back(line);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"item 0 set 1 status 0", "item 3 set 0 status 0"}))
      << "set in this order, and no restore at the end";
  const std::vector<std::string> lines = Lines(ReadFile(OutFile("driver")));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].find("development key"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace lx2d
