// A handset on a pseudo-terminal or a virtual machine's USB serial device, run by a thread of its own: what tests start
// in-process and what the flashgate-handset-sim program runs. Every wait is bounded by its caller's time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/handset-sim/answer_cuts.h"
#include "tools/handset-sim/config.h"
#include "tools/handset-sim/handset.h"
#include "tools/handset-sim/line.h"
#include "tools/handset-sim/place.h"
#include "tools/handset-sim/pty_link.h"
#include "tools/handset-sim/throttle.h"
#include "tools/handset-sim/udev_names.h"

namespace handset_sim {

class Simulator {
 public:
  explicit Simulator(Config config);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Publishes the port (or the device node) and starts the thread; false with the reason in
  // `error` when it can not be published.
  bool Start(std::string* error);
  void Stop();

  // Each answers whether the condition holds, waiting at most `timeout` for it.
  // Numbered requests, all output done; an answer held back is not waited for.
  bool WaitForRequests(std::uint64_t count, std::chrono::milliseconds timeout) const;
  bool WaitForDropOffs(std::uint64_t count, std::chrono::milliseconds timeout) const;
  bool WaitForReturns(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // Answers once the handset has taken in, and acted on, every byte sent to it before the
  // call: what a host's pause gives a real handset, for a host whose pauses take no time.
  bool WaitForInputTaken(std::chrono::milliseconds timeout);

  // Leaves the bus now, as an unplugged cable does, and comes back as after --unplug-at-block.
  void TriggerUnplug();
  // Writes an answer with this code now, unasked: the late answer to a request the handset
  // kept silent on. Dropped while the handset is off the bus or hung.
  void AnswerNow(Byte code);

  bool OnBus() const;
  std::string SlavePath() const;  // empty while off the bus
  unsigned PortNumber() const;    // where the handset is, or was last, published; 0 in a device folder
  std::string Failure() const;    // empty unless the thread gave up

  RequestCounts Counts() const;
  std::vector<std::uint8_t> Flash() const;
  std::vector<LogEntry> Log() const;
  bool DumpFlash(const std::string& path) const;
  bool DumpLog(const std::string& path) const;

 private:
  using Clock = std::chrono::steady_clock;

  // An answer held back by a Fault::Late: written when it is due, or before the answer to the
  // next request, whichever comes first.
  struct HeldAnswer {
    Outcome outcome;
    Clock::time_point due;
  };

  void Run();
  void ReadLine();
  void Deliver(const std::vector<Outcome>& outcomes);
  void DeliverLateAnswers();
  void TakeIn();
  void Hold(const Outcome& outcome);
  void WriteHeldAnswer(const std::string& when);
  bool WriteAnswer(const Outcome& outcome);
  bool WritePieces(const Bytes& bytes, const std::vector<std::size_t>& cuts, std::chrono::milliseconds pause);
  bool WriteAll(const Byte* data, std::size_t count);
  bool Appear(const Place& place, std::string* error);
  std::string OnBusText() const;
  bool PublishNames();
  void DropOffBus(DropOff reason);
  bool ComeBack();
  void GiveUp(const std::string& reason);
  // The sooner of `until` and the moment udev's names or a held answer are due.
  Clock::time_point WakeBy(Clock::time_point until) const;
  // Sleeps until `until` unless woken first; true when woken.
  bool Doze(Clock::time_point until);
  // Sleeps until `until`, or until the simulator stops.
  void DozeFully(Clock::time_point until);
  void Wake();
  void DrainWake();
  void Event(const std::string& line) const;
  bool Stopping() const { return m_stopping.load(); }

  const Config m_config;
  std::string m_portsDir;
  int m_wakeRead = -1;
  int m_wakeWrite = -1;
  std::thread m_thread;
  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_unplugRequested{false};
  std::atomic<bool> m_lateAnswersDue{false};
  std::atomic<std::uint64_t> m_takeInsAsked{0};
  std::vector<Byte> m_lateAnswers;  // guarded by m_mutex

  // Touched only by the simulator's thread once it runs.
  Place m_place;  // where the handset is, or was last
  std::unique_ptr<Line> m_link;
  std::unique_ptr<UdevNames> m_names;
  bool m_namesDue = false;
  Clock::time_point m_namesAt{};
  Throttle m_input;
  Throttle m_output;
  bool m_returnPending = false;
  Clock::time_point m_returnAt{};
  DropOff m_lastDropOff = DropOff::None;
  std::optional<HeldAnswer> m_held;
  AnswerCuts m_cuts;

  // Guards what the other threads read.
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  Handset m_handset;
  std::uint64_t m_handled = 0;
  std::uint64_t m_dropOffs = 0;
  std::uint64_t m_returns = 0;
  std::uint64_t m_takeInsDone = 0;
  std::string m_slavePath;
  unsigned m_portNumber = 0;
  std::string m_failure;
};

}  // namespace handset_sim
