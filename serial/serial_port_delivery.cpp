// Hand-over to the run: responses through the response queue, lines through the log queue,
// each followed by one posted message.
#include "link/link_messages.h"
#include "platform/user/messages.h"
#include "serial/serial_port.h"

void CSerialPort::DeliverResponse(const BYTE* payload, WORD length) {
  if (m_responses.Push(payload, length) && m_pOwner) ::PostMessage(m_pOwner->GetSafeHwnd(), WM_RESPONSE_READY, 0, 0);
}

const BYTE* CSerialPort::TakeResponse() {
  if (!m_responses.Pop(m_response)) return nullptr;
  return m_response.data();
}

void CSerialPort::LogLine(int kind, const CString& text) { QueueLogLine(m_pLogQueue, m_pOwner, kind, text); }
