#include <QElapsedTimer>
#include <QSignalSpy>

#include "controller/event_log.h"
#include "controller/report_model.h"
#include "serial/testing/sim_session.h"
#include "store/cursor.h"

namespace {

using Lines = std::vector<std::string>;

class EventLogTest : public SimSessionTest {
 protected:
  std::vector<std::string> Reports() {
    std::vector<std::string> rows;
    store::Cursor& reports = session_.Dbf3();
    for (reports.First(); !reports.Eof(); reports.Next())
      rows.push_back(reports.Text("Tel") + " " + reports.Text("Data"));
    return rows;
  }
};

TEST_F(EventLogTest, FetchingStoresTheEntriesOnceAndEndsOnAQuietWindow) {
  WithController([](sim::Controller& c) {
    c.AddEvent("600100200", "2403151230");
    c.AddEvent("501222333", "2403151300");
    c.AddEvent("600100200", "2403161000");
  });
  link_.options().reportWaitMs = 60000;  // reached only if a window is never quiet
  for (int fetch = 0; fetch < 2; ++fetch) {
    ui_.progress.clear();
    const EventsResult result = Run([&](Progress& p) { return FetchEvents(link_, p, "3"); });
    EXPECT_EQ(result.received, 3);
    EXPECT_EQ(result.stored, fetch == 0 ? 3 : 0);
    EXPECT_EQ(Reports(), (Lines{"600100200 24/03/15 12:30", "501222333 24/03/15 13:00", "600100200 24/03/16 10:00"}));
    EXPECT_EQ(ui_.progress, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}})) << "the second window was quiet";
    EXPECT_FALSE(ui_.progressVisible);
  }
  EXPECT_EQ(Received(), (Lines{"AT+CPBM=3", "AT+CPBM=3"}));
  const EventsResult bad = Run([&](Progress& p) { return FetchEvents(link_, p, "abc"); });
  EXPECT_EQ(bad.problem, QString::fromUtf8(kBadCountMessage));
  EXPECT_EQ(Received().size(), 2u) << "a count below 1 sends nothing";
}

TEST_F(EventLogTest, ACancelInTheFirstWindowEndsTheFetchAfterIt) {
  Progress progress(ui_);
  ui_.onProgress = [&](int, int) { progress.Cancel(); };
  link_.options().reportWaitMs = 60000;
  EXPECT_EQ(FetchEvents(link_, progress, "10").stop, Stop::kCancelled);
  EXPECT_EQ(ui_.progress.size(), 1u);
  EXPECT_FALSE(link_.comm().Dtr());
}

TEST_F(EventLogTest, TheReportModelShowsTheFetchedLogAndResetsOnlyForANewRowCount) {
  WithController([](sim::Controller& c) {
    c.AddEvent("600100200", "2403151230");
    c.AddEvent("501222333", "2403151300");
  });
  link_.options().reportWaitMs = 60000;
  ReportModel model(session_);
  EXPECT_EQ(model.rowCount(), 0);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  QSignalSpy repaints(&model, &QAbstractItemModel::dataChanged);
  Run([&](Progress& p) { return FetchEvents(link_, p, "2"); });
  model.Changed();
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(repaints.count(), 0);
  // A second fetch of the same log stores nothing new: a repaint is enough.
  Run([&](Progress& p) { return FetchEvents(link_, p, "2"); });
  model.Changed();
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(repaints.count(), 1);
  // Written by hand: the table holds Windows-1250.
  store::Cursor& reports = session_.Dbf3();
  ASSERT_TRUE(reports.Append().ok());
  EXPECT_TRUE(reports.SetText("Tel", "Brama \xb3\xb9ka").ok());
  EXPECT_TRUE(reports.SetText("Data", "24/03/16 10:00").ok());
  ASSERT_TRUE(reports.Post().ok());
  model.Changed();
  EXPECT_EQ(resets.count(), 2);

  struct Case {
    int row, column, role;
    QVariant shown;
  };
  const Case cases[] = {
      {0, 0, Qt::DisplayRole, "600100200"},  {0, 1, Qt::DisplayRole, "24/03/15 12:30"},
      {1, 0, Qt::DisplayRole, "501222333"},  {2, 0, Qt::DisplayRole, QString::fromUtf8("Brama łąka")},
      {2, 1, ReportModel::kPositionRole, 3}, {0, 0, ReportModel::kPositionRole, 1},
      {0, 0, Qt::EditRole, QVariant()},      {3, 0, Qt::DisplayRole, QVariant()},
  };
  ASSERT_EQ(model.rowCount(), 3);
  for (const Case& c : cases) {
    EXPECT_EQ(model.data(model.index(c.row, c.column), c.role), c.shown) << c.row << "," << c.column << " " << c.role;
  }
}

class SlowEventLogTest : public SimSessionTest {
 protected:
  // Lines further apart than a listening window: every window sees one.
  SlowEventLogTest() : SimSessionTest(sim::Simulator::Options{.lineGapMs = 250}) {}
};

TEST_F(SlowEventLogTest, AControllerThatKeepsTalkingIsListenedToUntilAQuietWindow) {
  WithController([](sim::Controller& c) {
    c.AddEvent("600100200", "2403151230");
    c.AddEvent("501222333", "2403151300");
    c.AddEvent("602444555", "2403151400");
  });
  // Three entries, the end and the OK, 250 ms apart, heard through 400 ms windows.
  link_.options().replyWaitMs = 400;
  link_.options().reportWaitMs = 60000;
  Run([&](Progress& p) { return FetchEvents(link_, p, "3"); });
  EXPECT_EQ(session_.Dbf3().RowCount(), 3) << "the third entry came after the first window";
  EXPECT_GE(ui_.progress.size(), 3u);

  // One entry and the end fill both windows of a count of 1, so the
  // end-of-log wait follows and runs to its limit.
  link_.options().replyWaitMs = 150;
  link_.options().reportWaitMs = 700;
  QElapsedTimer clock;
  clock.start();
  Run([&](Progress& p) { return FetchEvents(link_, p, "1"); });
  EXPECT_GE(clock.elapsed(), 700);
}

// Behind a USB adapter the whole log arrives in a few reads: every event
// line of a read is stored, not only the first of each.
TEST(CoalescedEventLog, EveryEventLineOfAReadIsStored) {
  for (const sim::Simulator::Options& options :
       {sim::Simulator::Options{.coalesce = true}, sim::Simulator::Options{.usbLatencyMs = 16}}) {
    sim::Simulator sim(options);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    {
      std::lock_guard<std::mutex> lock(sim.mutex());
      for (int i = 0; i < 200; ++i) {
        sim.controller().AddEvent(std::to_string(600100000 + i), "24031512" + std::to_string(10 + i % 50));
      }
    }
    QTemporaryDir temp;
    SessionOnTemp open(temp.path());
    RememberPortAlias(open.session.FilePath(kSettingsFileName), 7, QString::fromStdString(sim.DevicePath()));
    UpsertSetting(open.session, kKeyPort, "7");
    Link link(open.session);
    link.options().replyWaitMs = 300;
    ScriptedUi ui;
    Progress progress(ui);
    const EventsResult result = FetchEvents(link, progress, "200");
    EXPECT_EQ(open.session.Dbf3().RowCount(), 200);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.stored, 200);
  }
}

}  // namespace
