#include "common/windows1250.h"

#include <gtest/gtest.h>

namespace {

TEST(Windows1250Test, PolishLettersMapToTheirSingleBytes) {
  const QString polish = QString::fromUtf8("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
  const QByteArray expected("\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
  EXPECT_EQ(ToWindows1250(polish), expected);
  EXPECT_EQ(FromWindows1250(expected), polish);
}

TEST(Windows1250Test, RoundTripsEveryDefinedByte) {
  // 0x81, 0x83, 0x88, 0x90 and 0x98 are unassigned in the code page.
  for (int b = 1; b < 256; ++b) {
    if (b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) continue;
    const QByteArray one(1, char(b));
    EXPECT_EQ(ToWindows1250(FromWindows1250(one)), one) << b;
  }
}

TEST(Windows1250Test, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(ToWindows1250(QString::fromUtf8("a€b漢c")), QByteArray("a\x80"
                                                                   "b?c"));
  EXPECT_EQ(ToWindows1250(QString::fromUtf8("😀")), QByteArray("?"));
  EXPECT_TRUE(ToWindows1250(QString()).isEmpty());
}

}  // namespace
