#include "ui/run_recorder.h"

#include <cstdio>

#include "image/image_block.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/com_port.h"
#include "platform/kernel/comm.h"
#include "platform/kernel/file_system.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/thread.h"

namespace {

std::string DeviceBehind(int portNumber) {
  char target[4096];
  return QueryDosDeviceA(platform::ComPortName(portNumber).c_str(), target, sizeof target) ? std::string(target)
                                                                                           : std::string();
}

// "0x6000 (1 block)", "0x2000 to 0x7fff (3 blocks)", "erase of 40960 bytes at 0x0".
std::string GapText(const RunAccount::Gap& gap) {
  CString text;
  if (gap.blocks == 0) {
    text.Format("erase of %lu bytes at 0x%lx", static_cast<unsigned long>(gap.eraseLength),
                static_cast<unsigned long>(gap.firstAddress));
  } else if (gap.blocks == 1) {
    text.Format("0x%lx (1 block)", static_cast<unsigned long>(gap.firstAddress));
  } else {
    const DWORD last = gap.firstAddress + static_cast<DWORD>(gap.blocks) * kImageBlockDataSize - 1;
    text.Format("0x%lx to 0x%lx (%d blocks)", static_cast<unsigned long>(gap.firstAddress),
                static_cast<unsigned long>(last), gap.blocks);
  }
  return text.str();
}

}  // namespace

CRunRecorder::CRunRecorder(RecordStore store) : m_store(std::move(store)) {}

void CRunRecorder::OnRunStarted(const RunStart& start) {
  m_record = ServiceRecord{};
  m_log.clear();
  m_account = RunAccount{};
  GetSystemTime(&m_record.startedUtc);
  GetLocalTime(&m_record.startedLocal);
  m_dwStartTick = GetTickCount();
  m_record.portNumber = start.portNumber;
  m_record.device = DeviceBehind(start.portNumber);
  m_record.downloadType = start.downloadType ? start.downloadType->recordWord : "none";
  m_record.bootArea = start.bootArea;
  if (!start.codePath.IsEmpty()) m_record.code = ReadImageFacts(start.codePath.GetString());
  if (!start.fontPath.IsEmpty()) m_record.font = ReadImageFacts(start.fontPath.GetString());
  m_record.fontAddress = start.fontAddress.GetString();
  m_fileName = RecordFileName(m_record, GetCurrentProcessId());
  m_bStarted = true;
  // Saved at once too: a run the program never sees end still leaves its record.
  Save();
}

void CRunRecorder::OnLogText(const CString& text, COLORREF color, bool newLine) {
  if (!m_bStarted) return;
  // Lines end as the next one begins, so that a tick joins the line it closes.
  if (newLine && !m_record.log.empty()) m_record.log += '\n';
  m_record.log += text.GetString();
  m_log.push_back(LogPiece{text.str(), color, newLine});
}

void CRunRecorder::OnMessageBox(const CString& text) {
  if (!m_bStarted) return;
  CString box = text;
  box.TrimRight();
  m_record.messageBoxes.emplace_back(box.GetString());
}

void CRunRecorder::OnRunEnded(RunEnd end, int portNumber, const RunAccount& account) {
  if (!m_bStarted) return;
  m_record.ends.push_back(end);
  m_account = account;
  m_record.unconfirmed.clear();
  for (const RunAccount::Gap& gap : account.Gaps()) m_record.unconfirmed.push_back(GapText(gap));
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
    return;
  }
  const std::string page = FormatRunReport(m_record, m_account, m_log);
  if (!m_store.Save(RecordStore::ReportNameOf(m_fileName), page, &error)) {
    std::fprintf(stderr, "flashgate: no run report in %s: %s\n", m_store.Folder().c_str(), error.c_str());
  }
  if (!m_reportPath.empty() && !SaveReportAt(m_reportPath, page, &error)) {
    std::fprintf(stderr, "flashgate: no run report in %s: %s\n", m_reportPath.c_str(), error.c_str());
  }
}

std::string CRunRecorder::LastRecordPath() const {
  return m_fileName.empty() ? std::string() : m_store.Folder() + "/" + m_fileName;
}

std::string CRunRecorder::LastReportPath() const {
  return m_fileName.empty() ? std::string() : m_store.Folder() + "/" + RecordStore::ReportNameOf(m_fileName);
}

bool CRunRecorder::ReportAlsoTo(const std::string& path, std::string* error) {
  m_reportPath = path;
  return SaveReportAt(path, FormatRunReport(m_record, m_account, m_log), error);
}

bool CRunRecorder::SaveReportAt(const std::string& path, const std::string& page, std::string* error) const {
  if (platform::SaveFileWhole(path.c_str(), page.data(), static_cast<DWORD>(page.size()))) return true;
  switch (const DWORD failure = GetLastError()) {
    case ERROR_FILE_NOT_FOUND: *error = "its folder is not there"; break;
    case ERROR_ACCESS_DENIED: *error = "it may not be written there"; break;
    default: *error = Printed("error %lu", static_cast<unsigned long>(failure)); break;
  }
  return false;
}
