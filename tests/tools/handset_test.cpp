// The download program's behaviour without a line: requests in, answers and flash out.
#include "tools/handset-sim/handset.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "tests/tools/host_line.h"

namespace handset_sim_test {
namespace {

using handset_sim::Conduct;
using handset_sim::DropOff;
using handset_sim::Fault;
using handset_sim::FaultPlan;
using handset_sim::FaultRule;
using handset_sim::Handset;
using handset_sim::Mode;
using handset_sim::Outcome;

constexpr std::size_t kBlock = handset_sim::kBlockSize;
constexpr std::chrono::milliseconds kHour = std::chrono::hours(1);

std::vector<Outcome> Send(Handset& handset, const Bytes& bytes) { return handset.Receive(bytes.data(), bytes.size()); }

// Sends one request and answers the bytes of its single answer (empty for none).
Bytes Answer(Handset& handset, const Bytes& bytes) {
  const std::vector<Outcome> outcomes = Send(handset, bytes);
  EXPECT_EQ(outcomes.size(), 1u);
  return outcomes.empty() ? Bytes{} : outcomes[0].answer;
}

Bytes AnswerFrame(Byte code) { return handset_sim::EncodeFrame({code}); }

Conduct Hanging(std::uint64_t hangAt, std::uint64_t unplugAtBlock = 0) {
  Conduct conduct;
  conduct.hangAt = hangAt;
  conduct.unplugAtBlock = unplugAtBlock;
  return conduct;
}

Bytes FlashRange(const Handset& handset, std::size_t from, std::size_t count) {
  const auto& bytes = handset.Flash().Bytes();
  if (from + count > bytes.size()) return {};
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

TEST(Handset, AcknowledgesEveryRequestOfARun) {
  Handset handset(Mode::Download, FaultPlan());
  for (const Bytes& packet : {Bytes{0xA0}, Bytes{0xB0}, Bytes{0xF0, 0x01}, Bytes{0xC0}, Bytes{0xA0}}) {
    EXPECT_EQ(Answer(handset, Frame(packet)), kAckFrame);
  }
  EXPECT_EQ(handset.Counts().Of(0xA0), 2u);
  EXPECT_EQ(handset.Counts().Of(0xF0), 1u);
  EXPECT_EQ(handset.Log().back().sequence, 5u);
}

TEST(Handset, EraseFillsAndWriteStoresOnlyTheValidBytes) {
  Handset handset(Mode::Download, FaultPlan());
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 3 * kBlock))), kAckFrame);
  ASSERT_EQ(handset.Flash().Bytes().size(), 3 * kBlock);
  EXPECT_EQ(std::count(handset.Flash().Bytes().begin(), handset.Flash().Bytes().end(), 0xFF), 3 * kBlock);

  const Bytes data = BlockData(100, 7);
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0x2000, data, 0x00))), kAckFrame);
  EXPECT_EQ(FlashRange(handset, 0x2000, 100), data);
  EXPECT_EQ(FlashRange(handset, 0x2000 + 100, 1), Bytes{0xFF});
  EXPECT_EQ(handset.Flash().Bytes().size(), 3 * kBlock);

  // A write beyond what was erased grows the image.
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0x10000, data))), kAckFrame);
  EXPECT_EQ(handset.Flash().Bytes().size(), 0x10000 + 100);
  EXPECT_EQ(FlashRange(handset, 0x8000, 1), Bytes{0xFF});
}

TEST(Handset, RefusesWhatItCanNotCarryOut) {
  Handset handset(Mode::Download, FaultPlan());
  EXPECT_EQ(Answer(handset, {0xA0, 0x72, 0x56, 0x7E}), AnswerFrame(0xA1));
  EXPECT_EQ(Answer(handset, Frame({0x55})), AnswerFrame(0xA3));
  EXPECT_EQ(Answer(handset, Frame({0xA0, 0x00})), AnswerFrame(0xA3));
  // An empty packet with a good check sequence (two escaped zero bytes) is no request.
  EXPECT_EQ(Answer(handset, {0x7D, 0x20, 0x7D, 0x20, 0x7E}), AnswerFrame(0xA1));

  Bytes tooMuch = WritePacket(0, BlockData(16, 1));
  tooMuch[5] = 0x01;
  tooMuch[6] = 0x20;  // 8193 valid bytes
  EXPECT_EQ(Answer(handset, Frame(tooMuch)), AnswerFrame(0xA2));
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0xFFFF0000, 0x20000))), AnswerFrame(0xA4));
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0xFFFFF000, BlockData(16, 1)))), AnswerFrame(0xA4));
  EXPECT_TRUE(handset.Flash().Bytes().empty());
  EXPECT_EQ(handset.Counts().badFrames, 2u);
}

