#include "sim_options.h"

#include <gtest/gtest.h>

namespace lx2d::sim {
namespace {

TEST(SimOptions, Defaults_TheReaderOfTheUtility) {
  SimOptions options;
  bool help = true;
  std::string error;
  ASSERT_TRUE(ParseSimOptions({}, options, help, error));
  EXPECT_FALSE(help);
  EXPECT_EQ(options.vendorId, 0x0D2A);
  EXPECT_EQ(options.productId, 0x0801);
  EXPECT_EQ(options.collection, 2);
  EXPECT_EQ(options.reportLength, 64);
  EXPECT_EQ(options.productString, "2D Barcode Reader");
  EXPECT_FALSE(options.serial.empty());
  EXPECT_FALSE(options.serialPort);
}

TEST(SimOptions, ValuesInDecimalOrHex_FaultsSet) {
  SimOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ParseSimOptions({"--product", "0x0809", "--collection", "0", "--report-length", "32",
                               "--busy", "2", "--split", "10", "--duplicate-replies",
                               "--reply-delay", "250", "--serial-number", "?", "--serial",
                               "--ignore-sync"},
                              options, help, error))
      << error;
  EXPECT_EQ(options.productId, 0x0809);
  EXPECT_EQ(options.collection, 0);
  EXPECT_EQ(options.reportLength, 32);
  EXPECT_EQ(options.faults.busy, 2);
  EXPECT_EQ(options.faults.replyFrameBytes, 10u);
  EXPECT_TRUE(options.faults.duplicateReplies);
  EXPECT_EQ(options.faults.replyDelayMs, 250u);
  EXPECT_EQ(options.serial, "?");
  EXPECT_TRUE(options.serialPort);
  EXPECT_TRUE(options.faults.ignoreSync);
}

TEST(SimOptions, BadArguments_Refused) {
  const std::vector<std::vector<std::string>> kBad = {
      {"--bogus", "1"},         {"--product"},
      {"--product", "0x10000"}, {"--report-length", "65"},
      {"--report-length", "2"}, {"--busy", "-1"},
      {"--vendor", "0x"},       {"stray"},
      {"--serial", "SN1"},  // the serial number is --serial-number
  };
  for (const auto& args : kBad) {
    SimOptions options;
    bool help = false;
    std::string error;
    EXPECT_FALSE(ParseSimOptions(args, options, help, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(SimOptions, AnswerAfter_TakesMilliseconds) {
  SimOptions options;
  bool help = false;
  std::string error;
  ASSERT_TRUE(ParseSimOptions({"--answer-after", "1500"}, options, help, error)) << error;
  EXPECT_EQ(options.faults.answerAfterMs, 1500u);
  EXPECT_FALSE(ParseSimOptions({"--answer-after", "-1"}, options, help, error));
}

}  // namespace
}  // namespace lx2d::sim
