// Responses on their way from the receive thread to the run: each waits here until the run
// takes it up, one per WM_RESPONSE_READY, so two answers read together are both handled, in
// the order they came.
#pragma once

#include <array>
#include <cstddef>

#include "platform/kernel/sync.h"
#include "platform/kernel/types.h"

class CResponseQueue {
 public:
  // Only the response code is ever read; a longer payload keeps its first 500 bytes.
  static constexpr int kResponseSize = 500;
  // Far more than a stop-and-wait handset ever has on the way.
  static constexpr std::size_t kCapacity = 100;

  using Response = std::array<BYTE, kResponseSize>;

  // False, and nothing kept, when the queue is full.
  bool Push(const BYTE* payload, WORD length);
  // Copies the oldest response's bytes to the start of `into`; false, and `into` left as it
  // was, when nothing waits.
  bool Pop(Response& into);
  // The code of the oldest response waiting; false when nothing waits.
  bool PeekCode(BYTE* code);
  void Clear();

 private:
  struct Slot {
    Response bytes;
    std::size_t length;
  };

  // A ring, so that a response costs no allocation on the receive thread.
  std::array<Slot, kCapacity> m_slots;
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  CCriticalSection m_lock;
};
