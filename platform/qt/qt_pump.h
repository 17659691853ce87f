// The queue of posted messages and the timers, run inside Qt's event loop and so inside every
// modal loop as well.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>

namespace platform::qt {

class Pump final : public QObject {
 public:
  Pump();
  // From any thread: the queue has a message, or a timer was set or killed.
  void Wake();

 private:
  void Run();
  void ArmForNextTimer();

  std::atomic<bool> m_scheduled{false};
  QTimer m_timer;
};

}  // namespace platform::qt
