// The handset's own framing, checked against the worked frames and check values that both
// ends of the link must agree on.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/tools/host_line.h"
#include "tools/handset-sim/fcs.h"
#include "tools/handset-sim/frame_codec.h"
#include "tools/handset-sim/inbound_parser.h"

namespace handset_sim_test {
namespace {

using handset_sim::DecodeFrame;
using handset_sim::EncodeFrame;
using handset_sim::Inbound;
using handset_sim::InboundParser;

std::vector<Inbound> PushAll(InboundParser& parser, const Bytes& bytes) {
  std::vector<Inbound> items;
  for (Byte b : bytes) {
    if (auto item = parser.Push(b)) items.push_back(std::move(*item));
  }
  return items;
}

TEST(Fcs, MatchesTheCheckValuesOfCrc16X25) {
  const std::string digits = "123456789";
  const std::string abc = "abc";
  EXPECT_EQ(handset_sim::Fcs16(reinterpret_cast<const Byte*>(digits.data()), digits.size()), 0x906E);
  EXPECT_EQ(handset_sim::Fcs16(reinterpret_cast<const Byte*>(abc.data()), abc.size()), 0x9E25);
}

struct WorkedFrame {
  Bytes packet;
  Bytes wire;
};

class WorkedFrames : public ::testing::TestWithParam<WorkedFrame> {};

TEST_P(WorkedFrames, EncodeToTheBytesOnTheWire) { EXPECT_EQ(EncodeFrame(GetParam().packet), GetParam().wire); }

TEST_P(WorkedFrames, ParseBackToThePacket) {
  InboundParser parser;
  const std::vector<Inbound> items = PushAll(parser, GetParam().wire);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::Frame);
  EXPECT_EQ(items[0].bytes, GetParam().packet);
}

INSTANTIATE_TEST_SUITE_P(Codec, WorkedFrames,
                         ::testing::Values(WorkedFrame{{0xA0}, {0xA0, 0x72, 0x55, 0x7E}},
                                           WorkedFrame{{0xB0}, {0xB0, 0xF3, 0x45, 0x7E}},
                                           WorkedFrame{{0xC0}, {0xC0, 0x74, 0x36, 0x7E}},
                                           WorkedFrame{{0xF0, 0x01}, {0xF0, 0x01, 0xC6, 0x62, 0x7E}},
                                           WorkedFrame{{0x02}, {0x02, 0x6A, 0xD3, 0x7E}},
                                           WorkedFrame{{0xA1}, {0xA1, 0xFB, 0x44, 0x7E}},
                                           WorkedFrame{{0x7F}, {0x7D, 0x5F, 0x08, 0x7B, 0x7E}},
                                           // FCS 0x547D: its low byte goes out escaped.
                                           WorkedFrame{{0xF0, 0x46}, {0xF0, 0x46, 0x7D, 0x5D, 0x54, 0x7E}},
                                           // FCS 0x937E: a flag value inside the FCS.
                                           WorkedFrame{{0x60}, {0x60, 0x7D, 0x5E, 0x93, 0x7E}}));

TEST(Codec, EscapesAllThreeBytesInThePacket) {
  const Bytes wire = EncodeFrame({0x7D, 0x7E, 0x7F, 0x7C});
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 7), (Bytes{0x7D, 0x5D, 0x7D, 0x5E, 0x7D, 0x5F, 0x7C}));
}

TEST(Codec, RejectsBrokenFrames) {
  const Bytes badFcs = {0xA0, 0x72, 0x56};
  const Bytes danglingEscape = {0xA0, 0x72, 0x55, 0x7D};
  const Bytes tooShort = {0xA0, 0x72};
  EXPECT_FALSE(DecodeFrame(badFcs.data(), badFcs.size()));
  EXPECT_FALSE(DecodeFrame(danglingEscape.data(), danglingEscape.size()));
  EXPECT_FALSE(DecodeFrame(tooShort.data(), tooShort.size()));
}

TEST(Codec, ShapesAnswersForFaults) {
  const Bytes corrupted = EncodeFrame({0x02}, {false, true});
  EXPECT_EQ(corrupted.back(), 0x7E);
  EXPECT_FALSE(DecodeFrame(corrupted.data(), corrupted.size() - 1));
  EXPECT_EQ(EncodeFrame({0x02}, {true, false}), (Bytes{0x7E, 0x02, 0x6A, 0xD3, 0x7E}));
}

