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
#include "platform/kernel/text.h"

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

constexpr const char* kStyle = R"(
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

std::string Escaped(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\n':
      case '\t': escaped += c; break;
      // No other control character may stand in a page: a path could hold one.
      default: escaped += static_cast<unsigned char>(c) < 0x20 ? "\xEF\xBF\xBD" : std::string(1, c);
    }
  }
  return escaped;
}

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

const char* OutcomeClass(BlockOutcome outcome) {
  switch (outcome) {
    case BlockOutcome::ConfirmedAtOnce: return "once";
    case BlockOutcome::ConfirmedAfterResend: return "resent";
    case BlockOutcome::SentUnconfirmed: return "unconfirmed";
    case BlockOutcome::NotSent: return "unsent";
  }
  return "";
}

const char* OutcomeText(BlockOutcome outcome) {
  switch (outcome) {
    case BlockOutcome::ConfirmedAtOnce: return "confirmed at once";
    case BlockOutcome::ConfirmedAfterResend: return "confirmed after a resend";
    case BlockOutcome::SentUnconfirmed: return "sent, never confirmed";
    case BlockOutcome::NotSent: return "not sent";
  }
  return "";
}

std::string MishapText(const RunAccount::Mishap& mishap) {
  switch (mishap.kind) {
    case RunAccount::Mishap::Kind::Nak: return DescribeResponse(&mishap.code, 1);
    case RunAccount::Mishap::Kind::Silence: return "silence";
    case RunAccount::Mishap::Kind::Reconnection: return "reconnection";
  }
  return "";
}

