// The receive side of the port under arbitrary input: any bytes, split into any reads, with
// comm events between them. Every read's outcome is checked against a small reference
// receiver written from the frame rules alone (its own unescaping, a bit-by-bit CRC), so a
// wrong answer aborts just like a memory fault does.
//
// Input layout: byte 0 chooses the largest read (low three bits), whether the dialog leaves
// the log queue alone (bit 3) and how often a comm event comes before a read (high four bits,
// in sixteenths; an event ends the dropping after an overflow); byte 1 seeds the read
// splitter; the rest is the received stream.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/link_messages.h"
#include "link/log_queue.h"
#include "platform/user/messages.h"
#include "platform/user/wnd.h"
#include "serial/serial_port.h"

namespace {

constexpr std::size_t kAccumulationLimit = CSerialPort::kReceiveBufferSize;
constexpr std::size_t kResponseBufferSize = CSerialPort::kResponseBufferSize;
constexpr int kLogQueueLimit = CLogQueue::kCapacity - 1;
constexpr const char* kBadCrcLine = "\n[RX]Bad CRC in response packet\n";

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "feed_received_fuzz: %s\n", what);
  std::abort();
}

// CRC-16/X-25 one bit at a time, so that a fault in the product's table cannot hide.
std::uint16_t BitwiseFcs(const std::vector<std::uint8_t>& bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc ^ 0xFFFF);
}

// What one read must produce: the frames it closed, in order.
struct Expected {
  bool accepted = true;  // false only when more than 512 bytes gathered without a frame end
  std::vector<std::vector<std::uint8_t>> goodPayloads;
  int badFrames = 0;
};

// The receive rules: bytes are gathered across reads, every flag closes what was gathered (a
// flag with nothing before it closes nothing), 0x7D escapes the next byte (a zero past the
// end), the last two bytes are the FCS, and an empty payload is a bad frame. More than 512
// bytes without a flag drop what was gathered and the rest of the read.
class ReferenceReceiver {
 public:
  void Restart() { m_gathered.clear(); }

  Expected Feed(const std::vector<std::uint8_t>& read) {
    Expected expected;
    for (const std::uint8_t b : read) {
      if (b == 0x7E) {
        if (m_gathered.empty()) continue;
        std::vector<std::uint8_t> payload;
        const bool good = Decode(payload);
        if (good) {
          expected.goodPayloads.push_back(payload);
        } else {
          ++expected.badFrames;
        }
        m_gathered.clear();
        continue;
      }
      if (m_gathered.size() >= kAccumulationLimit) {
        expected.accepted = false;
        m_gathered.clear();
        return expected;
      }
      m_gathered.push_back(b);
    }
    return expected;
  }

 private:
  bool Decode(std::vector<std::uint8_t>& payload) const {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < m_gathered.size(); ++i) {
      if (m_gathered[i] != 0x7D) {
        bytes.push_back(m_gathered[i]);
        continue;
      }
      ++i;
      const std::uint8_t escaped = i < m_gathered.size() ? m_gathered[i] : 0;
      bytes.push_back(static_cast<std::uint8_t>(escaped ^ 0x20));
    }
    if (bytes.size() < 3) return false;
    payload.assign(bytes.begin(), bytes.end() - 2);
    const std::uint16_t fcs = BitwiseFcs(payload);
    return bytes[bytes.size() - 2] == (fcs & 0xFF) && bytes[bytes.size() - 1] == (fcs >> 8);
  }

  std::vector<std::uint8_t> m_gathered;
};

// Splits the stream into reads of 1 to the chosen size, from a seed in the input itself.
class ReadSplitter {
 public:
  ReadSplitter(std::uint8_t control, std::uint8_t seed)
      : m_largestRead(kLargestReads[control & 0x07]), m_restartOdds(control >> 4), m_state(0x9E3779B9u ^ seed) {}

  bool CommEventNow() { return m_restartOdds != 0 && Next() % 16 < m_restartOdds; }

  std::size_t NextRead(std::size_t left) {
    if (m_largestRead == 0) return left;
    return std::min<std::size_t>(left, 1 + Next() % m_largestRead);
  }

 private:
  // 0 is the whole stream in one read.
  static constexpr std::size_t kLargestReads[8] = {0, 1, 2, 3, 7, 16, 64, 600};

  std::uint32_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }

  std::size_t m_largestRead;
  unsigned m_restartOdds;
  std::uint32_t m_state;
};

// Stands in for the main dialog: takes up each response as the run does and, like the
// dialog, pops one log entry per WM_LOG_QUEUED unless told to leave the queue alone.
class DialogStandIn : public CWnd {
 public:
  DialogStandIn(CSerialPort& port, CLogQueue& logQueue) : m_port(port), m_logQueue(logQueue) { CreateHandle(); }

  LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
    if (message == WM_RESPONSE_READY) {
      const BYTE* response = m_port.TakeResponse();
      if (!response) Fail("WM_RESPONSE_READY without a response waiting");
      responses.emplace_back(response, response + kResponseBufferSize);
    } else if (message == WM_LOG_QUEUED) {
      ++logLines;
      if (drainsLog) PopBadCrcLine(m_logQueue);
    } else {
      Fail("a message the receive side never posts");
    }
    return 0;
  }

  static void PopBadCrcLine(CLogQueue& logQueue) {
    CLogEntry entry;
    if (!logQueue.Pop(entry)) Fail("WM_LOG_QUEUED without a queued line");
    if (entry.m_nKind != LOG_ERROR || entry.m_strText != kBadCrcLine) Fail("a log line other than the bad CRC line");
  }

  bool drainsLog = true;
  std::vector<std::vector<std::uint8_t>> responses;
  int logLines = 0;

 private:
  CSerialPort& m_port;
  CLogQueue& m_logQueue;
};

class Harness {
 public:
  Harness() : m_dialog(m_port, m_logQueue) {
    if (!m_port.Attach(&m_dialog, &m_logQueue)) Fail("Attach failed");
  }

  // Every input starts from an idle receiver and an empty log queue, so that it replays alone.
  void Begin(bool drainsLog) {
    platform::PumpPostedMessages();
    m_logQueue.Reset();
    m_port.RestartReceive();
    m_reference.Restart();
    m_dialog.drainsLog = drainsLog;
    m_dialog.responses.clear();
    m_dialog.logLines = 0;
    m_heldLines = 0;
    m_dropping = false;
  }

  // As the receive thread does: after an overflow the rest of the event's reads are dropped,
  // and the next event gathers from nothing.
  void CommEvent() {
    if (!m_dropping) return;
    m_port.RestartReceive();
    m_reference.Restart();
    m_dropping = false;
  }

  void Feed(const std::vector<std::uint8_t>& read) {
    if (m_dropping) return;
    const bool accepted = m_port.FeedReceived(read.data(), static_cast<int>(read.size()));
    const Expected expected = m_reference.Feed(read);
    platform::PumpPostedMessages();

    if (accepted != expected.accepted) Fail("FeedReceived's answer breaks the 512-byte rule");
    m_dropping = !accepted;
    // The run takes responses up only between reads, so one read with more than the queue holds
    // keeps the first of them.
    const std::size_t kept = std::min(expected.goodPayloads.size(), CResponseQueue::kCapacity);
    if (m_dialog.responses.size() != kept) Fail("responses do not match the frames' checks");
    for (std::size_t i = 0; i < kept; ++i) CheckResponse(m_dialog.responses[i], expected.goodPayloads[i]);
    if (m_dialog.logLines != ExpectedLogLines(expected.badFrames))
      Fail("WM_LOG_QUEUED does not match the frames' checks");
    m_dialog.responses.clear();
    m_dialog.logLines = 0;
  }

  // Lines the dialog left alone must all be in the queue, and nothing more.
  void End() {
    for (int i = 0; i < m_heldLines; ++i) DialogStandIn::PopBadCrcLine(m_logQueue);
    CLogEntry extra;
    if (m_logQueue.Pop(extra)) Fail("the log queue holds more lines than were announced");
  }

 private:
  static void CheckResponse(const std::vector<std::uint8_t>& taken, const std::vector<std::uint8_t>& payload) {
    const std::size_t kept = std::min(payload.size(), kResponseBufferSize);
    if (std::memcmp(taken.data(), payload.data(), kept) != 0) Fail("a response differs from its frame");
  }

  // Each bad frame announces one line while the queue has room: the dialog takes lines up only
  // between reads, so one read with more than 100 bad frames fills it even when the dialog
  // drains it.
  int ExpectedLogLines(int badFrames) {
    const int announced = std::min(badFrames, kLogQueueLimit - m_heldLines);
    if (!m_dialog.drainsLog) m_heldLines += announced;
    return announced;
  }

  CLogQueue m_logQueue;
  CSerialPort m_port;
  DialogStandIn m_dialog;
  ReferenceReceiver m_reference;
  int m_heldLines = 0;
  bool m_dropping = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static Harness harness;
  const std::uint8_t control = data[0];
  harness.Begin((control & 0x08) == 0);
  ReadSplitter splitter(control, data[1]);
  std::size_t position = 2;
  while (position < size) {
    if (splitter.CommEventNow()) harness.CommEvent();
    const std::size_t count = splitter.NextRead(size - position);
    // A read of exactly its own size, so that reading past it is caught.
    const std::vector<std::uint8_t> read(data + position, data + position + count);
    harness.Feed(read);
    position += count;
  }
  harness.End();
  return 0;
}
