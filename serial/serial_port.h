// The one serial port of the program, with the framing state of the link and the response
// buffer the receive thread fills. The user-interface thread calls everything except
// ReadAvailable and FeedReceived, which belong to the receive thread.
#pragma once

#include <array>
#include <atomic>

#include "image/image_block.h"
#include "link/frame.h"
#include "link/frame_trace.h"
#include "link/log_queue.h"
#include "platform/kernel/comm.h"
#include "platform/kernel/text.h"
#include "platform/user/wnd.h"
#include "serial/response_queue.h"

// Set by a successful CSerialPort::Open, cleared by Close and at the start of every Open. The
// user-interface thread writes it; the receive thread reads it too, so it is atomic.
extern std::atomic<BOOL> g_bPortOpen;

class CSerialPort : public CObject {
 public:
  static constexpr int kResponseBufferSize = CResponseQueue::kResponseSize;
  // Where a frame is taken in until its closing flag.
  static constexpr int kReceiveBufferSize = static_cast<int>(wire::kMaxReceivedFrame);

  CSerialPort();
  ~CSerialPort() override;
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // The port itself.
  void SetLineSettings(BYTE portNumber, DWORD baudRate, BYTE byteSize, BYTE stopBits, BYTE parity);
  // COM1 to COM255: what a port number can name.
  static constexpr int kLastPortNumber = 255;
  void SetPortNumber(BYTE portNumber) { m_nPortNumber = portNumber; }
  bool Attach(CWnd* owner, CLogQueue* logQueue);
  // Every frame both ways goes into `trace` from now on; null: no trace.
  void SetTrace(CFrameTrace* trace) { m_pTrace = trace; }
  bool Open();
  bool ApplyLineSettings();
  bool Close();
  bool Release();
  bool WriteByte(BYTE b);
  bool WriteBuffer(const BYTE* data, DWORD count);
  DWORD ReadAvailable(BYTE* buffer, DWORD maxCount);

  // Framing.
  void SendPacket(const BYTE* packet, WORD count, int delayMs);
  void ResendLastPacket();
  bool SendByte(BYTE b, bool escape);
  bool FeedReceived(const BYTE* data, int count);

  // Requests. Each is one packet; the answer arrives later as WM_RESPONSE_READY.
  void SendHello();
  void SendCopyModule();
  void SendSetBaud(BYTE baudCode);
  void SendReset();
  void SendErase(DWORD start, DWORD length);
  void SendWriteBlock(const ImageBlock* block);
  // Unframed output: the bare data of a block, and the command that switches a handset
  // running its normal software into download mode.
  bool SendRawBlock(const ImageBlock* block);
  bool SendDownloadAtCommand();

  // Hand-over to the run: every response waits until the run takes it up.
  void DeliverResponse(const BYTE* payload, WORD length);
  void LogLine(int kind, const CString& text);
  // The oldest response waiting, now in the response buffer; null when none waits (its message
  // outlived the connection it came on).
  const BYTE* TakeResponse();
  // The code of the response the next WM_RESPONSE_READY takes up; false when none waits.
  bool PeekResponse(BYTE* code) { return m_responses.PeekCode(code); }
  // Bytes are gathered across reads until a flag closes the frame; a new connection, or a
  // frame too long for any response, starts the gathering again.
  void RestartReceive() {
    m_nReceiveCount = 0;
    m_nLineBytes = 0;
  }

  HANDLE GetHandle() const { return m_hComm.load(); }
  BYTE GetPortNumber() const { return m_nPortNumber; }

 private:
  bool WriteOverlapped(const BYTE* data, DWORD count);
  // Decodes what was gathered up to a closing flag and hands it over, or logs a bad frame.
  void TakeFrame();
  void ClearEvents();

  // Read by the receive thread while the user-interface thread may close the port.
  std::atomic<HANDLE> m_hComm{nullptr};
  int m_nReceiveCount = 0;
  std::size_t m_nLineBytes = 0;              // the line's bytes since the last frame ended, flags included
  CResponseQueue::Response m_response = {};  // the response last taken up
  CResponseQueue m_responses;
  CWnd* m_pOwner = nullptr;
  CLogQueue* m_pLogQueue = nullptr;
  std::atomic<CFrameTrace*> m_pTrace{nullptr};
  BYTE m_nPortNumber = 1;
  BYTE m_nByteSize = 8;
  DWORD m_dwBaudRate = 57600;
  BYTE m_nParity = NOPARITY;
  BYTE m_nStopBits = ONESTOPBIT;
  OVERLAPPED m_writeOverlapped = {};
  OVERLAPPED m_readOverlapped = {};
  int m_nSavedRequestLength = 0;
  BYTE m_savedRequest[wire::kMaxRequestLength] = {};

  // Receive side: the bytes of the frame being gathered, flags left out, then decoded in place.
  BYTE m_receiveBuffer[kReceiveBufferSize] = {};
  // The write request being built; bytes past a short block's count stay zero.
  ImageBlock m_writePacket = {};
  // Send side: sized for the worst case, so no request can overrun it.
  std::array<BYTE, wire::MaxFrameLength(wire::kMaxRequestLength)> m_sendFrame = {};
};
