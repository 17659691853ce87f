#include "ui/run_report.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <map>
#include <utility>

#include "download/run_observer.h"
#include "image/image_block.h"
#include "link/frame_trace.h"
#include "platform/kernel/com_port.h"
#include "platform/kernel/text.h"
#include "ui/html.h"

namespace {

// The map: rows of 64 cells with a pixel between them, large for a small image and small
// enough for a 64 MiB one.
constexpr int kCellsPerRow = 64;
constexpr int kLargeCellsUpTo = 512;

int CellPitch(std::size_t blocks) { return blocks <= kLargeCellsUpTo ? 14 : 10; }

// The timing chart's plot and the room around it for the axes' labels.
constexpr int kChartWidth = 900;
constexpr int kChartHeight = 260;
constexpr int kChartLeft = 64;
constexpr int kChartRight = 12;
constexpr int kChartTop = 12;
constexpr int kChartBottom = 34;

constexpr char kStyle[] = R"(
body { font: 14px/1.45 "Liberation Sans", Arial, sans-serif; color: #222; margin: 24px; max-width: 980px; }
h1 { font-size: 22px; margin: 0 0 6px; }
h2 { font-size: 17px; margin: 28px 0 8px; padding-bottom: 3px; border-bottom: 1px solid #ccc; }
h3 { font-size: 14px; margin: 16px 0 4px; }
.verdict { display: inline-block; padding: 4px 10px; border-radius: 4px; font-weight: bold; }
.good { background: #e3f4e6; color: #1d6b2c; }
.bad { background: #fde5e5; color: #a31515; }
table.facts td { padding: 1px 14px 1px 0; vertical-align: top; }
table.facts td:first-child { color: #555; white-space: nowrap; }
code { font: 13px "Liberation Mono", monospace; word-break: break-all; }
.once { fill: #2e9e44; background: #2e9e44; }
.resent { fill: #e6a100; background: #e6a100; }
.unconfirmed { fill: #d62728; background: #d62728; }
.unsent { fill: #c9ced6; background: #c9ced6; }
.legend span { margin-right: 18px; white-space: nowrap; }
.swatch { display: inline-block; width: 12px; height: 12px; margin-right: 5px; vertical-align: -1px; }
.line-swatch { display: inline-block; width: 18px; height: 0; margin-right: 5px; vertical-align: 4px; border-top: 2px solid; }
svg text { font: 11px "Liberation Sans", Arial, sans-serif; fill: #555; }
.axis { stroke: #999; }
.grid { stroke: #e4e4e4; }
.rtt { stroke: #1f5fbf; stroke-width: 3; stroke-linecap: round; }
.nak { stroke: #e6a100; border-color: #e6a100; }
.silence { stroke: #d62728; stroke-dasharray: 4 3; border-color: #d62728; border-top-style: dashed; }
.reconnection { stroke: #7b3fb5; stroke-width: 2; border-color: #7b3fb5; }
.dot { border-color: #1f5fbf; border-top-width: 4px; width: 4px; }
pre.log { background: #fafafa; border: 1px solid #ddd; padding: 8px 10px; white-space: pre-wrap;
          font: 13px/1.35 "Liberation Mono", monospace; }
)";

std::string Milliseconds(std::uint64_t us) { return Printed("%.1f ms", static_cast<double>(us) / 1000.0); }

std::string Address(DWORD address) { return Printed("0x%lx", static_cast<unsigned long>(address)); }

DWORD BlockAddress(const RunAccount::Area& area, std::size_t index) {
  return area.shownBase + static_cast<DWORD>(index) * kImageBlockDataSize;
}

// What became of a block, as the map colours it.
enum class BlockOutcome { ConfirmedAtOnce, ConfirmedAfterResend, SentUnconfirmed, NotSent };

BlockOutcome OutcomeOf(const RunAccount::Block& block) {
  switch (block.fate) {
    case RunAccount::Fate::Confirmed:
      return block.tries > 1 ? BlockOutcome::ConfirmedAfterResend : BlockOutcome::ConfirmedAtOnce;
    case RunAccount::Fate::NotSent: return BlockOutcome::NotSent;
    default: return BlockOutcome::SentUnconfirmed;
  }
}

// How the map shows each outcome: its class and its words, in the order of BlockOutcome.
struct OutcomeLook {
  const char* cssClass;
  const char* text;
};
constexpr OutcomeLook kOutcomeLooks[] = {
    {"once", "confirmed at once"},
    {"resent", "confirmed after a resend"},
    {"unconfirmed", "sent, never confirmed"},
    {"unsent", "not sent"},
};
constexpr BlockOutcome kOutcomes[] = {BlockOutcome::ConfirmedAtOnce, BlockOutcome::ConfirmedAfterResend,
                                      BlockOutcome::SentUnconfirmed, BlockOutcome::NotSent};

const OutcomeLook& LookOf(BlockOutcome outcome) { return kOutcomeLooks[static_cast<std::size_t>(outcome)]; }

// How the timing shows each kind of mishap: its class and its words (a NAK's words are its code's).
struct MishapLook {
  RunAccount::Mishap::Kind kind;
  const char* cssClass;
  const char* text;
};
constexpr MishapLook kMishapLooks[] = {
    {RunAccount::Mishap::Kind::Nak, "nak", nullptr},
    {RunAccount::Mishap::Kind::Silence, "silence", "silence"},
    {RunAccount::Mishap::Kind::Reconnection, "reconnection", "reconnection"},
};

const MishapLook& LookOf(RunAccount::Mishap::Kind kind) {
  for (const MishapLook& look : kMishapLooks) {
    if (look.kind == kind) return look;
  }
  return kMishapLooks[0];
}

std::string MishapText(const RunAccount::Mishap& mishap) {
  const char* text = LookOf(mishap.kind).text;
  return text ? text : DescribeResponse(&mishap.code, 1);
}

// What a mishap befell, in words: "the block at 0x2000", "the erase".
std::string TargetText(const RunAccount& account, const RunAccount::Mishap& mishap) {
  if (mishap.request >= 0 && mishap.area >= 0) {
    return "the block at " + Address(BlockAddress(account.Areas()[static_cast<std::size_t>(mishap.area)],
                                                  static_cast<std::size_t>(mishap.request)));
  }
  switch (mishap.request) {
    case RunAccount::kErase: return "the erase";
    case RunAccount::kHello: return "a hello";
    case RunAccount::kOtherRequest: return "a copy, baud-rate or reset request";
    default: return "no request awaiting its answer";
  }
}

// The answers each block got besides its ACK, by area and index.
using BlockAnswers = std::map<std::pair<int, int>, std::string>;

BlockAnswers AnswersOfBlocks(const RunAccount& account) {
  BlockAnswers answers;
  for (const RunAccount::Mishap& mishap : account.Mishaps()) {
    if (mishap.request < 0) continue;
    std::string& text = answers[{mishap.area, mishap.request}];
    text += (text.empty() ? "" : ", ") + MishapText(mishap);
  }
  return answers;
}

Html Code(const std::string& text) { return Html::Element("code", {}, Html::Text(text)); }

Html Line() { return Html::Literal("\n"); }

std::string Number(int value) { return std::to_string(value); }

std::string Decimal(double value) { return Printed("%.1f", value); }

Html Facts(const ServiceRecord& record) {
  const auto row = [](const char* name, const Html& value) {
    return Html::Element("tr", {}, Html::Element("td", {}, Html::Text(name)) + Html::Element("td", {}, value)) + Line();
  };
  const ImageFacts& image = record.code.path.empty() ? record.font : record.code;
  Html port = Html::Text(platform::ComPortName(record.portNumber));
  if (!record.device.empty()) port += Html::Literal(" ") + Code(record.device);
  if (record.finalPortNumber) {
    port += Html::Text(", then " + platform::ComPortName(record.finalPortNumber));
    if (!record.finalDevice.empty()) port += Html::Literal(" ") + Code(record.finalDevice);
  }
  std::string ends;
  for (std::size_t i = 0; i < record.ends.size(); ++i)
    ends += std::string(i ? "; then " : "") + RunEndText(record.ends[i]);
  const SYSTEMTIME& t = record.startedLocal;
  Html rows;
  rows += row("Started", Html::Text(Printed("%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                                            t.wMinute, t.wSecond)));
  rows += row("Port", port);
  rows += row(record.code.path.empty() ? "Font image" : "Code image", Code(image.path));
  rows += row("Size", Html::Text(image.readable ? Printed("%llu bytes", image.size) : std::string("not readable")));
  if (image.readable) rows += row("SHA-256", Code(image.sha256));
  rows += row("Download type", Html::Text(record.downloadType));
  rows += row("Boot area", Html::Text(record.bootArea ? "yes" : "no"));
  if (!record.font.path.empty()) rows += row("Font address", Html::Text(record.fontAddress));
  rows += row("End", Html::Text(ends.empty() ? std::string("under way") : ends));
  const unsigned long seconds = record.elapsedMs / 1000;
  rows += row("Elapsed", Html::Text(Printed("%lu min %lu sec", seconds / 60, seconds % 60)));
  Html boxes;
  for (const std::string& box : record.messageBoxes) {
    if (!boxes.IsEmpty()) boxes += Html::Empty("br", {});
    boxes += Html::Text(box);
  }
  if (!boxes.IsEmpty()) rows += row("Message boxes", boxes);
  return Html::Element("table", {{"class", "facts"}}, Line() + rows) + Line();
}

Html Verdict(const ServiceRecord& record) {
  if (record.ends.empty()) {
    return Html::Element("p", {{"class", "verdict bad"}}, Html::Text("The run is under way, or was cut short.")) +
           Line();
  }
  const bool good = record.ends.back() == RunEnd::Completed;
  std::string text = RunEndText(record.ends.back());
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return Html::Element("p", {{"class", good ? "verdict good" : "verdict bad"}}, Html::Text(text + ".")) + Line();
}

Html Legend(const std::array<int, 4>& counts) {
  Html legend;
  for (const BlockOutcome outcome : kOutcomes) {
    const OutcomeLook& look = LookOf(outcome);
    legend += Html::Element("span", {},
                            Html::Element("i", {{"class", std::string("swatch ") + look.cssClass}}, Html()) +
                                Html::Text(std::string(look.text) + ": ") +
                                Html::Element("b", {{"class", std::string("count-") + look.cssClass}},
                                              Html::Text(Number(counts[static_cast<std::size_t>(outcome)]))));
  }
  return Html::Element("p", {{"class", "legend"}}, legend) + Line();
}

Html AreaHeading(const RunAccount::Area& area, std::size_t number, std::size_t areas) {
  const Html heading = Html::Element("h3", {},
                                     Html::Text(Printed("Area %zu of %zu: %lu bytes at %s, %zu blocks", number + 1,
                                                        areas, static_cast<unsigned long>(area.length),
                                                        Address(area.shownBase).c_str(), area.blocks.size())));
  std::string erase;
  switch (area.erase) {
    case RunAccount::Fate::Confirmed: erase = "confirmed in " + Milliseconds(area.eraseRoundTripUs); break;
    case RunAccount::Fate::NotSent: erase = "not sent"; break;
    default: erase = "never confirmed"; break;
  }
  std::string hellos;
  for (const std::uint32_t roundTrip : area.helloRoundTripsUs)
    hellos += (hellos.empty() ? "" : ", ") + Milliseconds(roundTrip);
  return heading + Line() +
         Html::Element(
             "p", {},
             Html::Text("Erase: " + erase + ". Hellos answered in: " + (hellos.empty() ? "none" : hellos) + ".")) +
         Line();
}

Html AreaMap(const RunAccount::Area& area, int areaIndex, const BlockAnswers& answers, std::array<int, 4>& counts) {
  const int blocks = static_cast<int>(area.blocks.size());
  const int columns = std::max(1, std::min(blocks, kCellsPerRow));
  const int rows = (blocks + kCellsPerRow - 1) / kCellsPerRow;
  const int pitch = CellPitch(area.blocks.size());
  Html cells = Line();
  cells.Reserve(area.blocks.size() * 120);
  for (int i = 0; i < blocks; ++i) {
    const RunAccount::Block& block = area.blocks[static_cast<std::size_t>(i)];
    const BlockOutcome outcome = OutcomeOf(block);
    ++counts[static_cast<std::size_t>(outcome)];
    std::string tip = Address(BlockAddress(area, static_cast<std::size_t>(i))) + ": " + LookOf(outcome).text;
    if (outcome != BlockOutcome::NotSent) {
      tip +=
          Printed(", %d %s, %s", block.tries, block.tries == 1 ? "try" : "tries", block.raw ? "bare data" : "framed");
      const auto found = answers.find({areaIndex, i});
      std::string said = found == answers.end() ? std::string() : found->second;
      if (block.fate == RunAccount::Fate::Confirmed) said += (said.empty() ? "" : ", ") + std::string("ACK");
      if (!said.empty()) tip += "; answers: " + said;
      if (block.fate == RunAccount::Fate::Confirmed) tip += "; round trip " + Milliseconds(block.roundTripUs);
    }
    cells += Html::Element("rect",
                           {{"class", LookOf(outcome).cssClass},
                            {"x", Number(i % kCellsPerRow * pitch)},
                            {"y", Number(i / kCellsPerRow * pitch)},
                            {"width", Number(pitch - 1)},
                            {"height", Number(pitch - 1)}},
                           Html::Element("title", {}, Html::Text(tip))) +
             Line();
  }
  return Html::Element("svg",
                       {{"class", "map"},
                        {"xmlns", "http://www.w3.org/2000/svg"},
                        {"width", Number(columns * pitch)},
                        {"height", Number(std::max(1, rows) * pitch)}},
                       cells) +
         Line();
}

Html BlockMap(const RunAccount& account) {
  const BlockAnswers answers = AnswersOfBlocks(account);
  std::array<int, 4> counts{};
  Html areas;
  for (std::size_t i = 0; i < account.Areas().size(); ++i) {
    areas += AreaHeading(account.Areas()[i], i, account.Areas().size());
    areas += AreaMap(account.Areas()[i], static_cast<int>(i), answers, counts);
  }
  if (areas.IsEmpty()) areas = Html::Element("p", {}, Html::Text("No block was sent.")) + Line();
  return Html::Element("h2", {}, Html::Text("Blocks")) + Line() + Legend(counts) + areas;
}

// The smallest of 1, 2 and 5 times a power of ten that is at least `value`.
double RoundedUp(double value) {
  if (value <= 0) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(value)));
  for (const double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * power >= value) return step * power;
  }
  return 10 * power;
}

// The time axis runs from the run's start to the last thing on it, in milliseconds.
struct ChartScale {
  double endMs = 1;
  double topMs = 1;  // the longest round trip the axis shows
  double X(double ms) const { return kChartLeft + ms / endMs * (kChartWidth - kChartLeft - kChartRight); }
  double Y(double ms) const {
    const double plot = kChartHeight - kChartTop - kChartBottom;
    return kChartTop + plot - std::min(ms, topMs) / topMs * plot;
  }
};

Html ChartAxes(const ChartScale& scale) {
  Html axes;
  const double bottom = kChartHeight - kChartBottom;
  for (int i = 0; i <= 4; ++i) {
    const double ms = scale.topMs * i / 4;
    axes += Html::Empty("line", {{"class", "grid"},
                                 {"x1", Number(kChartLeft)},
                                 {"x2", Number(kChartWidth - kChartRight)},
                                 {"y1", Decimal(scale.Y(ms))},
                                 {"y2", Decimal(scale.Y(ms))}});
    axes +=
        Html::Element("text", {{"x", Number(kChartLeft - 6)}, {"y", Decimal(scale.Y(ms) + 4)}, {"text-anchor", "end"}},
                      Html::Text(Printed("%g ms", ms))) +
        Line();
  }
  const double step = RoundedUp(scale.endMs / 1000 / 8);
  for (double seconds = 0; seconds * 1000 <= scale.endMs; seconds += step) {
    axes +=
        Html::Element("text",
                      {{"x", Decimal(scale.X(seconds * 1000))}, {"y", Decimal(bottom + 16)}, {"text-anchor", "middle"}},
                      Html::Text(Printed("%g s", seconds))) +
        Line();
  }
  axes += Html::Empty("line", {{"class", "axis"},
                               {"x1", Number(kChartLeft)},
                               {"x2", Number(kChartWidth - kChartRight)},
                               {"y1", Decimal(bottom)},
                               {"y2", Decimal(bottom)}}) +
          Line();
  return axes;
}

Html Timing(const RunAccount& account, unsigned long elapsedMs) {
  std::vector<std::uint32_t> roundTrips;
  double endMs = static_cast<double>(elapsedMs);
  const RunAccount::Block* slowest = nullptr;
  DWORD slowestAddress = 0;
  for (const RunAccount::Area& area : account.Areas()) {
    for (std::size_t i = 0; i < area.blocks.size(); ++i) {
      const RunAccount::Block& block = area.blocks[i];
      if (block.fate != RunAccount::Fate::Confirmed) continue;
      roundTrips.push_back(block.roundTripUs);
      endMs = std::max(endMs, block.sentMs + block.roundTripUs / 1000.0);
      if (!slowest || block.roundTripUs > slowest->roundTripUs) {
        slowest = &block;
        slowestAddress = BlockAddress(area, i);
      }
    }
  }
  for (const RunAccount::Mishap& mishap : account.Mishaps()) endMs = std::max(endMs, mishap.atUs / 1000.0);

  Html timing = Html::Element("h2", {}, Html::Text("Line timing")) + Line();
  if (slowest) {
    std::nth_element(roundTrips.begin(), roundTrips.begin() + static_cast<std::ptrdiff_t>(roundTrips.size() / 2),
                     roundTrips.end());
    timing +=
        Html::Element(
            "p", {},
            Html::Text("Round trip of a confirmed block: median ") +
                Html::Element("b", {{"class", "median"}}, Html::Text(Milliseconds(roundTrips[roundTrips.size() / 2]))) +
                Html::Text(", slowest ") +
                Html::Element("b", {{"class", "slowest"}}, Html::Text(Milliseconds(slowest->roundTripUs))) +
                Html::Text(" (the block at " + Address(slowestAddress) +
                           Printed(", %.1f s into the run).", slowest->sentMs / 1000.0))) +
        Line();
  } else {
    timing += Html::Element("p", {}, Html::Text("No block was confirmed.")) + Line();
  }
  timing += Html::Literal(
      "<p class=\"legend\"><span><i class=\"line-swatch dot\"></i>round trip of a block, at its answer</span>"
      "<span><i class=\"line-swatch nak\"></i>NAK</span><span><i class=\"line-swatch silence\"></i>silence</span>"
      "<span><i class=\"line-swatch reconnection\"></i>reconnection</span></p>\n");

  ChartScale scale;
  scale.endMs = std::max(endMs, 1.0);
  scale.topMs = RoundedUp(slowest ? slowest->roundTripUs / 1000.0 : 1.0);
  Html chart = Line() + ChartAxes(scale);
  std::string dots;
  dots.reserve(roundTrips.size() * 16);
  for (const RunAccount::Area& area : account.Areas()) {
    for (const RunAccount::Block& block : area.blocks) {
      if (block.fate != RunAccount::Fate::Confirmed) continue;
      const double ms = block.roundTripUs / 1000.0;
      dots += Printed("M%.1f %.1fh0", scale.X(block.sentMs + ms), scale.Y(ms));
    }
  }
  if (!dots.empty()) chart += Html::Empty("path", {{"class", "rtt"}, {"d", dots}}) + Line();
  for (const RunAccount::Mishap& mishap : account.Mishaps()) {
    const std::string x = Decimal(scale.X(mishap.atUs / 1000.0));
    chart += Html::Element("line",
                           {{"class", LookOf(mishap.kind).cssClass},
                            {"x1", x},
                            {"x2", x},
                            {"y1", Number(kChartTop)},
                            {"y2", Number(kChartHeight - kChartBottom)}},
                           Html::Element("title", {},
                                         Html::Text(MishapText(mishap) + " on " + TargetText(account, mishap) +
                                                    Printed(", %.3f s into the run", mishap.atUs / 1e6)))) +
             Line();
  }
  return timing +
         Html::Element("svg",
                       {{"class", "timing"},
                        {"xmlns", "http://www.w3.org/2000/svg"},
                        {"width", Number(kChartWidth)},
                        {"height", Number(kChartHeight)}},
                       chart) +
         Line();
}

Html Log(const std::vector<LogPiece>& pieces) {
  Html log;
  bool first = true;
  for (const LogPiece& piece : pieces) {
    if (piece.newLine && !first) log += Line();
    first = false;
    log += Html::Element("span",
                         {{"style", Printed("color:#%02x%02x%02x", GetRValue(piece.color), GetGValue(piece.color),
                                            GetBValue(piece.color))}},
                         Html::Text(piece.text));
  }
  return Html::Element("h2", {}, Html::Text("Log")) + Line() + Html::Element("pre", {{"class", "log"}}, log) + Line();
}

}  // namespace

std::string FormatRunReport(const ServiceRecord& record, const RunAccount& account, const std::vector<LogPiece>& log) {
  const ImageFacts& image = record.code.path.empty() ? record.font : record.code;
  const std::string name = image.path.substr(image.path.find_last_of('/') + 1);
  const Html head =
      Html::Empty("meta", {{"charset", "utf-8"}}) + Line() +
      Html::Element("title", {},
                    Html::Text("Run report: " + name + " on " + platform::ComPortName(record.portNumber))) +
      Line() + Html::Element("style", {}, Html::Literal(kStyle)) + Line();
  const Html body = Html::Element("h1", {}, Html::Text("Run report: " + name)) + Line() + Verdict(record) +
                    Facts(record) + BlockMap(account) + Timing(account, record.elapsedMs) + Log(log);
  const Html page = Html::Literal("<!DOCTYPE html>\n") +
                    Html::Element("html", {{"xmlns", "http://www.w3.org/1999/xhtml"}, {"lang", "en"}},
                                  Line() + Html::Element("head", {}, Line() + head) + Line() +
                                      Html::Element("body", {}, Line() + body) + Line()) +
                    Line();
  return page.Markup();
}
