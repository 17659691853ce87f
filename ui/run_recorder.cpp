#include "ui/run_recorder.h"

#include <cstdio>

#include "platform/kernel/clock.h"
#include "platform/kernel/comm.h"
#include "platform/kernel/thread.h"
#include "ui/downloader_dlg.h"

namespace {

std::string DeviceBehind(int portNumber) {
  CString name;
  name.Format("COM%d", portNumber);
  char target[4096];
  return QueryDosDeviceA(name, target, sizeof target) ? std::string(target) : std::string();
}

}  // namespace

CRunRecorder::CRunRecorder(RecordStore store) : m_store(std::move(store)) {}

void CRunRecorder::OnRunStarted(const RunStart& start) {
  m_record = ServiceRecord{};
  GetSystemTime(&m_record.startedUtc);
  GetLocalTime(&m_record.startedLocal);
  m_dwStartTick = GetTickCount();
  m_record.portNumber = start.portNumber;
  m_record.device = DeviceBehind(start.portNumber);
  m_record.downloadType = start.downloadType == DOWNLOAD_NORMAL ? "NORMAL" : "EMERGENCY";
  m_record.bootArea = start.bootArea;
  if (!start.codePath.IsEmpty()) m_record.code = ReadImageFacts(start.codePath.GetString());
  if (!start.fontPath.IsEmpty()) m_record.font = ReadImageFacts(start.fontPath.GetString());
  m_record.fontAddress = start.fontAddress.GetString();
  m_fileName = RecordFileName(m_record, GetCurrentProcessId());
  m_bStarted = true;
  // Saved at once too: a run the program never sees end still leaves its record.
  Save();
}

void CRunRecorder::OnLogText(const CString& text, bool newLine) {
  if (!m_bStarted) return;
  // Lines end as the next one begins, so that a tick joins the line it closes.
  if (newLine && !m_record.log.empty()) m_record.log += '\n';
  m_record.log += text.GetString();
}

void CRunRecorder::NoteMessageBox(const CString& text) {
  if (!m_bStarted) return;
  CString box = text;
  box.TrimRight();
  m_record.messageBoxes.emplace_back(box.GetString());
}

void CRunRecorder::OnRunEnded(RunEnd end, int portNumber) {
  if (!m_bStarted) return;
  m_record.ends.emplace_back(RunEndText(end));
  if (portNumber != m_record.portNumber && portNumber != m_record.finalPortNumber) {
    m_record.finalPortNumber = portNumber;
    m_record.finalDevice = DeviceBehind(portNumber);
  }
  Save();
}

void CRunRecorder::Save() {
  m_record.elapsedMs = GetTickCount() - m_dwStartTick;
  std::string error;
  if (!m_store.Save(m_fileName, FormatRecord(m_record), &error)) {
    std::fprintf(stderr, "flashgate: no service record in %s: %s\n", m_store.Folder().c_str(), error.c_str());
  }
}

std::string CRunRecorder::LastRecordPath() const {
  return m_fileName.empty() ? std::string() : m_store.Folder() + "/" + m_fileName;
}