TEST(Handset, InjectedNakLeavesTheRequestUndone) {
  Handset handset(Mode::Download, FaultPlan({FaultRule{Fault::Nak, 0xA2, 2, 0.0}}));
  EXPECT_EQ(Answer(handset, Frame({0xA0})), kAckFrame);
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, kBlock))), AnswerFrame(0xA2));
  EXPECT_TRUE(handset.Flash().Bytes().empty());
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, kBlock))), kAckFrame);
  EXPECT_EQ(handset.Flash().Bytes().size(), kBlock);
}

TEST(Handset, ShapesTheAnswerAsTheFaultsSay) {
  Handset handset(Mode::Download,
                  FaultPlan({FaultRule{Fault::Silence, 0, 1, 0.0}, FaultRule{Fault::BadFcs, 0, 2, 0.0},
                             FaultRule{Fault::OpeningFlag, 0, 3, 0.0}, FaultRule{Fault::Split, 0, 4, 0.0}}));
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, kBlock))), Bytes{});
  EXPECT_EQ(handset.Flash().Bytes().size(), kBlock) << "a silenced request is still carried out";

  const Bytes corrupted = Answer(handset, Frame({0xA0}));
  EXPECT_NE(corrupted, kAckFrame);
  EXPECT_FALSE(handset_sim::DecodeFrame(corrupted.data(), corrupted.size() - 1));

  EXPECT_EQ(Answer(handset, Frame({0xA0})), (Bytes{0x7E, 0x02, 0x6A, 0xD3, 0x7E}));

  const std::vector<Outcome> split = Send(handset, Frame({0xA0}));
  ASSERT_EQ(split.size(), 1u);
  EXPECT_TRUE(split[0].split);
  EXPECT_EQ(split[0].answer, kAckFrame);
}

std::string SilencePattern(std::uint32_t seed, double rate) {
  Handset handset(Mode::Download, FaultPlan({FaultRule{Fault::Silence, 0, 0, rate}}, seed));
  std::string pattern;
  for (int i = 0; i < 200; ++i) pattern += Answer(handset, kHelloFrame).empty() ? 'S' : '.';
  return pattern;
}

TEST(Handset, RandomFaultsRepeatWithTheirSeed) {
  const std::string first = SilencePattern(42, 0.25);
  EXPECT_EQ(SilencePattern(42, 0.25), first);
  EXPECT_NE(SilencePattern(43, 0.25), first);
  const auto silent = std::count(first.begin(), first.end(), 'S');
  EXPECT_GT(silent, 20);
  EXPECT_LT(silent, 80);
  EXPECT_EQ(SilencePattern(42, 0.0), std::string(200, '.'));
  EXPECT_EQ(SilencePattern(42, 1.0), std::string(200, 'S'));
}

// The host times out on a block whose answer does not come in time, lost or held back, and
// goes on with raw data.
TEST(Handset, DataAfterAWithheldBlockGoesOnRaw) {
  for (const Fault withheld : {Fault::Silence, Fault::Late}) {
    SCOPED_TRACE(withheld == Fault::Late ? "late" : "silent");
    const std::uint32_t base = 0x10000;
    const std::size_t area = 3 * kBlock + 100;
    Handset handset(Mode::Download, FaultPlan({FaultRule{withheld, 0, 2, 0.0, kHour}}));
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(base, area))), kAckFrame);
    Send(handset, Frame(WritePacket(base, BlockData(kBlock, 0))));

    EXPECT_EQ(Answer(handset, BlockData(kBlock, 1)), kAckFrame);
    EXPECT_EQ(Answer(handset, BlockData(kBlock, 2)), kAckFrame);
    EXPECT_EQ(Answer(handset, BlockData(100, 3)), kAckFrame);  // what is left of the erased range
    EXPECT_EQ(Answer(handset, Frame({0xC0})), kAckFrame);

    for (unsigned block = 0; block < 3; ++block) {
      EXPECT_EQ(FlashRange(handset, base + block * kBlock, kBlock), BlockData(kBlock, block)) << "block " << block;
    }
    EXPECT_EQ(FlashRange(handset, base + 3 * kBlock, 100), BlockData(100, 3));
    EXPECT_EQ(handset.Counts().rawBlocks, 3u);
    EXPECT_EQ(handset.Log()[2].ToString(), "#3 RAW offset=0x00012000 count=8192 -> ACK");
  }
}

