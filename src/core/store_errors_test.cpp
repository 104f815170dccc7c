#include "core/store_errors.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "core/phone_number.h"
#include "core/settings.h"
#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"
#include "store/cursor.h"
#include "store/database.h"

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
    EXPECT_EQ(QString::fromUtf8(e.what()), QString::fromUtf8("Wartość \"600100200\" już jest w tabeli"));
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
    EXPECT_EQ(
        CheckPhoneField(ui, QString::fromLatin1(c.text), kMinPhoneLength, kListPhoneLength, nullptr, [&] { ++shown; }),
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
    const bool taken =
        CheckPhoneField(ui, QString::fromLatin1(c.text), c.minLength, c.maxLength, &number, [&] { ++shown; });
    EXPECT_EQ(taken, c.number != nullptr) << c.text;
    EXPECT_EQ(number, QString::fromLatin1(c.number ? c.number : "untouched")) << c.text;
    EXPECT_EQ(shown, taken ? 0 : 1) << c.text;
    ASSERT_EQ(ui.dialogs.size(), taken ? 0u : 1u) << c.text;
    if (!taken) {
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
    }
  }
}

// The English words of a store or system message that are not names: what
// is quoted or a path is the user's own and may stay.
QStringList EnglishWords(const std::string& message) {
  QString text = QString::fromStdString(message);
  text.remove(QRegularExpression(QStringLiteral("'[^']*'|\\S*/\\S*")));
  QStringList words;
  for (const auto& match : QRegularExpression(QStringLiteral("[A-Za-z]{3,}")).globalMatch(text)) {
    words.append(match.captured());
  }
  return words;
}

// Whether `shown` still holds any of the original's English words.
QString EnglishLeftIn(const QString& shown, const std::string& original) {
  for (const QString& word : EnglishWords(original)) {
    if (shown.contains(
            QRegularExpression(QStringLiteral("\\b%1\\b").arg(word), QRegularExpression::CaseInsensitiveOption))) {
      return word;
    }
  }
  return QString();
}

// How a wording is filled: names and paths kept, a cause worded in Polish
// (or as unknown), captures in the Polish order, a capture holding "%1"
// left alone, and a message the table lacks told without its English.
TEST(StoreMessageTest, TheStoresMessagesArePolishWithTheirNamesAndCauses) {
  const struct {
    const char* english;
    const char* polish;
  } cases[] = {
      {"Invalid unique field value '502345678'", "Wartość \"502345678\" już jest w tabeli"},
      {"Cannot open file /tmp/x/selvantrixx.tdb", "Nie można otworzyć pliku \"/tmp/x/selvantrixx.tdb\""},
      {"Write error on '/d/a b.tdb': No space left on device",
       "Błąd zapisu pliku \"/d/a b.tdb\": brak miejsca na dysku"},
      {"Flush error on '/d/s.tdb': something new", "Błąd zapisu na dysk pliku \"/d/s.tdb\": nieznany błąd systemu"},
      {"row 17 of table 'telefony' points outside the file",
       "Tabela \"telefony\" jest uszkodzona: rekord 17 wskazuje poza plik"},
      {"Field '%1' not found", "Brak pola \"%1\""},
      {"A message the store never had", "Błąd bazy danych"},
  };
  for (const auto& c : cases) {
    const QString shown = StoreMessage(c.english);
    EXPECT_EQ(shown, QString::fromUtf8(c.polish)) << c.english;
    EXPECT_EQ(EnglishLeftIn(shown, c.english), QString()) << c.english;
  }
}

