#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <set>

#include "outcome/outcome_text.h"
#include "app/progress_panel.h"
#include "app/testing/controller_window.h"
#include "core/sites.h"
#include "common/polish_plural.h"
#include "common/slot_text.h"
#include "controller/backup.h"
#include "phonelist/list_model.h"
#include "phonelist/list_view.h"
#include "serial/list_transfer.h"
#include "serial/testing/sim_session.h"
#include "store/cursor.h"
#include "sim/simulator.h"

namespace {

TEST_F(WindowControllerTest, MarkedRowsGoToTheControllerFromTheListMenu) {
  for (const char* tel : {"600100200", "501222333"}) AddPhone(*session_, "", "", tel);
  window_->listModel()->Changed();
  auto* grid = Find<QTableView>(window_.get(), "RxDBGrid1");
  for (int row = 0; row < 2; ++row) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, PhoneListModel::kCheckColumn)).center());
  }
  ASSERT_EQ(window_->listView()->marks().Count(), 2);
  Click(W("Shape9"));
  EXPECT_EQ(window_->listView()->marks().Count(), 0) << "every row was marked: the square unmarks them";
  Click(W("Shape9"));  // mark every row
  EXPECT_EQ(window_->listView()->marks().Count(), 2);
  window_->Image25Click();
  Click(W("zap_do_sterownika"));
  // The outcome is on the line under the views; no box to dismiss.
  EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8("Zapisano w sterowniku 2 numery"));
  EXPECT_TRUE(window_->outcomeLine()->isVisible());
  EXPECT_EQ(sim_.Received(), (std::vector<std::string>{"AT+CPBW=002,\"600100200\",145,\"600100200\"",
                                                       "AT+CPBW=003,\"501222333\",145,\"501222333\"",
                                                       "AT+CPBW=004,\"999999999\",145,\"999999999\""}));
  EXPECT_FALSE(W("MenuLista")->isVisible());
  EXPECT_FALSE(window_->progressPanel()->isVisible());
  EXPECT_EQ(window_->listView()->marks().Count(), 0) << "the write used the marks up";
}

// "USUŃ ZE STEROWNIKA PRZEZ COM" asks first, "NIE" ringed: NIE sends
// nothing and keeps the marks, TAK deletes.
TEST_F(WindowControllerTest, DeletingFromTheControllerAsksFirst) {
  AddPhone(*session_, "", "", "600100200");
  window_->listModel()->Changed();
  const QString question = QString::fromUtf8(kDeleteFromControllerQuestion);
  for (const bool yes : {false, true}) {
    sim_.ClearReceived();
    window_->listView()->marks().Append("600100200");
    ModalAnswerer answers(yes ? QStringList{question} : QStringList{});
    window_->Image25Click();
    Click(W("usun_ze_sterownika"));
    ASSERT_FALSE(answers.shown.empty());
    EXPECT_EQ(answers.shown.front(), question);
    EXPECT_EQ(sim_.Received().empty(), !yes);
    EXPECT_EQ(window_->listView()->marks().Count(), yes ? 0 : 1);
    if (!yes) {
      EXPECT_EQ(window_->outcomeLine()->text().toStdString(), kDeclinedSummary) << "the outcome line says so";
    }
  }
}

// The colours follow what the controller confirmed: a write marks its rows
// blue, a format turns every row red, a confirmed delete takes the row away.
TEST_F(WindowControllerTest, ColoursFollowWhatTheControllerConfirmed) {
  for (const char* tel : {"600100200", "501222333"}) AddPhone(*session_, "", "", tel);
  window_->listModel()->Changed();
  auto blue = [&] {
    std::vector<bool> rows;
    PhoneListModel* model = window_->listModel();
    for (int row = 0; row < model->rowCount(); ++row) {
      rows.push_back(model->data(model->index(row, PhoneListModel::kTelColumn), PhoneListModel::kConfirmedRole).toBool());
    }
    return rows;
  };
  ModalAnswerer answers({QString::fromUtf8(kFormatQuestion), QString::fromUtf8(kDeleteFromControllerQuestion)});
  const struct {
    const char* menu;
    const char* entry;
    QStringList marks;
    std::vector<bool> blue;
  } steps[] = {
      {"Image25", "zap_do_sterownika", {"501222333"}, {false, true}},
      {"Image25", "zap_do_sterownika", {"600100200", "501222333"}, {true, true}},
      {"zap_menu_konfig", "formatuj_mem", {}, {false, false}},
      {"Image25", "zap_do_sterownika", {"600100200", "501222333"}, {true, true}},
      {"Image25", "usun_ze_sterownika", {"600100200"}, {true}},
  };
  EXPECT_EQ(blue(), (std::vector<bool>{false, false})) << "new rows are red";
  for (const auto& step : steps) {
    for (const QString& tel : step.marks) window_->listView()->marks().Append(tel.toStdString());
    Click(W(step.menu));
    Click(W(step.entry));
    EXPECT_EQ(blue(), step.blue) << step.entry << " " << step.marks.join(' ').toStdString();
  }
}

