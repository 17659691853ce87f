#include "link/frame.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "link/fcs.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes Encode(const Bytes& packet) {
  Bytes frame(wire::MaxFrameLength(packet.size()));
  frame.resize(wire::EncodeFrame(packet.data(), packet.size(), frame.data()));
  return frame;
}

// What a receiver hands to DecodeFrame: the frame without its flags (and without a pad).
Bytes WithoutFlags(const Bytes& frame) {
  Bytes bytes;
  for (BYTE b : frame) {
    if (b != wire::kFlag) bytes.push_back(b);
  }
  return bytes;
}

// Decodes in a buffer one byte longer than the frame, cleared as the receiver clears it.
Bytes Decode(Bytes received) {
  const WORD count = static_cast<WORD>(received.size());
  received.push_back(0);
  const WORD length = wire::DecodeFrame(received.data(), count);
  return Bytes(received.begin(), received.begin() + length);
}

struct WorkedFrame {
  Bytes packet;
  Bytes frame;
};

class WorkedFrames : public ::testing::TestWithParam<WorkedFrame> {};

TEST_P(WorkedFrames, EncodeToTheBytesOnTheWire) { EXPECT_EQ(Encode(GetParam().packet), GetParam().frame); }

TEST_P(WorkedFrames, DecodeBackToThePacket) { EXPECT_EQ(Decode(WithoutFlags(GetParam().frame)), GetParam().packet); }

INSTANTIATE_TEST_SUITE_P(Frame, WorkedFrames,
                         ::testing::Values(WorkedFrame{{0xA0}, {0xA0, 0x72, 0x55, 0x7E}},
                                           WorkedFrame{{0xB0}, {0xB0, 0xF3, 0x45, 0x7E}},
                                           WorkedFrame{{0xC0}, {0xC0, 0x74, 0x36, 0x7E}},
                                           WorkedFrame{{0xF0, 0x01}, {0xF0, 0x01, 0xC6, 0x62, 0x7E}},
                                           WorkedFrame{{0x02}, {0x02, 0x6A, 0xD3, 0x7E}},
                                           WorkedFrame{{0xA1}, {0xA1, 0xFB, 0x44, 0x7E}},
                                           WorkedFrame{{0x7F}, {0x7D, 0x5F, 0x08, 0x7B, 0x7E}}),
                         [](const ::testing::TestParamInfo<WorkedFrame>& info) {
                           std::string name = "Packet";
                           for (BYTE b : info.param.packet) name += "_" + std::to_string(b);
                           return name;
                         });

TEST(Frame, EscapesAllThreeReservedPacketBytesButChecksTheirPlainValues) {
  const Bytes packet = {0x7D, 0x7E, 0x7F, 0x7C, 0x80};
  const Bytes frame = Encode(packet);
  const Bytes expectedStart = {0x7D, 0x5D, 0x7D, 0x5E, 0x7D, 0x5F, 0x7C, 0x80};
  ASSERT_GE(frame.size(), expectedStart.size() + 3);
  EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), frame.begin()));
  EXPECT_EQ(Decode(WithoutFlags(frame)), packet);
}

TEST(Frame, EscapesReservedFcsBytesInBothPositions) {
  bool lowSeen = false;
  bool highSeen = false;
  for (int value = 0; value < 0x10000 && !(lowSeen && highSeen); ++value) {
    const Bytes packet = {static_cast<BYTE>(value & 0xFF), static_cast<BYTE>(value >> 8)};
    if (wire::NeedsEscape(packet[0]) || wire::NeedsEscape(packet[1])) continue;
    const WORD fcs = wire::ComputeFcs(packet.data(), packet.size());
    const bool low = wire::NeedsEscape(fcs & 0xFF);
    const bool high = wire::NeedsEscape(fcs >> 8);
    if ((!low || lowSeen) && (!high || highSeen)) continue;
    const Bytes frame = Encode(packet);
    Bytes expected = packet;
    for (BYTE b : {static_cast<BYTE>(fcs & 0xFF), static_cast<BYTE>(fcs >> 8)}) {
      if (wire::NeedsEscape(b)) {
        expected.push_back(0x7D);
        expected.push_back(static_cast<BYTE>(b ^ 0x20));
      } else {
        expected.push_back(b);
      }
    }
    expected.push_back(0x7E);
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(Decode(WithoutFlags(frame)), packet);
    lowSeen = lowSeen || low;
    highSeen = highSeen || high;
  }
  EXPECT_TRUE(lowSeen && highSeen);
}

