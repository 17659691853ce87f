#include "platform/qt/qt_pump.h"

#include <algorithm>
#include <cstdint>

#include "platform/kernel/clock.h"
#include "platform/user/messages.h"

namespace platform::qt {

Pump::Pump() {
  m_timer.setSingleShot(true);
  connect(&m_timer, &QTimer::timeout, this, [this] { Run(); });
}

void Pump::Wake() {
  if (!m_scheduled.exchange(true))
    QMetaObject::invokeMethod(
        this, [this] { Run(); }, Qt::QueuedConnection);
}

void Pump::Run() {
  m_scheduled = false;
  // Armed before dispatching too: a handler that opens a modal loop keeps the other timers
  // running under it.
  ArmForNextTimer();
  PumpPostedMessages();
  ArmForNextTimer();
}

void Pump::ArmForNextTimer() {
  if (const auto due = NextTimerDue()) {
    const std::uint64_t now = ActiveClock().NowMs();
    m_timer.start(static_cast<int>(*due > now ? std::min<std::uint64_t>(*due - now, 1u << 30) : 0));
  } else {
    m_timer.stop();
  }
}

}  // namespace platform::qt
