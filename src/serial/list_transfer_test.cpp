#include "serial/list_transfer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "core/settings.h"
#include "outcome/outcome_text.h"
#include "serial/testing/sim_session.h"

namespace {

using Lines = std::vector<std::string>;

class ListTransferTest : public SimSessionTest {
 protected:
  void List(std::initializer_list<const char*> tels) {
    for (const char* tel : tels) AddPhone(session_, "", "", tel);
  }
  TransferResult Write(const QStringList& numbers, WriteMode mode) {
    return Run([&](Progress& progress) { return WriteNumbers(link_, progress, numbers, mode); });
  }
};

// A whole-list write numbers the slots from 002 and ends the list right
// after the last one it wrote; an add lets the controller place each number
// and never writes the end of the list over a slot that holds one.
TEST_F(ListTransferTest, AWholeListGoesIntoSlotsAndAnAddLeavesTheControllersNumbersAlone) {
  struct Case {
    const char* name;
    QStringList numbers;
    WriteMode mode;
    Lines sent;
    int done;
  };
  const Case cases[] = {
      {"all three",
       {"111111", "222222", "333333"},
       WriteMode::kWholeList,
       {"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=003,\"222222\",145,\"222222\"",
        "AT+CPBW=004,\"333333\",145,\"333333\"", "AT+CPBW=005,\"999999999\",145,\"999999999\""},
       3},
      {"two added: the slot where the list ends holds one of them now",
       {"333333", "111111"},
       WriteMode::kAdd,
       {"AT+CPBM=1015,333333,333333", "AT+CPBM=1015,111111,111111", "AT+CPBR=005"},
       2},
      {"a blank number uses no slot",
       {"111111", " ", "333333"},
       WriteMode::kWholeList,
       {"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=003,\"333333\",145,\"333333\"",
        "AT+CPBW=004,\"999999999\",145,\"999999999\""},
       2},
  };
  List({"111111", "222222", "333333"});
  for (const Case& c : cases) {
    sim_.ClearReceived();
    const TransferResult result = Write(c.numbers, c.mode);
    EXPECT_EQ(Received(), c.sent) << c.name;
    EXPECT_EQ(result.done, c.done) << c.name;
    EXPECT_TRUE(result.Succeeded()) << c.name;
    EXPECT_EQ(Describe(result).text.toStdString(), "Zapisano w sterowniku " + std::to_string(c.done) + " numery");
    EXPECT_EQ(session_.Dbf1().RowCount(), 3) << "a write leaves the list alone: " << c.name;
    EXPECT_FALSE(ui_.progressVisible);
    EXPECT_FALSE(link_.comm().Dtr());
  }
  WithController([](sim::Controller& c) {
    EXPECT_EQ(c.Number(5), "333333") << "the added number was not overwritten by the end of the list";
    EXPECT_EQ(c.Number(6), "111111");
  });
}

TEST_F(ListTransferTest, DeletingRemovesTheNumbersThereAndHere) {
  List({"111111", "222222", "333333"});
  const TransferResult result = Run([&](Progress& progress) {
    return DeleteNumbers(link_, progress, {"333333", "111111"});
  });
  EXPECT_EQ(Received(), (Lines{"AT+CPBM=1016,333333,333333", "AT+CPBM=1016,111111,111111"}));
  EXPECT_EQ(Rows(session_), Lines{"3   222222 0"});
  EXPECT_EQ(Describe(result).text.toStdString(), "Usunięto ze sterownika 2 numery");
}

TEST_F(ListTransferTest, NothingToWriteOrACancelEndTheWayTheyShould) {
  const TransferResult none = Write({}, WriteMode::kWholeList);
  EXPECT_EQ(Describe(none).text, QString::fromUtf8("Brak zaznaczonych rekordów"));
  EXPECT_TRUE(Received().empty());

  List({"111111", "222222"});
  Progress progress(ui_);
  ui_.onProgress = [&](int, int) { progress.Cancel(); };
  const TransferResult cancelled = WriteNumbers(link_, progress, {"111111", "222222"}, WriteMode::kWholeList);
  EXPECT_EQ(Received(), (Lines{"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=003,\"999999999\",145,\"999999999\""}))
      << "the end of the list follows the last number written, also after a cancel";
  EXPECT_EQ(cancelled.notDone, QStringList{"222222"});
  const Report report = Describe(cancelled);
  EXPECT_EQ(report.verdict, Verdict::kStopped);
  EXPECT_EQ(report.text.toStdString(), "Zapis przerwany po 1 z 2 numerów: sterownik ma teraz 1 numer");
}

TEST_F(ListTransferTest, ReadingFillsTheListUntilTheFirstEmptySlot) {
  WithController([](sim::Controller& c) {
    c.SetSlot(2, "600100200", "a");
    c.SetSlot(3, "0501222333", "b");
    c.SetSlot(4, "700000001", "c");
  });
  List({"999888777"});
  ui_.Answer({true});
  const ReadResult read = Run([&](Progress& progress) { return ReadList(link_, progress); });
  EXPECT_EQ(ui_.dialogs.front().id, Question::kClearBeforeRead);
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004", "AT+CPBR=005"}));
  EXPECT_EQ(Rows(session_), (Lines{"2   600100200 1", "3   501222333 1", "4   700000001 1"}));
  EXPECT_FALSE(session_.UnsavedChanges);
  EXPECT_EQ(read.entries, 3);
  EXPECT_TRUE(read.cleared);
  EXPECT_EQ(Describe(read).text.toStdString(), "Odczytano ze sterownika 3 wpisy");

  // Verify: every number unconfirmed, then confirmed where the controller has it.
  AddPhone(session_, "", "", "123123123", 1);
  sim_.ClearReceived();
  const VerifyResult verify = Run([&](Progress& progress) { return VerifyList(link_, progress); });
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004", "AT+CPBR=005"}));
  EXPECT_EQ(Rows(session_), (Lines{"2   600100200 1", "3   501222333 1", "4   700000001 1", "5   123123123 0"}));
  EXPECT_EQ(std::make_tuple(verify.confirmed, verify.missing, verify.added), std::make_tuple(3, 1, 0));
}

// Reading or verifying a list that already holds what the controller holds
// writes no row, so the database file keeps its size; a number the
// controller lost is still unconfirmed.
TEST_F(ListTransferTest, ReadingOrVerifyingAListThatAgreesLeavesTheFileItsSize) {
  WithController([](sim::Controller& c) {
    for (int slot = 2; slot <= 21; ++slot) c.SetSlot(slot, std::to_string(600100000 + slot), "");
  });
  link_.options().readGap = 0;
  ui_.Answer({false});
  Run([&](Progress& progress) { return ReadList(link_, progress); });
  Run([&](Progress& progress) { return VerifyList(link_, progress); });
  const Lines rows = Rows(session_);
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows.front(), "2   600100002 1");
  const QFileInfo file(session_.FilePath(kDatabaseFileName));
  const qint64 size = file.size();
  struct Case {
    const char* name;
    std::function<Report(Progress&)> run;
  };
  const Case cases[] = {
      {"verify", [&](Progress& progress) { return Describe(VerifyList(link_, progress)); }},
      {"read without clearing",
       [&](Progress& progress) {
         ui_.Answer({false});
         return Describe(ReadList(link_, progress));
       }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.run).verdict, Verdict::kDone) << c.name;
    EXPECT_EQ(QFileInfo(file.filePath()).size(), size) << c.name;
    EXPECT_EQ(Rows(session_), rows) << c.name;
  }

  WithController([](sim::Controller& c) { c.SetSlot(21, sim::Controller::kCleared, ""); });
  Run([&](Progress& progress) { return VerifyList(link_, progress); });
  Lines expected = rows;
  expected.back() = "21   600100021 0";
  EXPECT_EQ(Rows(session_), expected);
}

