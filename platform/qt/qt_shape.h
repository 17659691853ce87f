// A window's shape on the X server in the device's own pixels.
#pragma once

#include <QWidget>

#include "platform/gdi/region.h"

namespace platform::qt {

// Qt sets a window's mask in logical pixels and scales them up: at 2x the balloon's ellipse
// becomes a staircase of 2-pixel steps. On X the shape is set again from the region made at the
// device's resolution; elsewhere (the off-screen display, Wayland) nothing is done.
void SetDeviceShape(QWidget* window, const Region& region);

}  // namespace platform::qt
