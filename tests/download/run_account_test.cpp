// Round trips as the run's account keeps them: from the request's last byte written (its
// resend's, after a NAK) to the answer, for blocks, the erase and each hello.
#include "download/run_account.h"

#include <gtest/gtest.h>

#include "platform/kernel/clock.h"

namespace {

class RoundTrips : public ::testing::Test {
 protected:
  RoundTrips() { platform::UseClock(&clock); }
  ~RoundTrips() override { platform::UseClock(nullptr); }

  platform::ManualClock clock;
  RunAccount account;
};

TEST_F(RoundTrips, RunFromTheLastSendingToTheAnswer) {
  account.Clear();
  account.BeginArea(0x1000, 3 * 8192, 3);
  account.SentHello();
  clock.Advance(2);
  account.Acknowledged();
  account.SentErase();
  clock.Advance(700);
  account.Acknowledged();
  account.SentBlock(0, false);
  clock.Advance(40);
  account.Refused(0xA1);
  account.Resent();
  clock.Advance(15);
  account.Acknowledged();
  account.SentBlock(1, true);
  clock.Advance(3000);
  account.NoAnswer();
  account.SentBlock(2, true);
  clock.Advance(9);
  account.Acknowledged();
  account.SentHello();
  clock.Advance(5);
  account.Acknowledged();

  const RunAccount::Area& area = account.Areas().front();
  EXPECT_EQ(area.helloRoundTripsUs, (std::vector<std::uint32_t>{2000, 5000}));
  EXPECT_EQ(area.eraseRoundTripUs, 700000u);
  EXPECT_EQ(area.blocks[0].roundTripUs, 15000u) << "from the resend";
  EXPECT_EQ(area.blocks[0].sentMs, 742u);
  EXPECT_EQ(area.blocks[0].tries, 2);
  EXPECT_EQ(area.blocks[1].fate, RunAccount::Fate::Unconfirmed);
  EXPECT_EQ(area.blocks[1].roundTripUs, 0u);
  EXPECT_EQ(area.blocks[2].roundTripUs, 9000u);
  ASSERT_EQ(account.Mishaps().size(), 2u);
  EXPECT_EQ(account.Mishaps()[1].atUs, 3757000u);
  EXPECT_EQ(account.Mishaps()[1].request, 1);
}

// A NAK to a bare block is answered by resending the last framed request, not the block: the
// ACK that follows confirms that request, and the bare block stays unconfirmed.
TEST_F(RoundTrips, AResendIsNeverOfABareBlock) {
  account.Clear();
  account.BeginArea(0, 2 * 8192, 2);
  account.SentBlock(0, true);
  account.Refused(0xA1);
  account.Resent();
  account.Acknowledged();
  EXPECT_EQ(account.Areas().front().blocks[0].fate, RunAccount::Fate::Unconfirmed);
  EXPECT_EQ(account.Areas().front().blocks[0].tries, 1);
  EXPECT_EQ(account.Mishaps().front().request, 0) << "the NAK was the bare block's";
}

}  // namespace
