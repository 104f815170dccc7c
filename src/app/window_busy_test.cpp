// The window while a command talks to a slow controller: a second command,
// "ANULUJ" and a close.

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

#include "app/progress_panel.h"
#include "app/testing/controller_window.h"
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

// A controller slow enough (50 ms before each reply) for a person to act
// while it works.
class SlowControllerTest : public WindowControllerTest {
 protected:
  SlowControllerTest() : WindowControllerTest(sim::Simulator::Options{.delayMs = 50}) {}

  void SetUp() override {
    WindowControllerTest::SetUp();
    std::lock_guard<std::mutex> lock(sim_.mutex());
    for (int slot = 2; slot <= 31; ++slot) {
      sim_.controller().SetSlot(slot, "5001002" + std::to_string(slot + 10), "");
      sim_.controller().AddEvent("5001002" + std::to_string(slot + 10), "2612011530");
    }
  }

  // Marks `count` numbers of the list, adding those it lacks.
  void MarkRows(int count) {
    window_->listView()->marks().Empty();
    for (int i = 0; i < count; ++i) {
      const std::string tel = "6001002" + std::to_string(10 + i);
      bool found = false;
      ASSERT_TRUE(session_->Dbf1().Find("Tel", {tel}, {}, &found).ok());
      if (!found) AddPhone(*session_, "", "", tel);
      window_->listView()->marks().Append(tel);
    }
  }

  // Runs `act` once, from within the running command, as soon as the
  // controller has received `after` lines.
  void WhenReceived(size_t after, std::function<void()> act) {
    trigger_ = std::make_unique<QTimer>();
    QObject::connect(trigger_.get(), &QTimer::timeout, [this, after, act = std::move(act)] {
      if (sim_.Received().size() < after) return;
      trigger_->stop();
      act();
    });
    trigger_->start(5);
  }

  // Lets events run until `done` holds or the safety net of 10 s is spent.
  static bool Until(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) QTest::qWait(5);
    return done();
  }

  std::unique_ptr<QTimer> trigger_;
};

