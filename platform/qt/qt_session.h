// The desktop session the program starts in, and which of Qt's platforms it runs on there.
#pragma once

namespace platform::qt {

// Before Qt starts. In a Wayland session a window can neither learn nor set its place on the
// screen, and the balloon at the pointer, the boxes over their owner and WindowFromPoint need
// it: where the user has not chosen a Qt platform and an X display is there (XWayland), the
// program asks for X.
void ChooseDisplayPlatform();
// After Qt starts, in a Wayland session: says on standard error which platform the program
// runs on, and on Wayland itself what does not work there and how to have it.
void ReportDisplayPlatform();

}  // namespace platform::qt