TEST(Codec, PadsOnlyTheSixListedFrameLengths) {
  for (std::size_t length : {8256, 8384, 8512, 8640, 8768, 8896}) EXPECT_TRUE(handset_sim::IsPaddedFrameLength(length));
  for (std::size_t length : {8255, 8257, 8320, 8192, 9024, 4}) EXPECT_FALSE(handset_sim::IsPaddedFrameLength(length));
}

// A write request whose frame is `wireLength` bytes long: 8202 bytes unescaped, and as many
// escaped data bytes as make up the rest, with a last byte that keeps the FCS unescaped.
Bytes WriteFrameOfLength(std::size_t wireLength) {
  Bytes data(8192, 0x11);
  std::fill(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(wireLength - 8202), 0x7E);
  for (Byte last = 0; last < 0x40; ++last) {
    data[8191] = last;
    const Bytes frame = Frame(WritePacket(0, data));
    if (frame.size() == wireLength) return frame;
  }
  return {};
}

TEST(Parser, DropsOpeningFlagsAndEmptyFrames) {
  InboundParser parser;
  const std::vector<Inbound> items = PushAll(parser, {0x7E, 0x7E, 0xA0, 0x72, 0x55, 0x7E});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].bytes, Bytes{0xA0});
}

TEST(Parser, TakesThePadAfterAPaddedFrameAsNothing) {
  const Bytes write = WriteFrameOfLength(8256);
  ASSERT_EQ(write.size(), 8256u);
  Bytes line = write;
  line.push_back(0x00);
  line.insert(line.end(), kHelloFrame.begin(), kHelloFrame.end());

  InboundParser parser;
  const std::vector<Inbound> items = PushAll(parser, line);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::Frame);
  EXPECT_EQ(items[0].bytes.size(), handset_sim::kWritePacketLength);
  EXPECT_EQ(items[1].bytes, Bytes{0xA0});
}

TEST(Parser, KeepsALeadingZeroOfARawBlockUnlessAPadIsOwed) {
  const Bytes raw = {0x00, 0x01, 0x7E, 0x00};
  {
    InboundParser parser;
    parser.ExpectRawOrFrame(raw.size(), 0x2000);
    const std::vector<Inbound> items = PushAll(parser, raw);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].kind, Inbound::Kind::Raw);
    EXPECT_EQ(items[0].bytes, raw);
  }
  {
    InboundParser parser;
    ASSERT_EQ(PushAll(parser, WriteFrameOfLength(8384)).size(), 1u);
    parser.ExpectRawOrFrame(raw.size(), 0x2000);
    Bytes line = {0x00};
    line.insert(line.end(), raw.begin(), raw.end());
    const std::vector<Inbound> items = PushAll(parser, line);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].bytes, raw);
  }
}

TEST(Parser, TellsFramedRequestsFromRawBlocks) {
  InboundParser parser;
  parser.ExpectRawOrFrame(8192, 0x4000);
  // A reset where a raw block could have come: the host ended the area.
  std::vector<Inbound> items = PushAll(parser, {0xC0, 0x74, 0x36, 0x7E});
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::Frame);

  // A framed write for the expected block is longer than a raw block and ends at its flag.
  items = PushAll(parser, Frame(WritePacket(0x4000, BlockData(8192, 1))));
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::Frame);
  EXPECT_EQ(items[0].bytes, WritePacket(0x4000, BlockData(8192, 1)));

  // Raw data that holds flags and a write code is still raw.
  Bytes data = BlockData(8192, 2);
  data[0] = 0xDD;
  items = PushAll(parser, data);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::Raw);
  EXPECT_EQ(items[0].bytes, data);
}

TEST(Parser, ReportsAFrameLongerThanAnyRequest) {
  InboundParser parser;
  Bytes line(InboundParser::kMaxFrameWire + 10, 0x31);
  line.push_back(0x7E);
  line.insert(line.end(), kHelloFrame.begin(), kHelloFrame.end());
  const std::vector<Inbound> items = PushAll(parser, line);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].kind, Inbound::Kind::TooLong);
  EXPECT_EQ(items[1].bytes, Bytes{0xA0});
}

}  // namespace
}  // namespace handset_sim_test
