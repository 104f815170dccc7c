#include "serial/link.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/settings.h"
#include "core/testing/phones.h"
#include "serial/reply_store.h"

namespace {

// The replies parsed so far, without waiting, each stored as the command
// that takes it stores it: entries and system lines as a read of the list
// or the configuration does, event-log lines as a fetch does.
Answer TakeAndStore(Link& link, Session& session) {
  const Answer answer = link.Listen(Await::kReply, 0);
  ReplyStore store(session);
  for (const Reply& reply : answer.replies) {
    if (reply.kind == ReplyKind::kEntry && !reply.emptySlot) store.StoreEntry(reply.slot, reply.number);
    if (reply.kind == ReplyKind::kSystem) store.StoreRelayCode(reply.relayCode);
    if (reply.kind == ReplyKind::kEvent && !reply.logEnd) store.StoreEvent(reply.date, reply.number);
  }
  return answer;
}

bool LogEnded(const Answer& answer) {
  return std::any_of(answer.replies.begin(), answer.replies.end(),
                     [](const Reply& reply) { return reply.kind == ReplyKind::kEvent && reply.logEnd; });
}

class ParserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link().onLog = [this](const QString& line) { log_.push_back(line); };
  }
  Link& link() { return link_; }
  // Parses `text` and takes what it holds.
  Answer Feed(const QByteArray& text) {
    link().Parse(text);
    return TakeAndStore(link(), session_);
  }
  std::string Setting(const char* key) {
    QString value;
    return FindSetting(session_, key, &value) ? value.toStdString() : "<none>";
  }
  std::vector<std::string> Reports() {
    std::vector<std::string> rows;
    store::Cursor& reports = session_.Dbf3();
    for (reports.First(); !reports.Eof(); reports.Next())
      rows.push_back(reports.Text("Data") + "|" + reports.Text("Tel"));
    return rows;
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  Link link_{session_};
  std::vector<QString> log_;
};

TEST_F(ParserTest, PhonebookEntriesBecomeRowsOrSettings) {
  struct Case {
    const char* reply;
    std::vector<std::string> rows;  // the list afterwards
    const char* key;                // a setting written, or nullptr
    const char* value;
    bool empty;
  };
  const Case cases[] = {
      {"+CPBR: 5,\"123456789\",129,\"Jan\"\r\nOK\r\n", {"5   123456789 1"}, nullptr, nullptr, false},
      {"+CPBR: 5,\"0123456789\",129,\"Jan\"\r\n", {"5   123456789 1"}, nullptr, nullptr, false},
      {"+CPBR: 5,\"0000123\",129,\"x\"\r\n", {}, nullptr, nullptr, false},
      {"+CPBR: 9,\"1000000001\",129,\"x\"\r\n", {"9   5294967297 1"}, nullptr, nullptr, false},
      // Only a number a 32-bit store could have cut is given back its 2^32.
      {"+CPBR: 9,\"+48600100200\",145,\"x\"\r\n", {"9   +48600100200 1"}, nullptr, nullptr, false},
      {"+CPBR: 9,\"52895067496\",129,\"x\"\r\n", {"9   52895067496 1"}, nullptr, nullptr, false},
      {"+CPBR: 7,\"999999999\",129,\"999999999\"\r\n", {}, nullptr, nullptr, true},
      {"+CPBR: 7,\"4294967295\",129,\"\"\r\n", {}, nullptr, nullptr, true},
      {"+CPBR: 7,\"0999999999\",129,\"\"\r\n", {}, nullptr, nullptr, true},
      {"+CPBR: 7,\"0\",129,\"\"\r\n", {}, nullptr, nullptr, true},
      {"+CPBR: 1,\" 600100200 \",145,\"a\"\r\n", {}, "teladmin", "600100200", false},
      {"+CPBR: 1002,\"0698765432\",129,\"a\"\r\n", {}, "telster", "698765432", false},
      {"+CPBR: 0,\"00042\",129,\"a\"\r\n", {}, "ostiv", "42", false},
      {"+CPBR: 1023,\"0192168\",129,\"a\"\r\n", {}, "hostip", "192168", false},
      {"+CPBR: 1024,\"80\",129,\"a\"\r\n", {}, "host", "80", false},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp fresh(temp.path());
    Link link(fresh.session);
    link.Parse(c.reply);
    const Answer answer = TakeAndStore(link, fresh.session);
    EXPECT_EQ(Rows(fresh.session), c.rows) << c.reply;
    ASSERT_TRUE(answer.Entry()) << c.reply;
    EXPECT_TRUE(answer.Heard()) << c.reply;
    // An "OK" in the same read as the entry is a line of its own and ends
    // the reply, as it does when it comes on its own.
    EXPECT_EQ(answer.outcome == LineOutcome::kConfirmed, QByteArray(c.reply).endsWith("OK\r\n")) << c.reply;
    EXPECT_EQ(answer.Entry()->emptySlot, c.empty) << c.reply;
    EXPECT_TRUE(link.PendingText().isEmpty()) << c.reply;
    if (c.key) {
      QString value;
      EXPECT_TRUE(FindSetting(fresh.session, c.key, &value)) << c.reply;
      EXPECT_EQ(value.toStdString(), c.value) << c.reply;
    }
  }
}

