// The run's report and its frame trace, for a run with a NAK, a silence and a reconnection: the
// block map a browser shows, the marks on the line's timing, and a trace that tells the same
// story as the handset's own account of what it was sent and what it answered.
#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "link/commands.h"
#include "link/frame_trace.h"
#include "tests/download/run_fixture.h"
#include "tests/support/browser.h"
#include "tests/support/read_file.h"
#include "ui/run_recorder.h"

namespace testing_support {
namespace {

using handset_sim::Fault;
using handset_sim::FaultRule;
using handset_sim::LogEntry;

constexpr DWORD kBlock = 8192;
constexpr std::uint64_t kBlock0 = 7;  // hello, copy, baud, reset, hello, erase, then block 0

FaultRule Nak(std::uint64_t at) { return FaultRule{Fault::Nak, NAK_BAD_CRC, at, 0.0}; }
FaultRule Silence(std::uint64_t at) { return FaultRule{Fault::Silence, 0, at, 0.0}; }
FaultRule BadFcs(std::uint64_t at) { return FaultRule{Fault::BadFcs, 0, at, 0.0}; }

// Every piece of `text` between `open` and the next `close`.
std::vector<std::string> Between(const std::string& text, const std::string& open, const std::string& close) {
  std::vector<std::string> found;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const std::size_t end = text.find(close, at);
    if (end == std::string::npos) break;
    found.push_back(text.substr(at, end - at));
  }
  return found;
}

// What the trace says of the frames that went one way: each line's words after its byte count.
std::vector<std::string> Frames(const std::string& trace, const std::string& direction) {
  std::vector<std::string> frames;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string time, way, bytes, rest;
    if (!(words >> time >> way >> bytes) || way != direction) continue;
    std::getline(words >> std::ws, rest);
    frames.push_back(rest);
  }
  return frames;
}

// The trace's words for what the handset logged: its request, or its answer.
std::string RequestWords(const LogEntry& entry) {
  CString words;
  if (entry.kind == LogEntry::Kind::Raw) {
    words.Format("DATA offset=0x%x count=%u", entry.offset, entry.count);
  } else if (entry.code == CMD_WRITE) {
    words.Format("WRITE offset=0x%x count=%u", entry.offset, entry.count);
  } else if (entry.code == CMD_SET_BAUD) {
    words.Format("SET_BAUD code=%u", entry.baudCode);
  } else if (entry.code == CMD_ERASE) {
    words.Format("ERASE offset=0x%x length=%u", entry.offset, entry.length);
  } else {
    static const std::map<BYTE, const char*> kNames = {
        {CMD_HELLO, "HELLO"}, {CMD_COPY_MODULE, "COPY_MODULE"}, {CMD_RESET, "RESET"}};
    words = kNames.at(entry.code);
  }
  return words.str();
}

