#include "serial/list_transfer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <QTimer>

#include "core/settings.h"
#include "phonelist/list_commands.h"
#include "serial/testing/sim_session.h"

namespace {


using Lines = std::vector<std::string>;

class ListTransferTest : public SimSessionTest {
 protected:
  void List(std::initializer_list<const char*> tels) {
    for (const char* tel : tels) AddPhone(session_, "", "", tel);
  }
  void Mark(std::initializer_list<const char*> tels) {
    for (const char* tel : tels) session_.memcheck.Append(tel);
  }
};

TEST_F(ListTransferTest, WritingNumbersSlotsForAWholeListAndAddsForPartOfIt) {
  struct Case {
    const char* name;
    std::vector<const char*> marks;
    Lines sent;
  };
  const Case cases[] = {
      {"all three",
       {"111111", "222222", "333333"},
       {"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=003,\"222222\",145,\"222222\"",
        "AT+CPBW=004,\"333333\",145,\"333333\"", "AT+CPBW=005,\"999999999\",145,\"999999999\""}},
      {"two of three",
       {"333333", "111111"},
       {"AT+CPBM=1015,333333,333333", "AT+CPBM=1015,111111,111111", "AT+CPBW=005,\"999999999\",145,\"999999999\""}},
      {"a blank mark uses no slot",
       {"111111", " ", "333333"},
       {"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=003,\"333333\",145,\"333333\"",
        "AT+CPBW=005,\"999999999\",145,\"999999999\""}},
  };
  List({"111111", "222222", "333333"});
  for (const Case& c : cases) {
    sim_.ClearReceived();
    for (const char* tel : c.marks) session_.memcheck.Append(tel);
    TransferMarked(link_, ui_, TransferMode::kWrite);
    EXPECT_EQ(Received(), c.sent) << c.name;
    EXPECT_EQ(session_.memcheck.Count(), 0) << c.name;
    EXPECT_EQ(session_.Dbf1().RowCount(), 3) << "a write leaves the list alone: " << c.name;
    EXPECT_FALSE(session_.BulkUpdate);
    EXPECT_FALSE(ui_.progressVisible);
    EXPECT_FALSE(link_.comm().Dtr());
  }
  WithController([](sim::Controller& c) { EXPECT_EQ(c.Number(3), "333333"); });
}

TEST_F(ListTransferTest, DeletingRemovesTheNumbersThereAndHere) {
  List({"111111", "222222", "333333"});
  Mark({"333333", "111111"});
  TransferMarked(link_, ui_, TransferMode::kDelete);
  EXPECT_EQ(Received(), (Lines{"AT+CPBM=1016,333333,333333", "AT+CPBM=1016,111111,111111"}));
  EXPECT_EQ(Rows(session_), Lines{"3   222222 0"});
}

TEST_F(ListTransferTest, NoMarksOrACancelStillEndTheWayTheyShould) {
  TransferMarked(link_, ui_, TransferMode::kWrite);
  EXPECT_EQ(ui_.dialogs.back().text, QString::fromUtf8("Brak zaznaczonych rekordów"));
  EXPECT_TRUE(Received().empty());

  List({"111111", "222222"});
  Mark({"111111", "222222"});
  ui_.onProgress = [&](int, int) { session_.CancelRequested = true; };
  TransferMarked(link_, ui_, TransferMode::kWrite);
  EXPECT_EQ(Received(), (Lines{"AT+CPBW=002,\"111111\",145,\"111111\"", "AT+CPBW=004,\"999999999\",145,\"999999999\""}))
      << "the end of the list follows a cancel";
  EXPECT_EQ(session_.memcheck.Count(), 0);
}

TEST_F(ListTransferTest, ReadingFillsTheListUntilTheFirstEmptySlot) {
  WithController([](sim::Controller& c) {
    c.SetSlot(2, "600100200", "a");
    c.SetSlot(3, "0501222333", "b");
    c.SetSlot(4, "700000001", "c");
  });
  List({"999888777"});
  ui_.Answer({true});
  ReadList(link_, ui_);
  EXPECT_EQ(ui_.dialogs.front().text, QString::fromUtf8("Czy przed odczytem usunąć listę telefonów"));
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004", "AT+CPBR=005"}));
  EXPECT_EQ(Rows(session_), (Lines{"2   600100200 1", "3   501222333 1", "4   700000001 1"}));
  EXPECT_FALSE(session_.UnsavedChanges);
  EXPECT_EQ(ui_.dialogs.size(), 1u) << "no error";

  // Verify: every number unconfirmed, then confirmed where the controller has it.
  AddPhone(session_, "", "", "123123123", 1);
  sim_.ClearReceived();
  VerifyList(link_, ui_);
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004", "AT+CPBR=005"}));
  EXPECT_EQ(Rows(session_),
            (Lines{"2   600100200 1", "3   501222333 1", "4   700000001 1", "5   123123123 0"}));
  EXPECT_FALSE(session_.BulkUpdate);
}

// Reading or verifying a list that already holds what the controller holds
// writes no row, so the database file keeps its size; a number the
// controller lost is still unconfirmed.
TEST_F(ListTransferTest, ReadingOrVerifyingAListThatAgreesLeavesTheFileItsSize) {
  WithController([](sim::Controller& c) {
    for (int slot = 2; slot <= 21; ++slot) c.SetSlot(slot, std::to_string(600100000 + slot), "");
  });
  session_.ReadGap = 0;
  ui_.Answer({false});
  ReadList(link_, ui_);
  VerifyList(link_, ui_);
  const Lines rows = Rows(session_);
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows.front(), "2   600100002 1");
  const QFileInfo file(session_.FilePath(kDatabaseFileName));
  const qint64 size = file.size();
  struct Case {
    const char* name;
    std::function<void(ScriptedUi&)> run;
  };
  const Case cases[] = {
      {"verify", [&](ScriptedUi& ui) { VerifyList(link_, ui); }},
      {"read without clearing", [&](ScriptedUi& ui) {
         ui.Answer({false});
         ReadList(link_, ui);
       }},
  };
  for (const Case& c : cases) {
    ScriptedUi ui;
    c.run(ui);
    EXPECT_EQ(QFileInfo(file.filePath()).size(), size) << c.name;
    EXPECT_EQ(Rows(session_), rows) << c.name;
    EXPECT_EQ(ui.outcomes.size(), 1u) << c.name;
  }

