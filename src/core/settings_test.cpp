#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/access_lock.h"
#include "core/testing/scripted_ui.h"
#include "core/store_errors.h"
#include "core/testing/phones.h"
#include "store/cursor.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  QString Stored(const char* key) {
    QString value;
    return FindSetting(session_, key, &value) ? value : QStringLiteral("<none>");
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  ScriptedUi ui_;
  SettingsValues view_;
};

TEST_F(SettingsTest, SavingRefillsEmptyPhonesChecksThemAndWritesEveryKey) {
  UpsertSetting(session_, kKeyAdminPhone, "600100200");
  view_.controllerPhone = "500400300";
  view_.portIndex = 2;
  view_.relayIndex = -1;
  view_.dateText = "31.12.2027";
  ASSERT_TRUE(SaveSettingsView(session_, ui_, view_));
  EXPECT_EQ(view_.adminPhone, "600100200") << "refilled from the table";
  const std::pair<const char*, QString> expected[] = {{kKeyAdminPhone, "600100200"},
                                                      {kKeyControllerPhone, "500400300"},
                                                      {kKeyPort, "3"},
                                                      {kKeySimDate, "31.12.2027"},
                                                      {kKeyRelayTime, "-1"}};
  for (const auto& [key, value] : expected) EXPECT_EQ(Stored(key), value) << key;
  EXPECT_EQ(session_.Dbf2().RowCount(), 5) << "each key once";
  EXPECT_TRUE(ui_.dialogs.empty());
}

// The phones are needed only to save the phones: a refused one is said
// once, and the relay time is stored all the same; boxes left empty with
// nothing stored save without a word.
TEST_F(SettingsTest, ARefusedPhoneIsSaidOnceAndTheRestIsStored) {
  const struct {
    const char *admin, *controller;
    bool saved;
    int notices;
  } cases[] = {{"600100200", "5004", false, 1}, {"", "", true, 0}};
  for (const auto& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open{temp.path()};
    ScriptedUi ui;
    SettingsValues view;
    view.adminPhone = c.admin;
    view.controllerPhone = c.controller;
    view.relayIndex = 3;
    EXPECT_EQ(SaveSettingsView(open.session, ui, view), c.saved) << c.controller;
    EXPECT_EQ(int(ui.dialogs.size()), c.notices) << c.controller;
    if (c.notices) {
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
    }
    QString stored;
    EXPECT_FALSE(FindSetting(open.session, kKeyAdminPhone, &stored)) << c.controller;
    EXPECT_FALSE(FindSetting(open.session, kKeyControllerPhone, &stored)) << c.controller;
    ASSERT_TRUE(FindSetting(open.session, kKeyRelayTime, &stored)) << c.controller;
    EXPECT_EQ(stored, "3");
  }
}

TEST_F(SettingsTest, AMalformedPhoneIsRefusedLikeAShortOneAndATakenOneIsStoredNormalised) {
  struct Case {
    const char *admin, *controller;
    bool saved;
    SettingsFields::Field shown;  // the box the refusal brings the user to
    const char *storedAdmin, *storedController;
  };
  using Field = SettingsFields::Field;
  const Case cases[] = {
      {"600 100-200", "+4850040", true, Field::kAdminPhone, "600100200", "+4850040"},
      {"60010020a", "500400300", false, Field::kAdminPhone, nullptr, nullptr},
      {"600100200", "500\"400", false, Field::kControllerPhone, nullptr, nullptr},
      {"600,100", "500400300", false, Field::kAdminPhone, nullptr, nullptr},
      {"600100200", "500400;1", false, Field::kControllerPhone, nullptr, nullptr},
      {"6+00100200", "500400300", false, Field::kAdminPhone, nullptr, nullptr},
      {"600100200", "5004003001", false, Field::kControllerPhone, nullptr, nullptr},  // ten digits, never cut
      {"", "500400300", false, Field::kAdminPhone, nullptr, nullptr},  // empty, and nothing stored to refill it
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open{temp.path()};
    ScriptedUi ui;
    struct RecordingView : SettingsValues {
      std::vector<Field> shown;
      void ShowField(Field field) override { shown.push_back(field); }
    } view;
    view.adminPhone = QString::fromLatin1(c.admin);
    view.controllerPhone = QString::fromLatin1(c.controller);
    EXPECT_EQ(SaveSettingsView(open.session, ui, view), c.saved) << c.admin << " " << c.controller;
    QString stored;
    if (!c.saved) {
      ASSERT_EQ(ui.dialogs.size(), 1u) << c.admin << " " << c.controller;
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
      EXPECT_EQ(view.shown, std::vector<Field>{c.shown}) << c.admin << " " << c.controller;
      EXPECT_FALSE(FindSetting(open.session, kKeyAdminPhone, &stored)) << "no phone is written";
      EXPECT_EQ(view.adminPhone, c.admin) << "a refused save leaves the boxes as typed";
      continue;
    }
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_EQ(view.adminPhone, c.storedAdmin) << "the view shows what is stored and sent";
    EXPECT_EQ(view.controllerPhone, c.storedController);
    ASSERT_TRUE(FindSetting(open.session, kKeyAdminPhone, &stored));
    EXPECT_EQ(stored, c.storedAdmin);
    ASSERT_TRUE(FindSetting(open.session, kKeyControllerPhone, &stored));
    EXPECT_EQ(stored, c.storedController);
  }
}