// A listed number is confirmed where it is; a number the list lacks never
// replaces another listed number (a verify against a controller holding
// other numbers must not put them under listed names), but fills a row of
// the slot's number that has none.
TEST_F(ParserTest, AnEntryFindsItsRowByPhoneAndNeverOverwritesAnotherNumber) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");  // ID 2
  AddPhone(session_, "Ewa", "Nowak", "500400300");     // ID 3
  AddPhone(session_, "Ola", "Lis", "");                // ID 4, no number yet
  Feed("+CPBR: 8,\"600100200\",129,\"\"\r\n");         // known number: keeps its ID, confirmed
  Feed("+CPBR: 3,\"700700700\",129,\"\"\r\n");         // slot 3 holds a number the list lacks
  Feed("+CPBR: 4,\"800800800\",129,\"\"\r\n");         // row 4 has no number: it takes this one
  Feed("+CPBR: 9,\"700700700\",129,\"\"\r\n");         // a number already listed elsewhere
  EXPECT_EQ(Rows(session_), (std::vector<std::string>{"2 Jan Kowalski 600100200 1", "3 Ewa Nowak 500400300 0",
                                                      "4 Ola Lis 800800800 1", "5   700700700 1"}));
  EXPECT_TRUE(log_.back().endsWith(": CPBR: 9,\"700700700\",129,\"\"")) << log_.back().toStdString();
  EXPECT_EQ(log_.back()[2], u':') << "stamped mm:ss.zzz";
}

TEST_F(ParserTest, SystemLinesSetTheRelayTimeOnceTheyAreLongEnough) {
  const std::pair<const char*, const char*> cases[] = {
      {"SYS: 1,5,0\r\n", "2"},   {"SYS: 1,3,0\r\n", "0"},  {"SYS: 1,10,0\r\n", "7"},
      {"SYS: 1,abc,0\r\n", "1"}, {"SYS: 1,11,0\r\n", "1"}, {"SYS: 1, 9\r\n", "6"},
  };
  for (const auto& [line, value] : cases) {
    Feed(line);
    EXPECT_EQ(Setting(kKeyRelayTime), value) << line;
    EXPECT_FALSE(link().PendingText().contains("SYS:")) << line;
  }
  // Ten characters or fewer from the marker on wait for more text.
  Feed("SYS:1,8\r\n");
  EXPECT_EQ(Setting(kKeyRelayTime), "6");
  EXPECT_EQ(link().PendingText(), "SYS:1,8\r\n");
  EXPECT_EQ(Feed("OK\r\n").outcome, LineOutcome::kConfirmed) << "the OK after a system line still ends the wait";
  EXPECT_EQ(Setting(kKeyRelayTime), "5");
}