// A packet whose frame, flag included, is exactly `frameLength` bytes: no byte needs escaping.
Bytes PacketForFrameLength(std::size_t frameLength) {
  Bytes packet(frameLength - 3, 0x11);
  for (int tweak = 0; tweak < 256; ++tweak) {
    packet[0] = static_cast<BYTE>(tweak);
    if (wire::NeedsEscape(packet[0])) continue;
    const WORD fcs = wire::ComputeFcs(packet.data(), packet.size());
    if (!wire::NeedsEscape(fcs & 0xFF) && !wire::NeedsEscape(fcs >> 8)) return packet;
  }
  ADD_FAILURE() << "no packet found for frame length " << frameLength;
  return packet;
}

TEST(Frame, PadsExactlyTheSixListedFrameLengths) {
  for (std::size_t k = 0; k <= 5; ++k) {
    const std::size_t padded = 0x2040 + k * 0x80;
    for (std::size_t length : {padded - 1, padded, padded + 1}) {
      const Bytes frame = Encode(PacketForFrameLength(length));
      if (length == padded) {
        ASSERT_EQ(frame.size(), length + 1) << length;
        EXPECT_EQ(frame[length - 1], 0x7E);
        EXPECT_EQ(frame[length], 0x00);
      } else {
        ASSERT_EQ(frame.size(), length) << length;
        EXPECT_EQ(frame.back(), 0x7E);
      }
    }
  }
  // Other multiples of 128 get no pad.
  for (std::size_t length : {std::size_t{0x2000}, std::size_t{0x2340}, std::size_t{0x2400}}) {
    EXPECT_EQ(Encode(PacketForFrameLength(length)).size(), length) << length;
  }
}

TEST(Frame, WorstCaseWriteRequestFitsTheFrameBound) {
  const Bytes packet(wire::kMaxRequestLength, 0x7E);
  const Bytes frame = Encode(packet);
  EXPECT_GE(frame.size(), 2 * packet.size() + 3);
  EXPECT_LE(frame.size(), wire::MaxFrameLength(packet.size()));
  EXPECT_EQ(frame[2 * packet.size() - 2], 0x7D);
  EXPECT_EQ(frame[2 * packet.size() - 1], 0x5E);
}

TEST(Frame, RejectsFramesThatCannotCarryAPayload) {
  EXPECT_TRUE(Decode({}).empty());
  EXPECT_TRUE(Decode({0x02}).empty());
  // An empty payload with its correct FCS (0x0000) is still no response.
  EXPECT_TRUE(Decode({0x00, 0x00}).empty());
}

TEST(Frame, RejectsAFrameWithOneBitFlipped) {
  Bytes received = WithoutFlags(Encode({0x02, 0x10, 0x20}));
  for (std::size_t i = 0; i < received.size(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes damaged = received;
      damaged[i] ^= static_cast<BYTE>(1 << bit);
      if (damaged[i] == 0x7D) continue;  // an escape changes the length; other tests cover escapes
      EXPECT_TRUE(Decode(damaged).empty()) << "byte " << i << " bit " << bit;
    }
  }
}

TEST(Frame, TrailingEscapeTakesTheClearedByteAfterTheFrame) {
  // A frame that ends in 7D unescapes the zero after it into 0x20: find a packet whose FCS
  // high byte is 0x20 and send that byte as a bare escape.
  for (int value = 0; value < 0x10000; ++value) {
    const Bytes packet = {static_cast<BYTE>(value & 0xFF), static_cast<BYTE>(value >> 8)};
    const WORD fcs = wire::ComputeFcs(packet.data(), packet.size());
    if ((fcs >> 8) != 0x20 || wire::NeedsEscape(packet[0]) || wire::NeedsEscape(packet[1]) ||
        wire::NeedsEscape(fcs & 0xFF)) {
      continue;
    }
    EXPECT_EQ(Decode({packet[0], packet[1], static_cast<BYTE>(fcs & 0xFF), 0x7D}), packet);
    return;
  }
  FAIL() << "no two-byte packet has 0x20 as its FCS high byte";
}

TEST(Frame, RandomPacketsSurviveTheRoundTrip) {
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    Bytes packet(1 + random() % 200);
    for (BYTE& b : packet) b = static_cast<BYTE>(random() % 4 == 0 ? 0x7D + random() % 3 : random());
    const Bytes frame = Encode(packet);
    ASSERT_EQ(frame.back(), 0x7E);
    ASSERT_EQ(Decode(WithoutFlags(frame)), packet);
  }
}

}  // namespace