const char* MishapClass(RunAccount::Mishap::Kind kind) {
  switch (kind) {
    case RunAccount::Mishap::Kind::Nak: return "nak";
    case RunAccount::Mishap::Kind::Silence: return "silence";
    case RunAccount::Mishap::Kind::Reconnection: return "reconnection";
  }
  return "";
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

std::string Facts(const ServiceRecord& record) {
  const auto row = [](const char* name, const std::string& value) {
    return std::string("<tr><td>") + name + "</td><td>" + value + "</td></tr>\n";
  };
  const ImageFacts& image = record.code.path.empty() ? record.font : record.code;
  std::string port = Printed("COM%d", record.portNumber);
  if (!record.device.empty()) port += " <code>" + Escaped(record.device) + "</code>";
  if (record.finalPortNumber) {
    port += Printed(", then COM%d", record.finalPortNumber);
    if (!record.finalDevice.empty()) port += " <code>" + Escaped(record.finalDevice) + "</code>";
  }
  std::string ends;
  for (std::size_t i = 0; i < record.ends.size(); ++i) ends += (i ? "; then " : "") + Escaped(record.ends[i]);
  const SYSTEMTIME& t = record.startedLocal;
  std::string rows;
  rows += row("Started",
              Printed("%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond));
  rows += row("Port", port);
  rows += row(record.code.path.empty() ? "Font image" : "Code image", "<code>" + Escaped(image.path) + "</code>");
  rows += row("Size", image.readable ? Printed("%llu bytes", image.size) : std::string("not readable"));
  if (image.readable) rows += row("SHA-256", "<code>" + image.sha256 + "</code>");
  rows += row("Download type", Escaped(record.downloadType));
  rows += row("Boot area", record.bootArea ? "yes" : "no");
  if (!record.font.path.empty()) rows += row("Font address", Escaped(record.fontAddress));
  rows += row("End", ends.empty() ? std::string("under way") : ends);
  const unsigned long seconds = record.elapsedMs / 1000;
  rows += row("Elapsed", Printed("%lu min %lu sec", seconds / 60, seconds % 60));
  std::string boxes;
  for (const std::string& box : record.messageBoxes) boxes += (boxes.empty() ? "" : "<br/>") + Escaped(box);
  if (!boxes.empty()) rows += row("Message boxes", boxes);
  return "<table class=\"facts\">\n" + rows + "</table>\n";
}

std::string Verdict(const ServiceRecord& record) {
  if (record.ends.empty()) return "<p class=\"verdict bad\">The run is under way, or was cut short.</p>\n";
  const bool good = record.ends.back() == RunEndText(RunEnd::Completed);
  std::string text = record.ends.back();
  text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return Printed("<p class=\"verdict %s\">", good ? "good" : "bad") + Escaped(text) + ".</p>\n";
}

std::string Legend(const std::array<int, 4>& counts) {
  std::string legend = "<p class=\"legend\">";
  for (const BlockOutcome outcome : {BlockOutcome::ConfirmedAtOnce, BlockOutcome::ConfirmedAfterResend,
                                     BlockOutcome::SentUnconfirmed, BlockOutcome::NotSent}) {
    legend += Printed("<span><i class=\"swatch %s\"></i>%s: <b class=\"count-%s\">%d</b></span>", OutcomeClass(outcome),
                      OutcomeText(outcome), OutcomeClass(outcome), counts[static_cast<std::size_t>(outcome)]);
  }
  return legend + "</p>\n";
}

std::string AreaHeading(const RunAccount::Area& area, std::size_t number, std::size_t areas) {
  std::string heading =
      Printed("<h3>Area %zu of %zu: %lu bytes at %s, %zu blocks</h3>\n", number + 1, areas,
              static_cast<unsigned long>(area.length), Address(area.shownBase).c_str(), area.blocks.size());
  std::string erase;
  switch (area.erase) {
    case RunAccount::Fate::Confirmed: erase = "confirmed in " + Milliseconds(area.eraseRoundTripUs); break;
    case RunAccount::Fate::NotSent: erase = "not sent"; break;
    default: erase = "never confirmed"; break;
  }
  std::string hellos;
  for (const std::uint32_t roundTrip : area.helloRoundTripsUs)
    hellos += (hellos.empty() ? "" : ", ") + Milliseconds(roundTrip);
  return heading + "<p>Erase: " + erase + ". Hellos answered in: " + (hellos.empty() ? "none" : hellos) + ".</p>\n";
}

std::string AreaMap(const RunAccount::Area& area, int areaIndex, const BlockAnswers& answers,
                    std::array<int, 4>& counts) {
  const int blocks = static_cast<int>(area.blocks.size());
  const int columns = std::max(1, std::min(blocks, kCellsPerRow));
  const int rows = (blocks + kCellsPerRow - 1) / kCellsPerRow;
  const int pitch = CellPitch(area.blocks.size());
  std::string map = Printed("<svg class=\"map\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\">\n",
                            columns * pitch, std::max(1, rows) * pitch);
  map.reserve(map.size() + area.blocks.size() * 120);
  for (int i = 0; i < blocks; ++i) {
    const RunAccount::Block& block = area.blocks[static_cast<std::size_t>(i)];
    const BlockOutcome outcome = OutcomeOf(block);
    ++counts[static_cast<std::size_t>(outcome)];
    std::string tip = Address(BlockAddress(area, static_cast<std::size_t>(i))) + ": " + OutcomeText(outcome);
    if (outcome != BlockOutcome::NotSent) {
      tip +=
          Printed(", %d %s, %s", block.tries, block.tries == 1 ? "try" : "tries", block.raw ? "bare data" : "framed");
      const auto found = answers.find({areaIndex, i});
      std::string said = found == answers.end() ? std::string() : found->second;
      if (block.fate == RunAccount::Fate::Confirmed) said += (said.empty() ? "" : ", ") + std::string("ACK");
      if (!said.empty()) tip += "; answers: " + said;
      if (block.fate == RunAccount::Fate::Confirmed) tip += "; round trip " + Milliseconds(block.roundTripUs);
    }
    map += Printed("<rect class=\"%s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"><title>", OutcomeClass(outcome),
                   i % kCellsPerRow * pitch, i / kCellsPerRow * pitch, pitch - 1, pitch - 1);
    map += tip + "</title></rect>\n";
  }
  return map + "</svg>\n";
}

std::string BlockMap(const RunAccount& account) {
  const BlockAnswers answers = AnswersOfBlocks(account);
  std::array<int, 4> counts{};
  std::string areas;
  for (std::size_t i = 0; i < account.Areas().size(); ++i) {
    areas += AreaHeading(account.Areas()[i], i, account.Areas().size());
    areas += AreaMap(account.Areas()[i], static_cast<int>(i), answers, counts);
  }
  if (areas.empty()) areas = "<p>No block was sent.</p>\n";
  return "<h2>Blocks</h2>\n" + Legend(counts) + areas;
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

std::string ChartAxes(const ChartScale& scale) {
  std::string axes;
  const double bottom = kChartHeight - kChartBottom;
  for (int i = 0; i <= 4; ++i) {
    const double ms = scale.topMs * i / 4;
    axes += Printed("<line class=\"grid\" x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\"/>", kChartLeft,
                    kChartWidth - kChartRight, scale.Y(ms), scale.Y(ms));
    axes +=
        Printed("<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%g ms</text>\n", kChartLeft - 6, scale.Y(ms) + 4, ms);
  }
  const double step = RoundedUp(scale.endMs / 1000 / 8);
  for (double seconds = 0; seconds * 1000 <= scale.endMs; seconds += step) {
    axes += Printed("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">%g s</text>\n", scale.X(seconds * 1000),
                    bottom + 16, seconds);
  }
  axes += Printed("<line class=\"axis\" x1=\"%d\" x2=\"%d\" y1=\"%.1f\" y2=\"%.1f\"/>\n", kChartLeft,
                  kChartWidth - kChartRight, bottom, bottom);
  return axes;
}

std::string Timing(const RunAccount& account, unsigned long elapsedMs) {
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

  std::string timing = "<h2>Line timing</h2>\n";
  if (slowest) {
    std::nth_element(roundTrips.begin(), roundTrips.begin() + static_cast<std::ptrdiff_t>(roundTrips.size() / 2),
                     roundTrips.end());
    timing += "<p>Round trip of a confirmed block: median <b class=\"median\">" +
              Milliseconds(roundTrips[roundTrips.size() / 2]) + "</b>, slowest <b class=\"slowest\">" +
              Milliseconds(slowest->roundTripUs) + "</b> (the block at " + Address(slowestAddress) +
              Printed(", %.1f s into the run).</p>\n", slowest->sentMs / 1000.0);
  } else {
    timing += "<p>No block was confirmed.</p>\n";
  }
  timing +=
      "<p class=\"legend\"><span><i class=\"line-swatch dot\"></i>round trip of a block, at its answer</span>"
      "<span><i class=\"line-swatch nak\"></i>NAK</span><span><i class=\"line-swatch silence\"></i>silence</span>"
      "<span><i class=\"line-swatch reconnection\"></i>reconnection</span></p>\n";

  ChartScale scale;
  scale.endMs = std::max(endMs, 1.0);
  scale.topMs = RoundedUp(slowest ? slowest->roundTripUs / 1000.0 : 1.0);
  std::string chart =
      Printed("<svg class=\"timing\" xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\">\n", kChartWidth,
              kChartHeight);
  chart += ChartAxes(scale);
  std::string dots;
  dots.reserve(roundTrips.size() * 16);
  for (const RunAccount::Area& area : account.Areas()) {
    for (const RunAccount::Block& block : area.blocks) {
      if (block.fate != RunAccount::Fate::Confirmed) continue;
      const double ms = block.roundTripUs / 1000.0;
      dots += Printed("M%.1f %.1fh0", scale.X(block.sentMs + ms), scale.Y(ms));
    }
  }
  if (!dots.empty()) chart += "<path class=\"rtt\" d=\"" + dots + "\"/>\n";
  for (const RunAccount::Mishap& mishap : account.Mishaps()) {
    const double x = scale.X(mishap.atUs / 1000.0);
    chart += Printed("<line class=\"%s\" x1=\"%.1f\" x2=\"%.1f\" y1=\"%d\" y2=\"%d\"><title>", MishapClass(mishap.kind),
                     x, x, kChartTop, kChartHeight - kChartBottom);
    chart += MishapText(mishap) + " on " + TargetText(account, mishap) +
             Printed(", %.3f s into the run</title></line>\n", mishap.atUs / 1e6);
  }
  return timing + chart + "</svg>\n";
}

std::string Log(const std::vector<LogPiece>& pieces) {
  std::string log = "<h2>Log</h2>\n<pre class=\"log\">";
  bool first = true;
  for (const LogPiece& piece : pieces) {
    if (piece.newLine && !first) log += "\n";
    first = false;
    log += Printed("<span style=\"color:#%02x%02x%02x\">", GetRValue(piece.color), GetGValue(piece.color),
                   GetBValue(piece.color)) +
           Escaped(piece.text) + "</span>";
  }
  return log + "</pre>\n";
}

}  // namespace

std::string FormatRunReport(const ServiceRecord& record, const RunAccount& account, const std::vector<LogPiece>& log) {
  const ImageFacts& image = record.code.path.empty() ? record.font : record.code;
  const std::string name = image.path.substr(image.path.find_last_of('/') + 1);
  std::string page = "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n";
  page += "<meta charset=\"utf-8\"/>\n<title>Run report: " + Escaped(name) + Printed(" on COM%d", record.portNumber) +
          "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  page += "<h1>Run report: " + Escaped(name) + "</h1>\n" + Verdict(record) + Facts(record);
  page += BlockMap(account) + Timing(account, record.elapsedMs) + Log(log);
  return page + "</body>\n</html>\n";
}
