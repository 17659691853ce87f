// The frame trace: one line for every frame that goes to or comes from the handset, for a
// handset maker's engineer. Each line has the time in microseconds since the trace began, the
// direction (TX to the handset, RX from it), the bytes it took on the line, what it says
// (command, offset, byte count, response code) and whether its FCS held. Both the
// user-interface thread (what is sent) and the receive thread (what arrives) write to it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kernel/file.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/types.h"

// What a request or a response says, as the trace writes it: "WRITE offset=0x2000 count=8192".
std::string DescribeRequest(const BYTE* packet, std::size_t length);
std::string DescribeResponse(const BYTE* payload, std::size_t length);

class CFrameTrace {
 public:
  // Starts the file afresh; FALSE when it cannot be made.
  BOOL Open(const char* path);

  // A framed request, `lineBytes` long on the line.
  void Sent(const BYTE* packet, std::size_t length, std::size_t lineBytes);
  // Bytes sent without a frame: a block's bare data or the download-mode command.
  void SentUnframed(const std::string& what, std::size_t lineBytes);
  // What was last traced as sent did not all go out.
  void NotWritten();
  // A frame taken in: its payload when its FCS held, null when it did not.
  void Received(const BYTE* payload, std::size_t length, std::size_t lineBytes);

 private:
  // `fcs` null: a line that tells of no frame of its own.
  void Write(const char* direction, std::size_t lineBytes, const std::string& what, const char* fcs);

  CCriticalSection m_lock;
  CFile m_file;
  std::uint64_t m_startUs = 0;
};
