#include "controller/backup.h"

#include "outcome/outcome_text.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <functional>

#include "serial/testing/sim_session.h"

namespace {

const QDateTime kMade(QDate(2026, 3, 5), QTime(12, 30), Qt::UTC);

TEST(BackupFile, ABackupReadsBackAsItWasWritten) {
  const ControllerBackup cases[] = {
      {},
      {{{2, "600100200"}, {3, "+48501222333"}, {7, "0601"}}, {{"czasryg", "5"}, {"teladmin", "600100200"}}},
      {{}, {{"telster", ""}, {"telserver", "123"}, {"ipserv", "1.2.3.4"}, {"ostiv", "7"}}},
      {{{2000, "600100200"}}, {{"hostip", "192168001001"}, {"host", "8080"}, {"czasryg", "7"}}},
  };
  for (const ControllerBackup& backup : cases) {
    const QByteArray text = BackupText(backup, kMade);
    EXPECT_TRUE(text.startsWith("# Selvantrix backup 2026-03-05T12:30:00Z, Selvantrix ")) << text.toStdString();
    ControllerBackup read;
    QString problem;
    ASSERT_TRUE(ParseBackup(text, &read, &problem)) << problem.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(read, backup) << text.toStdString();
  }
  const QByteArray text = BackupText(cases[1], kMade);
  EXPECT_TRUE(text.endsWith(
      "\n002|600100200\n003|+48501222333\n007|0601\nczasryg=5\nteladmin=600100200\n# end 3 numbers 2 settings\n"))
      << text.toStdString();
}

// Whatever an editor or a damaged copy made of the file, it is refused
// whole, with the line at fault named.
TEST(BackupFile, AMalformedBackupIsRefusedWithTheLineAtFault) {
  const struct {
    QByteArray text;
    const char* problem;  // UTF-8, contained in the message
  } cases[] = {
      {"", "brak nagłówka"},
      {"002|600100200\n", "brak nagłówka"},
      {"# Selvantrix backupx\n", "brak nagłówka"},
      {"# Selvantrix backup\n002|600100200\n001|600100201\n", "wiersz 3: miejsce „001” poza zakresem"},
      {"# Selvantrix backup\n2|600100200\n", "wiersz 2: miejsce „2” poza zakresem"},
      {"# Selvantrix backup\n2001|600100200\n", "miejsce „2001” poza zakresem"},
      {"# Selvantrix backup\nx02|600100200\n", "miejsce „x02” poza zakresem"},
      {"# Selvantrix backup\n003|600100200\n003|600100201\n", "wiersz 3: miejsce 003 nie po kolei"},
      {"# Selvantrix backup\n003|600100200\n002|600100201\n", "miejsce 002 nie po kolei"},
      {"# Selvantrix backup\n002|\n", "niepoprawny numer telefonu „”"},
      {"# Selvantrix backup\n002|600\",145,\"1\n", "niepoprawny numer telefonu „600\",145,\"1”"},
      {"# Selvantrix backup\n002|600;AT+CPBW=001\n", "niepoprawny numer telefonu"},
      {"# Selvantrix backup\nczasryg=8\n", "czas przekaźnika „8” poza zakresem"},
      {"# Selvantrix backup\nczasryg=-1\n", "czas przekaźnika „-1”"},
      {"# Selvantrix backup\nczasryg=05\n", "czas przekaźnika „05”"},
      {"# Selvantrix backup\nczasryg=\n", "czas przekaźnika „”"},
      {"# Selvantrix backup\nteladmin=600;1\n", "niepoprawna wartość „600;1” ustawienia teladmin"},
      {"# Selvantrix backup\nhost=a,b\n", "niepoprawna wartość „a,b” ustawienia host"},
      {"# Selvantrix backup\nportcom=3\n", "nieznane ustawienie „portcom”"},
      {"# Selvantrix backup\nteladmin=600100200\nteladmin=600100201\n",
       "wiersz 3: ustawienie „teladmin” podane drugi raz"},
      {"# Selvantrix backup\n600100200\n", "wiersz 2: ani"},
      {"# Selvantrix backup\n\xff\n", "UTF-8"},
      // Cut short, or counted otherwise than it holds.
      {"# Selvantrix backup 2026-12-09T18:52:20Z\n002|600100200\n003|6001002", "brak ostatniego wiersza „# end …”"},
      {"# Selvantrix backup 2026-12-09T18:52:20Z\n", "zrób nową kopię"},
      {"# Selvantrix backup 2026-12-09T18:52:20Z\n# end 0 numbers 0 settings\n002|600100200\n", "brak ostatniego"},
      {"# Selvantrix backup 2026-12-09T18:52:20Z\n002|600100200\n# end 2 numbers 0 settings\n",
       "wiersz 3 „# end 2 numbers 0 settings” nie zgadza się z treścią pliku (end 1 numbers 0 settings)"},
  };
  for (const auto& c : cases) {
    ControllerBackup read{{{2, "1"}}, {}};
    QString problem;
    // The line faults are found before the count is compared.
    const QByteArray text = c.text + (c.text.startsWith("# Selvantrix backup\n") ? "# end 0 numbers 0 settings\n" : "");
    EXPECT_FALSE(ParseBackup(text, &read, &problem)) << c.text.toStdString();
    EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem)))
        << c.text.toStdString() << ": " << problem.toStdString();
    EXPECT_EQ(read, (ControllerBackup{{{2, "1"}}, {}})) << "nothing of a refused file is taken";
  }
}

