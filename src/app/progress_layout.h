#pragma once

#include <QString>

// Where the progress bar's fill ends and its head stands for `current` of
// `total`, on a track at `trackLeft` that is `trackWidth` wide. A total of 0
// (an event-log fetch of no entries) draws an empty bar at 0%; a current past
// the total runs past the track's end, as the phonebook read beyond its
// thousandth slot expects.
struct ProgressLayout {
  int fillWidth = 0;
  int headLeft = 0;
  QString percent;
};

ProgressLayout ComputeProgressLayout(int current, int total, int trackLeft, int trackWidth, int headWidth);
