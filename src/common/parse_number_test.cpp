#include "common/parse_number.h"

#include <gtest/gtest.h>

#include "common/slot_text.h"

namespace {

struct ParseCase {
  const char16_t* text;
  std::int32_t expected;
};

class ParseNumberTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumberTest, ConvertsLeniently) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(ParseNumber(QStringView(c.text)), c.expected) << QString::fromUtf16(c.text).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseNumberTest,
    ::testing::Values(ParseCase{u"", 0}, ParseCase{u"  12", 12}, ParseCase{u"12 ", 0}, ParseCase{u"+5", 5},
                      ParseCase{u"-7", -7}, ParseCase{u"-0x1F", -31}, ParseCase{u"0X1f", 31}, ParseCase{u"$ff", 255},
                      ParseCase{u"xA", 10}, ParseCase{u"x", 0}, ParseCase{u"$", 0}, ParseCase{u"-", 0},
                      ParseCase{u"0x", 0}, ParseCase{u"007", 7}, ParseCase{u"abc", 0}, ParseCase{u"1 2", 0},
                      ParseCase{u"\t5", 0}, ParseCase{u"+-5", 0}, ParseCase{u"- 5", 0}, ParseCase{u"$fg", 0},
                      ParseCase{u"2147483647", 2147483647}, ParseCase{u"2147483648", 0},
                      ParseCase{u"-2147483648", -2147483647 - 1}, ParseCase{u"-2147483649", 0},
                      ParseCase{u"$7FFFFFFF", 2147483647}, ParseCase{u"$80000000", 0},
                      ParseCase{u"-$80000000", -2147483647 - 1}, ParseCase{u"99999999999999999999999", 0}),
    [](const ::testing::TestParamInfo<ParseCase>& test) { return "case" + std::to_string(test.index); });

TEST(ParseNumber64Test, WidensTheRangeWithTheSameRules) {
  EXPECT_EQ(ParseNumber64(u"2147483648"), 2147483648LL);
  EXPECT_EQ(ParseNumber64(u"  048601234567"), 48601234567LL);
  EXPECT_EQ(ParseNumber64(u"9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseNumber64(u"9223372036854775808"), 0);
  EXPECT_EQ(ParseNumber64(u"-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseNumber64(u"0x7fffffffffffffff"), INT64_MAX);
  EXPECT_EQ(ParseNumber64(u"12a"), 0);
}

TEST(SlotTextTest, PadsToThreeDigits) {
  const std::pair<int, const char*> cases[] = {{0, "000"},   {2, "002"},     {10, "010"},
                                               {999, "999"}, {1000, "1000"}, {1024, "1024"}};
  for (const auto& [slot, text] : cases) EXPECT_EQ(SlotText(slot), QString::fromLatin1(text)) << slot;
}

}  // namespace
