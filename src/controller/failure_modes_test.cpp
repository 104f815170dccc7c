// Every controller operation against a controller that confirms every line,
// one that refuses every line, one that never answers, and one whose adapter
// is pulled after the first line: each returns what it did, and its words
// never report success for a failure.

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "outcome/outcome_text.h"
#include "serial/list_transfer.h"
#include "serial/testing/sim_session.h"
#include "core/store_errors.h"
#include "store/cursor.h"

namespace {

// What one operation did: its words, and the count it is about (numbers
// written, entries read, lines confirmed).
struct Seen {
  Report report;
  int count = 0;
};

template <typename R>
Seen Of(const R& result, int count) {
  return Seen{Describe(result), count};
}

const QStringList kListed = {"600100200", "501222333"};

struct Operation {
  const char* name;
  std::function<Seen(Link&, Progress&)> run;
  int confirmedCount;  // the count against a controller that confirms everything
  bool yes = false;    // the answer to the operation's question, if it asks one
  // Its lines may change the slots they name, confirmed or not: a failure
  // leaves numbers confirmed before unconfirmed.
  bool unsureAfter = false;
};

// clang-format off
const Operation kOperations[] = {
    {"write", [](Link& l, Progress& p) {
       const TransferResult r = WriteNumbers(l, p, kListed, WriteMode::kWholeList);
       return Of(r, r.done);
     }, 2, false, true},
    {"delete", [](Link& l, Progress& p) {
       const TransferResult r = DeleteNumbers(l, p, kListed);
       return Of(r, r.done);
     }, 2},
    {"format", [](Link& l, Progress& p) {
       const FormatResult r = FormatMemory(l, p);
       return Of(r, r.lines.confirmed());
     }, 1999, true, true},
    {"read", [](Link& l, Progress& p) {
       const ReadResult r = ReadList(l, p);
       return Of(r, r.entries);
     }, 1},
    {"verify", [](Link& l, Progress& p) {
       const VerifyResult r = VerifyList(l, p);
       return Of(r, r.confirmed);
     }, 1},
    {"configuration read", [](Link& l, Progress& p) {
       SettingsValues view;
       const ConfigReadResult r = ReadConfiguration(l, p, view);
       return Of(r, r.lines.confirmed());
     }, 3},
    {"configuration write", [](Link& l, Progress& p) {
       SettingsValues view;
       view.adminPhone = "600100200";
       view.controllerPhone = "698765432";
       const ConfigWriteResult r = WriteConfiguration(l, p, view);
       return Of(r, r.lines.confirmed());
     }, 3},
    {"reminder", [](Link& l, Progress& p) {
       const ReminderResult r = SendReminder(l, p, QDate(2027, 2, 1));
       return Of(r, r.lines.confirmed());
     }, 1},
    {"event fetch", [](Link& l, Progress& p) {
       const EventsResult r = FetchEvents(l, p, "3");
       return Of(r, r.received);
     }, 1},
    {"backup", [](Link& l, Progress& p) {
       const BackupResult r = BackupController(l, p, l.session().FilePath("kopia.txt"));
       return Of(r, r.numbers);
     }, 1},
    {"restore", [](Link& l, Progress& p) {
       const QString path = l.session().FilePath("stara.txt");
       QFile file(path);
       if (!file.open(QIODevice::WriteOnly)) return Seen{};
       file.write(BackupText({{{2, "600100200"}, {3, "501222333"}}, {{"czasryg", "3"}}}, QDateTime::currentDateTimeUtc()));
       file.close();
       const RestoreResult r = RestoreController(l, p, path);
       return Of(r, r.numbers);
     }, 2, true, true},
    {"sync", [](Link& l, Progress& p) {
       const SyncResult r = SyncList(l, p, false);
       return Of(r, r.added);
     }, 1},
    {"sync, dry run", [](Link& l, Progress& p) {
       const SyncResult r = SyncList(l, p, true);
       return Of(r, int(r.plan.add.size()));
     }, 1},
};
// clang-format on

struct Mode {
  const char* name;
  sim::Simulator::Options options;
  bool pulled = false;  // the adapter goes while the first reply is awaited
};

void SetAllConfirmed(Session& session) {
  store::Cursor& list = session.Dbf1();
  for (list.First(); !list.Eof(); list.Next()) {
    RequireOk(list.Edit());
    RequireOk(list.SetInt("ST", 1));
    RequireOk(list.Post());
  }
}

std::set<long long> EveryLine() {
  std::set<long long> lines;
  for (long long n = 1; n <= 2100; ++n) lines.insert(n);
  return lines;
}

TEST(FailureModesTest, EveryOperationReturnsWhatItDidAndNeverReportsAFailureAsSuccess) {
  const Mode modes[] = {
      {"confirming", sim::Simulator::Options{}},
      {"refusing", sim::Simulator::Options{.errorOn = EveryLine()}},
      {"silent", sim::Simulator::Options{.silent = true}},
      {"unplugged", sim::Simulator::Options{.delayMs = 200}, true},
  };
  for (const Mode& mode : modes) {
    const bool confirming = std::string(mode.name) == "confirming";
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
      for (const QString& tel : kListed) AddPhone(session, "", "", tel.toStdString());
      auto confirmedRows = [&] {
        int confirmed = 0;
        store::Cursor& list = session.Dbf1();
        for (list.First(); !list.Eof(); list.Next()) confirmed += list.Int("ST") == 1;
        return confirmed;
      };
      // Confirmed by an earlier verify, where a failure must take that back.
      if (operation.unsureAfter) SetAllConfirmed(session);
      Link link(session);
      link.options().replyWaitMs = 300;
      link.options().reportWaitMs = 300;
      ScriptedUi ui;
      ui.Answer({operation.yes});
      if (mode.pulled) QTimer::singleShot(100, [&] { sim.Stop(); });
      Seen seen;
      {
        Progress progress(ui);
        seen = operation.run(link, progress);
      }
      EXPECT_FALSE(ui.progressVisible) << what;
      if (confirming) {
        EXPECT_NE(seen.report.verdict, Verdict::kFailed) << what << ": " << seen.report.text.toStdString();
        EXPECT_EQ(seen.count, operation.confirmedCount) << what;
        continue;
      }
      EXPECT_EQ(seen.report.verdict, Verdict::kFailed) << what << ": " << seen.report.text.toStdString();
      EXPECT_FALSE(seen.report.text.isEmpty()) << what << ": the failure reached nobody";
      EXPECT_EQ(seen.count, 0) << what << ": nothing counted as done";
      EXPECT_EQ(session.Dbf1().RowCount(), 2) << what << ": the list lost a number the controller did not confirm";
      EXPECT_EQ(confirmedRows(), 0) << what << ": the colours claim what is not known";
      if (std::string(operation.name) == "backup") {
        EXPECT_FALSE(QFile::exists(session.FilePath("kopia.txt"))) << what << ": a failed backup left a file";
      }
    }
  }
}

}  // namespace
