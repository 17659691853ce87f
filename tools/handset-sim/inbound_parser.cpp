#include "tools/handset-sim/inbound_parser.h"

#include <algorithm>
#include <cstring>

namespace handset_sim {
namespace {

bool IsWellFormedRequest(const Bytes& packet) { return !packet.empty() && RequestLength(packet[0]) == packet.size(); }

}  // namespace

void InboundParser::ExpectFrames() { m_rawLength = 0; }

void InboundParser::ExpectRawOrFrame(std::size_t rawLength, std::uint32_t blockOffset) {
  m_rawLength = rawLength;
  m_blockOffset = blockOffset;
}

void InboundParser::Reset() {
  ClearRequest();
  m_padOwed = false;
}

void InboundParser::ClearRequest() {
  m_wire.clear();
  m_wireLength = 0;
  m_framedWrite = false;
  m_sawFlag = false;
}

std::optional<Inbound> InboundParser::Push(Byte byte) {
  if (m_wireLength == 0) {
    if (byte == kFlag) return std::nullopt;
    // No request begins with 0x00, so between frames it can only be padding; the first byte of
    // a raw block may well be 0x00, and is taken as padding only when a pad is still owed.
    if (byte == kPad && (m_padOwed || !RawPossible())) {
      m_padOwed = false;
      return std::nullopt;
    }
    m_padOwed = false;
  }
  return RawPossible() ? PushRawOrFrame(byte) : PushFramed(byte);
}

std::optional<Inbound> InboundParser::PushFramed(Byte byte) {
  ++m_wireLength;
  if (byte == kFlag) {
    const std::size_t wireLength = m_wireLength;
    std::optional<Inbound> item;
    if (m_wireLength > kMaxFrameWire + 1) {
      item = Finish(Inbound::Kind::TooLong, {});
    } else if (std::optional<Bytes> packet = DecodeFrame(m_wire.data(), m_wire.size())) {
      item = Finish(Inbound::Kind::Frame, std::move(*packet));
    } else {
      item = Finish(Inbound::Kind::BadFrame, {});
    }
    m_padOwed = IsPaddedFrameLength(wireLength);
    return item;
  }
  if (m_wire.size() < kMaxFrameWire) m_wire.push_back(byte);
  if (IsAtCommand()) return Finish(Inbound::Kind::AtCommand, {});
  return std::nullopt;
}

std::optional<Inbound> InboundParser::PushRawOrFrame(Byte byte) {
  ++m_wireLength;
  if (byte == kFlag && !m_sawFlag) {
    m_sawFlag = true;
    std::optional<Bytes> packet = DecodeFrame(m_wire.data(), m_wire.size());
    if (packet && IsWellFormedRequest(*packet)) {
      const bool padded = IsPaddedFrameLength(m_wireLength);
      Inbound item = Finish(Inbound::Kind::Frame, std::move(*packet));
      m_padOwed = padded;
      return item;
    }
  }
  m_wire.push_back(byte);
  if (m_wire.size() < m_rawLength) return std::nullopt;
  if (!m_sawFlag && BeginsLikeWriteRequest()) {
    m_framedWrite = true;
    return std::nullopt;
  }
  return Finish(Inbound::Kind::Raw, std::move(m_wire));
}

bool InboundParser::BeginsLikeWriteRequest() const {
  const Byte header[] = {kCmdWrite, static_cast<Byte>(m_blockOffset), static_cast<Byte>(m_blockOffset >> 8),
                         static_cast<Byte>(m_blockOffset >> 16), static_cast<Byte>(m_blockOffset >> 24)};
  const Bytes start = UnescapePrefix(m_wire.data(), m_wire.size(), sizeof header);
  return !start.empty() && std::equal(start.begin(), start.end(), header);
}

Inbound InboundParser::Finish(Inbound::Kind kind, Bytes bytes) {
  ClearRequest();
  return Inbound{kind, std::move(bytes)};
}

bool InboundParser::IsAtCommand() const {
  return m_wire.size() == kAtCommandLength && std::memcmp(m_wire.data(), kAtCommand, kAtCommandLength) == 0;
}

}  // namespace handset_sim
