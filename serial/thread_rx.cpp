#include "serial/thread_rx.h"

#include "link/link_messages.h"
#include "platform/kernel/clock.h"
#include "platform/user/messages.h"

std::atomic<BOOL> g_bKeepRunning{FALSE};
std::atomic<BOOL> g_bThreadActive{FALSE};
std::atomic<BOOL> g_bThreadLost{FALSE};

IMPLEMENT_DYNCREATE(CThreadRX, CWinThread)

namespace {

// One receive buffer in the program; only the receive thread uses it.
BYTE g_receiveBuffer[CThreadRX::kReceiveBufferSize];

constexpr DWORD kPortOpenPollMs = 10;

}  // namespace

CThreadRX::CThreadRX() { g_bThreadActive = FALSE; }

CThreadRX::~CThreadRX() {
  Sleep(0);
  if (m_pOwner) ::PostMessage(m_pOwner->GetSafeHwnd(), WM_RX_THREAD_ENDED, 0, 0);
  g_bThreadActive = FALSE;
}

void CThreadRX::StartReceiving(CWnd* owner, CSerialPort* port, CLogQueue* logQueue) {
  m_pOwner = owner;
  m_pPort = port;
  m_pLogQueue = logQueue;
  m_startEvent.SetEvent();
}

int CThreadRX::Run() {
  m_startEvent.Lock(INFINITE);
  g_bThreadActive = TRUE;

  const HANDLE port = m_pPort->GetHandle();
  if (!SetCommMask(port, EV_RXCHAR)) {
    LogLine(LOG_INFO, "\nFail to set Comm mask\n\n");
    return 0;
  }
  if (!g_bKeepRunning) return 0;

  // The run starts this thread only on an open port, so this wait is normally empty; a stop
  // that comes meanwhile clears keep-running and ends it.
  while (!g_bPortOpen) {
    if (!g_bKeepRunning) return 0;
    Sleep(kPortOpenPollMs);
  }

  do {
    DWORD events = 0;
    WaitCommEvent(port, &events, nullptr);
    if (events & EV_RXCHAR) {
      DrainReceived();
    } else {
      // No characters: the port was closed under the wait, or the device went away.
      g_bThreadLost = TRUE;
      DWORD exitCode = 0;
      GetExitCodeThread(m_hThread, &exitCode);
      AfxEndThread(exitCode, TRUE);
    }
  } while (g_bKeepRunning && g_bPortOpen);
  return 0;
}

void CThreadRX::DrainReceived() {
  // A frame may end in a later event: a USB adapter or a slow line delivers an answer in
  // pieces, so what is gathered is kept until its closing flag.
  bool ok = true;
  for (;;) {
    const DWORD count = m_pPort->ReadAvailable(g_receiveBuffer, kReceiveBufferSize);
    if (count == 0) break;
    // After an overflow the rest of this event's bytes are read and dropped.
    if (ok) ok = m_pPort->FeedReceived(g_receiveBuffer, static_cast<int>(count));
  }
}

CThreadRX* StartReceiveThread(CWnd* owner, CSerialPort* port, CLogQueue* logQueue) {
  auto* thread = static_cast<CThreadRX*>(
      AfxBeginThread(RUNTIME_CLASS(CThreadRX), THREAD_PRIORITY_ABOVE_NORMAL, 0, CREATE_SUSPENDED, nullptr));
  if (!thread) return nullptr;
  // Active from here, not only once Run begins: a stop that comes before the new thread has
  // run at all must still wait for it, or the thread could later take up a port that was
  // opened again for the next connection.
  g_bThreadActive = TRUE;
  ::ResumeThread(thread->m_hThread);
  thread->StartReceiving(owner, port, logQueue);
  return thread;
}

void StopReceiveThread(CSerialPort& port, CThreadRX*& thread) {
  g_bKeepRunning = FALSE;
  port.Release();
  Sleep(1000);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
  while (g_bThreadActive) Sleep(10);
  thread = nullptr;
  Sleep(10);
}
