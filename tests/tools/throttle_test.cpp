#include "tools/handset-sim/throttle.h"

#include <gtest/gtest.h>

namespace {

using handset_sim::Throttle;
using std::chrono::milliseconds;

TEST(Throttle, CarriesTenBitsPerByte) {
  Throttle line(57600);
  const Throttle::Clock::time_point start{};
  EXPECT_EQ(line.Book(5760, start), start + milliseconds(1000));
  // Back to back: the second transfer waits for the first.
  EXPECT_EQ(line.Book(5760, start), start + milliseconds(2000));
  EXPECT_EQ(line.StepBytes(), 57u);
}

TEST(Throttle, EarnsNoCreditWhileIdle) {
  Throttle line(9600);
  const Throttle::Clock::time_point start{};
  line.Book(96, start);
  EXPECT_EQ(line.Book(96, start + milliseconds(5000)), start + milliseconds(5100));
}

TEST(Throttle, CarriesABacklogBackToBackWhenBookedLate) {
  Throttle line(57600);
  const Throttle::Clock::time_point start{};
  const Throttle::Clock::time_point free = line.Book(57, start);  // a full step: more is waiting
  EXPECT_EQ(line.Book(57, free + milliseconds(3)), free + (free - start)) << "woken late, not idle";
  const Throttle::Clock::time_point tail = line.Book(10, free + (free - start));  // the rest
  EXPECT_EQ(line.Book(57, tail + milliseconds(3)), tail + milliseconds(3) + (free - start))
      << "idle after a short step";
}

TEST(Throttle, ZeroBaudDoesNotPace) {
  Throttle line(0);
  const Throttle::Clock::time_point start{};
  EXPECT_FALSE(line.Enabled());
  EXPECT_EQ(line.Book(1'000'000, start), start);
}

}  // namespace