TEST_F(WindowControllerTest, TheConfigurationReadFillsTheViewAndTheFetchFillsTheReport) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(1, "600100200", "600100200");
    sim_.controller().SetSlot(1002, "698765432", "");
    sim_.controller().SetRelayCode(5);
    sim_.controller().AddEvent("501222333", "2612011530");
  }
  window_->zap_menu_konfigClick();
  Click(W("odczyt_konfig_com"));
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "teladmin")->text(), "600100200");
  EXPECT_EQ(Find<QLineEdit>(window_.get(), "telster")->text(), "698765432")
      << Find<QPlainTextEdit>(window_.get(), "Log")->toPlainText().toStdString();
  EXPECT_EQ(Find<QComboBox>(window_.get(), "listczas")->currentText(), "1.8 sek");
  EXPECT_EQ(Find<QComboBox>(window_.get(), "listcom")->currentText(), "COM4");

  Click(W("Label3"));
  Find<QLineEdit>(window_.get(), "edilpob")->setText("1");
  Click(W("pobierz_wpisy"));
  auto* report = Find<QTableView>(window_.get(), "RxDBGrid2");
  ASSERT_EQ(report->model()->rowCount(), 1);
  EXPECT_EQ(report->model()->index(0, 0).data().toString(), "501222333");
  EXPECT_EQ(report->model()->index(0, 1).data().toString(), "26/12/01 15:30");
  // The log pane shows the conversation.
  EXPECT_TRUE(Find<QPlainTextEdit>(window_.get(), "Log")->toPlainText().contains("AT+CPBM=1"));
}

TEST_F(WindowControllerTest, ReadingTheConfigurationReplacesTheUnsavedEdits) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(1, "600100200", "600100200");
  }
  window_->zap_menu_konfigClick();
  auto* admin = Find<QLineEdit>(window_.get(), "teladmin");
  QTest::keyClicks(admin, "5");
  ASSERT_TRUE(W("zap_konf")->isVisible());
  ASSERT_TRUE(session_->UnsavedChanges);
  Click(W("odczyt_konfig_com"));
  EXPECT_EQ(admin->text(), "600100200");
  EXPECT_FALSE(W("zap_konf")->isVisible()) << "the edits were replaced by what the controller holds";
  EXPECT_FALSE(session_->UnsavedChanges);
}

// What a backup covers, as the simulator holds it: the numbers, the
// controller's phone and the relay.
struct Held {
  std::vector<std::string> numbers;  // slots 001..008
  std::string controllerPhone;
  int relay = 0;
  bool operator==(const Held&) const = default;
};

void PrintTo(const Held& held, std::ostream* out) {
  for (const std::string& number : held.numbers) *out << number << ' ';
  *out << "controller " << held.controllerPhone << " relay " << held.relay;
}

Held HeldBy(sim::Simulator& sim) {
  std::lock_guard<std::mutex> lock(sim.mutex());
  Held held;
  for (int slot = 1; slot <= 8; ++slot) held.numbers.push_back(sim.controller().Number(slot));
  held.controllerPhone = sim.controller().Number(1002);
  held.relay = sim.controller().RelayCode();
  return held;
}

