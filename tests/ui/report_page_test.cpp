// The run report's rules that no run against the stand-in reaches: what a path may hold, a boot
// area and a code area in one run, a run that confirmed nothing, and what each mark on the
// timing names.
#include <gtest/gtest.h>

#include "link/commands.h"
#include "platform/kernel/clock.h"
#include "ui/html.h"
#include "ui/run_report.h"

namespace {

bool Has(const std::string& page, const std::string& text) { return page.find(text) != std::string::npos; }

class ReportPage : public ::testing::Test {
 protected:
  ReportPage() { platform::UseClock(&clock); }
  ~ReportPage() override { platform::UseClock(nullptr); }

  platform::ManualClock clock;
  RunAccount account;
  ServiceRecord record;
};

// Text and attribute values become markup only escaped; markup joins markup as it is.
TEST(Html, EscapesTextAndAttributeValuesByConstruction) {
  const Html page = Html::Element("rect", {{"class", "a\"b"}, {"x", "<1>"}}, Html::Text("R&D <b>\x07")) +
                    Html::Empty("br", {}) + Html::Literal("\n");
  EXPECT_EQ(page.Markup(), "<rect class=\"a&quot;b\" x=\"&lt;1&gt;\">R&amp;D &lt;b&gt;\xEF\xBF\xBD</rect><br/>\n");
}

TEST_F(ReportPage, APathIsShownAsTextWhateverItHolds) {
  record.code.path = "/srv/<b>Q&A \"images\"/\x01PHONE.bin";
  record.ends = {RunEnd::Completed};
  const std::string page = FormatRunReport(record, account, {{"a <log> & line", RGB(255, 0, 0), true}});
  EXPECT_TRUE(Has(page, "<code>/srv/&lt;b&gt;Q&amp;A &quot;images&quot;/\xEF\xBF\xBDPHONE.bin</code>")) << page;
  EXPECT_TRUE(Has(page, "<h1>Run report: \xEF\xBF\xBDPHONE.bin</h1>"));
  EXPECT_TRUE(Has(page, "<span style=\"color:#ff0000\">a &lt;log&gt; &amp; line</span>"));
  EXPECT_FALSE(Has(page, "<b>Q&A"));
}

// The boot area went whole; the code area's erase was never answered and nothing of it was sent.
TEST_F(ReportPage, EachAreaHasItsMapAndTheLegendCountsThemAll) {
  record.ends = {RunEnd::NoAnswer};
  account.Clear();
  account.BeginArea(0x0, 0x4000, 2);
  for (int block = 0; block < 2; ++block) {
    account.SentBlock(block, false);
    account.Acknowledged();
  }
  account.BeginArea(0x8000, 0x6000, 3);
  account.SentErase();
  account.NoAnswer();
  const std::string page = FormatRunReport(record, account, {});
  EXPECT_TRUE(Has(page, "<h3>Area 1 of 2: 16384 bytes at 0x0, 2 blocks</h3>\n<p>Erase: not sent."));
  EXPECT_TRUE(Has(page, "<h3>Area 2 of 2: 24576 bytes at 0x8000, 3 blocks</h3>\n<p>Erase: never confirmed."));
  EXPECT_TRUE(Has(page, "count-once\">2<") && Has(page, "count-unsent\">3<")) << page;
  EXPECT_TRUE(Has(page, "<p class=\"verdict bad\">No answer from the handset.</p>"));
  EXPECT_TRUE(Has(page, "silence on the erase, 0.000 s into the run"));
}

TEST_F(ReportPage, ARunThatConfirmedNoBlockHasNoRoundTrips) {
  account.Clear();
  account.BeginArea(0, 0x2000, 1);
  account.SentHello();
  account.Refused(NAK_INVALID_CMD);
  clock.Advance(1500);
  account.SentBlock(0, false);
  account.MovedOn();
  account.Acknowledged();
  account.Reconnected();
  const std::string page = FormatRunReport(record, account, {});
  EXPECT_TRUE(Has(page, "<p>No block was confirmed.</p>"));
  EXPECT_FALSE(Has(page, "class=\"rtt\""));
  EXPECT_TRUE(Has(page, "<p class=\"verdict bad\">The run is under way, or was cut short.</p>"));
  EXPECT_TRUE(Has(page, "NAK_INVALID_CMD on a hello, 0.000 s into the run"));
  EXPECT_TRUE(Has(page, "reconnection on no request awaiting its answer, 1.500 s into the run"));
}

}  // namespace
