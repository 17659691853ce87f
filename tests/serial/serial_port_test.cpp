// The serial port as the handset sees it: the test holds the master side of a pseudo-terminal
// published as a COM port and watches what the port object puts on the line.
#include "serial/serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "link/fcs.h"
#include "link/frame.h"
#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/comm.h"
#include "platform/kernel/handles.h"
#include "tests/support/bytes.h"
#include "tests/support/comm_wait.h"
#include "tests/support/pty_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::Bytes;
using namespace std::chrono_literals;
using testing_support::EndsWithin;
using testing_support::OpenDescriptorCount;
using testing_support::Pattern;
using testing_support::PtyPort;
using testing_support::RecordingWindow;
using testing_support::ScopedPortMap;
using testing_support::StartWait;
using testing_support::WaitResult;

// Far longer than any of these operations takes; only a hang runs into it.
constexpr auto kBound = 2000ms;
constexpr BYTE kPortNumber = 4;

HANDLE OpenComPort(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

// Whether nobody holds the port: it can be opened (and is closed again at once).
bool PortIsFree(const char* name) {
  const HANDLE handle = OpenComPort(name);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// How a byte goes on the wire inside a frame.
void PutEscaped(Bytes& frame, BYTE b) {
  if (b >= 0x7D && b <= 0x7F) {
    frame.push_back(0x7D);
    frame.push_back(static_cast<BYTE>(b ^ 0x20));
  } else {
    frame.push_back(b);
  }
}

// The state a Linux terminal starts in, at another speed and with two stop bits: line
// editing, echo, XON/XOFF, CR/LF mapping, hang-up on close. (A pseudo-terminal keeps 8 data
// bits without parity whatever it is asked for.)
void MakeLineCooked(int masterFd) {
  termios line{};
  ASSERT_EQ(tcgetattr(masterFd, &line), 0);
  line.c_iflag |= ICRNL | IXON | ISTRIP;
  line.c_oflag |= OPOST | ONLCR;
  line.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
  line.c_cflag = (line.c_cflag & ~CLOCAL) | CSTOPB | HUPCL;
  cfsetispeed(&line, B9600);
  cfsetospeed(&line, B9600);
  ASSERT_EQ(tcsetattr(masterFd, TCSANOW, &line), 0);
}

class SerialPortTest : public ::testing::Test {
 protected:
  SerialPortTest() { platform::UseClock(&m_clock); }
  ~SerialPortTest() override { platform::UseClock(nullptr); }

  // In the order the download run connects.
  bool Connect() {
    m_port.SetPortNumber(kPortNumber);
    m_port.Release();
    return m_port.Attach(&m_window, &m_log) && m_port.Open();
  }

  // Waits until the port reports `count` received bytes.
  bool BytesWaiting(DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    COMSTAT status{};
    while (ClearCommError(m_port.GetHandle(), nullptr, &status) && status.cbInQue < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return status.cbInQue >= count;
  }

  // What the receive side reads, as often as needed for `count` bytes.
  Bytes ReadFromPort(std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    Bytes bytes;
    BYTE buffer[CSerialPort::kReceiveBufferSize];
    while (bytes.size() < count && std::chrono::steady_clock::now() < deadline) {
      const DWORD read = m_port.ReadAvailable(buffer, sizeof buffer);
      bytes.insert(bytes.end(), buffer, buffer + read);
      if (read == 0) std::this_thread::yield();
    }
    return bytes;
  }

  void SendPacket(const Bytes& packet) { m_port.SendPacket(packet.data(), static_cast<WORD>(packet.size()), 0); }

  // The settle time after opening passes without waiting on the wall clock.
  platform::ManualClock m_clock;
  ScopedPortMap m_map;
  PtyPort m_pty{m_map, kPortNumber};
  RecordingWindow m_window;
  CLogQueue m_log;
  CSerialPort m_port;
};

// Opening by port number.

class SerialPortNumberTest : public ::testing::TestWithParam<int> {
 protected:
  SerialPortNumberTest() { platform::UseClock(&m_clock); }
  ~SerialPortNumberTest() override { platform::UseClock(nullptr); }

  platform::ManualClock m_clock;
  ScopedPortMap m_map;
  PtyPort m_pty{m_map, static_cast<unsigned>(GetParam())};
  CSerialPort m_port;
};

TEST_P(SerialPortNumberTest, OpensThePortPublishedUnderItsNumber) {
  const BYTE number = static_cast<BYTE>(GetParam());
  m_port.SetPortNumber(number);
  ASSERT_TRUE(m_port.Open());
  EXPECT_TRUE(g_bPortOpen);
  EXPECT_TRUE(m_port.WriteByte(number));
  EXPECT_EQ(m_pty.Read(1), Bytes{number});
}

// 1 to 4 go by their short name, 5 and up by the device path, 10 and up only by that.
INSTANTIATE_TEST_SUITE_P(ShortAndDevicePathNames, SerialPortNumberTest, ::testing::Values(1, 4, 5, 9, 10, 12, 20));

using SerialPortOpenTest = SerialPortTest;

TEST_F(SerialPortOpenTest, MissingPortLeavesThePortClosed) {
  m_port.SetPortNumber(7);
  ASSERT_TRUE(m_port.Attach(&m_window, &m_log));
  EXPECT_FALSE(m_port.Open());
  EXPECT_FALSE(g_bPortOpen);
  EXPECT_EQ(m_port.GetHandle(), nullptr);
  EXPECT_FALSE(m_port.WriteByte(0x41));
  EXPECT_FALSE(m_port.Close());
}

TEST_F(SerialPortOpenTest, PortHeldElsewhereIsRefusedUntilLetGo) {
  const HANDLE other = OpenComPort("COM4");
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Connect());
  EXPECT_FALSE(g_bPortOpen);

  ASSERT_TRUE(CloseHandle(other));
  EXPECT_TRUE(Connect());
  EXPECT_TRUE(g_bPortOpen);
}

TEST_F(SerialPortOpenTest, RefusedLineSettingsCloseThePortAgain) {
  const int before = OpenDescriptorCount();
  m_port.SetLineSettings(kPortNumber, 14400, 8, ONESTOPBIT, NOPARITY);
  EXPECT_FALSE(m_port.Open());
  EXPECT_FALSE(g_bPortOpen);
  EXPECT_EQ(m_port.GetHandle(), nullptr);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_TRUE(PortIsFree("COM4"));
}

TEST_F(SerialPortOpenTest, ReconnectLetsGoOfTheEarlierOpen) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(g_bPortOpen);
  EXPECT_TRUE(m_port.WriteByte(0x5A));
  EXPECT_EQ(m_pty.Read(1), Bytes{0x5A});
}

TEST_F(SerialPortOpenTest, DestroyedPortLetsGoOfEverything) {
  const int before = OpenDescriptorCount();
  {
    CSerialPort port;
    port.SetPortNumber(kPortNumber);
    ASSERT_TRUE(port.Attach(&m_window, &m_log));
    ASSERT_TRUE(port.Open());
  }
  EXPECT_FALSE(g_bPortOpen);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_TRUE(PortIsFree("COM4"));
}

// Line settings.

using SerialPortLineTest = SerialPortTest;

TEST_F(SerialPortLineTest, OpenPutsTheLineInto57600Raw8N1) {
  MakeLineCooked(m_pty.MasterFd());
  ASSERT_TRUE(Connect());

  termios line{};
  ASSERT_EQ(tcgetattr(m_pty.MasterFd(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
  EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B57600));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(line.c_cflag & PARENB);
  EXPECT_FALSE(line.c_cflag & CSTOPB);
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_FALSE(line.c_cflag & HUPCL);
  EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_FALSE(line.c_oflag & OPOST);
  EXPECT_FALSE(line.c_iflag & (ICRNL | IXON | ISTRIP | INPCK));
}

TEST_F(SerialPortLineTest, EveryByteValuePassesUnchangedBothWays) {
  MakeLineCooked(m_pty.MasterFd());
  ASSERT_TRUE(Connect());
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<BYTE>(i);

  EXPECT_TRUE(m_port.WriteBuffer(all.data(), static_cast<DWORD>(all.size())));
  EXPECT_EQ(m_pty.Read(all.size()), all);

  m_pty.Write(all);
  EXPECT_EQ(ReadFromPort(all.size()), all);
  EXPECT_TRUE(m_pty.Drain(10).empty()) << "nothing echoed back to the handset";
}

// Writing.

using SerialPortWriteTest = SerialPortTest;

TEST_F(SerialPortWriteTest, BytesArriveExactlyAsWritten) {
  ASSERT_TRUE(Connect());
  const Bytes buffer = {0x01, 0x7E, 0x00, 0x0A, 0xFF};
  EXPECT_TRUE(m_port.WriteByte(0x41));
  EXPECT_TRUE(m_port.WriteBuffer(buffer.data(), static_cast<DWORD>(buffer.size())));
  EXPECT_EQ(m_pty.Read(1 + buffer.size()), Concat({0x41}, buffer));
  EXPECT_TRUE(m_pty.Drain(10).empty());
}

TEST_F(SerialPortWriteTest, LargeWriteArrivesCompleteAndInOrder) {
  ASSERT_TRUE(Connect());
  const Bytes data = Pattern(64 * 1024);
  auto received = std::async(std::launch::async, [&] { return m_pty.Read(data.size()); });
  EXPECT_TRUE(m_port.WriteBuffer(data.data(), static_cast<DWORD>(data.size())));
  EXPECT_TRUE(received.get() == data);
}

TEST_F(SerialPortWriteTest, WritesAfterCloseFailAndSendNothing) {
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(m_port.Close());
  const Bytes buffer = {0xA0, 0x72, 0x55, 0x7E};
  EXPECT_FALSE(m_port.WriteByte(0x41));
  EXPECT_FALSE(m_port.WriteBuffer(buffer.data(), static_cast<DWORD>(buffer.size())));
  EXPECT_FALSE(m_port.SendByte(0x41, false));
  EXPECT_TRUE(m_pty.Drain(20).empty());
}

TEST_F(SerialPortWriteTest, WriteToHungUpLineFails) {
  ASSERT_TRUE(Connect());
  m_pty.CloseMaster();
  const Bytes buffer = {0xA0, 0x72, 0x55, 0x7E};
  EXPECT_FALSE(m_port.WriteByte(0x41));
  EXPECT_FALSE(m_port.WriteBuffer(buffer.data(), static_cast<DWORD>(buffer.size())));
}

TEST_F(SerialPortWriteTest, WriteTheHandsetDoesNotTakeInTimeFails) {
  ASSERT_TRUE(Connect());
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutConstant = 50;
  ASSERT_TRUE(SetCommTimeouts(m_port.GetHandle(), &timeouts));
  const Bytes data = Pattern(256 * 1024);

  auto written =
      std::async(std::launch::async, [&] { return m_port.WriteBuffer(data.data(), static_cast<DWORD>(data.size())); });
  const bool ended = written.wait_for(kBound) == std::future_status::ready;
  // A write that ignored its time-out is ended by hanging up, so the test does not hang.
  if (!ended) m_pty.CloseMaster();
  EXPECT_TRUE(ended);
  EXPECT_FALSE(written.get());
}

// Framing on the wire.

using SerialPortFramingTest = SerialPortTest;

TEST_F(SerialPortFramingTest, SendPacketPutsOneFrameOnTheWire) {
  ASSERT_TRUE(Connect());
  const std::pair<Bytes, Bytes> cases[] = {
      {{0xA0}, {0xA0, 0x72, 0x55, 0x7E}},
      {{0xB0}, {0xB0, 0xF3, 0x45, 0x7E}},
      {{0xF0, 0x01}, {0xF0, 0x01, 0xC6, 0x62, 0x7E}},
      {{0x7F}, {0x7D, 0x5F, 0x08, 0x7B, 0x7E}},
  };
  for (const auto& [packet, frame] : cases) {
    SendPacket(packet);
    EXPECT_EQ(m_pty.Read(frame.size()), frame);
  }
  EXPECT_TRUE(m_pty.Drain(10).empty());
}

TEST_F(SerialPortFramingTest, LargestPacketWithEveryByteEscapedGoesOutWhole) {
  ASSERT_TRUE(Connect());
  const Bytes packet(wire::kMaxRequestLength, 0x7E);
  const WORD fcs = wire::ComputeFcs(packet.data(), packet.size());
  Bytes frame;
  for (BYTE b : packet) PutEscaped(frame, b);
  PutEscaped(frame, static_cast<BYTE>(fcs & 0xFF));
  PutEscaped(frame, static_cast<BYTE>(fcs >> 8));
  frame.push_back(0x7E);

  auto received = std::async(std::launch::async, [&] { return m_pty.Read(frame.size()); });
  SendPacket(packet);
  EXPECT_TRUE(received.get() == frame);
  EXPECT_TRUE(m_pty.Drain(10).empty());
}

TEST_F(SerialPortFramingTest, SendByteEscapesOnlyWhenAsked) {
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(m_port.SendByte(0x7E, true));
  EXPECT_TRUE(m_port.SendByte(0x41, true));
  EXPECT_TRUE(m_port.SendByte(0x7E, false));
  EXPECT_EQ(m_pty.Read(4), (Bytes{0x7D, 0x5E, 0x41, 0x7E}));
  EXPECT_TRUE(m_pty.Drain(10).empty());
}

TEST_F(SerialPortFramingTest, ResendRepeatsTheFrameAndLogsEachResend) {
  ASSERT_TRUE(Connect());
  const Bytes frame = {0xF0, 0x01, 0xC6, 0x62, 0x7E};
  SendPacket({0xF0, 0x01});
  EXPECT_EQ(m_pty.Read(frame.size()), frame);
  EXPECT_EQ(m_window.Count(WM_LOG_QUEUED), 0);

  m_port.ResendLastPacket();
  m_port.ResendLastPacket();
  EXPECT_EQ(m_pty.Read(2 * frame.size()), Concat(frame, frame));

  EXPECT_EQ(m_window.Count(WM_LOG_QUEUED), 2);
  for (const MSG& msg : m_window.received) {
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
  }
  CLogEntry entry;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(m_log.Pop(entry));
    EXPECT_EQ(entry.m_nKind, LOG_INFO);
    EXPECT_EQ(entry.m_strText, "패킷 재전송합니다.");
  }
  EXPECT_FALSE(m_log.Pop(entry));
}

TEST_F(SerialPortFramingTest, OversizedPacketIsRefusedAndEarlierRequestKept) {
  ASSERT_TRUE(Connect());
  const Bytes frame = {0xA0, 0x72, 0x55, 0x7E};
  SendPacket({0xA0});
  EXPECT_EQ(m_pty.Read(frame.size()), frame);

  SendPacket(Bytes(wire::kMaxRequestLength + 1, 0x41));
  EXPECT_TRUE(m_pty.Drain(20).empty());

  m_port.ResendLastPacket();
  EXPECT_EQ(m_pty.Read(frame.size()), frame);
  EXPECT_TRUE(m_pty.Drain(10).empty());
}

// Reading what has arrived.

using SerialPortReadTest = SerialPortTest;

TEST_F(SerialPortReadTest, NothingWaitingReadsNothing) {
  BYTE buffer[CSerialPort::kReceiveBufferSize];
  std::fill(std::begin(buffer), std::end(buffer), 0xCC);
  EXPECT_EQ(m_port.ReadAvailable(buffer, sizeof buffer), 0u) << "port never opened";

  ASSERT_TRUE(Connect());
  EXPECT_EQ(m_port.ReadAvailable(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](BYTE b) { return b == 0xCC; }));
}

