#include "app/progress_panel.h"

#include "core/access_lock.h"

#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "widgets/controls.h"
#include "core/session.h"
#include "widgets/testing/modal.h"
#include "app/main_window.h"

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
