// Every request as the handset sees it on the wire.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "link/commands.h"
#include "link/fcs.h"
#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "serial/serial_port.h"
#include "tests/support/pty_port.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<BYTE>;
using namespace testing_support;

constexpr unsigned kPort = 3;

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseClock(&clock);
    port.SetPortNumber(kPort);
    ASSERT_TRUE(port.Attach(&owner, &log));
    ASSERT_TRUE(port.Open());
  }
  void TearDown() override {
    port.Release();
    platform::UseClock(nullptr);
  }

  std::vector<CString> LoggedTexts() {
    std::vector<CString> texts;
    CLogEntry entry;
    while (log.Pop(entry)) {
      EXPECT_EQ(entry.m_nKind, LOG_INFO);
      texts.push_back(entry.m_strText);
    }
    return texts;
  }

  platform::ManualClock clock;
  ScopedPortMap map;
  PtyPort handset{map, kPort};
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
};

TEST_F(Commands, OneByteRequestsAndTheirFrames) {
  port.SendHello();
  EXPECT_EQ(handset.Read(4), (Bytes{0xA0, 0x72, 0x55, 0x7E}));
  port.SendReset();
  EXPECT_EQ(handset.Read(4), (Bytes{0xC0, 0x74, 0x36, 0x7E}));
  port.SendCopyModule();
  EXPECT_EQ(handset.Read(4), (Bytes{0xB0, 0xF3, 0x45, 0x7E}));
  port.SendSetBaud(1);
  EXPECT_EQ(handset.Read(5), (Bytes{0xF0, 0x01, 0xC6, 0x62, 0x7E}));
  EXPECT_EQ(LoggedTexts(), (std::vector<CString>{"다운로드 모듈 COPY 요청", "Baud rate set 요청"}));
  EXPECT_EQ(owner.Count(WM_LOG_QUEUED), 2);
}

TEST_F(Commands, EraseCarriesStartAndLengthLittleEndian) {
  port.SendErase(0x10000, 0x30000);
  const Bytes packet = {0xEE, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00};
  const WORD fcs = wire::ComputeFcs(packet.data(), packet.size());
  Bytes frame = packet;
  frame.push_back(static_cast<BYTE>(fcs & 0xFF));
  frame.push_back(static_cast<BYTE>(fcs >> 8));
  ASSERT_FALSE(wire::NeedsEscape(frame[9]) || wire::NeedsEscape(frame[10]));
  frame.push_back(0x7E);
  EXPECT_EQ(handset.Read(frame.size()), frame);
  EXPECT_EQ(LoggedTexts(), (std::vector<CString>{"Flash erase 중.. 잠시만 기다리세요"}));
}

// Unescapes a frame read from the wire, dropping the flag (and a pad byte after it).
Bytes Unframe(const Bytes& frame) {
  Bytes packet;
  for (std::size_t i = 0; i < frame.size() && frame[i] != 0x7E; ++i) {
    packet.push_back(frame[i] == 0x7D ? static_cast<BYTE>(frame[++i] ^ 0x20) : frame[i]);
  }
  return packet;
}

TEST_F(Commands, AWriteRequestIsAlways8199BytesAndZeroPastAShortCount) {
  ImageBlock full{};
  full.offset = 0x4000;
  full.count = 8192;
  for (int i = 0; i < 8192; ++i) full.data[i] = static_cast<BYTE>(0x7C + i % 5);  // escapes included
  port.SendWriteBlock(&full);
  Bytes packet = Unframe(handset.Drain());
  ASSERT_EQ(packet.size(), 8199u + 2);
  EXPECT_TRUE(std::equal(full.data, full.data + 8192, packet.begin() + 7));

  ImageBlock shortBlock = full;  // same data area as before: only 100 bytes of it are valid
  shortBlock.offset = 0x2000;
  shortBlock.count = 100;
  port.SendWriteBlock(&shortBlock);
  packet = Unframe(handset.Drain());
  ASSERT_EQ(packet.size(), 8199u + 2);
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 7), (Bytes{0xDD, 0x00, 0x20, 0x00, 0x00, 0x64, 0x00}));
  EXPECT_TRUE(std::equal(shortBlock.data, shortBlock.data + 100, packet.begin() + 7));
  EXPECT_TRUE(std::all_of(packet.begin() + 107, packet.begin() + 8199, [](BYTE b) { return b == 0; }))
      << "nothing of the earlier block leaks into a short one";
  const WORD fcs = wire::ComputeFcs(packet.data(), 8199);
  EXPECT_EQ(packet[8199], fcs & 0xFF);
  EXPECT_EQ(packet[8200], fcs >> 8);
}

TEST_F(Commands, RawBlocksAreTheValidBytesAlone) {
  ImageBlock block{};
  block.count = 300;
  for (int i = 0; i < 300; ++i) block.data[i] = static_cast<BYTE>(0x7E - i % 3);
  EXPECT_TRUE(port.SendRawBlock(&block));
  EXPECT_EQ(handset.Drain(), Bytes(block.data, block.data + 300));
}

TEST_F(Commands, TheAtCommandIsTenPlainBytes) {
  EXPECT_TRUE(port.SendDownloadAtCommand());
  EXPECT_EQ(handset.Drain(), (Bytes{0x41, 0x54, 0x24, 'K', 'V', 'N', 'U', 'D', 'G', 0x0D}));
}

class DumpedBlock : public Commands {
 protected:
  TempDir drive;
  ScopedDriveC driveC{drive.Path()};
};

TEST_F(DumpedBlock, OnlyTheBlockAtD4000IsLeftInTheDumpFile) {
  ImageBlock block{};
  block.count = 500;
  for (int i = 0; i < 500; ++i) block.data[i] = static_cast<BYTE>(i);
  const std::string dump = drive.File("test_d40000_src.dat");

  block.offset = 0xD2000;
  port.SendWriteBlock(&block);
  EXPECT_EQ(Unframe(handset.Drain()).size(), 8199u + 2);
  EXPECT_FALSE(std::ifstream(dump).good());

  block.offset = 0xD4000;
  port.SendWriteBlock(&block);
  EXPECT_EQ(Unframe(handset.Drain()).size(), 8199u + 2);
  std::ifstream file(dump, std::ios::binary);
  const Bytes written{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(written, Bytes(block.data, block.data + 500));
}

TEST_F(Commands, AnUnwritableDumpFileNeverStopsTheRequest) {
  ScopedDriveC nowhere("/nonexistent/flashgate");
  ImageBlock block{};
  block.offset = 0xD4000;
  block.count = 10;
  port.SendWriteBlock(&block);
  EXPECT_EQ(Unframe(handset.Drain()).size(), 8199u + 2);
}

}  // namespace
