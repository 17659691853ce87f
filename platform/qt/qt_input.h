// Keyboard and mouse input, offered first to the windows' PreTranslateMessage: from the window
// under the input up to its dialog, any of them may take a message before the control sees it.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointF>

namespace platform::qt {

class InputHook final : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsRepeat(const QEvent* event);

  // The event offered last: Qt offers an event that a widget leaves unaccepted to its parent
  // again, as a copy with the same time and place, and a physical event counts once.
  QEvent::Type m_lastType = QEvent::None;
  quint64 m_lastTimestamp = 0;
  QPointF m_lastPlace;
  int m_lastKey = 0;
};

}  // namespace platform::qt