// While one command talks to the controller, every other is refused with
// the progress panel's words, sends nothing and leaves the running one its
// panel and its "ANULUJ".
TEST_F(SlowControllerTest, ASecondCommandWhileOneRunsIsRefused) {
  const QString formatQuestion = QString::fromUtf8(kFormatQuestion);
  auto fetch = [this](const char* count) {
    window_->Image15Click();
    Find<QLineEdit>(window_.get(), "edilpob")->setText(QString::fromLatin1(count));
    Click(W("pobierz_wpisy"));
  };
  struct Case {
    const char* name;
    std::function<void()> first, second;
    const char* secondLine;    // what only the refused command would have sent
    bool progress;             // the first shows the progress panel
    bool formatAsked = false;  // the first is the format, which asks first
    int backupFilesAsked = 0;  // by the first: the refused one asks for none
  };
  const QString backupPath = QDir(temp_.path()).filePath("kopia.txt");
  // clang-format off
  const Case cases[] = {
      {"write, then the event fetch", [&] { MarkRows(20); window_->zap_do_sterownikaClick(); }, [&] { fetch("7"); },
       "AT+CPBM=7", true},
      {"format, then the list read", [&] { window_->formatuj_memClick(); },
       [&] { window_->odczytaj_z_sterownika_comClick(); }, "AT+CPBR=", true, true},
      {"list read, then the configuration write", [&] { window_->odczytaj_z_sterownika_comClick(); },
       [&] { window_->zapis_konfig_comClick(); }, "AT+CPBM=1021", true},
      {"verify, then the format", [&] { window_->weryfikuj_przez_comClick(); },
       [&] { window_->formatuj_memClick(); }, "145,\"999999999\";", true},
      {"event fetch, then the reminder", [&] { fetch("30"); }, [&] { window_->zapis_do_ser_przypomClick(); },
       "AT+CPBM=1004", true},
      {"configuration read, then the write of the marked rows",
       [&] { MarkRows(3); window_->odczyt_konfig_comClick(); }, [&] { window_->zap_do_sterownikaClick(); },
       "AT+CPBW=", false},
      {"write, then the import", [&] { MarkRows(20); window_->zap_do_sterownikaClick(); },
       [&] { window_->imp_listClick(); }, nullptr, true},
      {"backup, then the restore", [&] { window_->kopia_sterownikaClick(); },
       [&] { window_->przywroc_z_kopiiClick(); }, "AT+CPBW=", true, false, 1},
      {"backup, then the sync", [&] { window_->kopia_sterownikaClick(); },
       [&] { window_->synchronizuj_listeClick(); }, "AT+CPBM=101", true, false, 1},
      {"write, then the backup", [&] { MarkRows(20); window_->zap_do_sterownikaClick(); },
       [&] { window_->kopia_sterownikaClick(); }, nullptr, true},
  };
  // clang-format on
  bool fileAsked = false;
  window_->chooseListFile = [&](bool) {
    fileAsked = true;
    return QString();
  };
  int backupFilesAsked = 0;
  window_->chooseBackupFile = [&](bool) {
    ++backupFilesAsked;
    return backupPath;
  };
  for (const Case& c : cases) {
    sim_.ClearReceived();
    backupFilesAsked = 0;
    ModalAnswerer answers({formatQuestion});
    bool refusedWhileRunning = false, panelKept = false;
    WhenReceived(1, [&] {
      c.second();
      refusedWhileRunning =
          !answers.shown.empty() && answers.shown.back() == QString::fromUtf8("Trwa przetwarzanie danych");
      panelKept = window_->progressPanel()->isVisible();
      // The running command can still be cancelled with its own button.
      if (panelKept) Click(Find(window_->progressPanel(), "Label28"));
    });
    c.first();
    const bool came = !trigger_->isActive();
    trigger_->stop();
    EXPECT_TRUE(came) << c.name << ": the first command ended before the second came";
    EXPECT_TRUE(refusedWhileRunning) << c.name;
    EXPECT_EQ(panelKept, c.progress) << c.name;
    EXPECT_EQ(std::count(answers.shown.begin(), answers.shown.end(), QString::fromUtf8("Trwa przetwarzanie danych")), 1)
        << c.name;
    EXPECT_EQ(std::count(answers.shown.begin(), answers.shown.end(), formatQuestion), c.formatAsked ? 1 : 0)
        << c.name << ": the refused format asked nothing";
    for (const std::string& line : sim_.Received()) {
      if (c.secondLine) {
        EXPECT_EQ(line.find(c.secondLine), std::string::npos) << c.name << ": " << line;
      }
    }
    EXPECT_FALSE(window_->progressPanel()->isVisible()) << c.name;
    EXPECT_EQ(backupFilesAsked, c.backupFilesAsked) << c.name;
    // The backup the "ANULUJ" stopped left no file.
    EXPECT_FALSE(QFile::exists(backupPath)) << c.name;
  }
  EXPECT_FALSE(fileAsked) << "the refused import asked for no file";

  // Once nothing runs, a command runs again.
  sim_.ClearReceived();
  ModalAnswerer answers;
  window_->zapis_do_ser_przypomClick();
  ASSERT_FALSE(sim_.Received().empty());
  EXPECT_EQ(sim_.Received().front().rfind("AT+CPBM=1004", 0), 0u);
}

