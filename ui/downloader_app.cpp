#include "ui/downloader_app.h"

#include <cstdio>

#include "resources/resources.h"
#include "ui/batch_station.h"
#include "ui/downloader_dlg.h"
#include "ui/json_events.h"
#include "ui/port_list.h"
#include "ui/run_recorder.h"

#ifndef FLASHGATE_VERSION
#error "FLASHGATE_VERSION comes from the build"
#endif

CDownloaderApp::CDownloaderApp() = default;

BOOL CDownloaderApp::InitApplication() {
  std::string error;
  if (!ParseCommandLine(m_arguments, &m_commandLine, &error)) {
    std::fprintf(stderr, "flashgate: %s\nTry 'flashgate --help'.\n", error.c_str());
    m_nExitCode = EXIT_USAGE;
    return FALSE;
  }
  if (m_commandLine.help || m_commandLine.version) {
    std::fputs(m_commandLine.help ? UsageText().c_str() : "flashgate " FLASHGATE_VERSION "\n", stdout);
    return FALSE;
  }
  if (!m_commandLine.tracePath.empty() && !m_trace.Open(m_commandLine.tracePath.c_str())) {
    std::fprintf(stderr, "flashgate: the trace cannot be written to %s\n", m_commandLine.tracePath.c_str());
    m_nExitCode = EXIT_USAGE;
    return FALSE;
  }
  // Neither shows a window, and a script may run them where there is no display.
  if (m_commandLine.batch || m_commandLine.listPorts) platform::UseOffscreenDisplay();
  return TRUE;
}

BOOL CDownloaderApp::InitInstance() {
  // The window system hosts every control of the templates, the 3-D look and the rich edit
  // included, without being asked; what the program brings is its resources.
  resources::RegisterResources();
  if (m_commandLine.listPorts) {
    const std::vector<platform::PortDescription> ports = platform::ListPorts();
    if (m_commandLine.json) {
      PrintPortsJson(ports, stdout);
    } else {
      PrintPorts(ports, stdout);
    }
    return FALSE;
  }
  CRunRecorder recorder{RecordStore(RecordStore::DefaultFolder())};
  // A station that asked for the report where it wants it learns at once that it cannot have it.
  std::string error;
  if (!m_commandLine.reportPath.empty() && !recorder.ReportAlsoTo(m_commandLine.reportPath, &error)) {
    std::fprintf(stderr, "flashgate: the run report cannot be written to %s: %s\n", m_commandLine.reportPath.c_str(),
                 error.c_str());
    m_nExitCode = EXIT_USAGE;
    return FALSE;
  }
  if (m_commandLine.batch) {
    RunStation(recorder);
  } else {
    RunWindow(recorder);
  }
  return FALSE;
}

int CDownloaderApp::ExitInstance() { return m_nExitCode; }

void CDownloaderApp::RunWindow(CRunRecorder& recorder) {
  CDownloaderDlg dialog;
  dialog.AddRunObserver(&recorder);
  dialog.SetPreselection(m_commandLine.preselection);
  dialog.ShowReportsOf(&recorder);
  if (!m_commandLine.tracePath.empty()) dialog.TraceFrames(&m_trace);
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  dialog.RemoveRunObserver(&recorder);
}

void CDownloaderApp::RunStation(CRunRecorder& recorder) {
  // With --json, standard output carries the events alone and the log goes with the prose.
  const bool json = m_commandLine.json;
  CBatchStation station(m_commandLine, json ? stderr : stdout, stderr);
  CJsonEvents events(stdout, station, recorder);
  station.AddRunObserver(&recorder);
  if (json) station.AddRunObserver(&events);
  if (!m_commandLine.tracePath.empty()) station.TraceFrames(&m_trace);
  station.Start(m_commandLine.preselection);
  station.RunToTheEnd();
  if (json) {
    station.RemoveRunObserver(&events);
    events.Finish();
  }
  station.RemoveRunObserver(&recorder);
  m_nExitCode = station.ExitCode();
}