TEST_F(SerialPortReadTest, ReadsAllThatIsWaiting) {
  ASSERT_TRUE(Connect());
  const Bytes sent = Pattern(20);
  m_pty.Write(sent);
  ASSERT_TRUE(BytesWaiting(20));

  BYTE buffer[CSerialPort::kReceiveBufferSize] = {};
  ASSERT_EQ(m_port.ReadAvailable(buffer, sizeof buffer), 20u);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer));
}

TEST_F(SerialPortReadTest, ReadsNoMoreThanAskedAndKeepsTheRest) {
  ASSERT_TRUE(Connect());
  const Bytes sent = Pattern(20);
  m_pty.Write(sent);
  ASSERT_TRUE(BytesWaiting(20));

  BYTE buffer[CSerialPort::kReceiveBufferSize] = {};
  ASSERT_EQ(m_port.ReadAvailable(buffer, 8), 8u);
  EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 8, buffer));
  EXPECT_EQ(buffer[8], 0) << "nothing written past the count asked for";
  ASSERT_EQ(m_port.ReadAvailable(buffer, sizeof buffer), 12u);
  EXPECT_TRUE(std::equal(sent.begin() + 8, sent.end(), buffer));
}

// Closing.

using SerialPortCloseTest = SerialPortTest;

TEST_F(SerialPortCloseTest, CloseReleasesTheReceiveWaitWithNoEvents) {
  ASSERT_TRUE(Connect());
  auto wait = StartWait(m_port.GetHandle());
  ASSERT_EQ(wait.wait_for(50ms), std::future_status::timeout) << "a quiet line keeps the waiter waiting";

  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(m_port.Close());
  ASSERT_TRUE(EndsWithin(wait, 1000ms));
  const auto latency = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  RecordProperty("close_release_latency_us", static_cast<int>(latency.count()));
  EXPECT_EQ(wait.get().events, 0u);
  EXPECT_FALSE(g_bPortOpen);
  EXPECT_EQ(m_port.GetHandle(), nullptr);
}

TEST_F(SerialPortCloseTest, ClosedPortIsFreeAndClosesOnlyOnce) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(PortIsFree("COM4"));
  EXPECT_TRUE(m_port.Close());
  EXPECT_TRUE(PortIsFree("COM4"));
  EXPECT_FALSE(m_port.Close());
  EXPECT_TRUE(m_port.Release());
}

}  // namespace
