// A handset on a pseudo-terminal, run by a thread of its own: what tests start in-process and
// what the flashgate-handset-sim program runs. Every wait is bounded by its caller's time-out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/handset-sim/fault_plan.h"
#include "tools/handset-sim/handset.h"
#include "tools/handset-sim/pty_link.h"
#include "tools/handset-sim/throttle.h"

namespace handset_sim {

struct Config {
  unsigned port = 1;
  std::string portsDir;  // empty: DefaultPortsDirectory()
  Mode mode = Mode::Download;
  unsigned returnPort = 0;  // where the handset comes back after a drop-off; 0: the same port
  std::chrono::milliseconds returnDelay{2000};
  bool returnAfterUnplug = true;   // the AT command always brings it back
  bool restartAfterReset = false;  // an answered reset restarts it into the normal software
  unsigned baud = 0;               // paces both directions; 0: as fast as the pseudo-terminal goes
  std::vector<FaultRule> faults;
  std::uint32_t seed = 1;
  std::uint64_t unplugAtBlock = 0;
  std::chrono::milliseconds splitPause{20};
  // One line per request and per change on the bus; called on the simulator's thread, except
  // for the first, which Start reports.
  std::function<void(const std::string&)> onEvent;
  // Called on the simulator's thread when it has given up (see Failure()).
  std::function<void()> onFailure;
};

class Simulator {
 public:
  explicit Simulator(Config config);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Publishes the port and starts the thread; false with the reason in `error` when the port
  // can not be published.
  bool Start(std::string* error);
  void Stop();

  // Each answers whether the condition holds, waiting at most `timeout` for it.
  bool WaitForRequests(std::uint64_t count, std::chrono::milliseconds timeout) const;  // numbered, all output done
  bool WaitForDropOffs(std::uint64_t count, std::chrono::milliseconds timeout) const;
  bool WaitForReturns(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // Answers once the handset has taken in, and acted on, every byte sent to it before the
  // call: what a host's pause gives a real handset, for a host whose pauses take no time.
  bool WaitForInputTaken(std::chrono::milliseconds timeout);

  // Leaves the bus now, as an unplugged cable does, and comes back as after --unplug-at-block.
  void TriggerUnplug();
  // Writes an answer with this code now, unasked: the late answer to a request the handset
  // kept silent on. Dropped while the handset is off the bus.
  void AnswerNow(Byte code);

  bool OnBus() const;
  std::string SlavePath() const;  // empty while off the bus
  unsigned PortNumber() const;    // where the handset is, or was last, published
  std::string Failure() const;    // empty unless the thread gave up

  RequestCounts Counts() const;
  std::vector<std::uint8_t> Flash() const;
  std::vector<LogEntry> Log() const;
  bool DumpFlash(const std::string& path) const;
  bool DumpLog(const std::string& path) const;

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  void ReadLine();
  void Deliver(const std::vector<Outcome>& outcomes);
  void DeliverLateAnswers();
  void TakeIn();
  bool WriteAnswer(const Outcome& outcome);
  bool WriteAll(const Byte* data, std::size_t count);
  void DropOffBus(DropOff reason);
  bool ComeBack();
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
  std::unique_ptr<PtyLink> m_link;
  Throttle m_input;
  Throttle m_output;
  bool m_returnPending = false;
  Clock::time_point m_returnAt{};
  DropOff m_lastDropOff = DropOff::None;

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
