#include "app/progress_panel.h"

#include "core/access_lock.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "widgets/controls.h"
#include "core/session.h"
#include "widgets/testing/modal.h"
#include "app/main_window.h"
#include "app/testing/window_test.h"

namespace {

struct ProgressCase {
  int current;
  int total;
  const char* percent;
};

TEST(ProgressPanelTest, FillHeadAndPercentFollowTheFraction) {
  QWidget host;
  host.resize(600, 400);
  ProgressPanel panel(&host);
  const QRect track = panel.track()->geometry();
  ASSERT_EQ(track.width(), 247);
  const int headHalf = panel.head()->width() / 2;

  const ProgressCase cases[] = {{0, 3, "0%"},   {1, 3, "33%"},        {2, 3, "66%"}, {3, 3, "100%"},
                                {5, 4, "125%"}, {1002, 1000, "100%"}, {0, 0, "0%"},  {7, 0, "0%"}};
  for (const ProgressCase& c : cases) {
    panel.UpdateProgress(c.current, c.total);
    const double f = c.total > 0 ? double(c.current) / c.total : 0.0;
    const int fill = int(f * track.width());
    EXPECT_EQ(panel.fill()->geometry(), QRect(track.left(), track.top(), fill, track.height()))
        << c.current << "/" << c.total;
    EXPECT_EQ(panel.head()->pos(), QPoint(track.left() + fill - headHalf, track.top())) << c.current << "/" << c.total;
    EXPECT_EQ(panel.percent()->text(), c.percent) << c.current << "/" << c.total;
  }
}

// How far, and once the pace is known, about how long is left, in fives
// of seconds under a minute and in minutes above.
TEST(ProgressPanelTest, TheCountAndTheTimeLeftOnceItCanBeEstimated) {
  const struct {
    int current, total;
    qint64 elapsedMs;
    const char* text;
  } cases[] = {
      {1234, 1999, 1000, "1234 z 1999"},                             // too soon to tell
      {2, 1999, 60000, "2 z 1999"},                                  // too few steps to tell
      {1000, 2000, 40000, "1000 z 2000 · zostało ok. 40 s"},
      {1000, 2000, 38000, "1000 z 2000 · zostało ok. 40 s"},
      {1990, 2000, 100000, "1990 z 2000 · zostało ok. 5 s"},
      {500, 2000, 60000, "500 z 2000 · zostało ok. 3 min"},
      {2000, 2000, 100000, "2000 z 2000"},
      {1500, 1000, 10000, "1500"},  // a count past its nominal total
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressPanel::CountText(c.current, c.total, c.elapsedMs).toStdString(), c.text)
        << c.current << " " << c.elapsedMs;
  }
}

// While a long command holds the grids back, a picture of each stands in
// its place, so the list does not go blank; the outermost resume drops it.
TEST_F(WindowTest, TheGridsStayInSightWhileTheirUpdatesAreHeldBack) {
  TForm1& window = *window_;
  auto* grid = W("RxDBGrid1");
  ASSERT_TRUE(grid->isVisible());
  window.SuspendViewUpdates(true);
  window.SuspendViewUpdates(true);
  auto* still = window.findChild<QLabel*>(QStringLiteral("RxDBGrid1_still"));
  ASSERT_NE(still, nullptr);
  EXPECT_TRUE(still->isVisible());
  EXPECT_EQ(still->geometry(), grid->geometry());
  EXPECT_EQ(still->pixmap().size(), grid->size());
  window.SuspendViewUpdates(false);
  EXPECT_NE(window.findChild<QLabel*>(QStringLiteral("RxDBGrid1_still")), nullptr) << "still held back once";
  window.SuspendViewUpdates(false);
  EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("RxDBGrid1_still")), nullptr);
  EXPECT_TRUE(grid->updatesEnabled());
}

TEST(ProgressPanelTest, EmptyAndFullBarsSitOnTheTrackEnds) {
  QWidget host;
  ProgressPanel panel(&host);
  const QRect track = panel.track()->geometry();
  panel.UpdateProgress(0, 10);
  EXPECT_EQ(panel.fill()->width(), 0);
  EXPECT_EQ(panel.head()->x() + panel.head()->width() / 2, track.left());
  panel.UpdateProgress(10, 10);
  EXPECT_EQ(panel.fill()->geometry().right(), track.right());
  EXPECT_EQ(panel.head()->x() + panel.head()->width() / 2, track.left() + track.width());
  EXPECT_EQ(panel.percent()->text(), "100%");
}

TEST(ProgressPanelTest, AnulujCancelsTheOperationItShowsAndNothingElse) {
  QTemporaryDir temp;
  Session session(temp.path());
  TForm1 window(session);
  window.askPin = [&] { return DailyServiceCode(session.Today()); };
  window.show();
  ProgressPanel* panel = window.progressPanel();
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(panel->size(), QSize(385, 137));

  // Pressed while nothing runs: nothing happens.
  Click(Find(panel, "Label28"));
  EXPECT_FALSE(panel->isVisible());

  // Each operation starts uncancelled; the caption and the picture cancel it.
  for (const char* button : {"Label28", "Image27"}) {
    bool cancelled = true;
    window.RunOperation([&](Progress& progress) {
      progress.Update(1, 2);
      cancelled = progress.Cancelled();
      EXPECT_TRUE(panel->isVisible());
      Click(Find(panel, button));
      EXPECT_TRUE(progress.Cancelled()) << button;
      EXPECT_TRUE(panel->isVisible());
    });
    EXPECT_FALSE(cancelled) << button;
    EXPECT_FALSE(panel->isVisible());
  }
}

}  // namespace
