#include "core/phone_number.h"

#include <gtest/gtest.h>

namespace {

TEST(PhoneNumberTest, KeepsDigitsAndALeadingPlusDropsBlanksAndDashesAndRefusesTheRest) {
  struct Case {
    const char* typed;  // UTF-8
    int maxLength;
    const char* number;  // nullptr: refused
  };
  const Case cases[] = {
      {"600100200", kListPhoneLength, "600100200"},
      {"+48600100200", kListPhoneLength, "+48600100200"},
      {"+48 600-100-200", kListPhoneLength, "+48600100200"},
      {" 600 100 200 ", kSettingsPhoneLength, "600100200"},
      {"600\t100\t200", kSettingsPhoneLength, "600100200"},
      {"600\xc2\xa0"
       "100\xe2\x80\x93"
       "200",
       kSettingsPhoneLength, "600100200"},        // no-break space, en dash
      {"- +48 600", kListPhoneLength, "+48600"},  // the "+" leads once the separators are gone
      {"7", kListPhoneLength, "7"},
      {"123456789012", kListPhoneLength, "123456789012"},
      {"600 100 200 300 400", kAnyPhoneLength, "600100200300400"},
      // Anything that could end the field or the command.
      {"60010020a", kListPhoneLength, nullptr},
      {"600\"100", kListPhoneLength, nullptr},
      {"600,100", kListPhoneLength, nullptr},
      {"600;100", kListPhoneLength, nullptr},
      {"600\r\nAT+CPBW=001", kAnyPhoneLength, nullptr},
      {"6+00", kListPhoneLength, nullptr},
      {"++48600", kListPhoneLength, nullptr},
      {"600.100", kListPhoneLength, nullptr},
      {"(22) 600", kListPhoneLength, nullptr},
      {"\xd9\xa6\xd9\xa0\xd9\xa0", kListPhoneLength, nullptr},  // Arabic-Indic digits are no ASCII digits
      // Too long for its place: refused, never cut.
      {"1234567890123", kListPhoneLength, nullptr},
      {"+48 600 100 2001", kListPhoneLength, nullptr},
      {"6001002001", kSettingsPhoneLength, nullptr},
      {"600 100 200", kSettingsPhoneLength, "600100200"},
      // Nothing that is a number.
      {"", kListPhoneLength, nullptr},
      {"  - ", kListPhoneLength, nullptr},
      {"+", kListPhoneLength, nullptr},
  };
  for (const Case& c : cases) {
    QString number = QStringLiteral("untouched");
    const bool taken = NormalisePhoneNumber(QString::fromUtf8(c.typed), c.maxLength, &number);
    EXPECT_EQ(taken, c.number != nullptr) << c.typed;
    EXPECT_EQ(number, c.number ? QString::fromUtf8(c.number) : QStringLiteral("untouched")) << c.typed;
    EXPECT_EQ(NormalisePhoneNumber(QString::fromUtf8(c.typed), c.maxLength, nullptr), taken) << c.typed;
  }
}

}  // namespace
