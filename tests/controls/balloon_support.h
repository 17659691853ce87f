// What the balloon's tests share: the port hint shown as the pointer shows it, and the top edge
// of the balloon's body measured in device pixels.
#pragma once

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <functional>

#include "resources/resource.h"
#include "tests/support/widgets.h"
#include "ui/downloader_dlg.h"

namespace testing_support {

// The main dialog's hint, as the pointer resting on the port combo at `screen` shows it.
inline void ShowPortHint(CDownloaderDlg& dialog, POINT screen = {400, 300}) {
  const MSG move{dialog.GetDlgItem(IDC_PORT)->GetSafeHwnd(), WM_MOUSEMOVE, 0, 0, 0, screen};
  dialog.SetFocus();
  QApplication::setActiveWindow(WidgetOf(dialog));
  dialog.m_balloon.RelayEvent(&move);
}

struct BalloonEdge {
  int step;           // the largest step from one column to the next, in device pixels
  double offEllipse;  // the farthest the edge is from the ellipse, in device pixels
};

// The top edge of a 150 x 60 balloon's body (the ellipse from 10 pixels in, where the tail
// ends, to the right edge) at `ratio` device pixels per logical one, along its middle half,
// where the ellipse falls less than a pixel per column; `inside` tells the balloon's pixels.
inline BalloonEdge TopEdgeOfTheBody(double ratio, const std::function<bool(int x, int y)>& inside) {
  const double a = (150 - 10) * ratio / 2;
  const double b = 60 * ratio / 2;
  const double cx = 10 * ratio + a;
  BalloonEdge edge{0, 0};
  int previous = -1;
  for (int x = static_cast<int>(std::lround(cx - a / 2)); x < std::lround(cx + a / 2); ++x) {
    int top = 0;
    while (top < 2 * b && !inside(x, top)) ++top;
    const double u = (x + 0.5 - cx) / a;
    edge.offEllipse = std::max(edge.offEllipse, std::abs(top + 0.5 - (b - b * std::sqrt(1 - u * u))));
    if (previous >= 0) edge.step = std::max(edge.step, std::abs(top - previous));
    previous = top;
  }
  return edge;
}

}  // namespace testing_support
