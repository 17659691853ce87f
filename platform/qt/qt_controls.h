// The controls of a dialog template as Qt widgets, each with the backend that answers its
// messages and turns its signals into notifications to the dialog.
#pragma once

#include <memory>

#include "platform/qt/qt_backend.h"
#include "platform/user/resources.h"

namespace platform::qt {

class ControlBackend : public WidgetBackend {
 public:
  using WidgetBackend::WidgetBackend;
  // Wires the widget's signals to WM_COMMAND notifications of `dialog`.
  virtual void Connect(HWND /*dialog*/, HWND /*control*/) {}
};

// Dialog units to pixels, from the metrics of the dialog's font.
struct DialogUnits {
  int baseX;
  int baseY;
  int X(int units) const { return (units * baseX + 2) / 4; }
  int Y(int units) const { return (units * baseY + 4) / 8; }
};

std::unique_ptr<ControlBackend> CreateControl(const ControlTemplate& control, QWidget* dialog,
                                              const DialogUnits& units);

}  // namespace platform::qt
