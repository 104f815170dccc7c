// Controller commands stopped at a point, by the user or by the line: what
// the controller then holds is what the outcome says, and the list is left
// as the outcome says.

#include <QFile>

#include "controller/backup.h"
#include "outcome/outcome_text.h"
#include "serial/list_transfer.h"
#include "serial/testing/sim_session.h"

namespace {

using Lines = std::vector<std::string>;
using Options = sim::Simulator::Options;

// The ways a line misbehaves, made as each case needs them (designated
// initializers of the options trip the compiler's uninitialised-use check).
Options Plain() { return Options(); }
Options Refusing(long long line) {
  Options options;
  options.errorOn = {line};
  return options;
}
Options PulledAfter(int commands) {
  Options options;
  options.unplugAfter = commands;
  return options;
}
Options Silent() {
  Options options;
  options.silent = true;
  return options;
}
Options BareOk() {
  Options options;
  options.bareOk = true;
  return options;
}
Options OffByOne() {
  Options options;
  options.slotOffset = 1;
  return options;
}


// A controller on its own line for each case, seeded with an older list.
struct Line {
  explicit Line(Options options) : sim(options) {}
  bool Start(Session& session) {
    std::string error;
    if (!sim.Start(&error)) return false;
    RememberPortAlias(session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
    UpsertSetting(session, kKeyPort, "7");
    return true;
  }
  std::string Number(int slot) {
    std::lock_guard<std::mutex> lock(sim.mutex());
    return sim.controller().Number(slot);
  }
  sim::Simulator sim;
};

QString Old(int slot) { return QStringLiteral("5001002%1").arg(slot, 2, 10, QLatin1Char('0')); }
QString New(int n) { return QStringLiteral("6001002%1").arg(n, 2, 10, QLatin1Char('0')); }

// Ten numbers over a controller holding twelve: however the write stops,
// the slots from 002 hold the numbers written, one after another, and the
// end of the list follows them, so no older number stays on the list, or
// the outcome says from which slot on one may.
TEST(StoppedCommandsTest, AStoppedWholeListWriteLeavesNoOldNumberBehindWhatItSays) {
  struct Case {
    const char* name;
    Options options;
    int cancelAt;  // the progress step at which "ANULUJ" comes; 0: none
    std::vector<int> written;  // the numbers 1..10 that end in slots 002...
    int endSlot;               // where the end of the list is; 0: nowhere
    const char* says;
  };
  const Case cases[] = {
      {"cancelled after 4", Plain(), 4, {1, 2, 3, 4}, 6, "Zapis przerwany po 4 z 10 numerów: sterownik ma teraz 4 numery"},
      {"the third refused", Refusing(3), 0, {1, 2, 4, 5, 6, 7, 8, 9, 10}, 11,
       "Zapisano 9 z 10 numerów: sterownik ma teraz 9 numerów"},
      {"the adapter pulled after 4", PulledAfter(4), 0, {1, 2, 3, 4}, 0,
       "Zapis przerwany: w sterowniku mogą pozostać stare numery od miejsca 006. Zweryfikuj listę."},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open(temp.path());
    Line line(c.options);
    ASSERT_TRUE(line.Start(open.session)) << c.name;
    {
      std::lock_guard<std::mutex> lock(line.sim.mutex());
      for (int slot = 2; slot <= 13; ++slot) line.sim.controller().SetSlot(slot, Old(slot).toStdString(), "");
    }
    QStringList numbers;
    for (int n = 1; n <= 10; ++n) numbers << New(n);
    Link link(open.session);
    link.options().replyWaitMs = 300;
    ScriptedUi ui;
    Progress progress(ui);
    ui.onProgress = [&](int current, int) {
      if (current == c.cancelAt) progress.Cancel();
    };
    const TransferResult result = WriteNumbers(link, progress, numbers, WriteMode::kWholeList);
    const Report report = Describe(result);
    EXPECT_TRUE(report.text.endsWith(QString::fromUtf8(c.says))) << c.name << ": " << report.text.toStdString();
    EXPECT_NE(report.verdict, Verdict::kDone) << c.name;
    int slot = 2;
    for (int n : c.written) EXPECT_EQ(line.Number(slot++), New(n).toStdString()) << c.name << ", slot " << slot - 1;
    if (c.endSlot > 0) {
      EXPECT_EQ(slot, c.endSlot) << c.name;
      EXPECT_EQ(line.Number(c.endSlot), sim::Controller::kCleared) << c.name << ": the end of the list";
    } else {
      EXPECT_EQ(line.Number(slot), Old(slot).toStdString()) << c.name << ": the old number the outcome warns of";
    }
  }
}

// More numbers than the controller's 1999 slots: nothing is sent, and the
// outcome says how many would not fit.
TEST_F(SimSessionTest, AListLongerThanTheControllerIsRefusedBeforeAnythingIsSent) {
  QStringList numbers;
  for (int n = 0; n < 2001; ++n) numbers << QString::number(600000000 + n);
  const TransferResult result =
      Run([&](Progress& p) { return WriteNumbers(link_, p, numbers, WriteMode::kWholeList); });
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(Describe(result).text.toStdString(),
            "Lista ma 2001 numerów, a sterownik mieści 1999 (miejsca 002–2000): 2 numery się nie zmieszczą. Nic "
            "nie wysłano.");
}

// A read asked to replace the list, and a verify, stopped by the line in
// every way it fails: the replaced list stays as it was, the verify leaves
// the rows it did not reach as they were, and each says so.
TEST(StoppedCommandsTest, AStoppedReadLeavesTheListAndAStoppedVerifyTheColours) {
  struct Case {
    const char* name;
    Options options;
  };
  const Case cases[] = {
      {"silent", Silent()},
      {"refusing", Refusing(2)},
      {"pulled after one slot", PulledAfter(1)},
      {"OK without an entry", BareOk()},
      {"off by one slot", OffByOne()},
  };
  const Lines listed = {"2 Jan Kowalski 600100200 1", "3 Ewa Nowak 501222333 1", "4 Ola Lis 698765432 0"};
  for (const Case& c : cases) {
    for (const bool verify : {false, true}) {
      const std::string what = std::string(c.name) + (verify ? ", verify" : ", read");
      QTemporaryDir temp;
      SessionOnTemp open(temp.path());
      Line line(c.options);
      ASSERT_TRUE(line.Start(open.session)) << what;
      {
        std::lock_guard<std::mutex> lock(line.sim.mutex());
        line.sim.controller().SetSlot(2, "700100100", "");
        line.sim.controller().SetSlot(3, "600100200", "");
      }
      AddPhone(open.session, "Jan", "Kowalski", "600100200", 1);
      AddPhone(open.session, "Ewa", "Nowak", "501222333", 1);
      AddPhone(open.session, "Ola", "Lis", "698765432", 0);
      Link link(open.session);
      link.options().replyWaitMs = 300;
      ScriptedUi ui;
      ui.Answer({true});  // replace the list
      Progress progress(ui);
      const Report report = verify ? Describe(VerifyList(link, progress)) : Describe(ReadList(link, progress));
      EXPECT_EQ(report.verdict, Verdict::kFailed) << what << ": " << report.text.toStdString();
      Lines rows = Rows(open.session);
      if (verify) {
        // Slot 002 may have been answered before the line failed; it holds
        // a number the list lacks, which becomes a row of its own.
        rows.erase(std::remove(rows.begin(), rows.end(), "5   700100100 1"), rows.end());
        EXPECT_TRUE(report.text.endsWith(QString::fromUtf8("wiersze, do których nie doszła, mają poprzedni kolor")))
            << what << ": " << report.text.toStdString();
      } else {
        EXPECT_TRUE(report.text.endsWith(QString::fromUtf8("lista pozostaje bez zmian")))
            << what << ": " << report.text.toStdString();
      }
      EXPECT_EQ(rows, listed) << what;
    }
  }
}

// A controller that holds numbers past slot 1000, "+48" ones among them: a
// verify confirms every one, and a sync finds nothing to change. (Slots
// 1001..1003 hold the controller's own settings, no numbers of the list.)
class QuickControllerTest : public SimSessionTest {
 protected:
  QuickControllerTest() : SimSessionTest(sim::Simulator::Options{.lineGapMs = 0}) {}
};

TEST_F(QuickControllerTest, AVerifyReachesTheLastSlotAndConfirmsNumbersWithACountryCode) {
  QStringList held;
  WithController([&](sim::Controller& c) {
    for (int slot = 2; slot <= 1010; ++slot) {
      const QString number = slot % 100 == 0 ? QStringLiteral("+48%1").arg(600000000 + slot)
                                             : QString::number(600000000 + slot);
      c.SetSlot(slot, number.toStdString(), "");
      if (slot < 1001 || slot > 1003) held << number;
    }
  });
  // Confirmed already but for those past slot 1000 and the "+48" ones.
  for (const QString& tel : held) {
    AddPhone(session_, "", "", tel.toStdString(), tel.startsWith(u'+') || tel.toLongLong() > 600001000 ? 0 : 1);
  }
  const VerifyResult verify = Run([&](Progress& p) { return VerifyList(link_, p); });
  EXPECT_EQ(std::make_tuple(verify.confirmed, verify.missing, verify.added), std::make_tuple(int(held.size()), 0, 0))
      << Describe(verify).text.toStdString();
  const SyncResult sync = Run([&](Progress& p) { return SyncList(link_, p, true); });
  EXPECT_TRUE(sync.plan.add.isEmpty() && sync.plan.remove.isEmpty())
      << sync.plan.add.join(' ').toStdString() << " / " << sync.plan.remove.join(' ').toStdString();
}

// A controller slower than the wait: every reply comes after its line's
// wait ended. None of them is taken for the next line's answer, so no
// number leaves the list on a reply that was not its own.
class LateControllerTest : public SimSessionTest {
 protected:
  LateControllerTest() : SimSessionTest(sim::Simulator::Options{.delayMs = 400, .errorOn = {1}}) {}
};

TEST_F(LateControllerTest, ALateReplyIsNoAnswerToTheNextLine) {
  const QStringList tels = {"600100201", "600100202", "600100203", "600100204"};
  for (const QString& tel : tels) AddPhone(session_, "", "", tel.toStdString());
  const TransferResult result = Run([&](Progress& p) { return DeleteNumbers(link_, p, tels); });
  EXPECT_EQ(result.done, 0);
  EXPECT_EQ(session_.Dbf1().RowCount(), 4) << "the list keeps what it was not told was deleted";
  EXPECT_EQ(Describe(result).verdict, Verdict::kFailed);
}

// A phonebook that is no phonebook (noise in a number, a controller off by
// a slot) makes no backup file.
TEST(StoppedCommandsTest, ABackupOfAPhonebookThatCannotBeRestoredIsNotSaved) {
  struct Case {
    const char* name;
    Options options;
    const char* third;  // what slot 003 holds
    const char* says;
  };
  const Case cases[] = {
      {"noise in a number", Plain(), "60x100200", "Kopii nie zapisano: miejsce 003 zawiera „60x100200”"},
      {"off by a slot", OffByOne(), "600100203", "Błąd komunikacji"},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open(temp.path());
    Line line(c.options);
    ASSERT_TRUE(line.Start(open.session)) << c.name;
    {
      std::lock_guard<std::mutex> lock(line.sim.mutex());
      line.sim.controller().SetSlot(2, "600100202", "");
      line.sim.controller().SetSlot(3, c.third, "");
    }
    Link link(open.session);
    link.options().replyWaitMs = 300;
    ScriptedUi ui;
    Progress progress(ui);
    const QString path = open.session.FilePath("kopia.txt");
    const Report report = Describe(BackupController(link, progress, path));
    EXPECT_EQ(report.verdict, Verdict::kFailed) << c.name;
    EXPECT_TRUE(report.text.startsWith(QString::fromUtf8(c.says))) << c.name << ": " << report.text.toStdString();
    EXPECT_FALSE(QFile::exists(path)) << c.name;
  }
}

}  // namespace
