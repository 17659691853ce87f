#include "serial/response_queue.h"

#include <algorithm>
#include <cstring>

bool CResponseQueue::Push(const BYTE* payload, WORD length) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_waiting.size() >= kCapacity) return false;
  Response& response = m_waiting.emplace_back();
  response.fill(0);
  std::memcpy(response.data(), payload, std::min<std::size_t>(length, kResponseSize));
  return true;
}

bool CResponseQueue::Pop(Response& into) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_waiting.empty()) return false;
  into = m_waiting.front();
  m_waiting.pop_front();
  return true;
}

bool CResponseQueue::PeekCode(BYTE* code) {
  CSingleLock lock(&m_lock, TRUE);
  if (m_waiting.empty()) return false;
  *code = m_waiting.front()[0];
  return true;
}

void CResponseQueue::Clear() {
  CSingleLock lock(&m_lock, TRUE);
  m_waiting.clear();
}