// A backup taken from the configuration menu, the controller formatted and
// its settings changed, and a restore from the same menu: the controller
// holds again what it held.
TEST_F(WindowControllerTest, ABackupFormattedAwayComesBackWithARestore) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(1, "600100200", "");
    sim_.controller().SetSlot(2, "501222333", "");
    sim_.controller().SetSlot(3, "+48698765432", "");
    sim_.controller().SetSlot(4, "0601", "");
    // Past the end of the list as a format leaves it.
    for (int slot = 5; slot <= 8; ++slot) sim_.controller().SetSlot(slot, sim::Controller::kCleared, "");
    sim_.controller().SetSlot(1002, "698000111", "");
    sim_.controller().SetRelayCode(8);
  }
  const Held before = HeldBy(sim_);
  const QString path = QDir(temp_.path()).filePath("kopia.txt");
  window_->chooseBackupFile = [&](bool) { return path; };
  window_->zap_menu_konfigClick();
  Click(W("kopia_sterownika"));
  EXPECT_EQ(window_->outcomeLine()->text(),
            QString::fromUtf8("Zapisano kopię sterownika w pliku \"%1\": 3 numery, 3 ustawienia").arg(path));
  EXPECT_TRUE(QFile::exists(path));
  EXPECT_EQ(ReadSiteFacts(temp_.path()).lastBackupFile, path) << "the fleet view's last backup";
  for (const std::string& line : sim_.Received()) EXPECT_EQ(line.rfind("AT+CPBR=", 0), 0u) << "only reads: " << line;
  EXPECT_FALSE(W("menukonfig")->isVisible());

  {
    ModalAnswerer answers({QString::fromUtf8(kFormatQuestion)});
    window_->zap_menu_konfigClick();
    Click(W("formatuj_mem"));
  }
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(1, "511000111", "");
    sim_.controller().SetSlot(1002, "511000222", "");
    sim_.controller().SetRelayCode(3);
  }
  ASSERT_NE(HeldBy(sim_), before);

  // One number of the backup on the list, one the restore leaves out.
  AddPhone(*session_, "", "", "501222333");
  AddPhone(*session_, "", "", "511000111");
  sim_.ClearReceived();
  ModalAnswerer answers({QString::fromUtf8(kRestoreQuestion)});
  window_->zap_menu_konfigClick();
  Click(W("przywroc_z_kopii"));
  EXPECT_EQ(answers.shown, std::vector<QString>{QString::fromUtf8(kRestoreQuestion)});
  EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8("Odtworzono w sterowniku 3 numery i 3 ustawienia"));
  EXPECT_EQ(HeldBy(sim_), before);
  EXPECT_EQ(Rows(*session_), (std::vector<std::string>{"2   501222333 1", "3   511000111 0"})) << "the colours";
  EXPECT_FALSE(window_->link().comm().Dtr());
  EXPECT_FALSE(window_->progressPanel()->isVisible());
}

// A restore that ends at its file or its question, and a backup or restore
// whose file dialog was left, send nothing; each says why or leaves the
// outcome line as it was.
TEST_F(WindowControllerTest, ARestoreOrBackupStoppedBeforeTheControllerSendsNothing) {
  const QString good = QDir(temp_.path()).filePath("kopia.txt");
  WriteFile(good, "# Selvantrix backup\n002|600100200\nczasryg=3\n# end 1 numbers 1 settings\n");
  const QString bad = QDir(temp_.path()).filePath("zla.txt");
  WriteFile(bad, "# Selvantrix backup\n002|600100200\n003|600;1\n# end 2 numbers 0 settings\n");
  const QString earlier = QStringLiteral("Zapisano w sterowniku 2 numery");
  const struct {
    const char* name;
    const char* entry;
    QString file;  // what the file dialog gives
    std::vector<QString> shown;
    QString outcome;
  } cases[] = {
      {"restore answered NIE",
       "przywroc_z_kopii",
       good,
       {QString::fromUtf8(kRestoreQuestion)},
       QString::fromUtf8("Nie odtworzono kopii w sterowniku")},
      {"restore of a file that is no backup",
       "przywroc_z_kopii",
       bad,
       {QString::fromUtf8("Plik \"%1\" nie jest kopią sterownika (wiersz 3: niepoprawny numer telefonu „600;1”). "
                          "Nic nie wysłano.")
            .arg(bad)},
       QString::fromUtf8("Nie odtworzono kopii w sterowniku")},
      {"restore with its dialog left", "przywroc_z_kopii", QString(), {}, earlier},
      {"backup with its dialog left", "kopia_sterownika", QString(), {}, earlier},
  };
  for (const auto& c : cases) {
    window_->chooseBackupFile = [&](bool) { return c.file; };
    window_->ShowOutcome(earlier);
    ModalAnswerer answers;
    window_->zap_menu_konfigClick();
    Click(W(c.entry));
    EXPECT_EQ(answers.shown, c.shown) << c.name;
    EXPECT_EQ(window_->outcomeLine()->text(), c.outcome) << c.name;
    EXPECT_TRUE(sim_.Received().empty()) << c.name << ": " << sim_.Received().front();
  }
}