TEST_F(SettingsTest, LoadingSelectsOnlyItemsThatExistAndOnlyForANewViewKey) {
  struct Case {
    const char *port, *relay;
    int portIndex, relayIndex;
  };
  const Case cases[] = {{"1", "0", 0, 0},    {"20", "6", 19, 6},  {"21", "7", -1, -1},
                        {"abc", "x", -1, 0}, {"$A", "-1", 9, -1}, {"0", "3", -1, 3}};
  for (const Case& c : cases) {
    UpsertSetting(session_, kKeyPort, c.port);
    UpsertSetting(session_, kKeyRelayTime, c.relay);
    view_.loadedViewKey = -1;
    LoadSettingsView(session_, view_, 1);
    EXPECT_EQ(view_.portIndex, c.portIndex) << c.port;
    EXPECT_EQ(view_.relayIndex, c.relayIndex) << c.relay;
  }
  // Shown again with the same key: nothing is read.
  view_.portIndex = 7;
  LoadSettingsView(session_, view_, 1);
  EXPECT_EQ(view_.portIndex, 7);
  // Missing keys leave their fields alone; a long value is cut to 40 bytes.
  view_.adminPhone = "kept";
  UpsertSetting(session_, kKeySimDate, QString(50, u'9'));
  LoadSettingsView(session_, view_, -1);
  EXPECT_EQ(view_.adminPhone, "kept");
  EXPECT_EQ(view_.dateText, QString(40, u'9'));
}

TEST(SettingsFileTest, ReadsIntegersAsWindowsDoesAndWritesRaptimeBack) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file
    int raptime;
    bool admin;
    const char* after;
  };
  const Case cases[] = {
      {"first start", nullptr, 15, false, "[option]\nraptime=15\n"},
      {"admin 1", "[option]\nadmin=1\n", 15, true, "[option]\nadmin=1\nraptime=15\n"},
      {"admin true is no integer", "[option]\nadmin=true\nraptime=30\n", 30, false,
       "[option]\nadmin=true\nraptime=30\n"},
      {"keys in any case, left as they are", "[OPTION]\nRapTime= 20 \nADMIN=-2\n", 20, true,
       "[OPTION]\nRapTime= 20 \nADMIN=-2\n"},
      {"not a number", "[option]\nraptime=abc\n", 15, false, "[option]\nraptime=15\n"},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    const QString path = QDir(temp.path()).filePath("selvantrix.ini");
    if (c.before) {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(c.before);
    }
    const StartOptions options = ReadSettingsFile(path);
    EXPECT_EQ(options.raptime, c.raptime) << c.name;
    EXPECT_EQ(options.admin, c.admin) << c.name;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << c.name;
    EXPECT_EQ(file.readAll(), QByteArray(c.after)) << c.name;
  }
}

TEST(DigestTest, IsMd5InUpperCaseHexOfTheWindows1250Bytes) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
      {"\xc5\x82", "EC87210973D57B582945CAFC5FD5DD63"},  // "ł" is the byte B3
  };
  for (const auto& [text, digest] : cases) EXPECT_EQ(DigestHex(QString::fromUtf8(text)), digest) << text;
}

TEST_F(SettingsTest, TheLockTakesTheDaysCodeOrTheStoredPin) {
  const QDate first(2026, 3, 7);
  const QString firstCode = DailyServiceCode(first);
  EXPECT_EQ(firstCode, QStringLiteral("0307") + kServiceCodeSuffix);

  EXPECT_FALSE(CheckAccess(session_, ui_, "1234", first));
  EXPECT_EQ(ui_.dialogs.back().text, "Niepoprawny pin");
  EXPECT_EQ(Stored(kKeyPinDigest), DigestHex(firstCode)) << "the first start stores the day's code";
  EXPECT_TRUE(CheckAccess(session_, ui_, firstCode, first));

  const QDate later(2026, 11, 30);
  struct Case {
    QString typed;
    bool accepted;
  };
  const Case cases[] = {{firstCode, true}, {DailyServiceCode(later), true}, {firstCode + " ", false}, {"", false}};
  for (const Case& c : cases)
    EXPECT_EQ(CheckAccess(session_, ui_, c.typed, later), c.accepted) << c.typed.toStdString();

  ChangePin(session_, "");
  EXPECT_TRUE(CheckAccess(session_, ui_, "", later));
  ChangePin(session_, "12 34");
  EXPECT_FALSE(CheckAccess(session_, ui_, "1234", later));
  UpsertSetting(session_, kKeyPinDigest, "  " + DigestHex("12 34") + " ");
  EXPECT_TRUE(CheckAccess(session_, ui_, "12 34", later)) << "blanks around the stored digest";
}

}  // namespace
