#include "app/progress_layout.h"

#include <algorithm>

ProgressLayout ComputeProgressLayout(int current, int total, int trackLeft, int trackWidth, int headWidth) {
  ProgressLayout layout;
  const double fraction = total > 0 ? double(current) / double(total) : 0.0;
  // Kept far inside int so a wild current can never overflow the conversion.
  const double fill = std::clamp(fraction * trackWidth, -1e7, 1e7);
  layout.fillWidth = static_cast<int>(fill);
  layout.headLeft = trackLeft + layout.fillWidth - headWidth / 2;
  layout.percent = QString::number(static_cast<long long>(std::clamp(fraction * 100, -1e12, 1e12))) + u'%';
  return layout;
}