TEST_F(ParserTest, EventLogLinesAreStoredOnceAndTheEndIsNoticed) {
  Feed("CPBM: 123456789,2403151230\r\n");
  Feed("CPBM: 123456789,2403151230\r\n");
  EXPECT_FALSE(LogEnded(Feed("xxCPBM:555,24\r\n")));
  EXPECT_EQ(Reports(), (std::vector<std::string>{"24/03/15 12:30|123456789", "24// :|555"}))
      << "a blank after the marker is no part of the number; a short date stays short, without the line end";
  for (const char* end : {"CPBM: 999999999,0000000000\r\n", "CPBM:0999999999,0000000000\r\n"}) {
    EXPECT_TRUE(LogEnded(Feed(end))) << end;
  }
  EXPECT_EQ(Reports().size(), 2u);
}

TEST_F(ParserTest, EndsPromptsAndUnknownText) {
  EXPECT_EQ(Feed("noise OK\r\n").outcome, LineOutcome::kConfirmed);
  EXPECT_TRUE(link().PendingText().isEmpty());
  EXPECT_EQ(Feed("+CME ERROR: 3").outcome, LineOutcome::kUnanswered) << "no line end yet";
  EXPECT_EQ(Feed("\r\n").outcome, LineOutcome::kRefused);
  link().Parse("CPBR: 5,\"12");
  EXPECT_TRUE(Feed("3>").Heard());
  EXPECT_TRUE(link().PendingText().isEmpty()) << "a prompt anywhere empties the text";

  // A device that never stops talking nonsense keeps only the newest 64 KiB.
  for (int i = 0; i < 200; ++i) link().Parse(QByteArray(1000, 'z'));
  EXPECT_EQ(link().PendingText().size(), Link::kMaxRxText);
}

TEST_F(ParserTest, ARepliesSplitAtAnyByteGivesTheSameResult) {
  const QByteArray reply = "\r\n+CPBR: 6,\"0600111222\",129,\"Ala\"\r\n";
  for (qsizetype cut = 1; cut < reply.size(); ++cut) {
    QTemporaryDir temp;
    SessionOnTemp fresh(temp.path());
    Link link(fresh.session);
    link.Parse(reply.left(cut));
    link.Parse(reply.mid(cut));
    EXPECT_TRUE(TakeAndStore(link, fresh.session).Entry()) << cut;
    EXPECT_EQ(Rows(fresh.session), std::vector<std::string>{"6   600111222 1"}) << cut;
  }
}

TEST(StripLeadingZerosTest, RemovesEveryLeadingZero) {
  const std::pair<const char*, const char*> cases[] = {{"0", ""}, {"000", ""}, {"0120", "120"}, {"5", "5"}, {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(StripLeadingZeros(in), QByteArray(out)) << in;
}

TEST_F(ParserTest, WaitsEndOnWhatTheyAwaitOrTheirTime) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  link().Parse("OK\r\n");
  EXPECT_EQ(link().Listen(Await::kReply, 0).outcome, LineOutcome::kConfirmed);
  EXPECT_FALSE(ran) << "a time of 0 returns without running events";

  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(link().Listen(Await::kEntry, 300).outcome, LineOutcome::kUnanswered);
  EXPECT_GE(clock.elapsed(), 290) << "no reply: the whole time (timers may round to the millisecond)";
  EXPECT_TRUE(ran);

  QTimer::singleShot(20, [&] { link().Parse("OK\r\n"); });
  clock.restart();
  EXPECT_EQ(link().Listen(Await::kReply, 20000).outcome, LineOutcome::kConfirmed);
  EXPECT_LT(clock.elapsed(), 10000) << "the OK ended the wait";

  QTimer::singleShot(20, [&] { link().Parse("CPBM:0999999999,0\r\n"); });
  EXPECT_TRUE(LogEnded(link().Listen(Await::kLogEnd, 20000)));
}

}  // namespace