// "ANULUJ" in the middle of a restore stops it: the end of the list goes
// after the last number written, no setting is sent, DTR drops, and the
// outcome line tells how far it came instead of a restore done.
TEST_F(SlowControllerTest, AnulujDuringARestoreStopsItWithDtrDown) {
  QByteArray text = "# Selvantrix backup\n";
  for (int slot = 2; slot <= 31; ++slot) {
    text += SlotText(slot).toLatin1() + "|6001002" + QByteArray::number(slot + 10) + "\n";
  }
  text += "czasryg=3\nteladmin=600100200\n# end 30 numbers 2 settings\n";
  const QString path = QDir(temp_.path()).filePath("kopia.txt");
  WriteFile(path, text);
  window_->chooseBackupFile = [&](bool) { return path; };
  size_t receivedAtCancel = 0;
  WhenReceived(3, [&] {
    receivedAtCancel = sim_.Received().size();
    Click(Find(window_->progressPanel(), "Label28"));
  });
  ModalAnswerer answers({QString::fromUtf8(kRestoreQuestion)});
  window_->zap_menu_konfigClick();
  Click(W("przywroc_z_kopii"));
  ASSERT_FALSE(trigger_->isActive()) << "the restore ended before the cancel came";

  const std::vector<std::string> received = sim_.Received();
  ASSERT_GE(receivedAtCancel, 3u);
  // The line in flight at the cancel, maybe one more already on its way,
  // and the end of the list after the last number written.
  EXPECT_LE(received.size(), receivedAtCancel + 2);
  const int written = int(received.size()) - 1;
  EXPECT_EQ(received.back(), "AT+CPBW=" + SlotText(2 + written).toStdString() + ",\"999999999\",145,\"999999999\"");
  for (const std::string& line : received) EXPECT_EQ(line.find("AT+CPBM="), std::string::npos) << "a setting: " << line;
  EXPECT_FALSE(window_->link().comm().Dtr());
  EXPECT_FALSE(window_->progressPanel()->isVisible());
  EXPECT_EQ(window_->outcomeLine()->text(),
            QString::fromUtf8("Przerwano odtwarzanie kopii: zapisano w sterowniku %1 z 30, ustawienia: 0 z 2")
                .arg(CountOf(written, "numer", "numery", "numerów")));
}

// "ANULUJ" in the middle of a write of the whole list: the end of the list
// goes right after the last number written, and the outcome line says what
// the controller now holds.
TEST_F(SlowControllerTest, AnulujDuringAWriteSaysWhatTheControllerHolds) {
  MarkRows(30);
  size_t receivedAtCancel = 0;
  WhenReceived(3, [&] {
    receivedAtCancel = sim_.Received().size();
    Click(Find(window_->progressPanel(), "Label28"));
  });
  ModalAnswerer answers;
  window_->Image25Click();
  Click(W("zap_do_sterownika"));
  ASSERT_FALSE(trigger_->isActive()) << "the write ended before the cancel came";
  const std::vector<std::string> received = sim_.Received();
  const int written = int(received.size()) - 1;
  ASSERT_GE(written, 3);
  EXPECT_EQ(received.back(), "AT+CPBW=" + SlotText(2 + written).toStdString() + ",\"999999999\",145,\"999999999\"");
  EXPECT_TRUE(answers.shown.empty()) << "a cancel is told on the outcome line";
  EXPECT_EQ(window_->outcomeLine()->text(),
            QString::fromUtf8("Zapis przerwany po %1 z 30 numerów: sterownik ma teraz %2")
                .arg(written)
                .arg(CountOf(written, "numer", "numery", "numerów")));
}

// Closing the window in the middle of a long write stops the write as
// "ANULUJ" does (the end of the list still goes out and DTR drops), shows
// nothing more and closes the window once the write has unwound; the
// controller hears nothing after that.
TEST_F(SlowControllerTest, ClosingDuringAWriteStopsItAndThenCloses) {
  MarkRows(30);
  session_->UnsavedChanges = false;  // the close asks nothing of its own
  size_t receivedAtClose = 0;
  bool closedAtOnce = true;
  WhenReceived(3, [&] {
    receivedAtClose = sim_.Received().size();
    closedAtOnce = window_->close();
  });
  ModalAnswerer answers;
  window_->Image25Click();
  Click(W("zap_do_sterownika"));
  EXPECT_FALSE(closedAtOnce) << "nothing closes under a running command";
  ASSERT_TRUE(Until([&] { return !window_->isVisible(); })) << "the window closes once the write has ended";
  EXPECT_TRUE(answers.shown.empty()) << answers.shown.front().toStdString();

  const std::vector<std::string> received = sim_.Received();
  ASSERT_GE(receivedAtClose, 3u);
  // The line in flight when the window closed, maybe one more already on
  // its way, and the end of the list.
  EXPECT_LE(received.size(), receivedAtClose + 2);
  EXPECT_NE(received.back().find("\"999999999\""), std::string::npos) << received.back();
  EXPECT_FALSE(window_->link().comm().Dtr());
  QTest::qWait(300);
  EXPECT_EQ(sim_.Received().size(), received.size()) << "the controller hears nothing after the close";
}

}  // namespace