// The list's confirmation marks as the grid shows them, by phone.
std::string GridMarks(TForm1& window) {
  QAbstractItemModel* model = Find<QTableView>(&window, "RxDBGrid1")->model();
  std::vector<std::string> marks;
  for (int row = 0; row < model->rowCount(); ++row) {
    marks.push_back(model->index(row, PhoneListModel::kTelColumn).data().toString().toStdString() + ":" +
                    (model->index(row, 0).data(PhoneListModel::kConfirmedRole).toBool() ? "1" : "0"));
  }
  std::sort(marks.begin(), marks.end());
  std::string joined;
  for (const std::string& mark : marks) joined += (joined.empty() ? "" : " ") + mark;
  return joined;
}

// After the list moved on without the controller (one number removed, one
// added), a sync from the configuration menu asks with its counts and, on
// TAK, sends exactly the delete and the add; the grid then shows each row
// confirmed. NIE sends no change and leaves the marks; once they agree there
// is nothing to ask.
TEST_F(WindowControllerTest, ASyncAsksWithItsCountsAndSendsOnlyTheDifference) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(2, "600100200", "");
    sim_.controller().SetSlot(3, "501222333", "");
    sim_.controller().SetSlot(4, sim::Controller::kCleared, "");
  }
  AddPhone(*session_, "Jan", "Nowak", "600100200", 1);
  AddPhone(*session_, "Ewa", "Lis", "501222333");
  bool found = false;
  ASSERT_TRUE(session_->Dbf1().Find("Tel", {"600100200"}, {}, &found).ok());
  ASSERT_TRUE(found);
  ASSERT_TRUE(session_->Dbf1().Delete().ok());
  AddPhone(*session_, "Adam", "Kot", "698765432");
  window_->listModel()->Changed();
  const QString question =
      QString::fromUtf8("Synchronizacja dopisze do sterownika 1 numer i usunie z niego 1 numer. Czy kontynuować?");
  const struct {
    const char* name;
    bool yes;
    std::vector<QString> shown;
    std::vector<std::string> changes;  // the lines sent besides the reads
    std::string marks;
    const char* outcome;
  } cases[] = {
      {"answered NIE", false, {question}, {}, "501222333:0 698765432:0", "Nie zsynchronizowano listy ze sterownikiem"},
      {"answered TAK",
       true,
       {question},
       {"AT+CPBM=1016,600100200,600100200", "AT+CPBM=1015,698765432,698765432"},
       "501222333:1 698765432:1",
       "Synchronizacja zakończona: dopisano do sterownika 1, usunięto ze sterownika 1, bez zmian 1"},
      {"in agreement",
       true,
       {},
       {},
       "501222333:1 698765432:1",
       "Synchronizacja zakończona: dopisano do sterownika 0, usunięto ze sterownika 0, bez zmian 2"},
  };
  ASSERT_EQ(GridMarks(*window_), cases[0].marks);
  for (const auto& c : cases) {
    sim_.ClearReceived();
    ModalAnswerer answers(c.yes ? QStringList{question} : QStringList{});
    window_->zap_menu_konfigClick();
    Click(W("synchronizuj_liste"));
    EXPECT_EQ(answers.shown, c.shown) << c.name;
    std::vector<std::string> changes;
    for (const std::string& line : sim_.Received()) {
      if (line.rfind("AT+CPBR=", 0) != 0) changes.push_back(line);
    }
    EXPECT_EQ(changes, c.changes) << c.name;
    EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8(c.outcome)) << c.name;
    window_->Image11Click();
    EXPECT_EQ(GridMarks(*window_), c.marks) << c.name;
    EXPECT_TRUE(Find<QTableView>(window_.get(), "RxDBGrid1")->updatesEnabled()) << c.name << ": the grid repaints";
  }
  const SiteFacts facts = ReadSiteFacts(temp_.path());
  EXPECT_EQ(facts.lastVerifyResult, QString::fromUtf8(cases[2].outcome)) << "the fleet view's last verify";
  EXPECT_FALSE(facts.verifyDifferences);
}

