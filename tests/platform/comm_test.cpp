// The comm API over real pseudo-terminals: the test holds the master side of each line and
// plays the handset, the code under test opens the slave side by its COM name.
#include "platform/kernel/comm.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/handles.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/sync.h"
#include "platform/posix/open_failure.h"
#include "tests/support/bytes.h"
#include "tests/support/comm_wait.h"
#include "tests/support/pty_port.h"
#include "tests/support/thread_probe.h"

namespace {

using testing_support::Bytes;
using namespace std::chrono_literals;
using testing_support::EndsWithin;
using testing_support::OpenDescriptorCount;
using testing_support::Pattern;
using testing_support::PtyPort;
using testing_support::ScopedPortMap;
using testing_support::StartWait;
using testing_support::WaitResult;

// Far longer than any of these operations takes; only a hang runs into it.
constexpr auto kBound = 2000ms;
// More than a pseudo-terminal buffers, so a write of it has to wait for the handset.
constexpr DWORD kLargeWrite = 256 * 1024;

HANDLE OpenPort(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

void SetWriteTimeout(HANDLE port, DWORD constantMs) {
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutConstant = constantMs;
  ASSERT_TRUE(SetCommTimeouts(port, &timeouts));
}

class CommTest : public ::testing::Test {
 protected:
  ScopedPortMap m_map;
  PtyPort m_pty{m_map, 4};
};

// Port names.

class CommPortNameTest : public CommTest {
 protected:
  PtyPort m_pty5{m_map, 5};
  PtyPort m_pty12{m_map, 12};
};

TEST_F(CommPortNameTest, ShortAndDevicePathNamesReachTheirOwnPorts) {
  struct Case {
    const char* name;
    PtyPort& pty;
    BYTE marker;
  } const cases[] = {{"COM4", m_pty, 0x04}, {"\\\\.\\COM5", m_pty5, 0x05}, {"\\\\.\\COM12", m_pty12, 0x12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HANDLE port = OpenPort(c.name);
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(port, &c.marker, 1, &written, nullptr));
    EXPECT_EQ(c.pty.Read(1), Bytes{c.marker});
    EXPECT_TRUE(CloseHandle(port));
  }
  EXPECT_TRUE(m_pty.Drain(10).empty());
  EXPECT_TRUE(m_pty5.Drain(10).empty());
  EXPECT_TRUE(m_pty12.Drain(10).empty());
}

TEST_F(CommPortNameTest, ShortNameStopsAtPortNine) {
  EXPECT_EQ(OpenPort("COM12"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(CommPortNameTest, NamesThatAreNotComPortsAreNotFound) {
  // Device paths too: only the port map decides which device is a port.
  const std::string names[] = {
      "LPT4", "COM4x", "COM", "", "\\\\.\\COM", "\\\\.\\LPT4", m_pty.SlavePath(), m_map.Directory() + "/com4"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(OpenPort(name.c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  }
}

TEST_F(CommPortNameTest, PortWithoutLinkIsNotFound) {
  EXPECT_EQ(OpenPort("COM3"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(CommPortNameTest, UnpluggedPortIsNotFound) {
  m_map.Publish(6, m_map.Directory() + "/no-such-device");
  EXPECT_EQ(OpenPort("\\\\.\\COM6"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(CommPortNameTest, DeviceThatIsNoTerminalIsRefusedWithoutLeakingIt) {
  m_map.Publish(7, "/dev/null");
  const int before = OpenDescriptorCount();
  EXPECT_EQ(OpenPort("\\\\.\\COM7"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// Exclusive use.

using CommExclusiveTest = CommTest;

TEST_F(CommExclusiveTest, HeldPortIsRefusedUnderEitherNameAndItsHolderNamed) {
  const HANDLE first = OpenPort("COM4");
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  std::string self;
  std::getline(std::ifstream("/proc/self/comm"), self);
  const std::string holder = self + " (pid " + std::to_string(getpid()) + ")";
  for (const char* name : {"COM4", "\\\\.\\COM4"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenPort(name), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(platform::DescribeCommOpenFailure("COM4"),
              ("COM4 (" + m_pty.SlavePath() + ") is in use by " + holder + ".").c_str());
  }
  EXPECT_TRUE(CloseHandle(first));
  // A port that is not there needs no more words than its absence.
  EXPECT_EQ(OpenPort("COM5"), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(platform::DescribeCommOpenFailure("COM5").IsEmpty());
}

TEST(CommOpenFailure, APermissionMissingNamesTheGroupThatHasIt) {
  testing_support::TempDir dir;
  const std::string device = dir.File("ttyACM0");
  std::ofstream(device).put('x');
  const group* dialout = getgrnam("dialout");
  if (!dialout || chown(device.c_str(), 0, dialout->gr_gid) != 0) GTEST_SKIP() << "no group dialout to give it";
  ASSERT_EQ(chmod(device.c_str(), 0660), 0);
  EXPECT_EQ(platform::posix::ExplainOpenFailure("COM3", device, EACCES),
            "COM3 (" + device + "): permission denied. The user must be in the group \"dialout\" (then log in again).");
  ASSERT_EQ(chmod(device.c_str(), 0600), 0);
  EXPECT_EQ(platform::posix::ExplainOpenFailure("COM3", device, EACCES),
            "COM3 (" + device + "): permission denied. The user may not read and write the device.");
}

TEST(CommOpenFailure, APortInUseWhoseHolderCannotBeSeenSaysSo) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  char slave[128] = {};
  ASSERT_EQ(ptsname_r(master, slave, sizeof slave), 0);
  // Nobody has the slave open: a lock held by another user's process looks the same.
  EXPECT_EQ(platform::posix::ExplainOpenFailure("COM9", slave, EBUSY),
            std::string("COM9 (") + slave + ") is in use by a program this user cannot see (perhaps another user's).");
  close(master);
}

TEST_F(CommExclusiveTest, ClosedPortOpensAgainAtOnce) {
  const HANDLE first = OpenPort("COM4");
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(first));
  const HANDLE second = OpenPort("COM4");
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(second));
}

// Line settings.

class CommLineSettingsTest : public CommTest {
 protected:
  void SetUp() override { ASSERT_NE(m_port, INVALID_HANDLE_VALUE); }
  void TearDown() override { CloseHandle(m_port); }

  termios LineOfPty() const {
    termios line{};
    EXPECT_EQ(tcgetattr(m_pty.MasterFd(), &line), 0);
    return line;
  }

  HANDLE m_port = OpenPort("COM4");
};

// A pseudo-terminal always keeps 8 data bits without parity, whatever it is asked for, so
// the speed shows the way from the DCB to the line and back.
TEST_F(CommLineSettingsTest, StateRoundTripsAndReachesTheLine) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(m_port, &dcb));
  for (const DWORD rate : {115200u, 9600u}) {
    SCOPED_TRACE(rate);
    dcb.BaudRate = rate;
    ASSERT_TRUE(SetCommState(m_port, &dcb));
    DCB read{};
    ASSERT_TRUE(GetCommState(m_port, &read));
    EXPECT_EQ(read.BaudRate, rate);
    EXPECT_EQ(read.ByteSize, 8);
    EXPECT_EQ(read.Parity, NOPARITY);
    EXPECT_EQ(read.StopBits, ONESTOPBIT);
    const termios line = LineOfPty();
    EXPECT_EQ(cfgetospeed(&line), rate == 9600u ? static_cast<speed_t>(B9600) : static_cast<speed_t>(B115200));
    EXPECT_FALSE(line.c_cflag & (CSTOPB | PARENB));
  }
}

// A speed Linux has no constant for, and what a handset line never is: other byte sizes,
// parity, two stop bits, flow control.
TEST_F(CommLineSettingsTest, WhatTheLineCannotBeIsRefusedAndTheLineKept) {
  DCB good{};
  ASSERT_TRUE(GetCommState(m_port, &good));
  good.BaudRate = 57600;
  ASSERT_TRUE(SetCommState(m_port, &good));

  const std::pair<const char*, std::function<void(DCB&)>> changes[] = {
      {"14400 baud", [](DCB& dcb) { dcb.BaudRate = 14400; }},
      {"7-bit bytes", [](DCB& dcb) { dcb.ByteSize = 7; }},
      {"odd parity", [](DCB& dcb) { dcb.Parity = 1; }},
      {"two stop bits", [](DCB& dcb) { dcb.StopBits = 2; }},
      {"CTS flow control", [](DCB& dcb) { dcb.fOutxCtsFlow = 1; }},
      {"XON/XOFF sent", [](DCB& dcb) { dcb.fOutX = 1; }},
      {"XON/XOFF received", [](DCB& dcb) { dcb.fInX = 1; }},
  };
  for (const auto& [what, change] : changes) {
    SCOPED_TRACE(what);
    DCB dcb = good;
    dcb.BaudRate = 115200;
    change(dcb);
    EXPECT_FALSE(SetCommState(m_port, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    DCB read{};
    ASSERT_TRUE(GetCommState(m_port, &read));
    EXPECT_EQ(read.BaudRate, 57600u) << "nothing of the refused settings reaches the line";
    const termios line = LineOfPty();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B57600));
  }
}

TEST_F(CommTest, APortStartsWithoutTheFlowControlTheLastProgramLeft) {
  termios left{};
  ASSERT_EQ(tcgetattr(m_pty.MasterFd(), &left), 0);
  left.c_cflag |= CRTSCTS;
  left.c_iflag |= IXON | IXOFF | IXANY;
  ASSERT_EQ(tcsetattr(m_pty.MasterFd(), TCSANOW, &left), 0);

  const HANDLE port = OpenPort("COM4");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  DCB dcb{};
  ASSERT_TRUE(GetCommState(port, &dcb));
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
  EXPECT_EQ(dcb.fOutX, 0u);
  EXPECT_EQ(dcb.fInX, 0u);
  termios line{};
  ASSERT_EQ(tcgetattr(m_pty.MasterFd(), &line), 0);
  EXPECT_FALSE(line.c_cflag & CRTSCTS);
  EXPECT_FALSE(line.c_iflag & (IXON | IXOFF | IXANY));
  CloseHandle(port);
}

TEST_F(CommLineSettingsTest, ModemLinesOfPseudoTerminalAreTolerated) {
  // A pseudo-terminal has no DTR or RTS; closing the port drops them and must not fail.
  EXPECT_TRUE(EscapeCommFunction(m_port, CLRDTR));
  EXPECT_TRUE(EscapeCommFunction(m_port, CLRRTS));
}

// Writes.

class CommWriteTest : public CommTest {
 protected:
  void SetUp() override {
    ASSERT_NE(m_port, INVALID_HANDLE_VALUE);
    m_overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(m_overlapped.hEvent, nullptr);
  }
  void TearDown() override {
    CloseHandle(m_port);
    CloseHandle(m_overlapped.hEvent);
  }

  HANDLE m_port = OpenPort("COM4");
  OVERLAPPED m_overlapped{};
};

TEST_F(CommWriteTest, WriteTooLargeForTheLineWaitsForTheHandsetAndCompletesInOrder) {
  SetWriteTimeout(m_port, 2000);
  const Bytes data = Pattern(kLargeWrite);
  auto received = std::async(std::launch::async, [this] { return m_pty.Read(kLargeWrite); });
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(m_port, data.data(), kLargeWrite, &written, &m_overlapped));
  EXPECT_EQ(written, kLargeWrite);
  EXPECT_EQ(WaitForSingleObject(m_overlapped.hEvent, 0), WAIT_OBJECT_0);
  DWORD reported = 0;
  EXPECT_TRUE(GetOverlappedResult(m_port, &m_overlapped, &reported, TRUE));
  EXPECT_EQ(reported, kLargeWrite);
  EXPECT_TRUE(received.get() == data);
}

TEST_F(CommWriteTest, WriteNobodyTakesEndsShortAtItsTimeout) {
  SetWriteTimeout(m_port, 50);
  const Bytes data = Pattern(kLargeWrite);
  auto result = std::async(std::launch::async, [this, &data] {
    DWORD written = 0;
    const BOOL ok = WriteFile(m_port, data.data(), kLargeWrite, &written, &m_overlapped);
    return std::make_pair(ok, written);
  });
  const bool ended = result.wait_for(kBound) == std::future_status::ready;
  // A write that ignored its time-out is ended by hanging up, so the test does not hang.
  if (!ended) m_pty.CloseMaster();
  ASSERT_TRUE(ended);
  const auto [ok, written] = result.get();
  EXPECT_TRUE(ok);
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, kLargeWrite);
  DWORD reported = 0;
  EXPECT_TRUE(GetOverlappedResult(m_port, &m_overlapped, &reported, TRUE));
  EXPECT_EQ(reported, written);

  // What the count reports is exactly what went out, and nothing follows it.
  const Bytes received = m_pty.Drain();
  EXPECT_EQ(received.size(), written);
  EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));
}

// Waiting for comm events.

class CommWaitEventTest : public CommTest {
 protected:
  void SetUp() override {
    ASSERT_NE(m_port, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommMask(m_port, EV_RXCHAR));
  }
  void TearDown() override {
    if (m_port != INVALID_HANDLE_VALUE) CloseHandle(m_port);
  }

  // Waits until the port reports `count` received bytes.
  bool BytesArrived(DWORD count) {
    const auto deadline = std::chrono::steady_clock::now() + kBound;
    COMSTAT status{};
    while (ClearCommError(m_port, nullptr, &status) && status.cbInQue < count) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return status.cbInQue >= count;
  }

  HANDLE m_port = OpenPort("COM4");
};

TEST_F(CommWaitEventTest, ArrivingBytesEndTheWaitWithRxChar) {
  auto wait = StartWait(m_port);
  m_pty.Write({0x02, 0x6A, 0xD3, 0x7E});
  ASSERT_TRUE(EndsWithin(wait, kBound));
  const WaitResult result = wait.get();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.events, EV_RXCHAR);
}

TEST_F(CommWaitEventTest, BytesAlreadyWaitingEndTheWaitAtOnce) {
  // Bytes that came while the receiver was busy reading must not wait for more to follow.
  m_pty.Write({0x02, 0x6A, 0xD3});
  ASSERT_TRUE(BytesArrived(3));
  auto wait = StartWait(m_port);
  ASSERT_TRUE(EndsWithin(wait, kBound));
  const WaitResult result = wait.get();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.events, EV_RXCHAR);
}

TEST_F(CommWaitEventTest, NewMaskFromAnotherThreadReleasesTheWaitWithNoEvents) {
  auto wait = StartWait(m_port);
  // A quiet line keeps the waiter waiting.
  ASSERT_EQ(wait.wait_for(50ms), std::future_status::timeout);
  EXPECT_TRUE(SetCommMask(m_port, 0));
  ASSERT_TRUE(EndsWithin(wait, kBound));
  EXPECT_EQ(wait.get().events, 0u);
}

TEST_F(CommWaitEventTest, HangUpEndsTheWaitWithNoEvents) {
  auto wait = StartWait(m_port);
  m_pty.CloseMaster();
  ASSERT_TRUE(EndsWithin(wait, kBound));
  EXPECT_EQ(wait.get().events, 0u);
}

TEST_F(CommWaitEventTest, CloseHandleEndsTheWaitAndFreesTheDevice) {
  CloseHandle(m_port);
  m_port = INVALID_HANDLE_VALUE;
  const int before = OpenDescriptorCount();

  const HANDLE port = OpenPort("COM4");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
  auto wait = StartWait(port);
  ASSERT_EQ(wait.wait_for(20ms), std::future_status::timeout);
  ASSERT_TRUE(CloseHandle(port));
  ASSERT_TRUE(EndsWithin(wait, kBound));
  EXPECT_EQ(wait.get().events, 0u);

  // The waiter held the device to the end, and the last one out closed its descriptors.
  EXPECT_EQ(OpenDescriptorCount(), before);
}

// Handles.

using CommHandleTest = CommTest;

TEST_F(CommHandleTest, HandlesThatNameNoOpenPortAreInvalid) {
  const HANDLE closed = OpenPort("COM4");
  ASSERT_NE(closed, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(CloseHandle(closed));
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

  BYTE byte = 0x41;
  DWORD count = 0;
  OVERLAPPED overlapped{};
  DCB dcb{};
  COMMTIMEOUTS timeouts{};
  COMSTAT status{};
  const std::pair<const char*, std::function<BOOL(HANDLE)>> operations[] = {
      {"ReadFile", [&](HANDLE h) { return ReadFile(h, &byte, 1, &count, nullptr); }},
      {"WriteFile", [&](HANDLE h) { return WriteFile(h, &byte, 1, &count, nullptr); }},
      {"GetOverlappedResult", [&](HANDLE h) { return GetOverlappedResult(h, &overlapped, &count, FALSE); }},
      {"SetCommMask", [&](HANDLE h) { return SetCommMask(h, EV_RXCHAR); }},
      {"WaitCommEvent", [&](HANDLE h) { return WaitCommEvent(h, &count, nullptr); }},
      {"SetupComm", [&](HANDLE h) { return SetupComm(h, 4096, 4096); }},
      {"PurgeComm", [&](HANDLE h) { return PurgeComm(h, PURGE_TXCLEAR | PURGE_RXCLEAR); }},
      {"SetCommTimeouts", [&](HANDLE h) { return SetCommTimeouts(h, &timeouts); }},
      {"GetCommState", [&](HANDLE h) { return GetCommState(h, &dcb); }},
      {"SetCommState", [&](HANDLE h) { return SetCommState(h, &dcb); }},
      {"EscapeCommFunction", [&](HANDLE h) { return EscapeCommFunction(h, CLRDTR); }},
      {"ClearCommError", [&](HANDLE h) { return ClearCommError(h, nullptr, &status); }},
  };
  const std::pair<const char*, HANDLE> handles[] = {
      {"closed port", closed}, {"null", nullptr}, {"INVALID_HANDLE_VALUE", INVALID_HANDLE_VALUE}, {"event", event}};
  for (const auto& [handleName, handle] : handles) {
    for (const auto& [operationName, operation] : operations) {
      SCOPED_TRACE(std::string(operationName) + " on " + handleName);
      SetLastError(ERROR_SUCCESS);
      EXPECT_FALSE(operation(handle));
      EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
  }
  EXPECT_FALSE(CloseHandle(closed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(event);
}

}  // namespace
