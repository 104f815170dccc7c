#include "serial/list_transfer.h"

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

}  // namespace