TEST_F(ListTransferTest, FormattingClearsEverySlotFrom002To2000) {
  ui_.Answer({false});
  const FormatResult declined = Run([&](Progress& progress) { return FormatMemory(link_, progress); });
  EXPECT_TRUE(Received().empty()) << "NIE sends nothing";
  EXPECT_EQ(Describe(declined).verdict, Verdict::kDeclined);
  ui_.Answer({true});
  const FormatResult formatted = Run([&](Progress& progress) { return FormatMemory(link_, progress); });
  const Lines sent = Received();
  ASSERT_EQ(sent.size(), 1999u);
  EXPECT_EQ(sent.front(), "AT+CPBW=002,\"999999999\",145,\"999999999\";");
  EXPECT_EQ(sent.back(), "AT+CPBW=2000,\"999999999\",145,\"999999999\";");
  EXPECT_EQ(Describe(formatted).text.toStdString(), "Wyczyszczono pamięć sterownika: 1999 miejsc");
}

// A delete leaves a cleared slot in the middle of the phonebook: the read
// stops there as always, says how many numbers lie past it (adding none),
// and reads on only when asked to; a never-written slot ends the look.
TEST_F(ListTransferTest, NumbersPastAHoleAreReportedAndReadOnlyWhenAsked) {
  WithController([](sim::Controller& c) {
    c.SetSlot(2, "600100200", "");
    c.SetSlot(3, sim::Controller::kCleared, "");
    c.SetSlot(4, "600100204", "");
    c.SetSlot(5, "600100205", "");
    c.SetSlot(6, sim::Controller::kCleared, "");
  });
  struct Case {
    const char* name;
    bool readOn;
    int gap;
    Lines rows;
    const char* outcome;
    size_t questions;
  };
  // clang-format off
  const Case cases[] = {
      {"stop at the hole", false, 20, {"2   600100200 1"},
       "Odczytano ze sterownika 1 wpis. Za pustym miejscem 003 sterownik ma jeszcze 2 numery", 2},
      {"read on", true, 20, {"2   600100200 1", "4   600100204 1", "5   600100205 1"},
       "Odczytano ze sterownika 3 wpisy", 2},
      {"looking turned off", false, 0, {"2   600100200 1"}, "Odczytano ze sterownika 1 wpis", 1},
  };
  // clang-format on
  for (const Case& c : cases) {
    ScriptedUi ui;
    ui.Answer({true, c.readOn});  // clear the list first; read on past the hole
    link_.options().readGap = c.gap;
    Progress progress(ui);
    EXPECT_EQ(Describe(ReadList(link_, progress)).text.toStdString(), c.outcome) << c.name;
    EXPECT_EQ(Rows(session_), c.rows) << c.name;
    ASSERT_EQ(ui.dialogs.size(), c.questions) << c.name;
    if (c.questions == 2) {
      EXPECT_EQ(ui.dialogs[1].id, Question::kReadPastHole);
      EXPECT_EQ(ui.dialogs[1].text.toStdString(),
                "Za pustym miejscem 003 sterownik ma jeszcze 2 numery. Czytać dalej?");
    }
  }
  // Every look stops at slot 7, which was never written.
  const Lines sent = Received();
  EXPECT_GT(std::count(sent.begin(), sent.end(), "AT+CPBR=007"), 0);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+CPBR=008"), 0);
}

