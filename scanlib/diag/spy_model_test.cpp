#include "spy_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "spy_wire.h"
#include "vscp_frame.h"

namespace lx2d {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(SpyModel, TraceLine_StartsWithMillisecondsSinceTheLineBefore) {
  CSpyModel model(1000);
  model.AddTraceLine("first", 0xFF, 1007);
  model.AddTraceLine("second", 0x7F0000, 1047);
  ASSERT_EQ(model.TraceLines().size(), 2u);
  EXPECT_EQ(model.TraceLines()[0].text, "00007, first");
  EXPECT_EQ(model.TraceLines()[1].text, "00040, second");
  EXPECT_EQ(model.TraceLines()[1].colour, 0x7F0000u);
}

TEST(SpyModel, Extent_WidensOnlyForAWiderLine) {
  // Width: characters times two, plus the border of 3.
  CSpyModel model(0, [](std::string_view text) { return 2 * static_cast<int>(text.size()); });
  EXPECT_TRUE(model.AddTraceLine("abcdef", 0, 0));  // "00000, abcdef": 13 characters
  EXPECT_EQ(model.HorizontalExtent(), 29);
  EXPECT_FALSE(model.AddTraceLine("ab", 0, 0));
  EXPECT_EQ(model.HorizontalExtent(), 29);
  EXPECT_TRUE(model.AddTraceLine("abcdefg", 0, 0));
  EXPECT_EQ(model.HorizontalExtent(), 31);
}

TEST(SpyModel, TraceItemColours_ByColourAndSelection) {
  struct Case {
    uint32_t colour;
    bool selected;
    std::optional<uint32_t> text;
    std::optional<uint32_t> background;
  };
  const Case kCases[] = {
      {0xFF, false, 0xFF, std::nullopt},      {0xFF, true, 0xFFFF00, 0xFF},
      {0x7F0000, true, 0x80FFFF, 0x7F0000},   {0x7F, false, 0x7F, std::nullopt},
      {0, false, std::nullopt, std::nullopt}, {0, true, std::nullopt, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.colour << " selected " << c.selected);
    const TraceItemLook look = TraceItemColours(c.colour, c.selected);
    EXPECT_EQ(look.text, c.text);
    EXPECT_EQ(look.background, c.background);
  }
}

TEST(SpyModel, MessageRows_ColumnTextsAndDataLine) {
  const uint8_t raw[] = {0x02, 0xAB, 0x10};
  struct Case {
    const char* what;
    MessageEntry entry;
    MessageEntry expected;
  };
  const Case kCases[] = {
      {"BCD of 7 bytes to broadcast",
       DescribeMessage(0, true, kKindBcd, {}, 0, 7),
       {"",
        {"HWND_BROADCAST", "WM_VSCP_FRAME", "0x0", "0x7 (DLL ID:0x0000 VSCP frame size:0x0007)"}}},
      {"EVT with a DLL ID",
       DescribeMessage(0x4a0001, true, kKindEvt, {}, 1, 0x120005),
       {"Event",
        {"0x4a0001", "WM_VSCP_FRAME", "0x1", "0x120005 (DLL ID:0x0012 VSCP frame size:0x0005)"}}},
      {"SBCD",
       DescribeMessage(5, true, kKindSbcd, {}, 0, 1),
       {"Setup Barcode Data",
        {"0x5", "WM_VSCP_FRAME", "0x0", "0x1 (DLL ID:0x0000 VSCP frame size:0x0001)"}}},
      {"BCDEX2",
       DescribeMessage(5, true, kKindBcdex2, {}, 0, 1),
       {"Barcode DataEx",
        {"0x5", "WM_VSCP_FRAME", "0x0", "0x1 (DLL ID:0x0000 VSCP frame size:0x0001)"}}},
      {"raw bytes",
       DescribeMessage(0, false, 0, raw, 0, 3),
       {"02 AB 10 ",
        {"HWND_BROADCAST", "WM_RAW_DATA", "0x0", "0x3 (DLL ID:0x0000 VSCP frame size:0x0003)"}}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.entry.dataText, c.expected.dataText);
    EXPECT_EQ(c.entry.row.handle, c.expected.row.handle);
    EXPECT_EQ(c.entry.row.message, c.expected.row.message);
    EXPECT_EQ(c.entry.row.wParam, c.expected.row.wParam);
    EXPECT_EQ(c.entry.row.lParam, c.expected.row.lParam);
  }
}

TEST(SpyModel, ClearWindow_EmptiesAllThreeLists) {
  CSpyModel model(0);
  model.AddTraceLine("line", 0, 5);
  model.AddMessage(DescribeMessage(0, true, kKindEvt, {}, 0, 1));
  model.Clear();
  EXPECT_TRUE(model.TraceLines().empty());
  EXPECT_TRUE(model.DataLines().empty());
  EXPECT_TRUE(model.MessageRows().empty());
  // Times still count from the last line added.
  model.AddTraceLine("after", 0, 12);
  EXPECT_EQ(model.TraceLines()[0].text, "00007, after");
}

class SpyModelSave : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("spy_model_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(SpyModelSave, TraceLinesOnly_EachFollowedByNewline_ReplacingTheFile) {
  const auto path = folder_ / "log.txt";
  std::ofstream(path) << "old content that is longer than the new one\n";
  CSpyModel model(0);
  model.AddTraceLine("Tx: one", 0xFF, 3);
  model.AddTraceLine("Rx: two", 0x7F0000, 5);
  model.AddMessage(DescribeMessage(0, true, kKindEvt, {}, 0, 1));
  EXPECT_EQ(model.Save(path.string()), "");
  EXPECT_EQ(ReadAll(path), "00003, Tx: one\n00002, Rx: two\n");
}

TEST_F(SpyModelSave, EmptyTraceList_CreatesEmptyFile) {
  const auto path = folder_ / "empty.txt";
  EXPECT_EQ(CSpyModel(0).Save(path.string()), "");
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_F(SpyModelSave, FileThatCannotBeCreated_GivesErrorText) {
  const std::string path = (folder_ / "missing" / "log.txt").string();
  CSpyModel model(0);
  model.AddTraceLine("x", 0, 0);
  EXPECT_EQ(model.Save(path), "Error with file " + path);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SpyWire, EventsReachTheModelAsSent) {
  CSpyModel model(100);
  const uint8_t raw[] = {0x00, 0xFF, 0x7E};
  EXPECT_EQ(ApplySpyEvent(EncodeTraceEvent("Tx: (SR  ) 02\n05", 0xFF, 140), model),
            SpyEvent::kTrace);
  EXPECT_EQ(ApplySpyEvent(EncodeTraceEvent("", 0, 150), model), SpyEvent::kTrace);
  EXPECT_EQ(ApplySpyEvent(EncodeMessageEvent(0, false, 0, raw, 0, 3), model), SpyEvent::kMessage);
  ASSERT_EQ(model.TraceLines().size(), 2u);
  EXPECT_EQ(model.TraceLines()[0].text, "00040, Tx: (SR  ) 02 05");
  EXPECT_EQ(model.TraceLines()[0].colour, 0xFFu);
  EXPECT_EQ(model.TraceLines()[1].text, "00010, ");
  ASSERT_EQ(model.DataLines().size(), 1u);
  EXPECT_EQ(model.DataLines()[0], "00 FF 7E ");
}

TEST(SpyWire, MalformedLines_ChangeNothing) {
  CSpyModel model(0);
  for (const char* line : {"", "T", "T x 0 text", "T 5", "M 0 0 0 0 0 ABC", "M 0 0 0 0 0 zz",
                           "M 0 0 300 0 0 ", "X 1 2", "rect 1 2 3 4"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ApplySpyEvent(line, model), SpyEvent::kMalformed);
  }
  EXPECT_TRUE(model.TraceLines().empty());
  EXPECT_TRUE(model.MessageRows().empty());
}

TEST(SpyWire, RectLines_RoundTripAndRejectOthers) {
  const SpyRect rect{-20, 5, 600, 700};
  std::string line = EncodeRectEvent(rect);
  ASSERT_EQ(line.back(), '\n');
  line.pop_back();
  EXPECT_EQ(DecodeRectEvent(line), rect);
  EXPECT_FALSE(DecodeRectEvent("rect 1 2 3").has_value());
  EXPECT_FALSE(DecodeRectEvent("rect 1 2 3 4 5").has_value());
  EXPECT_FALSE(DecodeRectEvent("ready").has_value());
}

}  // namespace
}  // namespace lx2d
