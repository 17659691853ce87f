#include "link/log_queue.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

CString Line(int i) {
  CString text;
  text.Format("line %d", i);
  return text;
}

TEST(LogQueue, HoldsAtMostOneHundredLines) {
  CLogQueue queue;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(queue.Push(LOG_INFO, Line(i))) << i;
  EXPECT_FALSE(queue.Push(LOG_INFO, "one too many"));
  CLogEntry entry;
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(queue.Pop(entry));
    EXPECT_EQ(entry.m_strText, Line(i)) << "the full queue kept the earlier lines in order";
  }
  EXPECT_FALSE(queue.Pop(entry));
}

TEST(LogQueue, AlternatingPushAndPopWrapsAroundWithoutEverBeingFull) {
  CLogQueue queue;
  CLogEntry entry;
  for (int i = 0; i < 350; ++i) {
    ASSERT_TRUE(queue.Push(i % 7, Line(i))) << i;
    ASSERT_TRUE(queue.Pop(entry)) << i;
    EXPECT_EQ(entry.m_nKind, i % 7);
    EXPECT_EQ(entry.m_strText, Line(i));
  }
  // After wrapping several times the ring still takes a full load.
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(queue.Push(LOG_INFO, Line(i)));
  EXPECT_FALSE(queue.Push(LOG_INFO, Line(100)));
}

TEST(LogQueue, ResetEmptiesTheQueue) {
  CLogQueue queue;
  for (int i = 0; i < 40; ++i) queue.Push(LOG_ERROR, Line(i));
  queue.Reset();
  CLogEntry entry;
  EXPECT_FALSE(queue.Pop(entry));
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(queue.Push(LOG_INFO, Line(i)));
}

TEST(LogQueue, PopOnAnEmptyQueueLeavesTheEntryAsItWas) {
  CLogQueue queue;
  CLogEntry entry;
  entry.m_nKind = 9;
  entry.m_strText = "kept";
  EXPECT_FALSE(queue.Pop(entry));
  EXPECT_EQ(entry.m_nKind, 9);
  EXPECT_EQ(entry.m_strText, "kept");
}

TEST(LogQueue, LinesFromAnotherThreadArriveWholeAndInOrder) {
  CLogQueue queue;
  constexpr int kLines = 5000;
  std::thread producer([&] {
    for (int i = 0; i < kLines; ++i) {
      while (!queue.Push(LOG_INFO, Line(i))) std::this_thread::yield();
    }
  });
  CLogEntry entry;
  for (int i = 0; i < kLines;) {
    if (!queue.Pop(entry)) {
      std::this_thread::yield();
      continue;
    }
    EXPECT_EQ(entry.m_strText, Line(i));
    ++i;
  }
  producer.join();
}

}  // namespace