TEST(Handset, TakesNoRawDataUnlessTheHostMaySendIt) {
  Handset handset(Mode::Download, FaultPlan());
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 2 * kBlock))), kAckFrame);
  Bytes data(kBlock, 0x33);
  data[100] = 0x7E;
  EXPECT_EQ(Answer(handset, data), AnswerFrame(0xA1));
  EXPECT_EQ(handset.Counts().rawBlocks, 0u);
}

TEST(Handset, StillTakesFramedBlocksWhileRawDataMayCome) {
  Handset handset(Mode::Download, FaultPlan({FaultRule{Fault::Silence, 0, 1, 0.0}}));
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 3 * kBlock))), Bytes{});
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0, BlockData(kBlock, 0)))), kAckFrame);
  EXPECT_EQ(Answer(handset, BlockData(kBlock, 1)), kAckFrame);
  EXPECT_EQ(FlashRange(handset, 0, 2 * kBlock), [] {
    Bytes both = BlockData(kBlock, 0);
    const Bytes second = BlockData(kBlock, 1);
    both.insert(both.end(), second.begin(), second.end());
    return both;
  }());
  // The host ends an area at its last whole block; a short request is not taken for data.
  EXPECT_EQ(Answer(handset, Frame({0xC0})), kAckFrame);
}

TEST(Handset, StaysReadyForRawDataInTheSecondArea) {
  Handset handset(Mode::Download, FaultPlan({FaultRule{Fault::Silence, 0, 1, 0.0}}));
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, kBlock))), Bytes{});
  EXPECT_EQ(Answer(handset, BlockData(kBlock, 0)), kAckFrame);
  for (const Bytes& packet : {Bytes{0xA0}, Bytes{0xB0}, Bytes{0xF0, 0x01}, Bytes{0xC0}, Bytes{0xA0}}) {
    EXPECT_EQ(Answer(handset, Frame(packet)), kAckFrame);
  }
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0x40000, kBlock))), kAckFrame);
  EXPECT_EQ(Answer(handset, BlockData(kBlock, 1)), kAckFrame);
  EXPECT_EQ(FlashRange(handset, 0x40000, kBlock), BlockData(kBlock, 1));
}

TEST(Handset, UnplugsAtTheBlockAndComesBackReadyForRawData) {
  Conduct conduct;
  conduct.unplugAtBlock = 2;
  Handset handset(Mode::Download, FaultPlan(), conduct);
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 3 * kBlock))), kAckFrame);
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0, BlockData(kBlock, 0)))), kAckFrame);

  const std::vector<Outcome> unplug = Send(handset, Frame(WritePacket(kBlock, BlockData(kBlock, 1))));
  ASSERT_EQ(unplug.size(), 1u);
  EXPECT_EQ(unplug[0].dropOff, DropOff::Unplug);
  EXPECT_TRUE(unplug[0].answer.empty());

  handset.Reattach(DropOff::Unplug);
  EXPECT_EQ(Answer(handset, BlockData(kBlock, 2)), kAckFrame);
  for (unsigned block = 0; block < 3; ++block) {
    EXPECT_EQ(FlashRange(handset, block * kBlock, kBlock), BlockData(kBlock, block)) << "block " << block;
  }
}