  WithController([](sim::Controller& c) { c.SetSlot(21, sim::Controller::kCleared, ""); });
  VerifyList(link_, ui_);
  Lines expected = rows;
  expected.back() = "21   600100021 0";
  EXPECT_EQ(Rows(session_), expected);
}

TEST_F(ListTransferTest, FormattingClearsEverySlotFrom002To2000) {
  ui_.Answer({false});
  FormatMemory(link_, ui_);
  EXPECT_TRUE(Received().empty()) << "NIE sends nothing";
  ui_.Answer({true});
  FormatMemory(link_, ui_);
  const Lines sent = Received();
  ASSERT_EQ(sent.size(), 1999u);
  EXPECT_EQ(sent.front(), "AT+CPBW=002,\"999999999\",145,\"999999999\";");
  EXPECT_EQ(sent.back(), "AT+CPBW=2000,\"999999999\",145,\"999999999\";");
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
    std::vector<QString> outcomes;
  };
  const QString past = QString::fromUtf8("Za pustym miejscem 003 sterownik ma jeszcze 2 numery");
  const Case cases[] = {
      {"stop at the hole", false, 20, {"2   600100200 1"}, {past, QString::fromUtf8("Odczytano ze sterownika 1 wpis")}},
      {"read on", true, 20, {"2   600100200 1", "4   600100204 1", "5   600100205 1"},
       {past, QString::fromUtf8("Odczytano ze sterownika 3 wpisy")}},
      {"looking turned off", false, 0, {"2   600100200 1"}, {QString::fromUtf8("Odczytano ze sterownika 1 wpis")}},
  };
  for (const Case& c : cases) {
    ScriptedUi ui;
    ui.Answer({true, c.readOn});  // clear the list first; read on past the hole
    session_.ReadGap = c.gap;
    ReadList(link_, ui);
    EXPECT_EQ(Rows(session_), c.rows) << c.name;
    EXPECT_EQ(ui.outcomes, c.outcomes) << c.name;
    EXPECT_EQ(ui.unansweredQuestions, 0) << c.name;
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
  for (void (*operation)(Link&, UserInterface&) : {&ReadList, &VerifyList}) {
    sim_.ClearReceived();
    ScriptedUi ui;
    ui.Answer({false});
    operation(link_, ui);
    EXPECT_EQ(Received(), Lines{"AT+CPBR=002"});
    EXPECT_EQ(ui.dialogs.back().text, QString::fromUtf8("Błąd komunikacji"));
    EXPECT_FALSE(ui.progressVisible);
  }
}

// A dead line is found out after three unanswered lines, whatever is left,
// and nothing is reported as done; the list keeps every number the
// controller did not confirm.
TEST_F(SilentControllerTest, WritesDeletesAndFormatsStopOnADeadLineAndKeepTheList) {
  const char* const tels[] = {"111111", "222222", "333333", "444444", "555555"};
  for (const char* tel : tels) AddPhone(session_, "", "", tel);
  struct Case {
    const char* name;
    std::function<void(ScriptedUi&)> run;
    size_t sent;
  };
  const Case cases[] = {
      {"write", [&](ScriptedUi& ui) { TransferMarked(link_, ui, TransferMode::kWrite); }, 3},
      {"delete", [&](ScriptedUi& ui) { TransferMarked(link_, ui, TransferMode::kDelete); }, 3},
      {"format", [&](ScriptedUi& ui) { FormatMemory(link_, ui); }, 3},
  };
  for (const Case& c : cases) {
    sim_.ClearReceived();
    for (const char* tel : tels) session_.memcheck.Append(tel);
    ScriptedUi ui;
    ui.Answer({true});  // the format's question
    c.run(ui);
    EXPECT_EQ(Received().size(), c.sent) << c.name;
    ASSERT_FALSE(ui.dialogs.empty()) << c.name;
    EXPECT_TRUE(ui.dialogs.back().text.startsWith(QString::fromUtf8("Błąd komunikacji: Sterownik nie potwierdził 3 z 3")))
        << c.name << ": " << ui.dialogs.back().text.toStdString();
    EXPECT_TRUE(ui.outcomes.empty()) << c.name << ": nothing is reported as done";
    EXPECT_EQ(session_.Dbf1().RowCount(), 5) << c.name << ": no unconfirmed delete empties the list";
    EXPECT_FALSE(ui.progressVisible) << c.name;
  }
}

