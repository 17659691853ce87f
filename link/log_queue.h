// The log queue: lines produced on either thread, shown by the run on the user-interface
// thread. A ring of 101 slots holds at most 100 lines; one slot always stays free.
#pragma once

#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"
#include "platform/user/wnd.h"

constexpr int LOG_ERROR = 3;  // shown red
constexpr int LOG_INFO = 4;   // shown black; every other kind is shown blue

class CLogEntry {
 public:
  virtual ~CLogEntry() = default;
  void Clear() {
    m_nKind = 0;
    m_strText.Empty();
  }

  int m_nKind = 0;
  CString m_strText;
};

class CLogQueue {
 public:
  static constexpr int kCapacity = 101;

  CLogQueue();
  virtual ~CLogQueue() = default;

  void Reset();
  // False, and nothing stored, when the queue already holds 100 lines.
  bool Push(int kind, const CString& text);
  // False, and the entry left as it was, when the queue is empty.
  bool Pop(CLogEntry& entry);

 private:
  // Both are asked with the lock held.
  bool IsEmpty() const { return m_nHead == m_nTail; }
  bool IsFull() const { return (m_nTail + 1) % m_nCapacity == m_nHead; }

  int m_nHead = 0;
  int m_nTail = 0;
  int m_nCapacity = kCapacity;
  CLogEntry m_entries[kCapacity];
  CCriticalSection m_lock;
};

// Queues a line for the run and, if the queue took it, posts one WM_LOG_QUEUED to `owner`.
// Empty text queues nothing; a full queue drops the line.
void QueueLogLine(CLogQueue* queue, CWnd* owner, int kind, const CString& text);
