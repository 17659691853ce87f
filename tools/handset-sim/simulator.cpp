#include "tools/handset-sim/simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "tools/handset-sim/socket_line.h"

namespace handset_sim {
namespace {

constexpr int kLinePollMs = 1000;
// How often a pseudo-terminal that no host has open is looked at again.
constexpr int kNoHostPollMs = 5;
constexpr int kWriteStallMs = 2000;
constexpr std::chrono::milliseconds kRestartPause{500};

// Rounded up, so that a poll for that long ends at `until` or after it.
int MsUntil(std::chrono::steady_clock::time_point until) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

const char* ModeName(Mode mode) { return mode == Mode::Normal ? "normal" : "download"; }

const char* DropOffText(DropOff reason) {
  switch (reason) {
    case DropOff::AtCommand: return "restarting in download mode";
    case DropOff::Reset: return "restarting into the normal software";
    default: return "unplugged";
  }
}

Conduct ConductOf(const Config& config) {
  Conduct conduct;
  conduct.unplugAtBlock = config.unplugAtBlock;
  conduct.unplugAt = config.unplugAt;
  conduct.restartAfterReset = config.restartAfterReset;
  conduct.leaveAtFinalReset = config.leaveAtFinalReset;
  conduct.hangAt = config.hangAt;
  return conduct;
}

std::string AnswerText(const LogEntry& entry) {
  return "#" + std::to_string(entry.sequence) + " -> " + ResponseName(entry.answer.value_or(0));
}

}  // namespace

Simulator::Simulator(Config config)
    : m_config(std::move(config)),
      m_input(m_config.baud),
      m_output(m_config.baud),
      m_handset(m_config.mode, FaultPlan(m_config.faults, m_config.seed), ConductOf(m_config)) {}

Simulator::~Simulator() {
  Stop();
  if (m_wakeRead >= 0) close(m_wakeRead);
  if (m_wakeWrite >= 0) close(m_wakeWrite);
}

bool Simulator::Start(std::string* error) {
  if (!m_config.devDir.empty() && m_config.node.empty()) {
    *error = "a device folder needs the name of the node";
    return false;
  }
  m_portsDir = m_config.portsDir.empty() ? DefaultPortsDirectory() : m_config.portsDir;
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = "cannot create a pipe";
    return false;
  }
  m_wakeRead = pipeFds[0];
  m_wakeWrite = pipeFds[1];
  if (!Appear(FirstPlace(m_config, m_portsDir), error)) return false;
  Event(OnBusText());
  m_thread = std::thread(&Simulator::Run, this);
  return true;
}

void Simulator::Stop() {
  m_stopping = true;
  Wake();
  if (m_thread.joinable()) m_thread.join();
  m_names.reset();
  m_link.reset();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_slavePath.clear();
}

void Simulator::Run() {
  while (!Stopping()) {
    if (m_link && m_unplugRequested.exchange(false)) {
      DropOffBus(DropOff::Unplug);
    } else if (m_takeInsAsked.load() != m_takeInsDone) {
      TakeIn();
    } else if (!m_link) {
      if (!m_returnPending) {
        Doze(Clock::now() + std::chrono::milliseconds(kLinePollMs));
      } else if (Clock::now() < m_returnAt) {
        Doze(m_returnAt);
      } else if (!ComeBack()) {
        return;
      }
    } else if (m_namesDue && Clock::now() >= m_namesAt) {
      if (!PublishNames()) return;
    } else if (m_held && Clock::now() >= m_held->due) {
      WriteHeldAnswer("after " + std::to_string(m_held->outcome.holdFor->count()) + " ms");
    } else if (m_lateAnswersDue.exchange(false)) {
      DeliverLateAnswers();
    } else if (m_input.Enabled() && Clock::now() < m_input.FreeAt()) {
      Doze(WakeBy(m_input.FreeAt()));
    } else {
      ReadLine();
    }
  }
}

void Simulator::ReadLine() {
  const Clock::time_point until = WakeBy(Clock::now() + std::chrono::milliseconds(kLinePollMs));
  pollfd fds[2] = {{m_link->Fd(), POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
  if (poll(fds, 2, MsUntil(until)) <= 0) return;
  if (fds[1].revents & POLLIN) DrainWake();
  if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) return;

  Byte buffer[4096];
  const std::size_t step = std::min(sizeof buffer, m_input.StepBytes());
  const ssize_t n = read(m_link->Fd(), buffer, step);
  // The end of the line: the machine behind a socket took the device away (a pseudo-terminal's
  // master reads EIO instead).
  if (n == 0) {
    DropOffBus(DropOff::Unplug);
    return;
  }
  if (n < 0) {
    // No host has the pseudo-terminal open (EIO, a hang-up the poll keeps reporting), or the line
    // keeps failing: wait rather than spin.
    if (errno == EIO) {
      if (!m_link->AwaitHost(m_wakeRead, MsUntil(until))) {
        Doze(Clock::now() + std::chrono::milliseconds(kNoHostPollMs));
      }
    } else if (errno != EAGAIN && errno != EINTR) {
      Doze(Clock::now() + std::chrono::milliseconds(50));
    }
    return;
  }
  m_input.Book(static_cast<std::size_t>(n), Clock::now());
  std::vector<Outcome> outcomes;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    outcomes = m_handset.Receive(buffer, static_cast<std::size_t>(n));
  }
  Deliver(outcomes);
}

