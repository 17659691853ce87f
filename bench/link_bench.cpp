// Throughput of the link's framing: a data request framed as SendPacket does it, and responses
// decoded as the receive thread does it. The port stays closed, so SendPacket does all of its
// framing and CRC work and WriteBuffer returns at its port-open check; nothing reaches a device.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "link/frame.h"
#include "link/link_messages.h"
#include "link/log_queue.h"
#include "platform/user/messages.h"
#include "platform/user/wnd.h"
#include "serial/serial_port.h"

namespace {

constexpr BYTE kCmdWrite = 0xDD;
constexpr std::size_t kBlockData = 8192;
constexpr std::size_t kWriteRequestLength = 1 + 4 + 2 + kBlockData;
// Posted messages are dispatched this often, so that the queue stays short without a
// dispatch in every iteration; no more often than the port keeps responses waiting.
constexpr int kPumpInterval = static_cast<int>(CResponseQueue::kCapacity);

// Firmware-like data: random bytes, so about one in 85 needs escaping.
std::vector<BYTE> RandomBytes(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<BYTE> bytes(count);
  for (BYTE& b : bytes) b = static_cast<BYTE>(byte(random));
  return bytes;
}

// CMD_WRITE, file offset, byte count 8192, then the data.
std::vector<BYTE> WriteRequest(const std::vector<BYTE>& data) {
  std::vector<BYTE> packet(kWriteRequestLength);
  const DWORD offset = 0x12000;
  const WORD count = kBlockData;
  packet[0] = kCmdWrite;
  std::memcpy(&packet[1], &offset, sizeof offset);
  std::memcpy(&packet[5], &count, sizeof count);
  std::memcpy(&packet[7], data.data(), data.size());
  return packet;
}

std::vector<BYTE> Frame(const std::vector<BYTE>& packet) {
  std::vector<BYTE> frame(wire::MaxFrameLength(packet.size()));
  frame.resize(wire::EncodeFrame(packet.data(), packet.size(), frame.data()));
  return frame;
}

void SendWriteRequest(benchmark::State& state, const std::vector<BYTE>& packet) {
  CSerialPort port;
  for (auto _ : state) port.SendPacket(packet.data(), static_cast<WORD>(packet.size()), 0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}

void BM_SendPacketWriteRequest(benchmark::State& state) {
  SendWriteRequest(state, WriteRequest(RandomBytes(kBlockData, 1)));
}
BENCHMARK(BM_SendPacketWriteRequest);

// Every data byte is 0x7D, 0x7E or 0x7F and goes out as two bytes.
void BM_SendPacketWriteRequestAllEscaped(benchmark::State& state) {
  std::vector<BYTE> data(kBlockData);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(0x7D + i % 3);
  SendWriteRequest(state, WriteRequest(data));
}
BENCHMARK(BM_SendPacketWriteRequestAllEscaped);

void BM_EncodeFrame(benchmark::State& state) {
  const std::vector<BYTE> packet = WriteRequest(RandomBytes(kBlockData, 1));
  std::vector<BYTE> frame(wire::MaxFrameLength(packet.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(wire::EncodeFrame(packet.data(), packet.size(), frame.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packet.size()));
}
BENCHMARK(BM_EncodeFrame);

// Stands in for the main dialog: takes up and counts responses and pops the log lines, as the
// dialog does.
class ResponseCounter : public CWnd {
 public:
  ResponseCounter(CSerialPort& port, CLogQueue& logQueue) : m_port(port), m_logQueue(logQueue) { CreateHandle(); }
  LRESULT WindowProc(UINT message, WPARAM, LPARAM) override {
    if (message == WM_RESPONSE_READY && m_port.TakeResponse()) ++responses;
    if (message == WM_LOG_QUEUED) {
      CLogEntry entry;
      m_logQueue.Pop(entry);
    }
    return 0;
  }
  int64_t responses = 0;

 private:
  CSerialPort& m_port;
  CLogQueue& m_logQueue;
};

// Feeds `frame` in reads of at most `readSize` bytes per iteration; each iteration must
// deliver one response.
void FeedFrame(benchmark::State& state, const std::vector<BYTE>& frame, std::size_t readSize) {
  CLogQueue logQueue;
  CSerialPort port;
  ResponseCounter dialog(port, logQueue);
  if (!port.Attach(&dialog, &logQueue)) {
    state.SkipWithError("Attach failed");
    return;
  }
  int sincePump = 0;
  for (auto _ : state) {
    for (std::size_t at = 0; at < frame.size(); at += readSize) {
      const std::size_t count = std::min(readSize, frame.size() - at);
      benchmark::DoNotOptimize(port.FeedReceived(frame.data() + at, static_cast<int>(count)));
    }
    if (++sincePump == kPumpInterval) {
      platform::PumpPostedMessages();
      sincePump = 0;
    }
  }
  platform::PumpPostedMessages();
  if (dialog.responses != static_cast<int64_t>(state.iterations())) state.SkipWithError("a response was not delivered");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frame.size()));
}

void BM_FeedReceivedAck(benchmark::State& state) { FeedFrame(state, {0x02, 0x6A, 0xD3, 0x7E}, 4); }
BENCHMARK(BM_FeedReceivedAck);

// A 400-byte response in one read (state.range(0) == 0) or in reads of state.range(0) bytes.
void BM_FeedReceivedLongResponse(benchmark::State& state) {
  std::vector<BYTE> payload = RandomBytes(400, 2);
  payload[0] = 0x02;
  const std::vector<BYTE> frame = Frame(payload);
  const std::size_t readSize = state.range(0) == 0 ? frame.size() : static_cast<std::size_t>(state.range(0));
  FeedFrame(state, frame, readSize);
}
BENCHMARK(BM_FeedReceivedLongResponse)->Arg(0)->Arg(16);

}  // namespace
