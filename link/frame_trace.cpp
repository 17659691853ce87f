#include "link/frame_trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "link/commands.h"
#include "link/line_clock.h"
#include "platform/kernel/text.h"

namespace {}  // namespace

std::string DescribeRequest(const BYTE* packet, std::size_t length) {
  if (length == 0) return "(empty)";
  switch (packet[0]) {
    case CMD_HELLO: return "HELLO";
    case CMD_COPY_MODULE: return "COPY_MODULE";
    case CMD_RESET: return "RESET";
    case CMD_SET_BAUD: return length >= 2 ? Printed("SET_BAUD code=%u", packet[1]) : "SET_BAUD (short)";
    case CMD_ERASE:
      if (length < 9) return "ERASE (short)";
      return Printed("ERASE offset=0x%" PRIx32 " length=%" PRIu32, GetLe32(packet + 1), GetLe32(packet + 5));
    case CMD_WRITE:
      if (length < 7) return "WRITE (short)";
      return Printed("WRITE offset=0x%" PRIx32 " count=%u", GetLe32(packet + 1), GetLe16(packet + 5));
    default: return Printed("command=0x%02x", packet[0]);
  }
}

std::string DescribeResponse(const BYTE* payload, std::size_t length) {
  if (length == 0) return "(empty)";
  switch (payload[0]) {
    case ACK: return "ACK";
    case NAK_BAD_CRC: return "NAK_BAD_CRC";
    case NAK_TOO_LARGE: return "NAK_TOO_LARGE";
    case NAK_INVALID_CMD: return "NAK_INVALID_CMD";
    case NAK_FAILED: return "NAK_FAILED";
    default: return Printed("code=0x%02x", payload[0]);
  }
}

BOOL CFrameTrace::Open(const char* path) {
  CSingleLock lock(&m_lock, TRUE);
  m_file.Close();
  if (!m_file.Open(path, CFile::modeCreate | CFile::modeWrite)) return FALSE;
  m_startUs = LineClockUs();
  static const char kHeader[] =
      "# microseconds since the trace began, TX to the handset or RX from it, bytes on the line, "
      "what the frame says, its FCS\n";
  m_file.Write(kHeader, sizeof kHeader - 1);
  return TRUE;
}

void CFrameTrace::Sent(const BYTE* packet, std::size_t length, std::size_t lineBytes) {
  Write("TX", lineBytes, DescribeRequest(packet, length), "ok");
}

void CFrameTrace::SentUnframed(const std::string& what, std::size_t lineBytes) { Write("TX", lineBytes, what, "none"); }

void CFrameTrace::NotWritten() { Write("TX", 0, "(the write above failed: not all of it went out)", nullptr); }

void CFrameTrace::Received(const BYTE* payload, std::size_t length, std::size_t lineBytes) {
  Write("RX", lineBytes, payload ? DescribeResponse(payload, length) : "?", payload ? "ok" : "bad");
}

void CFrameTrace::Write(const char* direction, std::size_t lineBytes, const std::string& what, const char* fcs) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_file.m_hFile == CFile::hFileNull) return;
  const std::uint64_t now = LineClockUs();
  char line[160];
  const int length =
      std::snprintf(line, sizeof line, "%12" PRIu64 " %s %5zu %s%s%s\n", now > m_startUs ? now - m_startUs : 0,
                    direction, lineBytes, what.c_str(), fcs ? " fcs=" : "", fcs ? fcs : "");
  // A trace that cannot be written is no reason to stop a download.
  if (length > 0) m_file.Write(line, static_cast<UINT>(std::min<std::size_t>(length, sizeof line - 1)));
}