// Request 2, whatever it is, is carried out if it is good and never answered; the handset
// comes back as after an unplug at a block.
TEST(Handset, UnplugsAtItsRequest) {
  struct Case {
    const char* name;
    Bytes request;  // request 2, after an erase of two blocks
    Bytes block0;   // then
  };
  Bytes tooLarge = WritePacket(0, BlockData(kBlock, 0));
  tooLarge[6] = 0x21;  // 8448 valid bytes
  const Case cases[] = {
      {"a block", Frame(WritePacket(0, BlockData(kBlock, 0))), BlockData(kBlock, 0)},
      {"a block too large", Frame(tooLarge), Bytes(kBlock, 0xFF)},
      {"a hello", kHelloFrame, Bytes(kBlock, 0xFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Conduct conduct;
    conduct.unplugAt = 2;
    Handset handset(Mode::Download, FaultPlan(), conduct);
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 2 * kBlock))), kAckFrame);
    const std::vector<Outcome> unplug = Send(handset, c.request);
    ASSERT_EQ(unplug.size(), 1u);
    EXPECT_EQ(unplug[0].dropOff, DropOff::Unplug);
    EXPECT_TRUE(unplug[0].answer.empty());
    EXPECT_EQ(FlashRange(handset, 0, kBlock), c.block0);

    handset.Reattach(DropOff::Unplug);
    EXPECT_EQ(handset.CurrentMode(), Mode::Download);
    EXPECT_EQ(Answer(handset, kHelloFrame), kAckFrame);
  }
}

// Request 2 is answered and carried out as the faults say; then nothing is, until the handset
// has been unplugged.
TEST(Handset, HangsAfterItsRequestUntilUnplugged) {
  struct Case {
    const char* name;
    std::vector<FaultRule> faults;
    Bytes answer;           // to request 2, an erase
    std::size_t flashSize;  // after it
  };
  const Case cases[] = {
      {"answered", {}, kAckFrame, 2 * kBlock},
      {"refused", {FaultRule{Fault::Nak, 0xA1, 2, 0.0}}, AnswerFrame(0xA1), 0},
      {"silent", {FaultRule{Fault::Silence, 0, 2, 0.0}}, {}, 2 * kBlock},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Handset handset(Mode::Download, FaultPlan(c.faults), Hanging(2));
    EXPECT_EQ(Answer(handset, kHelloFrame), kAckFrame);
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 2 * kBlock))), c.answer);
    EXPECT_EQ(handset.Flash().Bytes().size(), c.flashSize);
    EXPECT_TRUE(handset.Log().back().hangs);

    const std::vector<Byte> flash = handset.Flash().Bytes();
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(0x10000, kBlock))), Bytes{});
    EXPECT_EQ(Answer(handset, Frame(WritePacket(0, BlockData(kBlock, 1)))), Bytes{});
    EXPECT_EQ(handset.Flash().Bytes(), flash) << "nothing carried out";

    handset.Reattach(DropOff::Unplug);
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(0x10000, kBlock))), kAckFrame);
    EXPECT_EQ(handset.Flash().Bytes().size(), 0x10000 + kBlock);
  }
}

TEST(Handset, AHungHandsetUnpluggedAtABlockWritesNothing) {
  Handset handset(Mode::Download, FaultPlan(), Hanging(1, 2));
  EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, 2 * kBlock))), kAckFrame);
  EXPECT_EQ(Answer(handset, Frame(WritePacket(0, BlockData(kBlock, 0)))), Bytes{});
  const std::vector<Outcome> unplug = Send(handset, Frame(WritePacket(kBlock, BlockData(kBlock, 1))));
  ASSERT_EQ(unplug.size(), 1u);
  EXPECT_EQ(unplug[0].dropOff, DropOff::Unplug);
  EXPECT_EQ(handset.Flash().Bytes(), std::vector<Byte>(2 * kBlock, 0xFF));
}

// The normal software is a modem: it answers a modem manager's probes "OK", ignores the download
// protocol, and restarts in download mode on the AT command.
TEST(Handset, NormalSoftwareIsAModemThatTheAtCommandRestarts) {
  Handset handset(Mode::Normal, FaultPlan());
  EXPECT_TRUE(Send(handset, kHelloFrame).empty());
  const std::string probe = "AT\r\nATI\r";
  const std::vector<Outcome> probed = Send(handset, Bytes(probe.begin(), probe.end()));
  ASSERT_EQ(probed.size(), 2u);
  EXPECT_EQ(probed[1].entry.ToString(), "- ATI -> OK");
  EXPECT_EQ(std::string(probed[1].answer.begin(), probed[1].answer.end()), "\r\nOK\r\n");
  Bytes at(handset_sim::kAtCommand, handset_sim::kAtCommand + handset_sim::kAtCommandLength);
  at.insert(at.begin(), {'A', 'T', '$'});  // a false start
  const std::vector<Outcome> outcomes = Send(handset, at);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].dropOff, DropOff::AtCommand);
  EXPECT_EQ(outcomes[0].entry.ToString(), "- AT$KVNUDG -> dropped off the bus");

  handset.Reattach(DropOff::AtCommand);
  EXPECT_EQ(handset.CurrentMode(), Mode::Download);
  EXPECT_EQ(Answer(handset, kHelloFrame), kAckFrame);
  EXPECT_EQ(handset.Log().back().sequence, 1u) << "the AT command is not a numbered request";
}