class SilentControllerTest : public SimSessionTest {
 protected:
  SilentControllerTest() : SimSessionTest(sim::Simulator::Options{.silent = true}) {}
};

TEST_F(SilentControllerTest, ReadAndVerifyReportACommunicationError) {
  const std::function<Report(Progress&)> operations[] = {
      [&](Progress& progress) { return Describe(ReadList(link_, progress)); },
      [&](Progress& progress) { return Describe(VerifyList(link_, progress)); },
  };
  for (const auto& operation : operations) {
    sim_.ClearReceived();
    ui_.Answer({false});
    const Report report = Run(operation);
    EXPECT_EQ(Received(), Lines{"AT+CPBR=002"});
    EXPECT_EQ(report.verdict, Verdict::kFailed);
    EXPECT_TRUE(report.text.startsWith(QString::fromUtf8("Błąd komunikacji. "))) << report.text.toStdString();
    EXPECT_FALSE(ui_.progressVisible);
  }
}

// A dead line is found out after three unanswered lines, whatever is left,
// and nothing is reported as done; the list keeps every number the
// controller did not confirm.
TEST_F(SilentControllerTest, WritesDeletesAndFormatsStopOnADeadLineAndKeepTheList) {
  const QStringList tels = {"111111", "222222", "333333", "444444", "555555"};
  for (const QString& tel : tels) AddPhone(session_, "", "", tel.toStdString());
  struct Case {
    const char* name;
    std::function<Report(Progress&)> run;
  };
  const Case cases[] = {
      {"write", [&](Progress& p) { return Describe(WriteNumbers(link_, p, tels, WriteMode::kWholeList)); }},
      {"delete", [&](Progress& p) { return Describe(DeleteNumbers(link_, p, tels)); }},
      {"format", [&](Progress& p) { return Describe(FormatMemory(link_, p)); }},
  };
  for (const Case& c : cases) {
    sim_.ClearReceived();
    ui_.Answer({true});  // the format's question
    const Report report = Run(c.run);
    ui_.Answer({});
    EXPECT_EQ(Received().size(), 3u) << c.name;
    EXPECT_EQ(report.verdict, Verdict::kFailed) << c.name;
    EXPECT_TRUE(report.text.startsWith(QString::fromUtf8("Błąd komunikacji: Sterownik nie potwierdził 3 z 3")))
        << c.name << ": " << report.text.toStdString();
    EXPECT_EQ(session_.Dbf1().RowCount(), 5) << c.name << ": no unconfirmed delete empties the list";
    EXPECT_FALSE(ui_.progressVisible) << c.name;
  }
}

