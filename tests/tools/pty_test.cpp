// The simulator on a real pseudo-terminal, with the host's side played by hand.
#include "tools/handset-sim/simulator.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "tests/tools/folder_watch.h"
#include "tests/tools/host_line.h"

namespace handset_sim_test {
namespace {

using handset_sim::Config;
using handset_sim::Fault;
using handset_sim::FaultRule;
using handset_sim::Simulator;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr std::size_t kBlock = handset_sim::kBlockSize;
constexpr milliseconds kWait{3000};
constexpr milliseconds kHour = std::chrono::hours(1);
const Bytes kAtCommand(handset_sim::kAtCommand, handset_sim::kAtCommand + handset_sim::kAtCommandLength);

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

// Every answer comes in pieces, cut at each of its cut points in turn and now and then twice;
// the host reads each piece before the next one is written.
TEST_F(SimulatorOnPty, SplitsEveryAnswerAtEachCutPointInTurn) {
  Config config;
  config.splitAnswersGap = milliseconds(100);
  for (std::uint64_t request = 4; request <= 7; ++request) {
    config.faults.push_back(FaultRule{Fault::OpeningFlag, 0, request, 0.0});
  }
  StartWith(std::move(config));
  auto host = OpenPort(1);
  const Bytes flagged = {0x7E, 0x02, 0x6A, 0xD3, 0x7E};
  std::map<Bytes, std::set<std::size_t>> cuts;
  std::size_t mostPieces = 0;
  for (int request = 1; request <= 7; ++request) {
    const Bytes& answer = request <= 3 ? kAckFrame : flagged;
    host->Write(kHelloFrame);
    Bytes read;
    std::size_t pieces = 0;
    while (read.size() < answer.size()) {
      const Bytes piece = host->ReadSome(answer.size() - read.size());
      ASSERT_FALSE(piece.empty()) << "request " << request << " got " << ::testing::PrintToString(read);
      if (!read.empty()) cuts[answer].insert(read.size());
      read.insert(read.end(), piece.begin(), piece.end());
      ++pieces;
    }
    EXPECT_EQ(read, answer) << "request " << request;
    mostPieces = std::max(mostPieces, pieces);
  }
  EXPECT_EQ(cuts[kAckFrame], (std::set<std::size_t>{1, 2, 3}));
  EXPECT_EQ(cuts[flagged], (std::set<std::size_t>{1, 2, 3, 4}));
  EXPECT_EQ(mostPieces, 3u);
}

// A wake, such as a host's pause asking the handset to take its input in, does not cut the
// pause within a split answer short.
TEST_F(SimulatorOnPty, KeepsTheWholePauseWithinASplitAnswer) {
  const milliseconds pause{300};
  Config config;
  config.faults = {FaultRule{Fault::Split, 0, 1, 0.0}};
  config.splitPause = pause;
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  Bytes answer = host->ReadSome(kAckFrame.size());
  const auto firstPiece = steady_clock::now();
  ASSERT_TRUE(m_simulator->WaitForInputTaken(kWait));
  const Bytes rest = host->Read(kAckFrame.size() - answer.size());
  EXPECT_GE(steady_clock::now() - firstPiece, pause / 2);
  answer.insert(answer.end(), rest.begin(), rest.end());
  EXPECT_EQ(answer, kAckFrame);
}

// A late answer goes out before the answer to the next request, the host's resend, so the host
// reads two answers back to back.
TEST_F(SimulatorOnPty, WritesALateAnswerBeforeTheNextAnswer) {
  Config config;
  config.faults = {FaultRule{Fault::Nak, 0xA4, 1, 0.0}, FaultRule{Fault::Late, 0, 1, 0.0, kHour}};
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(1, kWait));
  EXPECT_EQ(host->Drain(), Bytes{});
  host->Write(kHelloFrame);
  Bytes both = Nak(0xA4);
  both.insert(both.end(), kAckFrame.begin(), kAckFrame.end());
  EXPECT_EQ(host->Read(both.size()), both);
}

TEST_F(SimulatorOnPty, WritesALateAnswerWhenItIsDue) {
  const milliseconds hold{100};
  Config config;
  config.faults = {FaultRule{Fault::Late, 0, 1, 0.0, hold}};
  StartWith(std::move(config));
  auto host = OpenPort(1);
  const auto asked = steady_clock::now();
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4, static_cast<int>(kWait.count())), kAckFrame);
  EXPECT_GE(steady_clock::now() - asked, hold);
}

