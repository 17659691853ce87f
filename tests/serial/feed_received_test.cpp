// The receive side of the port: raw bytes in, responses and log lines out to the dialog.
#include <gtest/gtest.h>

#include <vector>

#include "link/fcs.h"
#include "link/frame.h"
#include "link/link_messages.h"
#include "serial/serial_port.h"
#include "tests/support/recording_window.h"

namespace {

using Bytes = std::vector<BYTE>;
using testing_support::RecordingWindow;

const char kBadCrc[] = "\n[RX]Bad CRC in response packet\n";

Bytes Frame(const Bytes& packet) {
  Bytes frame(wire::MaxFrameLength(packet.size()));
  frame.resize(wire::EncodeFrame(packet.data(), packet.size(), frame.data()));
  return frame;
}

class FeedReceived : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::PumpPostedMessages();
    ASSERT_TRUE(port.Attach(&owner, &log));
  }

  bool Feed(const Bytes& bytes) { return port.FeedReceived(bytes.data(), static_cast<int>(bytes.size())); }
  int Responses() { return owner.Count(WM_RESPONSE_READY); }
  int LogMessages() { return owner.Count(WM_LOG_QUEUED); }

  std::vector<CLogEntry> LoggedLines() {
    std::vector<CLogEntry> lines;
    CLogEntry entry;
    while (log.Pop(entry)) lines.push_back(entry);
    return lines;
  }

  void ExpectOneBadCrcAndNoResponse() {
    EXPECT_EQ(Responses(), 0);
    EXPECT_EQ(LogMessages(), 1);
    const auto lines = LoggedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].m_nKind, LOG_ERROR);
    EXPECT_EQ(lines[0].m_strText, kBadCrc);
  }

  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
};

TEST_F(FeedReceived, AGoodResponseLandsInTheBufferWithOneMessage) {
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD3, 0x7E}));
  EXPECT_EQ(port.GetResponse()[0], 0x02);
  EXPECT_EQ(Responses(), 1);
  EXPECT_EQ(LogMessages(), 0);
}

TEST_F(FeedReceived, AnOpeningFlagIsIgnored) {
  EXPECT_TRUE(Feed({0x7E, 0xA1, 0xFB, 0x44, 0x7E}));
  EXPECT_EQ(port.GetResponse()[0], 0xA1);
  EXPECT_EQ(Responses(), 1);
}

TEST_F(FeedReceived, AReadEndingMidFrameWaitsForTheClosingFlag) {
  EXPECT_TRUE(Feed({0x02, 0x6A}));
  EXPECT_EQ(Responses(), 0);
  EXPECT_TRUE(Feed({0xD3, 0x7E}));
  EXPECT_EQ(port.GetResponse()[0], 0x02);
  EXPECT_EQ(Responses(), 1);
}

TEST_F(FeedReceived, AResponseSplitAtAnyOffsetWithinOneEventDecodes) {
  // Escapes in payload and FCS make the split points land inside escape pairs too.
  const Bytes payload = {0xA3, 0x7D, 0x7E, 0x7F, 0x10, 0x20};
  const Bytes frame = Frame(payload);
  for (std::size_t cut = 1; cut < frame.size(); ++cut) {
    port.RestartReceive();
    EXPECT_TRUE(Feed(Bytes(frame.begin(), frame.begin() + cut)));
    EXPECT_TRUE(Feed(Bytes(frame.begin() + cut, frame.end())));
    EXPECT_EQ(Responses(), static_cast<int>(cut)) << "cut at " << cut;
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), port.GetResponse()));
  }
  EXPECT_EQ(LogMessages(), 0);
}

TEST_F(FeedReceived, AResponseSplitAcrossTwoEventsIsABadCrc) {
  Feed({0x02, 0x6A});
  port.RestartReceive();
  Feed({0xD3, 0x7E});
  ExpectOneBadCrcAndNoResponse();
}

TEST_F(FeedReceived, ABadCrcIsLoggedOnceAndNothingIsDelivered) {
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD4, 0x7E}));
  ExpectOneBadCrcAndNoResponse();
}

TEST_F(FeedReceived, TwoFramesInOneReadAreJoinedAndFail) {
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD3, 0x7E, 0x02, 0x6A, 0xD3, 0x7E}));
  ExpectOneBadCrcAndNoResponse();
}

TEST_F(FeedReceived, AnEmptyPayloadWithAGoodFcsCountsAsBad) {
  EXPECT_TRUE(Feed({0x00, 0x00, 0x7E}));
  ExpectOneBadCrcAndNoResponse();
}

TEST_F(FeedReceived, MoreThan512BytesWithoutAFlagOverflowAndStartAgain) {
  const Bytes noise(512, 0x55);
  EXPECT_TRUE(Feed(noise)) << "512 bytes still fit";
  EXPECT_FALSE(Feed({0x56})) << "the 513th byte overflows and is dropped";
  // Accumulation starts again from nothing: a whole response decodes.
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD3, 0x7E}));
  EXPECT_EQ(Responses(), 1);
  EXPECT_EQ(LogMessages(), 0);
}

TEST_F(FeedReceived, BytesAfterAnOverflowInTheSameCallAreKept) {
  Bytes bytes(512, 0x55);
  bytes.push_back(0x99);  // dropped
  const Bytes ack = {0x02, 0x6A, 0xD3, 0x7E};
  bytes.insert(bytes.end(), ack.begin(), ack.end());
  EXPECT_FALSE(Feed(bytes)) << "an overflow in the call is reported, and no frame end is looked for";
  EXPECT_EQ(Responses(), 0);
  EXPECT_TRUE(Feed({0x7E})) << "the kept ACK bytes are completed by the next flag";
  EXPECT_EQ(Responses(), 1);
  EXPECT_EQ(port.GetResponse()[0], 0x02);
}

TEST_F(FeedReceived, ALongPayloadKeepsItsFirst500Bytes) {
  Bytes payload(505);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<BYTE>(i % 0x7D);
  const Bytes frame = Frame(payload);
  ASSERT_LE(frame.size(), 512u);
  EXPECT_TRUE(Feed(frame));
  EXPECT_EQ(Responses(), 1);
  EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + CSerialPort::kResponseBufferSize, port.GetResponse()));
}

TEST(LogLine, AFullQueuePostsExactlyOneHundredMessages) {
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
  platform::PumpPostedMessages();
  ASSERT_TRUE(port.Attach(&owner, &log));
  for (int i = 0; i < 101; ++i) port.LogLine(LOG_INFO, "a line");
  EXPECT_EQ(owner.Count(WM_LOG_QUEUED), 100);
  port.LogLine(LOG_INFO, "");
  EXPECT_EQ(owner.Count(WM_LOG_QUEUED), 100);
}

TEST(LogLine, EmptyTextQueuesNothing) {
  RecordingWindow owner;
  CLogQueue log;
  CSerialPort port;
  ASSERT_TRUE(port.Attach(&owner, &log));
  port.LogLine(LOG_ERROR, "");
  CLogEntry entry;
  EXPECT_FALSE(log.Pop(entry));
  EXPECT_EQ(owner.Count(WM_LOG_QUEUED), 0);
}

}  // namespace
