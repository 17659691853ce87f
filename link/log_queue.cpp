#include "link/log_queue.h"

#include "link/link_messages.h"
#include "platform/user/messages.h"

CLogQueue::CLogQueue() { Reset(); }

void CLogQueue::Reset() {
  CSingleLock lock(&m_lock, TRUE);
  m_nHead = 0;
  m_nTail = 0;
  for (CLogEntry& entry : m_entries) entry.Clear();
}

bool CLogQueue::Push(int kind, const CString& text) {
  CSingleLock lock(&m_lock, TRUE);
  if (IsFull()) return false;
  m_entries[m_nTail].m_nKind = kind;
  m_entries[m_nTail].m_strText = text;
  m_nTail = (m_nTail + 1) % m_nCapacity;
  return true;
}

bool CLogQueue::Pop(CLogEntry& entry) {
  CSingleLock lock(&m_lock, TRUE);
  if (IsEmpty()) return false;
  entry.m_nKind = m_entries[m_nHead].m_nKind;
  entry.m_strText = m_entries[m_nHead].m_strText;
  m_entries[m_nHead].Clear();
  m_nHead = (m_nHead + 1) % m_nCapacity;
  return true;
}

void QueueLogLine(CLogQueue* queue, CWnd* owner, int kind, const CString& text) {
  if (text.IsEmpty() || !queue) return;
  if (queue->Push(kind, text) && owner) ::PostMessage(owner->GetSafeHwnd(), WM_LOG_QUEUED, 0, 0);
}
