// The simulator on a real pseudo-terminal, with the host's side played by hand.
#include "tools/handset-sim/simulator.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "tests/tools/host_line.h"

namespace handset_sim_test {
namespace {

using handset_sim::Config;
using handset_sim::Fault;
using handset_sim::FaultRule;
using handset_sim::Simulator;
using std::chrono::milliseconds;

constexpr std::size_t kBlock = handset_sim::kBlockSize;
constexpr milliseconds kWait{3000};

Bytes Nak(Byte code) { return handset_sim::EncodeFrame({code}); }

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

class SimulatorOnPty : public ::testing::Test {
 protected:
  void StartWith(Config config) {
    config.portsDir = m_ports.Path();
    m_simulator = std::make_unique<Simulator>(std::move(config));
    std::string error;
    ASSERT_TRUE(m_simulator->Start(&error)) << error;
  }

  std::unique_ptr<HostLine> OpenPort(unsigned port) {
    const std::string target = LinkTarget(m_ports.Link(port));
    EXPECT_FALSE(target.empty()) << "no link for COM" << port;
    EXPECT_EQ(target, m_simulator->SlavePath());
    return std::make_unique<HostLine>(m_ports.Link(port));
  }

  TempDir m_ports;
  std::unique_ptr<Simulator> m_simulator;
};

TEST_F(SimulatorOnPty, AnswersHelloWithAck) {
  StartWith(Config{});
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(kAckFrame.size()), kAckFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(1, kWait));
  EXPECT_EQ(m_simulator->Counts().Of(0xA0), 1u);
}

TEST_F(SimulatorOnPty, EraseAndWriteChangeTheFlash) {
  StartWith(Config{});
  auto host = OpenPort(1);
  host->Write(Frame(ErasePacket(0x4000, 2 * kBlock)));
  EXPECT_EQ(host->Read(4), kAckFrame);
  const Bytes data = BlockData(kBlock, 5);
  host->Write(Frame(WritePacket(0x6000, data)));
  EXPECT_EQ(host->Read(4), kAckFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(2, kWait));

  const std::vector<Byte> flash = m_simulator->Flash();
  ASSERT_EQ(flash.size(), 0x4000 + 2 * kBlock);
  EXPECT_EQ(flash[0], 0xFF) << "below the erased range: grown, never erased or written";
  EXPECT_EQ(Bytes(flash.begin() + 0x4000, flash.begin() + 0x6000), Bytes(kBlock, 0xFF));
  EXPECT_EQ(Bytes(flash.begin() + 0x6000, flash.end()), data);
}

TEST_F(SimulatorOnPty, AnswersAnInjectedNakThenTheResend) {
  Config config;
  config.faults = {FaultRule{Fault::Nak, 0xA4, 1, 0.0}};
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4), Nak(0xA4));
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4), kAckFrame);
}

TEST_F(SimulatorOnPty, StaysSilentWhenToldTo) {
  Config config;
  config.faults = {FaultRule{Fault::Silence, 0, 1, 0.0}};
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(1, kWait));
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4), kAckFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(2, kWait));
  EXPECT_EQ(host->Drain(), Bytes{}) << "one answer for two requests";
}

TEST_F(SimulatorOnPty, AnswersABadFcsWithNakBadCrc) {
  StartWith(Config{});
  auto host = OpenPort(1);
  host->Write({0xA0, 0x72, 0x56, 0x7E});
  EXPECT_EQ(host->Read(4), (Bytes{0xA1, 0xFB, 0x44, 0x7E}));
}

TEST_F(SimulatorOnPty, DeliversSplitAndFlaggedAnswersWhole) {
  Config config;
  config.faults = {FaultRule{Fault::Split, 0, 1, 0.0}, FaultRule{Fault::OpeningFlag, 0, 2, 0.0}};
  config.splitPause = milliseconds(30);
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4), kAckFrame);
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(5), (Bytes{0x7E, 0x02, 0x6A, 0xD3, 0x7E}));
}

TEST_F(SimulatorOnPty, PacedLineStillAnswers) {
  Config config;
  config.baud = 57600;
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(Frame(ErasePacket(0, kBlock)));
  EXPECT_EQ(host->Read(4), kAckFrame);
}

