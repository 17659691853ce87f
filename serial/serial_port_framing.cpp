// The framing side of the port: requests out as frames, responses in from raw bytes.
#include <cstring>

#include "link/frame.h"
#include "platform/kernel/clock.h"
#include "serial/serial_port.h"

void CSerialPort::SendPacket(const BYTE* packet, WORD count, int delayMs) {
  // A packet that could not be kept for resending is no request of this protocol.
  if (count > wire::kMaxRequestLength) return;
  m_nSavedRequestLength = count;
  std::memmove(m_savedRequest, packet, count);

  const std::size_t length = wire::EncodeFrame(m_savedRequest, count, m_sendFrame.data());
  // Traced before it goes: the handset's answer may be taken in before the write returns.
  CFrameTrace* trace = m_pTrace.load();
  if (trace) trace->Sent(m_savedRequest, count, length);
  if (!WriteBuffer(m_sendFrame.data(), static_cast<DWORD>(length)) && trace) trace->NotWritten();
  if (delayMs > 0) Sleep(static_cast<DWORD>(delayMs));
}

void CSerialPort::ResendLastPacket() {
  SendPacket(m_savedRequest, static_cast<WORD>(m_nSavedRequestLength), 0);
  LogLine(LOG_INFO, "패킷 재전송합니다.");
}

bool CSerialPort::SendByte(BYTE b, bool escape) {
  if (escape && wire::NeedsEscape(b)) {
    const bool escapeSent = WriteByte(wire::kEscape);
    const bool byteSent = WriteByte(static_cast<BYTE>(b ^ wire::kEscapeXor));
    return escapeSent && byteSent;
  }
  return WriteByte(b);
}

bool CSerialPort::FeedReceived(const BYTE* data, int count) {
  const BYTE* at = data;
  const BYTE* const end = data + count;
  while (at < end) {
    // What comes before the next flag belongs to the frame being gathered.
    const auto* flag = static_cast<const BYTE*>(std::memchr(at, wire::kFlag, static_cast<std::size_t>(end - at)));
    const auto run = static_cast<int>((flag ? flag : end) - at);
    if (run > kReceiveBufferSize - m_nReceiveCount) {
      // Too long for any response: what was gathered goes, and the rest of this read with it.
      RestartReceive();
      return false;
    }
    std::memcpy(m_receiveBuffer + m_nReceiveCount, at, static_cast<std::size_t>(run));
    m_nReceiveCount += run;
    m_nLineBytes += static_cast<std::size_t>(run);
    if (!flag) break;
    // Every flag closes what came before it; one with nothing before it opens a frame.
    ++m_nLineBytes;
    if (m_nReceiveCount != 0) TakeFrame();
    m_nLineBytes = 0;
    at = flag + 1;
  }
  return true;
}

void CSerialPort::TakeFrame() {
  // Decoded where it was gathered: the next byte starts a new frame.
  const WORD payloadLength = wire::DecodeFrame(m_receiveBuffer, static_cast<WORD>(m_nReceiveCount));
  m_nReceiveCount = 0;
  if (CFrameTrace* trace = m_pTrace.load()) {
    trace->Received(payloadLength != 0 ? m_receiveBuffer : nullptr, payloadLength, m_nLineBytes);
  }
  if (payloadLength != 0) {
    DeliverResponse(m_receiveBuffer, payloadLength);
  } else {
    LogLine(LOG_ERROR, "\n[RX]Bad CRC in response packet\n");
  }
}