// A USB adapter hands an entry and its "OK" over in one read: the verify
// still takes each slot's answer at once, and the configuration read keeps
// every entry of a reply of several.
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
  session_.ReplyWaitMs = 2000;
  QElapsedTimer clock;
  clock.start();
  VerifyList(link_, ui_);
  EXPECT_LT(clock.elapsed(), 1500) << "no slot waited out its time";
  EXPECT_EQ(Received(), (Lines{"AT+CPBR=002", "AT+CPBR=003", "AT+CPBR=004"}));
  ASSERT_EQ(ui_.outcomes.size(), 1u);
  EXPECT_EQ(ui_.outcomes[0].toStdString(),
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
  for (const TransferMode mode : {TransferMode::kWrite, TransferMode::kDelete}) {
    QTemporaryDir temp;
    SessionOnTemp fresh(temp.path());
    sim::Simulator sim(sim::Simulator::Options{.delayMs = 40});
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    RememberPortAlias(fresh.session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
    UpsertSetting(fresh.session, kKeyPort, "7");
    fresh.session.ReplyWaitMs = 2000;
    for (int i = 0; i < 20; ++i) {
      const std::string tel = std::to_string(600100200 + i);
      AddPhone(fresh.session, "", "", tel);
      fresh.session.memcheck.Append(tel);
    }
    Link link(fresh.session);
    ScriptedUi ui;
    QTimer::singleShot(300, [&] { sim.Stop(); });
    QElapsedTimer clock;
    clock.start();
    TransferMarked(link, ui, mode);
    EXPECT_LT(clock.elapsed(), 1500) << "no wait ran out its time on a vanished port";
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_TRUE(ui.dialogs[0].text.startsWith(QString::fromUtf8(kPortLostMessage))) << ui.dialogs[0].text.toStdString();
    EXPECT_TRUE(ui.outcomes.empty());
    EXPECT_FALSE(link.comm().IsOpen());
    const int confirmed = int(sim.Received().size());
    EXPECT_GT(confirmed, 0);
    EXPECT_LT(confirmed, 20);
    EXPECT_EQ(fresh.session.Dbf1().RowCount(), mode == TransferMode::kWrite ? 20 : 20 - confirmed + 1)
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
  for (const char* tel : {"600100200", "600100201", "600\",1,\"1\";AT+CPBW=003", "600100203"}) {
    AddPhone(session_, "", "", tel);
    session_.memcheck.Append(tel);
  }
  TransferMarked(link_, ui_, TransferMode::kWrite);
  EXPECT_EQ(Received(), (Lines{"AT+CPBW=002,\"600100200\",145,\"600100200\"",
                               "AT+CPBW=003,\"600100201\",145,\"600100201\"",
                               "AT+CPBW=005,\"600100203\",145,\"600100203\"",
                               "AT+CPBW=006,\"999999999\",145,\"999999999\""}))
      << "the number with a quote in it is never sent";
  ASSERT_EQ(ui_.dialogs.size(), 1u);
  EXPECT_EQ(ui_.dialogs[0].text.toStdString(),
            "Sterownik nie potwierdził 2 z 5 poleceń (odrzucone: 2, bez odpowiedzi: 0)");
  EXPECT_TRUE(ui_.outcomes.empty());
  WithController([](sim::Controller& c) { EXPECT_NE(c.Number(3), "600100201") << "the refused line changed nothing"; });
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
  session_.ReplyWaitMs = 2000;
  QElapsedTimer clock;
  clock.start();
  ui_.Answer({false});
  ReadList(link_, ui_);
  EXPECT_EQ(session_.Dbf1().RowCount(), 20);
  VerifyList(link_, ui_);
  EXPECT_LT(clock.elapsed(), 20 * 2 * 200) << "no slot waited out its time";
  ASSERT_EQ(ui_.outcomes.size(), 2u);
  EXPECT_EQ(ui_.outcomes[0].toStdString(), "Odczytano ze sterownika 20 wpisów");
  EXPECT_EQ(ui_.outcomes[1].toStdString(),
            "Weryfikacja zakończona: potwierdzone w sterowniku 20, brak w sterowniku 0, tylko w sterowniku 0 "
            "(dopisane do listy)");
}

}  // namespace