// Block 0 is refused once and then confirmed; block 2 is refused and its resend goes unanswered,
// as do the bare blocks 3 and 4 after it; the station reconnects, blocks 5 to 7 go bare and are
// confirmed, and the answer to the final reset comes with a broken FCS, which is no answer.
TEST_F(DownloadRun, TheReportAndTheTraceShowWhatTheHandsetConfirmed) {
  handset_sim::Config config;
  config.faults = {Nak(kBlock0),         Nak(kBlock0 + 3),     Silence(kBlock0 + 4),
                   Silence(kBlock0 + 5), Silence(kBlock0 + 6), BadFcs(kBlock0 + 10)};
  StartHandset(config);
  CRunRecorder recorder{RecordStore(files.File("records"))};
  dialog.AddRunObserver(&recorder);
  CFrameTrace trace;
  ASSERT_TRUE(trace.Open(files.File("frames.trace").c_str()));
  dialog.TraceFrames(&trace);

  RunDialog([&] {
    SelectCode(WriteImage("PHONE.bin", MakeImage({"CODE", 8 * kBlock})));
    PressDownload();
    ASSERT_TRUE(SilenceUntilReconnection(kBlock0 + 4, kBlock0 + 6));
    ASSERT_TRUE(PumpUntilRequests(kBlock0 + 10)) << "the final reset";
    Elapse(kFinalResetTimeoutMs);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));
  });
  dialog.TraceFrames(nullptr);
  dialog.RemoveRunObserver(&recorder);

  const std::string page = ReadWholeFile(recorder.LastReportPath());
  EXPECT_EQ(Between(page, "<rect class=\"", "\""),
            (std::vector<std::string>{"resent", "once", "unconfirmed", "unconfirmed", "unconfirmed", "once", "once",
                                      "once"}));
  std::vector<std::string> tips;
  for (const std::string& cell : Between(page, "<rect class=", "</rect>")) {
    const std::string tip = Between(cell, "<title>", "</title>").at(0);
    tips.push_back(tip.substr(0, tip.find("; round trip")));
  }
  EXPECT_EQ(tips, (std::vector<std::string>{
                      "0x0: confirmed after a resend, 2 tries, framed; answers: NAK_BAD_CRC, ACK",
                      "0x2000: confirmed at once, 1 try, framed; answers: ACK",
                      "0x4000: sent, never confirmed, 2 tries, framed; answers: NAK_BAD_CRC, silence",
                      "0x6000: sent, never confirmed, 1 try, bare data; answers: silence",
                      "0x8000: sent, never confirmed, 1 try, bare data; answers: silence, reconnection",
                      "0xa000: confirmed at once, 1 try, bare data; answers: ACK",
                      "0xc000: confirmed at once, 1 try, bare data; answers: ACK",
                      "0xe000: confirmed at once, 1 try, bare data; answers: ACK",
                  }));
  std::vector<std::string> marks = Between(page, "<line class=\"", "\"");
  marks.erase(std::remove_if(marks.begin(), marks.end(),
                             [](const std::string& kind) { return kind == "grid" || kind == "axis"; }),
              marks.end());
  EXPECT_EQ(marks,
            (std::vector<std::string>{"nak", "nak", "silence", "silence", "silence", "reconnection", "silence"}));
  const std::vector<std::string> silences = Between(page, "<title>silence on ", "</title>");
  EXPECT_EQ(silences.front(), "the block at 0x4000, 5.000 s into the run");
  EXPECT_EQ(silences.back().rfind("a copy, baud-rate or reset request, ", 0), 0u) << "the final reset";
  EXPECT_NE(page.find("<span style=\"color:#ff0000\">다시 시작!!!!!</span>"), std::string::npos);

  // The trace has every request the handset logged, in order, and each of its answers.
  const std::string frames = ReadWholeFile(files.File("frames.trace"));
  std::vector<std::string> sent;
  std::vector<std::string> answers;
  for (const LogEntry& entry : handset->Log()) {
    sent.push_back(RequestWords(entry) + (entry.kind == LogEntry::Kind::Raw ? " fcs=none" : " fcs=ok"));
    if (entry.badFcs) {
      answers.push_back("? fcs=bad");
    } else if (entry.answer) {
      answers.push_back(*entry.answer == ACK ? "ACK fcs=ok" : "NAK_BAD_CRC fcs=ok");
    }
  }
  EXPECT_EQ(Frames(frames, "TX"), sent);
  EXPECT_EQ(Frames(frames, "RX"), answers);

  // A browser shows the cells in their colours, as many of each as the legend counts, and
  // meets no error in the page read as XML.
  const std::string work = files.File("browser");
  std::filesystem::create_directories(work);
  const RenderedPage counted = RenderInChromium(recorder.LastReportPath(), R"(
    const counts = {};
    for (const cell of document.querySelectorAll('svg.map rect')) {
      const fill = getComputedStyle(cell).fill;
      counts[fill] = (counts[fill] || 0) + 1;
    }
    const shown = Object.keys(counts).sort().map(fill => fill + '=' + counts[fill]);
    for (const kind of ['once', 'resent', 'unconfirmed', 'unsent'])
      shown.push(kind + '=' + document.querySelector('.count-' + kind).textContent);
    const out = document.createElement('pre');
    out.id = 'rendered';
    out.textContent = shown.join(';');
    document.body.appendChild(out);)",
                                                work);
  ASSERT_TRUE(counted.rendered) << ReadWholeFile(work + "/browser.log");
  EXPECT_EQ(Between(counted.dom, "<pre id=\"rendered\">", "</pre>"),
            std::vector<std::string>{"rgb(214, 39, 40)=3;rgb(230, 161, 0)=1;rgb(46, 158, 68)=4;"
                                     "once=4;resent=1;unconfirmed=3;unsent=0"});
  EXPECT_EQ(counted.console, "");
  const std::string asXml = work + "/report.xhtml";
  std::filesystem::copy_file(recorder.LastReportPath(), asXml);
  const RenderedPage parsed = RenderInChromium(asXml, "", work);
  ASSERT_TRUE(parsed.rendered);
  EXPECT_EQ(parsed.dom.find("parsererror"), std::string::npos) << parsed.dom.substr(0, 2000);
  EXPECT_NE(parsed.dom.find("class=\"map\""), std::string::npos) << "the page was read whole";
  EXPECT_EQ(parsed.console, "");
}

}  // namespace
}  // namespace testing_support