TEST_F(SimulatorOnPty, AtCommandRestartsTheHandsetUnderTheOtherPort) {
  Config config;
  config.port = 3;
  config.mode = handset_sim::Mode::Normal;
  config.returnPort = 4;
  config.returnDelay = milliseconds(100);
  StartWith(std::move(config));
  auto host = OpenPort(3);

  host->Write(kHelloFrame);  // the normal software has no use for frames
  host->Write(Bytes(handset_sim::kAtCommand, handset_sim::kAtCommand + handset_sim::kAtCommandLength));
  ASSERT_TRUE(m_simulator->WaitForDropOffs(1, kWait));
  EXPECT_TRUE(host->WaitForHangUp());
  EXPECT_FALSE(Exists(m_ports.Link(3)));
  EXPECT_EQ(host->Drain(0), Bytes{});

  ASSERT_TRUE(m_simulator->WaitForReturns(1, kWait));
  EXPECT_EQ(m_simulator->PortNumber(), 4u);
  EXPECT_FALSE(Exists(m_ports.Link(3)));
  auto restarted = OpenPort(4);
  restarted->Write(kHelloFrame);
  EXPECT_EQ(restarted->Read(4), kAckFrame);
}

TEST_F(SimulatorOnPty, UnplugsAtABlockAndTakesTheRestRaw) {
  Config config;
  config.unplugAtBlock = 2;
  config.returnDelay = milliseconds(50);
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(Frame(ErasePacket(0, 3 * kBlock)));
  EXPECT_EQ(host->Read(4), kAckFrame);
  host->Write(Frame(WritePacket(0, BlockData(kBlock, 0))));
  EXPECT_EQ(host->Read(4), kAckFrame);
  host->Write(Frame(WritePacket(kBlock, BlockData(kBlock, 1))));
  ASSERT_TRUE(m_simulator->WaitForDropOffs(1, kWait));
  EXPECT_TRUE(host->WaitForHangUp());

  ASSERT_TRUE(m_simulator->WaitForReturns(1, kWait));
  auto again = OpenPort(1);
  again->Write(BlockData(kBlock, 2));
  EXPECT_EQ(again->Read(4), kAckFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(4, kWait));

  const std::vector<Byte> flash = m_simulator->Flash();
  ASSERT_EQ(flash.size(), 3 * kBlock);
  for (unsigned block = 0; block < 3; ++block) {
    EXPECT_EQ(Bytes(flash.begin() + block * kBlock, flash.begin() + (block + 1) * kBlock), BlockData(kBlock, block))
        << "block " << block;
  }
  EXPECT_EQ(m_simulator->Counts().rawBlocks, 1u);
}

TEST_F(SimulatorOnPty, UnplugsOnRequestAndComesBack) {
  Config config;
  config.returnDelay = milliseconds(50);
  StartWith(std::move(config));
  auto host = OpenPort(1);
  m_simulator->TriggerUnplug();
  ASSERT_TRUE(m_simulator->WaitForDropOffs(1, kWait));
  EXPECT_TRUE(host->WaitForHangUp());
  ASSERT_TRUE(m_simulator->WaitForReturns(1, kWait));
  auto again = OpenPort(1);
  again->Write(kHelloFrame);
  EXPECT_EQ(again->Read(4), kAckFrame);
}

TEST_F(SimulatorOnPty, RemovesItsLinkWhenStopped) {
  StartWith(Config{});
  ASSERT_TRUE(Exists(m_ports.Link(1)));
  m_simulator->Stop();
  EXPECT_FALSE(Exists(m_ports.Link(1)));
  EXPECT_FALSE(m_simulator->OnBus());
}

TEST_F(SimulatorOnPty, RefusesToReplaceAPortThatIsNotALink) {
  const std::string occupied = m_ports.Link(2);
  ASSERT_EQ(mkdir(occupied.c_str(), 0700), 0);
  Config config;
  config.port = 2;
  config.portsDir = m_ports.Path();
  Simulator simulator(std::move(config));
  std::string error;
  EXPECT_FALSE(simulator.Start(&error));
  EXPECT_NE(error.find("not a link"), std::string::npos) << error;
}

}  // namespace
}  // namespace handset_sim_test
