// The receive side of the port: raw bytes in, responses and log lines out to the dialog.
#include <gtest/gtest.h>

#include <vector>

#include "link/commands.h"
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

TEST_F(FeedReceived, AGoodResponseWaitsForTheRunWithOneMessage) {
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD3, 0x7E}));
  EXPECT_EQ(Responses(), 1);
  EXPECT_EQ(LogMessages(), 0);
  const BYTE* response = port.TakeResponse();
  ASSERT_NE(response, nullptr);
  EXPECT_EQ(response[0], 0x02);
  EXPECT_EQ(port.TakeResponse(), nullptr) << "taken once";
}

// A USB adapter hands an answer over in whatever pieces its latency timer cut: every answer
// the run can receive, with and without an opening flag, cut at every point across two reads.
TEST_F(FeedReceived, EveryAnswerCutAtEveryPointIsTakenWhole) {
  for (const BYTE code : {ACK, NAK_BAD_CRC, NAK_TOO_LARGE, NAK_INVALID_CMD, NAK_FAILED}) {
    for (const bool openingFlag : {false, true}) {
      Bytes frame = Frame({code});
      if (openingFlag) frame.insert(frame.begin(), wire::kFlag);
      for (std::size_t cut = 1; cut < frame.size(); ++cut) {
        SCOPED_TRACE(testing::Message() << "code " << int{code} << (openingFlag ? " flagged" : "") << " cut " << cut);
        EXPECT_TRUE(Feed(Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(cut))));
        EXPECT_EQ(port.TakeResponse(), nullptr) << "nothing before the closing flag";
        EXPECT_TRUE(Feed(Bytes(frame.begin() + static_cast<std::ptrdiff_t>(cut), frame.end())));
        const BYTE* response = port.TakeResponse();
        ASSERT_NE(response, nullptr);
        EXPECT_EQ(response[0], code);
      }
    }
  }
  EXPECT_EQ(LogMessages(), 0);
}

// Answers read together (a late answer and the answer to its resend) are each handed over, in
// order, whether a read holds whole frames or the end of one and the start of the next.
TEST_F(FeedReceived, FramesReadTogetherAreEachTakenInOrder) {
  const Bytes codes = {NAK_FAILED, ACK, NAK_BAD_CRC};
  Bytes stream;
  for (const BYTE code : codes) {
    const Bytes frame = Frame({code});
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const std::vector<std::vector<std::size_t>> cutsOf = {{}, {4}, {6}, {2, 9}, {5, 10}};
  for (const std::vector<std::size_t>& cuts : cutsOf) {
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
      Feed(
          Bytes(stream.begin() + static_cast<std::ptrdiff_t>(from), stream.begin() + static_cast<std::ptrdiff_t>(cut)));
      from = cut;
    }
    Feed(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(from), stream.end()));
    for (const BYTE code : codes) {
      const BYTE* response = port.TakeResponse();
      ASSERT_NE(response, nullptr);
      EXPECT_EQ(response[0], code);
    }
    EXPECT_EQ(port.TakeResponse(), nullptr);
  }
  EXPECT_EQ(Responses(), 3 * static_cast<int>(cutsOf.size()));
  EXPECT_EQ(LogMessages(), 0);
}

TEST_F(FeedReceived, ABadCrcIsLoggedOnceAndNothingIsDelivered) {
  EXPECT_TRUE(Feed({0x02, 0x6A, 0xD4, 0x7E}));
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

TEST_F(FeedReceived, TheRestOfAReadThatOverflowsIsDropped) {
  Bytes bytes(513, 0x55);
  const Bytes ack = {0x02, 0x6A, 0xD3, 0x7E};
  bytes.insert(bytes.end(), ack.begin(), ack.end());
  EXPECT_FALSE(Feed(bytes)) << "the overflow is reported";
  EXPECT_TRUE(Feed({0x7E})) << "a flag with nothing gathered before it";
  EXPECT_EQ(Responses(), 0);
  EXPECT_EQ(LogMessages(), 0);
}

TEST_F(FeedReceived, ALongPayloadKeepsItsFirst500Bytes) {
  Bytes payload(505);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<BYTE>(i % 0x7D);
  const Bytes frame = Frame(payload);
  ASSERT_LE(frame.size(), 512u);
  EXPECT_TRUE(Feed(frame));
  EXPECT_EQ(Responses(), 1);
  const BYTE* response = port.TakeResponse();
  ASSERT_NE(response, nullptr);
  EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + CSerialPort::kResponseBufferSize, response));
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
