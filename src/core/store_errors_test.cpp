#include "core/store_errors.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/phone_number.h"
#include "core/settings.h"
#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"
#include "store/cursor.h"

namespace {

class PostRowTest : public ::testing::Test {
 protected:
  // Starts a new list row holding `tel`.
  void StartRow(const std::string& tel) {
    store::Cursor& list = session_.Dbf1();
    ASSERT_TRUE(list.Append().ok());
    ASSERT_TRUE(list.SetText("Tel", tel).ok());
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
};

TEST_F(PostRowTest, OnlyARefusedValueIsDroppedAndEveryFailureCancelsTheRow) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  store::Cursor& list = session_.Dbf1();

  StartRow("500400300");
  EXPECT_TRUE(PostRow(list));
  EXPECT_EQ(list.RowCount(), 2);

  // A number already listed: dropped quietly, or thrown as a refusal.
  StartRow("600100200");
  EXPECT_FALSE(PostRow(list, Refusal::kDrop));
  EXPECT_EQ(list.state(), store::Cursor::State::kBrowse) << "the refused row is cancelled";
  StartRow("600100200");
  try {
    PostRow(list, Refusal::kThrow);
    ADD_FAILURE() << "a refusal asked to be thrown was dropped";
  } catch (const StoreError& e) {
    EXPECT_TRUE(e.refusal());
    EXPECT_EQ(std::string(e.what()), "Invalid unique field value '600100200'");
  }
  EXPECT_EQ(list.state(), store::Cursor::State::kBrowse);

  EXPECT_EQ(Rows(session_).size(), 2u);
}

// A closed table is a fault of the caller, never a refused value: a setting
// the controller sent must not vanish because of it.
TEST_F(PostRowTest, AMisuseIsThrownEvenWhereRefusalsAreDropped) {
  session_.Dbf2().Close();
  try {
    UpsertSetting(session_, kKeyAdminPhone, "600100200", Refusal::kDrop);
    ADD_FAILURE() << "a write into a closed table was dropped as if it were a refused value";
  } catch (const StoreError& e) {
    EXPECT_FALSE(e.refusal()) << e.what();
  }
}

TEST(CheckPhoneFieldTest, FewerThanFiveCharactersAreRefusedAndTheUserIsTakenToTheBox) {
  const struct {
    const char* text;
    bool accepted;
  } cases[] = {{"", false}, {"1234", false}, {"+4812", true}, {"12345", true}, {"abcde", false}};
  for (const auto& c : cases) {
    ScriptedUi ui;
    int shown = 0;
    EXPECT_EQ(CheckPhoneField(ui, QString::fromLatin1(c.text), kMinPhoneLength, kListPhoneLength, nullptr,
                              [&] { ++shown; }),
              c.accepted)
        << c.text;
    EXPECT_EQ(shown, c.accepted ? 0 : 1) << c.text;
    EXPECT_EQ(ui.dialogs.size(), c.accepted ? 0u : 1u) << c.text;
    if (!c.accepted) {
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
    }
  }
}

// The length floor counts the number, not what was typed around it; the
// ceiling is the caller's field, and nothing is cut to meet it.
TEST(CheckPhoneFieldTest, AMalformedNumberIsRefusedAndATakenOneComesBackNormalised) {
  const struct {
    const char* text;
    int minLength, maxLength;
    const char* number;  // nullptr: refused
  } cases[] = {
      {"+48 600-100-200", kMinPhoneLength, kListPhoneLength, "+48600100200"},
      {"600 100 200", kMinPhoneLength, kSettingsPhoneLength, "600100200"},
      {"1 2 3 4", kMinPhoneLength, kListPhoneLength, nullptr},
      {"7", 0, kListPhoneLength, "7"},
      {"600100\"200", 0, kListPhoneLength, nullptr},
      {"600100200,1", kMinPhoneLength, kListPhoneLength, nullptr},
      {"600100200;", kMinPhoneLength, kListPhoneLength, nullptr},
      {"60010020a", 0, kListPhoneLength, nullptr},
      {"6001002001", kMinPhoneLength, kSettingsPhoneLength, nullptr},
      {"1234567890123", kMinPhoneLength, kListPhoneLength, nullptr},
  };
  for (const auto& c : cases) {
    ScriptedUi ui;
    int shown = 0;
    QString number = QStringLiteral("untouched");
    const bool taken = CheckPhoneField(ui, QString::fromLatin1(c.text), c.minLength, c.maxLength, &number,
                                       [&] { ++shown; });
    EXPECT_EQ(taken, c.number != nullptr) << c.text;
    EXPECT_EQ(number, QString::fromLatin1(c.number ? c.number : "untouched")) << c.text;
    EXPECT_EQ(shown, taken ? 0 : 1) << c.text;
    ASSERT_EQ(ui.dialogs.size(), taken ? 0u : 1u) << c.text;
    if (!taken) {
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
    }
  }
}

}  // namespace
