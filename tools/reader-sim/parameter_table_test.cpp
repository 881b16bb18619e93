#include "parameter_table.h"

#include <gtest/gtest.h>

#include <sstream>

namespace lx2d::sim {
namespace {

TEST(ParameterRecords, Split_ByParameterByteRange) {
  const std::vector<uint8_t> bytes = {0x42, 0x7F, 0x01,                       // one value byte
                                      0x71, 0x80, 0x80, 0x05,                 // two: -5
                                      0x60, 0xC0, 0x00, 0x03, 'a', 'b', 'c',  // length 3
                                      0x60, 0xC1, 0x00, 0x00};                // empty text
  std::vector<ParameterRecord> records;
  ASSERT_TRUE(SplitRecords(bytes, records));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].value, std::vector<uint8_t>{1});
  EXPECT_EQ(records[1].value, (std::vector<uint8_t>{0x80, 0x05}));
  EXPECT_EQ(records[2].value, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_TRUE(records[3].value.empty());
  std::vector<uint8_t> again;
  for (const ParameterRecord& record : records) AppendRecord(record, again);
  EXPECT_EQ(again, bytes);
}

TEST(ParameterRecords, Split_CutShortRefused) {
  for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{0x42},
                                          {0x42, 0x40},
                                          {0x42, 0x80, 0x01},
                                          {0x60, 0xC0, 0x00},
                                          {0x60, 0xC0, 0x00, 0x02, 'a'}}) {
    std::vector<ParameterRecord> records;
    EXPECT_FALSE(SplitRecords(bad, records)) << bad.size();
  }
}

TEST(ParameterTable, WrittenValuesPrintedAsATable) {
  CParameterTable table;
  ASSERT_TRUE(table.Write(std::vector<uint8_t>{0x72, 0x43, 0x02, 0x71, 0x80, 0x80, 0x05}));
  std::ostringstream out;
  table.PrintWritten(out);
  EXPECT_EQ(out.str(),
            "Parameters written: 2\n"
            "group  param  length  value\n"
            "0x71   0x80        2  80 05  (-5)\n"
            "0x72   0x43        1  02  (2)\n");
}

}  // namespace
}  // namespace lx2d::sim