// Only a handset told to restart leaves with the reset that follows a block (the one after a
// baud change only takes the rate), answered or not as it is told, and comes back running its
// normal software.
TEST(Handset, RestartsIntoTheNormalSoftwareAfterTheLastResetWhenToldTo) {
  struct Case {
    const char* name;
    bool restartAfterReset;
    bool leaveAtFinalReset;
    Bytes answer;  // to the last reset
    DropOff dropOff;
  };
  const Case cases[] = {
      {"stays", false, false, kAckFrame, DropOff::None},
      {"answers, then restarts", true, false, kAckFrame, DropOff::Reset},
      {"restarts unanswered", false, true, {}, DropOff::Reset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Conduct conduct;
    conduct.restartAfterReset = c.restartAfterReset;
    conduct.leaveAtFinalReset = c.leaveAtFinalReset;
    Handset handset(Mode::Download, FaultPlan(), conduct);
    const Bytes reset = Frame({handset_sim::kCmdReset});
    EXPECT_EQ(Answer(handset, Frame({handset_sim::kCmdSetBaud, 0x01})), kAckFrame);
    const std::vector<Outcome> takesTheRate = Send(handset, reset);
    ASSERT_EQ(takesTheRate.size(), 1u);
    EXPECT_EQ(takesTheRate[0].answer, kAckFrame);
    EXPECT_EQ(takesTheRate[0].dropOff, DropOff::None);
    EXPECT_EQ(Answer(handset, Frame(ErasePacket(0, kBlock))), kAckFrame);
    EXPECT_EQ(Answer(handset, Frame(WritePacket(0, BlockData(kBlock, 0)))), kAckFrame);
    const std::vector<Outcome> outcomes = Send(handset, reset);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].answer, c.answer);
    EXPECT_EQ(outcomes[0].dropOff, c.dropOff);
    if (c.dropOff == DropOff::None) continue;
    handset.Reattach(DropOff::Reset);
    EXPECT_EQ(handset.CurrentMode(), Mode::Normal);
  }
}

TEST(Handset, DownloadProgramIgnoresTheAtCommand) {
  Handset handset(Mode::Download, FaultPlan());
  Bytes line(handset_sim::kAtCommand, handset_sim::kAtCommand + handset_sim::kAtCommandLength);
  line.insert(line.end(), kHelloFrame.begin(), kHelloFrame.end());
  const std::vector<Outcome> outcomes = Send(handset, line);
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_TRUE(outcomes[0].answer.empty());
  EXPECT_EQ(outcomes[1].answer, kAckFrame);
}

TEST(RequestLog, NamesEachRequestAndItsAnswer) {
  Handset handset(Mode::Download, FaultPlan({FaultRule{Fault::BadFcs, 0, 3, 0.0}, FaultRule{Fault::Silence, 0, 4, 0.0},
                                             FaultRule{Fault::Late, 0, 5, 0.0, kHour}}));
  Send(handset, Frame({0xF0, 0x01}));
  Send(handset, Frame(ErasePacket(0x10000, 0x30000)));
  Send(handset, Frame(WritePacket(0x12000, BlockData(100, 0))));
  Send(handset, kHelloFrame);
  Send(handset, {0x12, 0x34, 0x7E});
  EXPECT_EQ(handset_sim::FormatLog(handset.Log()),
            "#1 SET_BAUD code=1 -> ACK\n"
            "#2 ERASE start=0x00010000 length=0x00030000 -> ACK\n"
            "#3 WRITE offset=0x00012000 count=100 -> ACK (bad FCS)\n"
            "#4 HELLO -> no answer\n"
            "#5 BAD-FRAME -> NAK_BAD_CRC (late)\n");
}

}  // namespace
}  // namespace handset_sim_test