// A file an editor touched: CR LF ends, blank lines and comments are no
// fault.
TEST(BackupFile, EditedLineEndsBlankLinesAndCommentsAreTaken) {
  ControllerBackup read;
  QString problem;
  ASSERT_TRUE(ParseBackup("# Selvantrix backup\r\n\r\n# brama wjazdowa\r\n002|600100200\r\nczasryg=2\r\n"
                          "# end 1 numbers 1 settings\r\n\r\n",
                          &read, &problem))
      << problem.toStdString();
  EXPECT_EQ(read, (ControllerBackup{{{2, "600100200"}}, {{"czasryg", "2"}}}));
}

}  // namespace

// The round trip and the sync over the line as real adapters deliver it:
// every reply in one read, in a USB adapter's batches, cut at random points,
// or after stray bytes. What the controller ends up holding must not depend
// on how its answers arrived.
TEST(BackupFile, TheSyncQuestionTellsOnlyWhatWillBeDone) {
  const struct {
    QStringList add, remove;
    const char* question;
  } cases[] = {
      {{"600100200"},
       {"501222333", "602444555"},
       "Synchronizacja dopisze do sterownika 1 numer i usunie z niego 2 numery. Czy kontynuować?"},
      {{"600100200", "600100201", "600100202", "600100203", "600100204"},
       {},
       "Synchronizacja dopisze do sterownika 5 numerów. Czy kontynuować?"},
      {{}, {"501222333", "602444555", "733666777"}, "Synchronizacja usunie ze sterownika 3 numery. Czy kontynuować?"},
  };
  for (const auto& c : cases) {
    SyncPlan plan;
    plan.add = c.add;
    plan.remove = c.remove;
    EXPECT_EQ(SyncQuestion(plan), QString::fromUtf8(c.question));
  }
}

TEST(BackupOverTheLine, RoundTripAndSyncGiveTheSameControllerInEveryLineMode) {
  const struct {
    const char* name;
    sim::Simulator::Options options;
  } modes[] = {
      {"coalesced", {.coalesce = true}},
      {"usb batches", {.usbLatencyMs = 16}},
      {"split", {.split = true}},
      {"garbage first", {.garbage = true}},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(mode.name);
    sim::Simulator sim(mode.options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    {
      std::lock_guard<std::mutex> lock(sim.mutex());
      sim.controller().SetSlot(2, "600100200", "");
      sim.controller().SetSlot(3, "501222333", "");
      sim.controller().SetSlot(4, "698765432", "");
      sim.controller().SetRelayCode(7);
    }
    QTemporaryDir temp;
    SessionOnTemp open(temp.path());
    Session& session = open.session;
    RememberPortAlias(session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
    UpsertSetting(session, kKeyPort, "7");
    Link link(session);
    ScriptedUi ui;
    Progress progress(ui);
    const QString path = session.FilePath("kopia.txt");

    const BackupResult backup = BackupController(link, progress, path);
    ASSERT_TRUE(backup.Succeeded()) << Describe(backup).text.toStdString();
    EXPECT_EQ(std::make_pair(backup.numbers, backup.settings), std::make_pair(3, 1)) << "the relay time alone was set";
    {
      std::lock_guard<std::mutex> lock(sim.mutex());
      for (int slot = 2; slot <= 4; ++slot) sim.controller().SetSlot(slot, "999999999", "");
      sim.controller().SetRelayCode(3);
    }
    ui.Answer({true});
    const RestoreResult restore = RestoreController(link, progress, path);
    ASSERT_TRUE(restore.Succeeded()) << Describe(restore).text.toStdString();
    EXPECT_EQ(restore.numbers, 3);
    {
      std::lock_guard<std::mutex> lock(sim.mutex());
      EXPECT_EQ(sim.controller().Number(2), "600100200");
      EXPECT_EQ(sim.controller().Number(3), "501222333");
      EXPECT_EQ(sim.controller().Number(4), "698765432");
      EXPECT_EQ(sim.controller().RelayCode(), 7);
    }

    // The list keeps two of the three and adds one: one delete, one add.
    AddPhone(session, "", "", "600100200");
    AddPhone(session, "", "", "501222333");
    AddPhone(session, "", "", "700800900");
    sim.ClearReceived();
    const SyncResult sync = SyncList(link, progress, false);
    ASSERT_TRUE(sync.Succeeded()) << Describe(sync).text.toStdString();
    EXPECT_EQ(sync.plan.add, QStringList{"700800900"});
    EXPECT_EQ(sync.plan.remove, QStringList{"698765432"});
    EXPECT_EQ(std::make_tuple(sync.added, sync.removed, sync.unchanged), std::make_tuple(1, 1, 2));
    const std::vector<std::string> sent = sim.Received();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CPBM=1016,698765432,698765432"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CPBM=1015,700800900,700800900"), 1);
    EXPECT_EQ(Rows(session), (std::vector<std::string>{"2   600100200 1", "3   501222333 1", "4   700800900 1"}));
    EXPECT_TRUE(ui.errors.empty());
  }
}

