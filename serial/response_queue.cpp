#include "serial/response_queue.h"

#include <algorithm>
#include <cstring>

bool CResponseQueue::Push(const BYTE* payload, WORD length) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_count == kCapacity) return false;
  Slot& slot = m_slots[(m_head + m_count) % kCapacity];
  slot.length = std::min<std::size_t>(length, kResponseSize);
  std::memcpy(slot.bytes.data(), payload, slot.length);
  ++m_count;
  return true;
}

bool CResponseQueue::Pop(Response& into) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_count == 0) return false;
  const Slot& slot = m_slots[m_head];
  std::memcpy(into.data(), slot.bytes.data(), slot.length);
  m_head = (m_head + 1) % kCapacity;
  --m_count;
  return true;
}

bool CResponseQueue::PeekCode(BYTE* code) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_count == 0) return false;
  *code = m_slots[m_head].bytes[0];
  return true;
}

void CResponseQueue::Clear() {
  CSingleLock lock(&m_lock, TRUE);
  m_head = 0;
  m_count = 0;
}
