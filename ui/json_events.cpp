#include "ui/json_events.h"

#include <string>
#include <vector>

#include "platform/kernel/com_port.h"
#include "platform/kernel/comm.h"
#include "records/service_record.h"
#include "ui/batch_station.h"
#include "ui/json_lines.h"
#include "ui/run_recorder.h"

namespace {

using json_lines::Json;
using json_lines::TextOrNull;
using json_lines::Write;

// The words a script matches on; the prose of RunEndText may change.
const char* OutcomeWord(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return "completed";
    case RunEnd::CompletedUnconfirmed: return "unconfirmed";
    case RunEnd::NoAnswer: return "no-answer";
    case RunEnd::ReconnectFailed: return "reconnect-failed";
    case RunEnd::ReconnectDeclined: return "reconnect-declined";
    case RunEnd::PortNotOpened: return "port-not-opened";
    case RunEnd::Refused: return "refused";
    case RunEnd::NoDownloadType: return "no-download-type";
    case RunEnd::HandsetLost: return "handset-lost";
    case RunEnd::ImageUnreadable: return "image-unreadable";
    case RunEnd::Closed: return "closed";
  }
  return "closed";
}

const char* EventWord(RunEvent::Kind kind) {
  switch (kind) {
    case RunEvent::Kind::Request: return "request";
    case RunEvent::Kind::Block: return "block";
    case RunEvent::Kind::Resend: return "resend";
    case RunEvent::Kind::Silence: return "silence";
    case RunEvent::Kind::Reconnection: return "reconnection";
    case RunEvent::Kind::ModeChange: return "mode-change";
    case RunEvent::Kind::PortFollowed: return "port-followed";
  }
  return "request";
}

Json Event(const char* name) { return Json{{"v", 1}, {"event", name}}; }

}  // namespace

CJsonEvents::CJsonEvents(std::FILE* out, const CBatchStation& station, const CRunRecorder& recorder)
    : m_out(out), m_station(station), m_recorder(recorder) {}

void CJsonEvents::OnRunStarted(const RunStart& start) {
  // A station that could not begin still tells its observers of a refused image; its own end
  // (Finish) is the stream's.
  m_bIgnored = m_station.HasEnded();
  if (m_bIgnored) return;
  Json line = Event("start");
  line["port"] = platform::ComPortName(static_cast<unsigned>(start.portNumber));
  platform::PortDescription port{};
  for (const platform::PortDescription& each : platform::ListPorts()) {
    if (static_cast<int>(each.number) == start.portNumber) port = each;
  }
  line["device"] = TextOrNull(port.device.str());
  line["byId"] = TextOrNull(port.identity.str());
  line["byPath"] = TextOrNull(port.location.str());
  const bool code = !start.codePath.IsEmpty();
  const bool font = !start.fontPath.IsEmpty();
  const ImageFacts image = ReadImageFacts((code ? start.codePath : start.fontPath).str());
  line["image"] = code ? Json("code") : font ? Json("font") : Json(nullptr);
  line["path"] = TextOrNull(image.path);
  line["size"] = image.readable ? Json(image.size) : Json(nullptr);
  line["sha256"] = TextOrNull(image.sha256);
  line["type"] = start.downloadType ? Json(start.downloadType->commandWord) : Json(nullptr);
  if (font) line["fontAddress"] = start.fontAddress.str();
  Write(m_out, line);
}

void CJsonEvents::OnRunEvent(const RunEvent& event) {
  // What the run still does between its end and the station's close is not the station's.
  if (m_bEnded || m_bIgnored) return;
  Json line = Event(EventWord(event.kind));
  switch (event.kind) {
    case RunEvent::Kind::Request:
      line["request"] = event.request;
      line["area"] = event.area;
      break;
    case RunEvent::Kind::Block:
      line["area"] = event.area;
      line["index"] = event.block;
      line["address"] = event.address;
      line["confirmed"] = event.confirmed;
      line["roundTripUs"] = event.confirmed ? Json(event.roundTripUs) : Json(nullptr);
      break;
    case RunEvent::Kind::Resend: line["nak"] = event.nakCode ? Json(event.nakCode) : Json(nullptr); break;
    case RunEvent::Kind::PortFollowed:
      line["port"] = platform::ComPortName(static_cast<unsigned>(event.portNumber));
      break;
    default: break;
  }
  Write(m_out, line);
}

void CJsonEvents::Finish() {
  if (m_bEnded) return;
  m_bEnded = true;
  Json line = Event("end");
  line["outcome"] = m_station.ExitCode() == EXIT_PORT_NOT_OPENED ? "port-not-opened" : "closed";
  line["exitCode"] = m_station.ExitCode();
  line["reason"] = TextOrNull(m_station.EndReason().str());
  line["port"] = nullptr;
  line["unconfirmed"] = Json::array();
  line["record"] = nullptr;
  line["report"] = nullptr;
  Write(m_out, line);
}

void CJsonEvents::OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) {
  // The station ends with the first end; a late answer does not bring it back.
  if (m_bEnded || m_bIgnored) return;
  m_bEnded = true;
  Json line = Event("end");
  line["outcome"] = OutcomeWord(end);
  line["exitCode"] = m_station.ExitCode();
  line["reason"] = TextOrNull(m_station.EndReason().str());
  line["port"] = platform::ComPortName(static_cast<unsigned>(portNumber));
  Json unconfirmed = Json::array();
  for (const RunAccount::Gap& gap : account.Gaps()) {
    unconfirmed.push_back(gap.blocks == 0 ? Json{{"erase", gap.firstAddress}, {"length", gap.eraseLength}}
                                          : Json{{"address", gap.firstAddress}, {"blocks", gap.blocks}});
  }
  line["unconfirmed"] = unconfirmed;
  line["record"] = TextOrNull(m_recorder.LastRecordPath());
  line["report"] = TextOrNull(m_recorder.LastReportPath());
  Write(m_out, line);
}