TEST_F(SimulatorOnPty, LosesALateAnswerWithTheLine) {
  Config config;
  config.faults = {FaultRule{Fault::Late, 0, 1, 0.0, kHour}};
  config.returnDelay = milliseconds(0);
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  ASSERT_TRUE(m_simulator->WaitForRequests(1, kWait));
  m_simulator->TriggerUnplug();
  ASSERT_TRUE(m_simulator->WaitForReturns(1, kWait));
  auto again = OpenPort(1);
  again->Write(kHelloFrame);
  EXPECT_EQ(again->Read(4), kAckFrame);
  EXPECT_EQ(again->Drain(), Bytes{}) << "one answer, to the request after the return";
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
  host->Write(kAtCommand);
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

// Whatever takes it off the bus, a handset that does not come back stays off.
TEST_F(SimulatorOnPty, StaysOffTheBusWhenItDoesNotComeBack) {
  const auto endDownload = [](HostLine& host, bool answered) {
    host.Write(Frame(ErasePacket(0, kBlock)));
    EXPECT_EQ(host.Read(4), kAckFrame);
    host.Write(Frame(WritePacket(0, BlockData(kBlock, 0))));
    EXPECT_EQ(host.Read(4), kAckFrame);
    host.Write(Frame({handset_sim::kCmdReset}));
    if (answered) {
      EXPECT_EQ(host.Read(4), kAckFrame);
    }
  };
  struct Case {
    const char* name;
    std::function<void(Config&)> configure;
    std::function<void(Simulator&, HostLine&)> takeOff;
  };
  const Case cases[] = {
      {"unplugged", [](Config&) {}, [](Simulator& handset, HostLine&) { handset.TriggerUnplug(); }},
      {"unplugged at a request", [](Config& config) { config.unplugAt = 2; },
       [](Simulator&, HostLine& host) {
         host.Write(kHelloFrame);
         EXPECT_EQ(host.Read(4), kAckFrame);
         host.Write(kHelloFrame);
       }},
      {"the AT command's restart", [](Config& config) { config.mode = handset_sim::Mode::Normal; },
       [](Simulator&, HostLine& host) { host.Write(kAtCommand); }},
      {"the restart after the reset", [](Config& config) { config.restartAfterReset = true; },
       [&](Simulator&, HostLine& host) { endDownload(host, true); }},
      {"the restart at the final reset", [](Config& config) { config.leaveAtFinalReset = true; },
       [&](Simulator&, HostLine& host) { endDownload(host, false); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Config config;
    c.configure(config);
    config.returnDelay = milliseconds(0);
    config.comesBack = false;
    StartWith(std::move(config));
    auto host = OpenPort(1);
    c.takeOff(*m_simulator, *host);
    ASSERT_TRUE(m_simulator->WaitForDropOffs(1, kWait));
    EXPECT_TRUE(host->WaitForHangUp());
    // Coming back would take no time at all.
    EXPECT_FALSE(m_simulator->WaitForReturns(1, milliseconds(300)));
    EXPECT_FALSE(Exists(m_ports.Link(1)));
  }
}

// The hung handset answers request 2 as its faults say, then nothing, not even after the host
// has closed and opened the port again; it keeps its port and logs what comes, until unplugged.
TEST_F(SimulatorOnPty, HangsAfterTheRequestUntilUnplugged) {
  Config config;
  config.hangAt = 2;
  config.faults = {FaultRule{Fault::Nak, 0xA1, 2, 0.0}};
  config.returnDelay = milliseconds(50);
  StartWith(std::move(config));
  auto host = OpenPort(1);
  host->Write(kHelloFrame);
  EXPECT_EQ(host->Read(4), kAckFrame);
  host->Write(Frame(ErasePacket(0, kBlock)));
  EXPECT_EQ(host->Read(4), Nak(0xA1));
  host->Write(Frame(ErasePacket(0, kBlock)));
  host->Write(Frame(WritePacket(0, BlockData(kBlock, 0))));
  ASSERT_TRUE(m_simulator->WaitForRequests(4, kWait));
  EXPECT_EQ(host->Drain(), Bytes{});

  host.reset();
  host = OpenPort(1);
  host->Write(kHelloFrame);
  m_simulator->AnswerNow(handset_sim::kAck);
  ASSERT_TRUE(m_simulator->WaitForRequests(5, kWait));
  EXPECT_EQ(host->Drain(), Bytes{});
  EXPECT_TRUE(m_simulator->OnBus());
  EXPECT_TRUE(m_simulator->Flash().empty()) << "nothing carried out";
  EXPECT_EQ(handset_sim::FormatLog(m_simulator->Log()),
            "#1 HELLO -> ACK\n"
            "#2 ERASE start=0x00000000 length=0x00002000 -> NAK_BAD_CRC, then hangs\n"
            "#3 ERASE start=0x00000000 length=0x00002000 -> ignored (hung)\n"
            "#4 WRITE offset=0x00000000 count=8192 -> ignored (hung)\n"
            "#5 HELLO -> ignored (hung)\n");

  m_simulator->TriggerUnplug();
  ASSERT_TRUE(m_simulator->WaitForDropOffs(1, kWait));
  EXPECT_TRUE(host->WaitForHangUp());
  ASSERT_TRUE(m_simulator->WaitForReturns(1, kWait));
  auto again = OpenPort(1);
  again->Write(Frame(ErasePacket(0, kBlock)));
  EXPECT_EQ(again->Read(4), kAckFrame);
  EXPECT_EQ(m_simulator->Flash().size(), kBlock);
}

// The kernel makes the node at once and udev its names a moment later; leaving, the names go
// first, then the node, then the line hangs up. Restarted in download mode, the handset comes
// back under another node and USB identity, in the same socket.
TEST_F(SimulatorOnPty, AppearsInADeviceFolderAsUdevMakesADevice) {
  TempDir dev;
  const std::string byId = dev.Path() + "/serial/by-id";
  const std::string byPath = dev.Path() + "/serial/by-path";
  std::filesystem::create_directories(byId);
  std::filesystem::create_directories(byPath);
  FolderWatch watch({{"", dev.Path()}, {"by-id/", byId}, {"by-path/", byPath}});
  const std::string normalId = "usb-Maker_Handset_0123-if00";
  const std::string downloadId = "usb-Maker_Handset_Download_0123-if00";
  const std::string socket = "pci-0000:00:14.0-usb-0:2:1.0";

  Config config;
  config.devDir = dev.Path();
  config.node = "ttyACM0";
  config.byId = normalId;
  config.byPath = socket;
  config.udevDelay = milliseconds(100);
  config.mode = handset_sim::Mode::Normal;
  config.returnNode = "ttyACM2";
  config.returnById = downloadId;
  config.returnDelay = milliseconds(50);
  const auto started = steady_clock::now();
  StartWith(config);
  EXPECT_EQ(watch.Next(1), std::vector<std::string>{"+ttyACM0"});
  EXPECT_EQ(LinkTarget(dev.Path() + "/ttyACM0"), m_simulator->SlavePath());
  EXPECT_EQ(watch.Next(2), (std::vector<std::string>{"+by-id/" + normalId, "+by-path/" + socket}));
  EXPECT_GE(steady_clock::now() - started, config.udevDelay);
  EXPECT_EQ(LinkTarget(byId + "/" + normalId), "../../ttyACM0");
  EXPECT_EQ(LinkTarget(byPath + "/" + socket), "../../ttyACM0");

  HostLine host(byId + "/" + normalId);
  const auto restartAsked = steady_clock::now();
  host.Write(kAtCommand);
  ASSERT_TRUE(host.WaitForHangUp());
  EXPECT_EQ(watch.Next(3, 0), (std::vector<std::string>{"-by-id/" + normalId, "-by-path/" + socket, "-ttyACM0"}));

  EXPECT_EQ(watch.Next(3), (std::vector<std::string>{"+ttyACM2", "+by-id/" + downloadId, "+by-path/" + socket}));
  EXPECT_GE(steady_clock::now() - restartAsked, config.returnDelay + config.udevDelay);
  EXPECT_EQ(LinkTarget(dev.Path() + "/ttyACM2"), m_simulator->SlavePath());
  EXPECT_EQ(LinkTarget(byPath + "/" + socket), "../../ttyACM2");
  HostLine restarted(byPath + "/" + socket);
  restarted.Write(kHelloFrame);
  EXPECT_EQ(restarted.Read(4), kAckFrame);

  m_simulator->Stop();
  EXPECT_EQ(watch.Next(4, 0), (std::vector<std::string>{"-by-id/" + downloadId, "-by-path/" + socket, "-ttyACM2"}));
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
