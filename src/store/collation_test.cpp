#include "store/collation.h"

#include <gtest/gtest.h>

#include <string>

namespace store {
namespace {

TEST(CollationTest, PolishTertiaryOrderAndPrefixBytes) {
  const auto pl = MakeLocaleCollation("pl_PL");
  auto cmp = [&](const char* a, const char* b, bool ci = false) {
    return pl->Compare(Utf8ToWindows1250(a), Utf8ToWindows1250(b), ci);
  };
  EXPECT_LT(cmp("l", "ł"), 0);
  EXPECT_LT(cmp("lz", "ła"), 0);
  EXPECT_LT(cmp("kowalski", "Kowalski"), 0);
  EXPECT_NE(cmp("a", "A"), 0);
  EXPECT_EQ(cmp("a", "A", true), 0);
  EXPECT_NE(cmp("a", "ą", true), 0);  // ignoring case keeps accents apart
  EXPECT_LT(cmp("Z", "Ź"), 0);
  EXPECT_LT(cmp("Ź", "Ż"), 0);
  EXPECT_EQ(cmp("", ""), 0);
  EXPECT_LT(cmp("", "a"), 0);
}

TEST(CollationTest, CodePageRoundTrip) {
  const std::string polish = "Zażółć gęślą jaźń ŻÓŁĆ";
  EXPECT_EQ(Windows1250ToUtf8(Utf8ToWindows1250(polish)), polish);
  EXPECT_EQ(Utf8ToWindows1250("ł").size(), 1u);
  EXPECT_EQ(Utf8ToWindows1250("漢"), "?");
}

}  // namespace
}  // namespace store