namespace {

class BackupCancelTest : public SimSessionTest {};

// "ANULUJ" pressed in each phase of a backup, a restore and a sync: each
// ends false with its outcome saying it was stopped, never with the one of
// a finished operation; the backup leaves no file, the restore sends no
// setting and still closes the list, and a sync stopped while reading sends
// no change.
TEST_F(BackupCancelTest, ACancelInEachPhaseEndsUnfinishedAndSaysSo) {
  for (int i = 0; i < 10; ++i) AddPhone(session_, "", "", "5012223" + std::to_string(10 + i));
  const QString path = session_.FilePath("kopia.txt");
  const QString made = session_.FilePath("nowa.txt");
  ControllerBackup held;
  for (int slot = 2; slot <= 11; ++slot) held.phonebook.append({slot, QStringLiteral("7001002%1").arg(slot + 10)});
  held.settings = {{"czasryg", "3"}, {"teladmin", "600100200"}};
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(BackupText(held, kMade));
  file.close();

  const struct {
    const char* name;
    std::function<bool(int current, int total)> cancelAt;
    std::function<Report(Progress&)> run;
    const char* outcome;  // how it begins
    bool changesSent;     // a line besides the reads went out
  } cases[] = {
      {"backup, reading the phonebook", [](int current, int) { return current == 4; },
       [&](Progress& p) { return Describe(BackupController(link_, p, made)); },
       "Przerwano: kopii sterownika nie zapisano", false},
      {"backup, reading the settings", [](int, int total) { return total < 10; },
       [&](Progress& p) { return Describe(BackupController(link_, p, made)); },
       "Przerwano: kopii sterownika nie zapisano", false},
      {"restore", [](int current, int) { return current == 4; },
       [&](Progress& p) {
         ui_.Answer({true});
         return Describe(RestoreController(link_, p, path));
       },
       "Przerwano odtwarzanie kopii: zapisano w sterowniku ", true},
      {"sync, reading", [](int current, int) { return current == 4; },
       [&](Progress& p) { return Describe(SyncList(link_, p, false)); }, "Przerwano synchronizację: nic nie wysłano",
       false},
      {"sync, sending", [](int current, int total) { return total == 20 && current == 3; },
       [&](Progress& p) { return Describe(SyncList(link_, p, false)); },
       "Przerwano synchronizację: dopisano do sterownika ", true},
  };
  for (const auto& c : cases) {
    // Ten numbers, none of them the list's.
    WithController([](sim::Controller& controller) {
      for (int slot = 2; slot <= 11; ++slot) controller.SetSlot(slot, "6001002" + std::to_string(slot + 10), "");
      controller.SetSlot(12, sim::Controller::kCleared, "");
    });
    sim_.ClearReceived();
    Report report;
    {
      Progress progress(ui_);
      ui_.onProgress = [&](int current, int total) {
        if (c.cancelAt(current, total)) progress.Cancel();
      };
      report = c.run(progress);
      ui_.onProgress = nullptr;
    }
    EXPECT_EQ(report.verdict, Verdict::kStopped) << c.name;
    EXPECT_TRUE(report.text.startsWith(QString::fromUtf8(c.outcome))) << c.name << ": " << report.text.toStdString();
    EXPECT_EQ(ui_.unansweredQuestions, 0) << c.name;
    EXPECT_FALSE(ui_.progressVisible) << c.name;
    EXPECT_FALSE(QFile::exists(made)) << c.name;
    const std::vector<std::string> sent = Received();
    const auto changes =
        std::count_if(sent.begin(), sent.end(), [](const std::string& line) { return line.rfind("AT+CPBR=", 0) != 0; });
    EXPECT_EQ(changes > 0, c.changesSent) << c.name;
    // Far from all of it: ten numbers, or ten adds and ten deletes.
    EXPECT_LT(changes, 10) << c.name;
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const std::string& line) { return line.rfind("AT+CPBM=1021", 0) == 0; }),
              0)
        << c.name << ": no relay time was sent";
  }
}

}  // namespace
