#include "app/import_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/testing/window_test.h"
#include "core/testing/phones.h"
#include "widgets/testing/modal.h"

namespace {

const char kFile[] =
    "Imi\xC4\x99;Nazwisko;Telefon\r\n"
    "Jan;Kowalski;600100200\r\n"      // on the list
    "Ewa;Lis;501111222\r\n"            // new
    "Ola;Kot;5.01111E+08\r\n"          // a spreadsheet's number
    "\r\n"
    "Ala;XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX;501111223\r\n";  // a surname cut

enum Colour { kNone, kGreen, kYellow, kRed };

Colour ColourOf(const QTableWidgetItem* item) {
  const QColor c = item->background().color();
  if (item->background().style() == Qt::NoBrush) return kNone;
  if (c.green() > c.red() + 10) return kGreen;
  if (c.red() > c.blue() + 40 && c.green() > c.blue() + 40) return kYellow;
  return c.red() > c.green() ? kRed : kNone;
}

std::vector<Colour> Colours(QTableWidget* table) {
  std::vector<Colour> out;
  for (int r = 0; r < table->rowCount(); ++r) out.push_back(ColourOf(table->item(r, 1)));
  return out;
}

// Each choice in the dialog judges the lines again; none of them, nor the
// dialog itself, changes the list.
TEST_F(MainWindowTest, TheImportDialogJudgesEveryLineAndChangesNothing) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  const std::vector<std::string> before = Rows(*session_);
  ImportDialog dialog(*session_, kFile, QStringLiteral("lista.csv"), window_.get());
  auto* table = Find<QTableWidget>(&dialog, "linesTable");
  auto* button = Find<QPushButton>(&dialog, "importButton");
  struct Step {
    const char* name;
    std::function<void()> act;
    std::vector<Colour> colours;
    const char* button;
    const char* counts;
  };
  const Step steps[] = {
      {"as read", [] {}, {kNone, kYellow, kGreen, kRed, kNone, kYellow}, "IMPORTUJ 2 NUMERY",
       "do importu: 2 (w tym ze skróconym imieniem lub nazwiskiem: 1); już na liście: 1; liczby z arkusza: 1; "
       "puste wiersze: 1"},
      {"the list cleared first", [&] { Find<QCheckBox>(&dialog, "clearFirst")->setChecked(true); },
       {kNone, kGreen, kGreen, kRed, kNone, kYellow}, "IMPORTUJ 3 NUMERY",
       "do importu: 3 (w tym ze skróconym imieniem lub nazwiskiem: 1); liczby z arkusza: 1; puste wiersze: 1"},
      {"the surname column taken for the phone",
       [&] { Find<QComboBox>(&dialog, "phoneColumn")->setCurrentIndex(2); },
       {kNone, kRed, kRed, kRed, kNone, kRed}, "IMPORTUJ 0 NUMERÓW",
       "do importu: 0; niepoprawne numery: 4; puste wiersze: 1"},
      {"read with ',' instead: one column, no header", [&] { Find<QComboBox>(&dialog, "separatorBox")->setCurrentIndex(1); },
       {kRed, kRed, kRed, kRed, kNone, kRed}, "IMPORTUJ 0 NUMERÓW",
       "do importu: 0; niepoprawne numery: 5; puste wiersze: 1"},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(Colours(table), s.colours) << s.name;
    EXPECT_EQ(button->text(), QString::fromUtf8(s.button)) << s.name;
    EXPECT_EQ(button->isEnabled(), s.button != std::string("IMPORTUJ 0 NUMERÓW")) << s.name;
    EXPECT_EQ(Find<QLabel>(&dialog, "countsLabel")->text(), QString::fromUtf8(s.counts)) << s.name;
    EXPECT_EQ(Rows(*session_), before) << s.name;
  }
}

// From the menu: the file, the dialog, and the list changed only by its
// button; ANULUJ leaves it as it was and says so.
TEST_F(MainWindowTest, TheMenuImportTakesWhatTheDialogShows) {
  const QString path = QDir(temp_.path()).filePath("lista.csv");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(kFile);
  file.close();
  window_->chooseListFile = [&](bool) { return path; };
  struct Case {
    bool clear;
    const char* button;
    std::vector<std::string> rows;
    const char* outcome;
  };
  const std::string cut = "5 Ala " + std::string(40, 'X') + " 501111223 0";
  const Case cases[] = {
      {true, "cancelButton", {"2 Jan Kowalski 600100200 0"}, "Przerwano import. Lista pozostaje bez zmian."},
      {false, "importButton", {"2 Jan Kowalski 600100200 0", "3 Ewa Lis 501111222 0", "4 Ala " + std::string(40, 'X') + " 501111223 0"},
       "Zaimportowano 2 numery, pominięto 1 wiersz z numerem już na liście i 1 wiersz z numerem zapisanym przez arkusz"},
      {true, "importButton", {"2 Jan Kowalski 600100200 0", "3 Ewa Lis 501111222 0", "4 Ala " + std::string(40, 'X') + " 501111223 0"},
       "Zaimportowano 3 numery, pominięto 1 wiersz z numerem zapisanym przez arkusz"},
  };
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  for (const Case& c : cases) {
    QString shown;
    WhenModalOpens([&](QWidget* modal) {
      ASSERT_EQ(modal->objectName(), "ImportDialog");
      Find<QCheckBox>(modal, "clearFirst")->setChecked(c.clear);
      Click(Find(modal, c.button));
      if (std::string(c.button) != "importButton") return;
      // The notice with what was left out, after the dialog.
      WhenModalOpens([&](QWidget* notice) {
        auto* label = notice->findChild<QLabel*>(QStringLiteral("Label1"));
        shown = label ? label->text() : notice->objectName();
        notice->close();
      });
    });
    Click(Find(window_.get(), "imp_list"));
    EXPECT_EQ(Rows(*session_), c.rows) << c.button;
    const QString told = shown.isEmpty() ? window_->outcomeLine()->text() : shown;
    EXPECT_TRUE(told.startsWith(QString::fromUtf8(c.outcome))) << told.toStdString();
  }
}

}  // namespace