// The store's failures as it really words them, each worded in Polish by a
// line of its own: a message the store changes or adds shows up here.
TEST(StoreMessageTest, EveryFailureTheStoreReallyGivesIsWorded) {
  QTemporaryDir temp;
  const std::string path = (temp.path() + "/s.tdb").toStdString();
  const std::string garbage = (temp.path() + "/garbage.tdb").toStdString();
  {
    QFile file(QString::fromStdString(garbage));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
  }
  ASSERT_TRUE(store::Database::Create(path).ok());
  std::shared_ptr<store::Database> db, other;
  store::OpenOptions exclusive;
  exclusive.exclusive = true;
  store::OpenOptions impatient;
  impatient.lockWaitMs = 1;
  impatient.lockRetryCount = 0;
  ASSERT_TRUE(store::Database::Open(path, exclusive, &db).ok());
  ASSERT_TRUE(db->CreateTable("t", {{"Tel", store::FieldType::kText, 12}}).ok());
  ASSERT_TRUE(db->CreateIndex("t", "TelIndex", store::kIndexUnique, {"Tel"}).ok());
  store::Cursor cursor(db, "t");
  store::Cursor closed(db, "t");
  store::Cursor missing(db, "nope");
  bool found = false;

  std::vector<store::Status> failures = {
      store::Database::Open(path, impatient, &other),
      store::Database::Open(garbage, {}, &other),
      store::Database::Open(path + ".missing", {}, &other),
      store::Database::Create(temp.path().toStdString() + "/brak/katalogu/s.tdb"),
      db->CreateTable("t", {{"Tel", store::FieldType::kText, 12}}),
      db->CreateTable("u", {}),
      db->CreateTable("", {{"Tel", store::FieldType::kText, 12}}),
      db->CreateTable("u", {{"Tel", store::FieldType::kText, 12}, {"TEL", store::FieldType::kText, 12}}),
      db->CreateIndex("t", "TelIndex", store::kIndexUnique, {"Tel"}),
      db->CreateIndex("t", "Other", 0, {"Nope"}),
      missing.Open(),
      closed.Find("Tel", {"1"}, {}, &found),
  };
  ASSERT_TRUE(cursor.Open().ok());
  failures.push_back(cursor.Delete());
  failures.push_back(cursor.SetText("Tel", "1"));
  failures.push_back(cursor.Find("Tel", {}, {}, &found));
  ASSERT_TRUE(cursor.Append().ok());
  failures.push_back(cursor.SetText("Nope", "1"));
  ASSERT_TRUE(cursor.SetText("Tel", "600100200").ok());
  ASSERT_TRUE(cursor.Post().ok());
  failures.push_back(db->CreateIndex("t", "Late", 0, {"Tel"}));
  ASSERT_TRUE(cursor.Append().ok());
  ASSERT_TRUE(cursor.SetText("Tel", "600100200").ok());
  failures.push_back(cursor.Post());

  for (size_t i = 0; i < failures.size(); ++i) {
    const store::Status& failure = failures[i];
    ASSERT_FALSE(failure.ok()) << "failure " << i;
    const QString shown = StoreMessage(failure.message());
    EXPECT_NE(shown, QString::fromUtf8("Błąd bazy danych")) << failure.message() << ": no Polish line for it";
    EXPECT_EQ(EnglishLeftIn(shown, failure.message()), QString()) << failure.message() << " -> " << shown.toStdString();
  }
}

// errno's causes as the C library and Qt word them, and as the store passes
// them on inside its own messages.
TEST(SystemCauseTest, TheCommonCausesArePolish) {
  const struct {
    int code;
    const char* polish;
  } cases[] = {
      {ENOENT, "nie ma takiego pliku ani katalogu"},
      {EACCES, "brak uprawnień"},
      {EPERM, "operacja niedozwolona"},
      {ENOSPC, "brak miejsca na dysku"},
      {EROFS, "system plików tylko do odczytu"},
      {EIO, "błąd wejścia/wyjścia"},
      {EEXIST, "plik już istnieje"},
      {EISDIR, "to jest katalog"},
      {ENOTDIR, "to nie jest katalog"},
      {EBUSY, "urządzenie lub zasób jest zajęty"},
      {EMFILE, "za dużo otwartych plików"},
      {ENAMETOOLONG, "nazwa pliku jest za długa"},
      {EDQUOT, "przekroczono przydział miejsca na dysku"},
      {EFBIG, "plik jest za duży"},
  };
  for (const auto& c : cases) {
    const std::string english = std::strerror(c.code);
    EXPECT_EQ(SystemCause(QString::fromLocal8Bit(english.c_str())), QString::fromUtf8(c.polish)) << english;
    EXPECT_EQ(StoreMessage("Write error on '/d/s.tdb': " + english),
              QString::fromUtf8("Błąd zapisu pliku \"/d/s.tdb\": ") + QString::fromUtf8(c.polish))
        << english;
  }
  EXPECT_EQ(SystemCause(QStringLiteral("Something Qt says")), QString::fromUtf8("nieznany błąd systemu"));

  // What Qt itself says of a file that is not there or is a directory.
  QTemporaryDir temp;
  QFile absent(temp.path() + "/absent.dat");
  QFile directory(temp.path());
  for (QFile* file : {&absent, &directory}) {
    ASSERT_FALSE(file->open(QIODevice::ReadOnly));
    EXPECT_NE(SystemCause(file->errorString()), QString::fromUtf8("nieznany błąd systemu"))
        << file->errorString().toStdString();
  }
}

}  // namespace
