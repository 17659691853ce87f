// Hand-over to the dialog: responses through the response buffer, lines through the log queue,
// each followed by one posted message.
#include <algorithm>
#include <cstring>

#include "link/link_messages.h"
#include "platform/user/messages.h"
#include "serial/serial_port.h"

void CSerialPort::DeliverResponse(const BYTE* payload, WORD length) {
  // Only the response code is ever read; a longer payload keeps its first 500 bytes.
  const std::size_t kept = std::min<std::size_t>(length, kResponseBufferSize);
  std::memcpy(m_response, payload, kept);
  if (m_pOwner) ::PostMessage(m_pOwner->GetSafeHwnd(), WM_RESPONSE_READY, 0, 0);
}

void CSerialPort::LogLine(int kind, const CString& text) { QueueLogLine(m_pLogQueue, m_pOwner, kind, text); }
