// The requests of the download protocol, built and sent one packet each.
#include <cstring>

#include "link/commands.h"
#include "link/frame.h"
#include "platform/kernel/file.h"
#include "serial/serial_port.h"

namespace {

// The block at this offset is also left in a file, so a technician can compare it with the image.
constexpr DWORD kDumpedBlockOffset = 0xD4000;
constexpr const char* kDumpPath = "c:/test_d40000_src.dat";

// The dump is an aid, never a reason to stop a download: a file that cannot be written is skipped.
void DumpBlock(const BYTE* data, WORD count) {
  CFile file;
  if (!file.Open(kDumpPath, CFile::modeCreate | CFile::modeWrite)) return;
  file.Write(data, count);
}

// A count above the data area's size is no valid block: never read past its data.
WORD ValidCount(const ImageBlock* block) {
  return block->count <= kImageBlockDataSize ? block->count : static_cast<WORD>(kImageBlockDataSize);
}

}  // namespace

void CSerialPort::SendHello() {
  const BYTE packet[] = {CMD_HELLO};
  SendPacket(packet, sizeof packet, 0);
}

void CSerialPort::SendCopyModule() {
  LogLine(LOG_INFO, "다운로드 모듈 COPY 요청");
  const BYTE packet[] = {CMD_COPY_MODULE};
  SendPacket(packet, sizeof packet, 0);
}

void CSerialPort::SendSetBaud(BYTE baudCode) {
  LogLine(LOG_INFO, "Baud rate set 요청");
  const BYTE packet[] = {CMD_SET_BAUD, baudCode};
  SendPacket(packet, sizeof packet, 0);
}

void CSerialPort::SendReset() {
  const BYTE packet[] = {CMD_RESET};
  SendPacket(packet, sizeof packet, 0);
}

void CSerialPort::SendErase(DWORD start, DWORD length) {
  LogLine(LOG_INFO, "Flash erase 중.. 잠시만 기다리세요");
  BYTE packet[9] = {CMD_ERASE};
  PutLe32(packet + 1, start);
  PutLe32(packet + 5, length);
  SendPacket(packet, sizeof packet, 0);
}

void CSerialPort::SendWriteBlock(const ImageBlock* block) {
  const WORD count = ValidCount(block);
  BYTE* packet = reinterpret_cast<BYTE*>(&m_writePacket);
  std::memset(packet, 0, sizeof m_writePacket);
  packet[0] = CMD_WRITE;
  PutLe32(packet + 1, block->offset);
  PutLe16(packet + 5, count);
  std::memcpy(packet + wire::kWriteRequestHeaderLength, block->data, count);

  if (block->offset == kDumpedBlockOffset) DumpBlock(block->data, count);
  // The whole block goes out whatever its count: the frame's length, and so whether the
  // handset expects a pad after it, depends only on the bytes that need escaping.
  SendPacket(packet, sizeof m_writePacket, 0);
}

bool CSerialPort::SendRawBlock(const ImageBlock* block) {
  const WORD count = ValidCount(block);
  CFrameTrace* trace = m_pTrace.load();
  if (trace) {
    trace->SentUnframed(Printed("DATA offset=0x%lx count=%u", static_cast<unsigned long>(block->offset), count), count);
  }
  const bool sent = WriteBuffer(block->data, count);
  if (!sent && trace) trace->NotWritten();
  return sent;
}

bool CSerialPort::SendDownloadAtCommand() {
  if (CFrameTrace* trace = m_pTrace.load()) {
    trace->SentUnframed("AT download-mode command", sizeof kDownloadAtCommand - 1);
  }
  bool lastSent = false;
  for (const char* c = kDownloadAtCommand; *c; ++c) lastSent = SendByte(static_cast<BYTE>(*c), false);
  return lastSent;
}
