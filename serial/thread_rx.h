// The receive thread: waits for bytes from the handset, drains them on each comm event and
// feeds them to the port's frame receiver. It never touches a window other than by posting.
#pragma once

#include <atomic>

#include "link/log_queue.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/thread.h"
#include "serial/serial_port.h"

// Flags shared with the download run, each with one writer.
extern std::atomic<BOOL> g_bKeepRunning;  // written by the run: the thread's loop goes on while set
// Set when the thread is started and again as Run begins; cleared by the thread object's
// constructor and, last of all, its destructor.
extern std::atomic<BOOL> g_bThreadActive;
extern std::atomic<BOOL> g_bThreadLost;  // set by the thread when the port went away under it

// Auto-delete, as every CWinThread is unless told otherwise: the object goes with its thread.
class CThreadRX : public CWinThread {
  DECLARE_DYNCREATE(CThreadRX)

 public:
  static constexpr DWORD kReceiveBufferSize = 512;

  CThreadRX();
  ~CThreadRX() override;

  // Hands the thread what it works on; Run waits for this.
  void StartReceiving(CWnd* owner, CSerialPort* port, CLogQueue* logQueue);

  BOOL InitInstance() override { return TRUE; }
  int Run() override;

 private:
  void DrainReceived();
  void LogLine(int kind, const CString& text) { QueueLogLine(m_pLogQueue, m_pOwner, kind, text); }

  CEvent m_startEvent{FALSE, FALSE};
  CWnd* m_pOwner = nullptr;
  CLogQueue* m_pLogQueue = nullptr;
  CSerialPort* m_pPort = nullptr;
};

// Starts a receive thread on an open port: created suspended at above-normal priority, resumed,
// then given its work. Answers the thread object, which deletes itself when the thread ends.
CThreadRX* StartReceiveThread(CWnd* owner, CSerialPort* port, CLogQueue* logQueue);

// Stops the receive thread, always in this order: clear keep-running, release the port (which
// ends the thread's wait), wait 1000 ms, lower the user-interface thread's priority, wait in
// 10 ms steps until the thread is no longer active, forget the thread, wait 10 ms more.
void StopReceiveThread(CSerialPort& port, CThreadRX*& thread);
