// What the window tells: its outcome line, the PIN change, a search, the
// saved log and the report.

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "core/access_lock.h"
#include "widgets/controls.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/testing/phones.h"
#include "widgets/testing/modal.h"
#include "app/testing/window_test.h"
#include "phonelist/list_view.h"
#include "app/main_window.h"
#include "app/progress_panel.h"
#include "controller/report_view.h"
#include "core/settings.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

QString PinDigest(Session& session) {
  QString digest;
  FindSetting(session, kKeyPinDigest, &digest);
  return digest;
}

TEST_F(MainWindowTest, OutcomesShowOnTheLineUnderTheViewsUntilTheNextOperation) {
  QLabel* line = window_->outcomeLine();
  EXPECT_FALSE(line->isVisible()) << "nothing to tell yet";
  window_->ShowOutcome(QString::fromUtf8("Zapisano w sterowniku 3 numery"));
  EXPECT_TRUE(line->isVisible());
  EXPECT_EQ(line->text(), QString::fromUtf8("Zapisano w sterowniku 3 numery"));
  // Under every view, in the window's free strip below the panels.
  for (const char* panel : kPanels) EXPECT_GT(line->y(), W(panel)->geometry().bottom()) << panel;
  EXPECT_LE(line->geometry().bottom(), window_->height());
  EXPECT_TRUE(QApplication::activeModalWidget() == nullptr);
  window_->ShowProgress();
  EXPECT_FALSE(line->isVisible()) << "an old outcome is not left standing beside a new operation";
  window_->HideProgress();
}

TEST_F(MainWindowTest, PinChangeSaysSoAndALeftDialogChangesNothing) {
  const QString before = PinDigest(*session_);
  window_->askNewPin = [] { return std::optional<QString>(); };
  Click(W("Label46"));
  EXPECT_EQ(PinDigest(*session_), before);
  EXPECT_TRUE(window_->outcomeLine()->text().isEmpty());

  window_->askNewPin = [] { return std::optional<QString>(QStringLiteral("2468")); };
  Click(W("Label46"));
  EXPECT_EQ(PinDigest(*session_), DigestHex("2468"));
  EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8("Zmieniono PIN dostępu"));
}

TEST_F(MainWindowTest, ASearchWithoutAMatchSaysSo) {
  AddPhone(*session_, "Jan", "Kowalski", "600100200");
  Click(W("but_szukaj"));
  struct SearchCase {
    const char* box;
    const char* typed;
    bool found;
  };
  const SearchCase cases[] = {{"DBEdit2_", "Now", false}, {"DBEdit2_", "Kow", true}, {"DBEdit3_", "5", false}};
  for (const SearchCase& c : cases) {
    window_->ShowOutcome(QString());
    for (const char* box : {"DBEdit1_", "DBEdit2_", "DBEdit3_"}) Find<QLineEdit>(window_.get(), box)->clear();
    QTest::keyClicks(Find<QLineEdit>(window_.get(), c.box), c.typed);
    QTest::keyClick(Find<QLineEdit>(window_.get(), c.box), Qt::Key_Return);
    EXPECT_EQ(window_->outcomeLine()->text(),
              c.found ? QString() : QString::fromUtf8("Nie znaleziono telefonu pasującego do wyszukiwania"))
        << c.typed;
  }
}

TEST_F(MainWindowTest, SavingTheLogTellsWhereTheFileWent) {
  Click(W("Label2"));
  window_->link().onLog(QStringLiteral("AT+CPBR=2"));
  Click(W("zapisz_dopliku"));
  const QString path = QDir::toNativeSeparators(session_->FilePath(kDeviceLogFileName));
  EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8("Zapisano logi urządzenia w pliku %1").arg(path));
  EXPECT_TRUE(QFileInfo(path).size() > 0);

  // A directory where the file should be: the save fails and says so.
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QDir().mkpath(path));
  window_->ShowOutcome(QString());
  QString error;
  WhenModalOpens([&](QWidget* modal) {
    for (QLabel* label : modal->findChildren<QLabel*>()) {
      if (label->text().contains(path)) error = label->text();
    }
    modal->close();
  });
  Click(W("zapisz_dopliku"));
  EXPECT_EQ(error, QString::fromUtf8("Nie można zapisać logów urządzenia w pliku %1").arg(path));
  EXPECT_TRUE(window_->outcomeLine()->text().isEmpty());
}

TEST_F(MainWindowTest, TheReportShowsNewestFirstInTheWholeWidth) {
  const char* const events[][2] = {{"600100200", "26/12/01 07:45"},
                                   {"501222333", "26/12/24 08:02"},
                                   {"602444555", "25/06/30 17:30"},
                                   {"603000111", "26/12/24 08:02"}};
  for (const auto& event : events) {
    EXPECT_TRUE(session_->Dbf3().Append().ok());
    EXPECT_TRUE(session_->Dbf3().SetText("Tel", event[0]).ok());
    EXPECT_TRUE(session_->Dbf3().SetText("Data", event[1]).ok());
    EXPECT_TRUE(session_->Dbf3().Post().ok());
  }
  Click(W("Label3"));
  auto* grid = Find<QTableView>(window_.get(), "RxDBGrid2");
  QAbstractItemModel* model = grid->model();
  ASSERT_EQ(model->rowCount(), 4);
  std::vector<std::string> shown;
  for (int row = 0; row < 4; ++row) {
    shown.push_back(model->index(row, 0).data().toString().toStdString());
    EXPECT_EQ(model->index(row, 0).data(Qt::UserRole + 1).toInt(), row + 1) << "shading follows the shown order";
  }
  // Equal times: the later record first.
  EXPECT_EQ(shown, (std::vector<std::string>{"603000111", "501222333", "600100200", "602444555"}));
  EXPECT_EQ(model->index(0, 1).data().toString(), "26/12/24 08:02") << "the stored text stays as it is";
  EXPECT_GT(grid->width(), W("panel_raporty_g")->width() * 9 / 10);
  EXPECT_GE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width() - 1);
}

TEST(ReportDateTextTest, ReadsAsAPolishReaderReadsADate) {
  const std::pair<const char*, const char*> cases[] = {
      {"26/12/24 07:45", "24.12.2026 07:45"},
      {"00/01/01 00:00", "01.01.2000 00:00"},
      {"99/12/31 23:59", "31.12.2099 23:59"},
      {"", ""},
      {"26/12/24", "26/12/24"},
      {"26-12-24 07:45", "26-12-24 07:45"},
      {"26/12/24 07:45 ", "26/12/24 07:45 "},
      {"2026/12/24 07:45", "2026/12/24 07:45"},
  };
  for (const auto& [stored, shown] : cases) EXPECT_EQ(ReportDateText(stored), QString::fromLatin1(shown)) << stored;
}

}  // namespace