// The three ways a real line fails: a controller that refuses every line,
// one that never answers, and an adapter pulled while the first reply is
// awaited (the later commands then find no port at all).
enum class LineFault { kRefusing, kSilent, kPulled };

sim::Simulator::Options OptionsFor(LineFault fault) {
  std::set<long long> every;
  for (long long n = 1; n <= 200; ++n) every.insert(n);
  switch (fault) {
    case LineFault::kRefusing: return sim::Simulator::Options{.errorOn = every};
    case LineFault::kSilent: return sim::Simulator::Options{.silent = true};
    case LineFault::kPulled: return sim::Simulator::Options{.delayMs = 200};
  }
  return {};
}

class FailingLineTest : public WindowControllerTest, public ::testing::WithParamInterface<LineFault> {
 protected:
  FailingLineTest() : WindowControllerTest(OptionsFor(GetParam())) {}
};

// Backup, restore and sync from the configuration menu over a failing line:
// each tells the user in a box, says on the outcome line that it was not
// done, drops DTR and hides its panel; a backup leaves no file.
TEST_P(FailingLineTest, BackupRestoreAndSyncTellTheFailureAndReportNothingDone) {
  window_->link().options().replyWaitMs = 300;
  const QString backup = QDir(temp_.path()).filePath("kopia.txt");
  const QString saved = QDir(temp_.path()).filePath("zapisana.txt");
  WriteFile(saved, "# Selvantrix backup\n002|600100200\n003|501222333\nczasryg=3\n# end 2 numbers 1 settings\n");
  AddPhone(*session_, "", "", "600100200");
  const struct {
    const char* entry;
    QString file;
    const char* outcome;
  } cases[] = {
      {"kopia_sterownika", backup, "Nie zapisano kopii sterownika"},
      {"przywroc_z_kopii", saved, "Nie odtworzono kopii w sterowniku"},
      {"synchronizuj_liste", QString(), "Nie zsynchronizowano listy ze sterownikiem"},
  };
  if (GetParam() == LineFault::kPulled) QTimer::singleShot(100, [this] { sim_.Stop(); });
  for (const auto& c : cases) {
    window_->chooseBackupFile = [&](bool) { return c.file; };
    ModalAnswerer answers({QString::fromUtf8(kRestoreQuestion)});
    window_->zap_menu_konfigClick();
    Click(W(c.entry));
    const auto told = std::count_if(answers.shown.begin(), answers.shown.end(),
                                    [](const QString& text) { return text != QString::fromUtf8(kRestoreQuestion); });
    EXPECT_GE(told, 1) << c.entry << ": the failure reached nobody";
    EXPECT_EQ(window_->outcomeLine()->text(), QString::fromUtf8(c.outcome)) << c.entry;
    // A pulled adapter leaves the port closed, which drives no line at all.
    const Comm& comm = window_->link().comm();
    EXPECT_FALSE(comm.IsOpen() && comm.Dtr()) << c.entry;
    EXPECT_FALSE(window_->progressPanel()->isVisible()) << c.entry;
  }
  EXPECT_FALSE(QFile::exists(backup)) << "a failed backup left a file";
  const SiteFacts facts = ReadSiteFacts(temp_.path());
  EXPECT_FALSE(facts.lastBackup.isValid() || facts.lastVerify.isValid()) << "a failure recorded as done";
  EXPECT_EQ(session_->Dbf1().RowCount(), 1) << "the sync changed the list without the controller";
}

std::string LineFaultName(const ::testing::TestParamInfo<LineFault>& info) {
  return info.param == LineFault::kRefusing ? "Refusing" : info.param == LineFault::kSilent ? "Silent" : "Pulled";
}

INSTANTIATE_TEST_SUITE_P(Lines, FailingLineTest,
                         ::testing::Values(LineFault::kRefusing, LineFault::kSilent, LineFault::kPulled),
                         LineFaultName);

}  // namespace
