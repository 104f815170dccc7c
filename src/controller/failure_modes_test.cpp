// Every controller operation against a controller that refuses every line, one
// that never answers, and one whose adapter is pulled after the first line:
// each ends with a message to the user and never with a report of success.

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "serial/list_transfer.h"
#include "serial/testing/sim_session.h"

namespace {

struct Operation {
  const char* name;
  std::function<void(Link&, ScriptedUi&)> run;
  bool yes = false;  // the answer to the operation's question, if it asks one
};

const Operation kOperations[] = {
    {"write", [](Link& link, ScriptedUi& ui) { TransferMarked(link, ui, TransferMode::kWrite); }},
    {"delete", [](Link& link, ScriptedUi& ui) { TransferMarked(link, ui, TransferMode::kDelete); }},
    {"format", [](Link& link, ScriptedUi& ui) { FormatMemory(link, ui); }, true},
    {"read", [](Link& link, ScriptedUi& ui) { ReadList(link, ui); }},
    {"verify", [](Link& link, ScriptedUi& ui) { VerifyList(link, ui); }},
    {"configuration read",
     [](Link& link, ScriptedUi& ui) {
       SettingsValues view;
       ReadConfiguration(link, ui, view);
     }},
    {"configuration write",
     [](Link& link, ScriptedUi& ui) {
       SettingsValues view;
       view.adminPhone = "600100200";
       view.controllerPhone = "698765432";
       WriteConfiguration(link, ui, view);
     }},
    {"reminder",
     [](Link& link, ScriptedUi& ui) {
       SettingsValues view;
       view.dateText = "01.02.2027";
       SendReminder(link, ui, view);
     }},
    {"event fetch", [](Link& link, ScriptedUi& ui) { FetchEvents(link, ui, "3"); }},
    {"backup", [](Link& link, ScriptedUi& ui) { BackupController(link, ui, link.session().FilePath("kopia.txt")); }},
    {"restore",
     [](Link& link, ScriptedUi& ui) {
       const QString path = link.session().FilePath("kopia.txt");
       QFile file(path);
       ASSERT_TRUE(file.open(QIODevice::WriteOnly));
       file.write(BackupText({{{2, "600100200"}, {3, "501222333"}}, {{"czasryg", "3"}}}, QDateTime::currentDateTimeUtc()));
       file.close();
       RestoreController(link, ui, path);
     },
     true},
    {"sync",
     [](Link& link, ScriptedUi& ui) {
       SyncPlan plan;
       SyncList(link, ui, false, &plan);
     }},
    {"sync, dry run",
     [](Link& link, ScriptedUi& ui) {
       SyncPlan plan;
       SyncList(link, ui, true, &plan);
     }},
};

struct Mode {
  const char* name;
  sim::Simulator::Options options;
  bool pulled = false;  // the adapter goes while the first reply is awaited
};

std::set<long long> EveryLine() {
  std::set<long long> lines;
  for (long long n = 1; n <= 100; ++n) lines.insert(n);
  return lines;
}

TEST(FailureModesTest, EveryOperationTellsTheUserAndNeverReportsSuccess) {
  const Mode modes[] = {
      {"refusing", sim::Simulator::Options{.errorOn = EveryLine()}},
      {"silent", sim::Simulator::Options{.silent = true}},
      {"unplugged", sim::Simulator::Options{.delayMs = 200}, true},
  };
  for (const Mode& mode : modes) {
    for (const Operation& operation : kOperations) {
      const std::string what = std::string(mode.name) + " / " + operation.name;
      sim::Simulator sim(mode.options);
      std::string error;
      ASSERT_TRUE(sim.Start(&error)) << error;
      {
        std::lock_guard<std::mutex> lock(sim.mutex());
        sim.controller().SetSlot(2, "600100200", "");
        sim.controller().AddEvent("600100200", "2403151230");
      }
      QTemporaryDir temp;
      SessionOnTemp open(temp.path());
      Session& session = open.session;
      RememberPortAlias(session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
      UpsertSetting(session, kKeyPort, "7");
      session.ReplyWaitMs = 300;
      session.ReportWaitMs = 300;
      for (const char* tel : {"600100200", "501222333"}) {
        AddPhone(session, "", "", tel);
        session.memcheck.Append(tel);
      }
      Link link(session);
      ScriptedUi ui;
      ui.Answer({operation.yes});
      if (mode.pulled) QTimer::singleShot(100, [&] { sim.Stop(); });
      operation.run(link, ui);
      EXPECT_FALSE(ui.dialogs.empty() && ui.errors.empty()) << what << ": the failure reached nobody";
      EXPECT_TRUE(ui.outcomes.empty()) << what << ": reported as done: " << ui.outcomes.front().toStdString();
      EXPECT_FALSE(ui.progressVisible) << what;
      EXPECT_EQ(session.Dbf1().RowCount(), 2) << what << ": the list lost a number the controller did not confirm";
      if (std::string(operation.name) == "backup") {
        EXPECT_FALSE(QFile::exists(session.FilePath("kopia.txt"))) << what << ": a failed backup left a file";
      }
    }
  }
}

}  // namespace
