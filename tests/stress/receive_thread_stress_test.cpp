// The receive thread under abuse: a handset unplugged at random points of a request stream,
// and thousands of connect and stop cycles. Whatever happens, the thread ends, nothing hangs
// and no descriptor is left open.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>

#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "serial/thread_rx.h"
#include "tests/support/pty_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/thread_probe.h"
#include "tools/handset-sim/simulator.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

constexpr unsigned kPort = 9;

class ReceiveThreadStress : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::PumpPostedMessages();
    platform::UseClock(&clock);
    g_bKeepRunning = FALSE;
    port.SetPortNumber(kPort);
  }
  void TearDown() override { platform::UseClock(nullptr); }

  // Opens the port and starts its receive thread, as the download run connects.
  bool Connect() {
    port.Release();
    if (!port.Attach(&owner, &log) || !port.Open()) return false;
    g_bKeepRunning = TRUE;
    thread = StartReceiveThread(&owner, &port, &log);
    return thread != nullptr;
  }

  platform::ManualClock clock;
  ScopedPortMap map;
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
  CThreadRX* thread = nullptr;
};

TEST_F(ReceiveThreadStress, AThousandUnplugsAtRandomPointsAlwaysEndTheThread) {
  const int descriptors = OpenDescriptorCount();
  handset_sim::Config config;
  config.port = kPort;
  config.portsDir = map.Directory();
  config.returnDelay = 0ms;
  auto handset = std::make_unique<handset_sim::Simulator>(config);
  std::string error;
  ASSERT_TRUE(handset->Start(&error)) << error;

  std::mt19937 random(2024);
  for (int round = 0; round < 1000; ++round) {
    ASSERT_TRUE(handset->WaitForReturns(round, 5s)) << "round " << round;
    ASSERT_TRUE(Connect()) << "round " << round;
    const int ended = owner.Count(WM_RX_THREAD_ENDED);

    // A stream of requests, each answered before the next; the cable goes at a random point,
    // sometimes before the answer, sometimes while more requests are still on their way.
    const int answered = static_cast<int>(random() % 4);
    const int responses = owner.Count(WM_RESPONSE_READY);
    for (int i = 0; i < answered; ++i) {
      port.SendHello();
      ASSERT_TRUE(owner.WaitFor(WM_RESPONSE_READY, responses + i + 1)) << "round " << round;
    }
    for (int i = static_cast<int>(random() % 3); i > 0; --i) port.SendHello();
    handset->TriggerUnplug();

    ASSERT_TRUE(owner.WaitFor(WM_RX_THREAD_ENDED, ended + 1, 5000)) << "round " << round;
    ASSERT_TRUE(WaitUntil(g_bThreadActive, FALSE)) << "round " << round;
    EXPECT_TRUE(g_bThreadLost);
    g_bThreadLost = FALSE;
    StopReceiveThread(port, thread);
    log.Reset();
  }
  handset.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(ReceiveThreadStress, TenThousandConnectAndStopCyclesLeaveNothingBehind) {
  PtyPort line(map, kPort);
  const int descriptors = OpenDescriptorCount();
  for (int round = 0; round < 10000; ++round) {
    ASSERT_TRUE(Connect()) << "round " << round;
    StopReceiveThread(port, thread);
    ASSERT_FALSE(g_bThreadActive) << "round " << round;
    if (round % 100 == 0) platform::PumpPostedMessages();
  }
  platform::PumpPostedMessages();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  EXPECT_FALSE(g_bPortOpen);
}

}  // namespace