// A USB adapter hands an entry and its "OK" over in one read: the verify
// still takes each slot's answer at once.
class CoalescingControllerTest : public SimSessionTest {
 protected:
  CoalescingControllerTest() : SimSessionTest(sim::Simulator::Options{.coalesce = true}) {}
};

TEST_F(CoalescingControllerTest, VerifyAnswersEverySlotAtOnceAndReportsTheComparison) {
  AddPhone(session_, "Jan", "", "600100200");
  AddPhone(session_, "Ewa", "", "500400300");
  WithController([](sim::Controller& c) {
    c.SetSlot(2, "600100200", "");
    c.SetSlot(3, "700700700", "");
  });
  link_.options().replyWaitMs = 2000;
  QElapsedTimer clock;
  clock.start();
  const VerifyResult result = Run([&](Progress& progress) { return VerifyList(link_, progress); });
  EXPECT_LT(clock.elapsed(), 1500) << "no slot waited out its time";
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004"}));
  EXPECT_EQ(Describe(result).text.toStdString(),
            "Weryfikacja zakończona: potwierdzone w sterowniku 1, brak w sterowniku 1, tylko w sterowniku 1 "
            "(dopisane do listy)");
}

// An adapter pulled out in the middle of a write: the operation stops at
// once with its own message, the port counts as closed, and the list keeps
// every number, also those a delete had not had confirmed.
class UnpluggedControllerTest : public SimSessionTest {
 protected:
  UnpluggedControllerTest() : SimSessionTest(sim::Simulator::Options{.delayMs = 40}) {}
};