void Simulator::TakeIn() {
  const std::uint64_t asked = m_takeInsAsked.load();
  // A poll on the master first moves into the line what the kernel still carries between
  // the two ends, so once it finds nothing, nothing sent before the request is in flight.
  auto waiting = [this] {
    pollfd fd{m_link->Fd(), POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
  };
  while (m_link && !Stopping() && waiting()) ReadLine();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_takeInsDone = asked;
  }
  m_changed.notify_all();
}

void Simulator::Deliver(const std::vector<Outcome>& outcomes) {
  for (const Outcome& outcome : outcomes) {
    // The next request finds the held answer still on its way: it goes out first, so the host
    // reads two answers back to back.
    if (m_held && outcome.entry.sequence != 0) {
      WriteHeldAnswer("on request #" + std::to_string(outcome.entry.sequence));
    }
    const bool held = outcome.holdFor.has_value();
    const bool written = !held && !outcome.answer.empty();
    const bool delivered = !written || WriteAnswer(outcome);
    Event(outcome.entry.ToString() + (delivered ? "" : " [the line would not take the answer]"));
    if (held) Hold(outcome);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (outcome.entry.sequence != 0) ++m_handled;
    }
    m_changed.notify_all();
    if (outcome.dropOff != DropOff::None) {
      // A restart takes a moment, in which the host reads the answer that came before it.
      if (outcome.dropOff == DropOff::Reset && written) DozeFully(Clock::now() + kRestartPause);
      DropOffBus(outcome.dropOff);
      return;
    }
  }
}

void Simulator::Hold(const Outcome& outcome) {
  const Clock::time_point now = Clock::now();
  // A hold longer than the clock can count lasts until the next request.
  const auto longest = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
  m_held = HeldAnswer{outcome, now + std::min(*outcome.holdFor, longest)};
}

void Simulator::WriteHeldAnswer(const std::string& when) {
  const Outcome outcome = std::move(m_held->outcome);
  m_held.reset();
  const bool delivered = WriteAnswer(outcome);
  Event(AnswerText(outcome.entry) + " written late, " + when + (delivered ? "" : " [the line would not take it]"));
}

bool Simulator::WriteAnswer(const Outcome& outcome) {
  const Bytes& bytes = outcome.answer;
  if (outcome.split) return WritePieces(bytes, {bytes.size() / 2}, m_config.splitPause);
  if (m_config.splitAnswersGap.count() > 0) return WritePieces(bytes, m_cuts.Next(bytes), m_config.splitAnswersGap);
  return WriteAll(bytes.data(), bytes.size());
}

bool Simulator::WritePieces(const Bytes& bytes, const std::vector<std::size_t>& cuts, std::chrono::milliseconds pause) {
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    if (!WriteAll(bytes.data() + from, cut - from)) return false;
    // The whole pause, even if the thread is woken: the host must find the answer cut off.
    DozeFully(Clock::now() + pause);
    from = cut;
  }
  return WriteAll(bytes.data() + from, bytes.size() - from);
}

bool Simulator::WriteAll(const Byte* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (Stopping()) return false;
    std::size_t step = count - done;
    if (m_output.Enabled()) {
      if (Clock::now() < m_output.FreeAt()) {
        Doze(m_output.FreeAt());
        continue;
      }
      step = std::min(step, m_output.StepBytes());
    }
    const ssize_t n = m_link->Write(data + done, step);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      m_output.Book(static_cast<std::size_t>(n), Clock::now());
    } else if (n < 0 && errno == EAGAIN) {
      pollfd fd{m_link->Fd(), POLLOUT, 0};
      if (poll(&fd, 1, kWriteStallMs) <= 0) return false;
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

bool Simulator::Appear(const Place& place, std::string* error) {
  std::unique_ptr<Line> link;
  if (place.socketPath.empty()) {
    link = PtyLink::Open(place.linkPath, error);
  } else {
    link = SocketLine::Connect(place.socketPath, error);
  }
  if (!link) return false;
  m_link = std::move(link);
  m_place = place;
  m_namesDue = place.Named();
  m_namesAt = Clock::now() + m_config.udevDelay;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_slavePath = m_link->Device();
    m_portNumber = place.port;
  }
  return true;
}

std::string Simulator::OnBusText() const {
  return m_place.title + " on the bus: " + m_link->Shown() + " (" + ModeName(m_handset.CurrentMode()) + " mode)";
}

