#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "app/progress_panel.h"
#include "app/testing/window_test.h"
#include "serial/list_transfer.h"
#include "serial/testing/sim_session.h"
#include "store/cursor.h"
#include "sim/simulator.h"

namespace {

// The window's controller commands against the simulated controller.
class WindowControllerTest : public WindowTest {
 protected:
  explicit WindowControllerTest(sim::Simulator::Options options = {}) : sim_(options) {}

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    WindowTest::SetUp();
    RememberPortAlias(session_->FilePath(kSettingsFileName), 4, QString::fromStdString(sim_.DevicePath()));
    UpsertSetting(*session_, kKeyPort, "4");
  }

  sim::Simulator sim_;
};

TEST_F(WindowControllerTest, MarkedRowsGoToTheControllerFromTheListMenu) {
  for (const char* tel : {"600100200", "501222333"}) AddPhone(*session_, "", "", tel);
  Click(W("Shape9"));  // mark every row
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
  EXPECT_EQ(session_->memcheck.Count(), 0);
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

// Answers every message box that opens while it lives: "OK" to a notice,
// "TAK" to a question whose text is in `yes` and "NIE" to any other, and
// keeps each text.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(QStringList yes = {}) : yes_(std::move(yes)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(5);
  }
  std::vector<QString> shown;

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == answered_) return;
    answered_ = modal;
    auto* text = modal->findChild<QLabel*>(QStringLiteral("Label1"));
    shown.push_back(text ? text->text() : modal->objectName());
    QWidget* ok = Find(modal, "Label28");
    Click(Find(modal, ok && ok->isVisible() ? "Label28" : yes_.contains(shown.back()) ? "Label2" : "Label3"));
  }

  QStringList yes_;
  QTimer timer_;
  QPointer<QWidget> answered_;
};

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
    session_->memcheck.Empty();
    for (int i = 0; i < count; ++i) {
      const std::string tel = "6001002" + std::to_string(10 + i);
      bool found = false;
      ASSERT_TRUE(session_->Dbf1().Find("Tel", {tel}, {}, &found).ok());
      if (!found) AddPhone(*session_, "", "", tel);
      session_->memcheck.Append(tel);
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
    const char* secondLine;  // what only the refused command would have sent
    bool progress;           // the first shows the progress panel
    bool formatAsked = false;  // the first is the format, which asks first
  };
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
  };
  bool fileAsked = false;
  window_->chooseListFile = [&](bool) {
    fileAsked = true;
    return QString();
  };
  for (const Case& c : cases) {
    sim_.ClearReceived();
    ModalAnswerer answers({formatQuestion});
    bool refusedWhileRunning = false, panelKept = false;
    WhenReceived(1, [&] {
      c.second();
      refusedWhileRunning = !answers.shown.empty() && answers.shown.back() == QString::fromUtf8("Trwa przetwarzanie danych");
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
  }
  EXPECT_FALSE(fileAsked) << "the refused import asked for no file";

  // Once nothing runs, a command runs again.
  sim_.ClearReceived();
  ModalAnswerer answers;
  window_->zapis_do_ser_przypomClick();
  ASSERT_FALSE(sim_.Received().empty());
  EXPECT_EQ(sim_.Received().front().rfind("AT+CPBM=1004", 0), 0u);
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
