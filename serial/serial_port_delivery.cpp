// Hand-over to the dialog: responses through the response buffer, lines through the log queue,
// each followed by one posted message.
#include <algorithm>
#include <cstring>

#include "link/link_messages.h"
#include "platform/messages.h"
#include "serial/serial_port.h"

void CSerialPort::DeliverResponse(const BYTE* payload, WORD length) {
  // Only the response code is ever read; a longer payload keeps its first 500 bytes.
  const std::size_t kept = std::min<std::size_t>(length, kResponseBufferSize);
  std::memcpy(m_response, payload, kept);
  PostToOwner(WM_RESPONSE_READY);
}

void CSerialPort::LogLine(int kind, const CString& text) {
  if (text.IsEmpty() || !m_pLogQueue) return;
  if (m_pLogQueue->Push(kind, text)) PostToOwner(WM_LOG_QUEUED);
}

void CSerialPort::PostToOwner(UINT message) const {
  if (m_pOwner) ::PostMessage(m_pOwner->GetSafeHwnd(), message, 0, 0);
}