TEST_F(UnpluggedControllerTest, AWriteOrDeleteStopsWithTheMessageAndTheListStaysWhole) {
  for (const bool write : {true, false}) {
    QTemporaryDir temp;
    SessionOnTemp fresh(temp.path());
    sim::Simulator sim(sim::Simulator::Options{.delayMs = 40});
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    RememberPortAlias(fresh.session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
    UpsertSetting(fresh.session, kKeyPort, "7");
    QStringList numbers;
    for (int i = 0; i < 20; ++i) {
      const std::string tel = std::to_string(600100200 + i);
      AddPhone(fresh.session, "", "", tel);
      numbers << QString::fromStdString(tel);
    }
    Link link(fresh.session);
    ScriptedUi ui;
    Progress progress(ui);
    QTimer::singleShot(300, [&] { sim.Stop(); });
    QElapsedTimer clock;
    clock.start();
    const TransferResult result =
        write ? WriteNumbers(link, progress, numbers, WriteMode::kWholeList) : DeleteNumbers(link, progress, numbers);
    EXPECT_LT(clock.elapsed(), 1500) << "no wait ran out its time on a vanished port";
    EXPECT_EQ(result.stop, Stop::kPortLost);
    EXPECT_TRUE(Describe(result).text.startsWith(QString::fromUtf8(kPortLostMessage)))
        << Describe(result).text.toStdString();
    EXPECT_FALSE(link.comm().IsOpen());
    const int confirmed = int(sim.Received().size());
    EXPECT_GT(confirmed, 0);
    EXPECT_LT(confirmed, 20);
    EXPECT_EQ(result.done + result.notDone.size(), 20);
    EXPECT_EQ(fresh.session.Dbf1().RowCount(), write ? 20 : 20 - result.done)
        << "only what the controller confirmed leaves the list (the line cut short is kept)";
  }
}

// The controller refuses the second command line, and a number that could
// break its line never leaves: both are counted and told, nothing passes
// for done, and the line to the controller carries only what was meant.
class RefusingControllerTest : public SimSessionTest {
 protected:
  RefusingControllerTest() : SimSessionTest(sim::Simulator::Options{.errorOn = {2}}) {}
};

TEST_F(RefusingControllerTest, RefusedAndUnsafeLinesAreCountedAndNothingPassesForDone) {
  const QStringList numbers = {"600100200", "600100201", "600\",1,\"1\";AT+CPBW=003", "600100203"};
  const TransferResult result =
      Run([&](Progress& progress) { return WriteNumbers(link_, progress, numbers, WriteMode::kWholeList); });
  EXPECT_EQ(Received(),
            (Lines{"AT+CPBW=002,\"600100200\",145,\"600100200\"", "AT+CPBW=003,\"600100201\",145,\"600100201\"",
                   "AT+CPBW=003,\"600100203\",145,\"600100203\"", "AT+CPBW=004,\"999999999\",145,\"999999999\""}))
      << "the number with a quote in it is never sent; a refused one leaves its slot to the next";
  EXPECT_EQ(result.lines.refused(), 1);
  EXPECT_EQ(result.lines.notSent(), 1);
  EXPECT_EQ(result.notDone, (QStringList{"600100201", numbers[2]}));
  const Report report = Describe(result);
  EXPECT_EQ(report.verdict, Verdict::kFailed);
  EXPECT_EQ(report.text.toStdString(),
            "Sterownik nie potwierdził 1 z 4 poleceń (odrzucone: 1, bez odpowiedzi: 0). Nie wysłano 1 wartości: " +
                numbers[2].toStdString() + ". Zapisano 2 z 4 numerów: sterownik ma teraz 2 numery");
  WithController([](sim::Controller& c) {
    EXPECT_EQ(c.Number(3), "600100203") << "the refused line changed nothing; the next number took its slot";
    EXPECT_EQ(c.Number(4), sim::Controller::kCleared);
  });
}

// Behind a USB adapter every reply arrives in 16 ms batches with no pause
// between its lines: a read and a verify still take each slot's answer as
// soon as it is there.
class UsbControllerTest : public SimSessionTest {
 protected:
  UsbControllerTest() : SimSessionTest(sim::Simulator::Options{.usbLatencyMs = 16}) {}
};

TEST_F(UsbControllerTest, ReadAndVerifyTakeEachAnswerAsItComes) {
  WithController([](sim::Controller& c) {
    for (int slot = 2; slot <= 21; ++slot) c.SetSlot(slot, std::to_string(600100000 + slot), "");
  });
  link_.options().replyWaitMs = 2000;
  QElapsedTimer clock;
  clock.start();
  ui_.Answer({false});
  const ReadResult read = Run([&](Progress& progress) { return ReadList(link_, progress); });
  EXPECT_EQ(session_.Dbf1().RowCount(), 20);
  const VerifyResult verify = Run([&](Progress& progress) { return VerifyList(link_, progress); });
  EXPECT_LT(clock.elapsed(), 20 * 2 * 200) << "no slot waited out its time";
  EXPECT_EQ(Describe(read).text.toStdString(), "Odczytano ze sterownika 20 wpisów");
  EXPECT_EQ(Describe(verify).text.toStdString(),
            "Weryfikacja zakończona: potwierdzone w sterowniku 20, brak w sterowniku 0, tylko w sterowniku 0 "
            "(dopisane do listy)");
}

}  // namespace