bool Simulator::PublishNames() {
  m_namesDue = false;
  std::string error;
  m_names = UdevNames::Publish(m_place.devDir, m_place.node, m_place.byId, m_place.byPath, &error);
  if (!m_names) {
    GiveUp("cannot name " + m_place.title + ": " + error);
    return false;
  }
  std::string paths;
  for (const std::string& path : m_names->LinkPaths()) paths += (paths.empty() ? "" : ", ") + path;
  Event(m_place.title + " named: " + paths + " -> ../../" + m_place.node);
  return true;
}

void Simulator::DropOffBus(DropOff reason) {
  // udev's names go before the node, and the line hangs up last.
  m_names.reset();
  m_namesDue = false;
  m_link.reset();
  if (m_held) {
    Event(AnswerText(m_held->outcome.entry) + " held, lost with the line");
    m_held.reset();
  }
  m_lastDropOff = reason;
  m_returnPending = m_config.comesBack;
  m_returnAt = Clock::now() + m_config.returnDelay;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_dropOffs;
    m_slavePath.clear();
  }
  m_changed.notify_all();
  Event(m_place.title + " off the bus, " + DropOffText(reason) + (m_returnPending ? "" : ", for good"));
}

bool Simulator::ComeBack() {
  m_returnPending = false;
  const Place place = ReturnPlace(m_config, m_portsDir);
  std::string error;
  if (!Appear(place, &error)) {
    GiveUp("cannot come back as " + place.title + ": " + error);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handset.Reattach(m_lastDropOff);
    ++m_returns;
  }
  m_changed.notify_all();
  Event(OnBusText());
  return true;
}

void Simulator::GiveUp(const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failure = reason;
  }
  m_changed.notify_all();
  Event(reason);
  if (m_config.onFailure) m_config.onFailure();
}

Simulator::Clock::time_point Simulator::WakeBy(Clock::time_point until) const {
  if (m_namesDue) until = std::min(until, m_namesAt);
  if (m_held) until = std::min(until, m_held->due);
  return until;
}

bool Simulator::Doze(Clock::time_point until) {
  const auto left = std::max(Clock::duration::zero(), until - Clock::now());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const timespec timeout{
      static_cast<time_t>(seconds.count()),
      static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
  pollfd fd{m_wakeRead, POLLIN, 0};
  if (ppoll(&fd, 1, &timeout, nullptr) <= 0) return false;
  DrainWake();
  return true;
}

void Simulator::DozeFully(Clock::time_point until) {
  while (!Stopping() && Clock::now() < until) Doze(until);
}

void Simulator::DrainWake() {
  Byte drain[64];
  while (read(m_wakeRead, drain, sizeof drain) > 0) {
  }
}

void Simulator::Wake() {
  if (m_wakeWrite < 0) return;
  const Byte one = 1;
  // A full pipe already wakes the thread, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t n = write(m_wakeWrite, &one, 1);
}

void Simulator::Event(const std::string& line) const {
  if (m_config.onEvent) m_config.onEvent(line);
}

void Simulator::TriggerUnplug() {
  m_unplugRequested = true;
  Wake();
}

void Simulator::AnswerNow(Byte code) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_slavePath.empty() || m_handset.Hung()) return;
    m_lateAnswers.push_back(code);
  }
  m_lateAnswersDue = true;
  Wake();
}

void Simulator::DeliverLateAnswers() {
  std::vector<Byte> codes;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    codes.swap(m_lateAnswers);
  }
  for (const Byte code : codes) {
    Outcome outcome;
    outcome.answer = EncodeFrame({code}, FrameShape{});
    const bool delivered = WriteAnswer(outcome);
    Event(std::string("late answer ") + ResponseName(code) + (delivered ? "" : " [the line would not take it]"));
  }
}

bool Simulator::WaitForRequests(std::uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_handled >= count; });
}

bool Simulator::WaitForDropOffs(std::uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_dropOffs >= count; });
}

bool Simulator::WaitForReturns(std::uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_returns >= count && !m_slavePath.empty(); });
}

bool Simulator::WaitForInputTaken(std::chrono::milliseconds timeout) {
  const std::uint64_t asked = ++m_takeInsAsked;
  Wake();
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, timeout, [&] { return m_takeInsDone >= asked; });
}

bool Simulator::OnBus() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_slavePath.empty();
}

std::string Simulator::SlavePath() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_slavePath;
}

unsigned Simulator::PortNumber() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_portNumber;
}

std::string Simulator::Failure() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failure;
}

RequestCounts Simulator::Counts() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handset.Counts();
}

std::vector<std::uint8_t> Simulator::Flash() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handset.Flash().Bytes();
}

std::vector<LogEntry> Simulator::Log() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handset.Log();
}

bool Simulator::DumpFlash(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handset.Flash().Dump(path);
}

bool Simulator::DumpLog(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return handset_sim::DumpLog(m_handset.Log(), path);
}

}  // namespace handset_sim
