// The step machine of a run: one request per step, each sent when the answer to the one
// before has arrived.
#include <algorithm>

#include "download/download_run.h"
#include "link/commands.h"
#include "platform/kernel/clock.h"

namespace {

constexpr char kRule[] = "======================";
// Refusals of one request in a row that count as silence.
constexpr BYTE kNakGiveUpCount = 10;

}  // namespace

void CDownloadRun::OnResponseReady() {
  const BYTE* response = m_serialPort.TakeResponse();
  // Its answer came on a connection that has since been closed.
  if (!response) return;
  m_run.response = response;
  // Whatever the answer says, the time-out it ends is over; a run that gave up waiting goes on.
  KillTimer(m_run.timerId);
  m_run.stalled = false;
  if (HandleResponse()) m_run.retryCount = 0;
}

bool CDownloadRun::HandleResponse() {
  m_run.reconnecting = false;
  switch (m_run.response ? m_run.response[0] : 0) {
    case ACK:
      m_run.naksInARow = 0;
      m_run.account.Acknowledged();
      NotifySettledBlocks();
      return AdvanceRun();
    case NAK_BAD_CRC: return ResendAfterNak(NAK_BAD_CRC, "NAK_BAD_CRC. Retry");
    case NAK_TOO_LARGE: return ResendAfterNak(NAK_TOO_LARGE, "NAK_TOO_LARGE. Retry");
    case NAK_INVALID_CMD: return ResendAfterNak(NAK_INVALID_CMD, "NAK_INVALID_CMD, but crc error. Retry");
    case NAK_FAILED: return ResendAfterNak(NAK_FAILED, "NAK_FAILED, but crc error. Retry");
    default: return false;
  }
}

bool CDownloadRun::ResendAfterNak(BYTE code, const char* text) {
  m_run.account.Refused(code);
  AppendLogLine(COLOR_RUN, text);
  // A handset that refuses the same request over and over is as good as silent: resending
  // forever would keep the run busy with no end.
  if (++m_run.naksInARow >= kNakGiveUpCount) {
    m_run.naksInARow = 0;
    AppendLogLine(COLOR_ERROR, "응답이 없습니다.");
    Reconnect();
    return false;
  }
  m_serialPort.ResendLastPacket();
  m_run.account.Resent();
  NotifyResend(code);
  ArmTimer(TIMER_RETRY, kRetryTimeoutMs);
  return false;
}

bool CDownloadRun::AdvanceRun() {
  switch (m_run.step) {
    case STEP_START:
      WriteBanner();
      ResetProgress();
      BeginArea();
      m_serialPort.SendHello();
      m_run.account.SentHello();
      NotifyRequest("hello");
      m_run.step = STEP_COPY;
      break;
    case STEP_COPY:
      m_serialPort.SendCopyModule();
      m_run.account.SentOtherRequest();
      NotifyRequest("copy");
      m_run.step = STEP_BAUD;
      break;
    case STEP_BAUD:
      m_serialPort.SendSetBaud(1);
      m_run.account.SentOtherRequest();
      NotifyRequest("baud");
      m_run.step = STEP_RESET;
      break;
    case STEP_RESET:
      AppendTick();
      m_serialPort.SendReset();
      m_run.account.SentOtherRequest();
      NotifyRequest("reset");
      ArmTimer(TIMER_ANSWER, kAnswerTimeoutMs);
      m_run.step = STEP_HELLO;
      break;
    case STEP_HELLO:
      m_serialPort.SendHello();
      m_run.account.SentHello();
      NotifyRequest("hello");
      m_run.step = STEP_ERASE;
      break;
    case STEP_ERASE:
      UpdateElapsed();
      m_serialPort.SendErase(m_run.plan.areaBase, m_run.plan.areaLength);
      m_run.account.SentErase();
      NotifyRequest("erase");
      m_run.step = STEP_FIRST_BLOCK;
      break;
    case STEP_FIRST_BLOCK:
      m_run.step = STEP_BLOCKS;
      AppendTick();
      UpdateElapsed();
      LogLine(LOG_INFO, "Flash Programming 중");
      return SendBlock();
    case STEP_BLOCKS:
      UpdateElapsed();
      if (m_run.plan.blockIndex < m_run.plan.blockCount) {
        if (!SendBlock()) return false;
        UpdateProgress();
      } else {
        EndArea();
      }
      break;
    case STEP_DONE:
      AppendTick();
      ReportCompletion();
      break;
  }
  return true;
}

void CDownloadRun::WriteBanner() {
  const char* title = m_run.currentImage == IMAGE_CODE   ? "Phone Code Download"
                      : m_run.currentImage == IMAGE_FONT ? "Phone Font Download"
                                                         : nullptr;
  if (!title) return;
  AppendLogLine(COLOR_RUN, kRule);
  AppendLogLine(COLOR_RUN, title);
  AppendLogLine(COLOR_RUN, kRule);
}

bool CDownloadRun::SendBlock() {
  const auto index = static_cast<DWORD>(m_run.plan.blockIndex);
  // The last block of an area carries only what is left of the area.
  const std::uint64_t start = std::uint64_t{index} * kImageBlockDataSize;
  const std::uint64_t left = start < m_run.plan.areaLength ? m_run.plan.areaLength - start : 0;
  const auto due = static_cast<WORD>(std::min<std::uint64_t>(left, kImageBlockDataSize));
  // A file that shrank or went away since the run began: what it no longer holds cannot be sent.
  if (!m_imageFile.ReadBlock(m_run.plan.areaBase, index, &m_run.block) || m_run.block.count < due) {
    TellImageProblem();
    StopForUnreadableImage(m_run.plan.areaBase + index * kImageBlockDataSize);
    return false;
  }
  m_run.block.count = due;
  if (m_run.rawData) {
    m_serialPort.SendRawBlock(&m_run.block);
  } else {
    m_serialPort.SendWriteBlock(&m_run.block);
  }
  m_run.account.SentBlock(m_run.plan.blockIndex, m_run.rawData);
  // The block before it may have been left without its answer.
  NotifySettledBlocks();
  ++m_run.plan.blockIndex;
  return true;
}

void CDownloadRun::StopForUnreadableImage(DWORD offset) {
  CString text;
  text.Format("The image cannot be read at offset 0x%x: the download stops.", static_cast<unsigned>(offset));
  AppendLogLine(COLOR_ERROR, text);
  NotifyRunEnded(RunEnd::ImageUnreadable);
  StopRun();
}

void CDownloadRun::EndArea() {
  // The last block's answer did not come if the run ends the area after silence.
  m_run.account.MovedOn();
  NotifySettledBlocks();
  if (m_run.bootFirst) {
    // The boot area is in; the code area goes through the whole sequence again.
    AppendLogLine(COLOR_RUN, "Boot Downloaded. Code Downloading..");
    m_run.bootFirst = false;
    PlanCodeArea();
    m_run.plan.blockIndex = 0;
    BeginArea();
    m_serialPort.SendHello();
    m_run.account.SentHello();
    NotifyRequest("hello");
    m_run.step = STEP_COPY;
    return;
  }
  if (g_bKeepRunning) {
    m_run.step = STEP_DONE;
    m_run.retryCount = 0;
    m_serialPort.SendReset();
    m_run.account.SentOtherRequest();
    NotifyRequest("final reset");
    ArmTimer(TIMER_ANSWER, kFinalResetTimeoutMs);
  }
  // Modal: the answer to the reset, or its time-out, may bring the final report meanwhile.
  ShowAlert("Download Completed.");
}

void CDownloadRun::ReportCompletion() {
  const CString elapsed = ElapsedText(GetTickCount() - m_run.startTime);
  AppendLogLine(COLOR_RUN, kRule);
  AppendLogLine(COLOR_RUN, "Download Completed.");
  AppendLogLine(COLOR_RUN, elapsed);
  // What the handset never confirmed may not be in its flash, whatever the lines above say.
  const CString unconfirmed = m_run.account.Summary();
  if (!unconfirmed.IsEmpty()) AppendLogLine(COLOR_ERROR, unconfirmed);
  m_imageFile.Close();
  m_run.reported = true;
  // Before the box: the run is over however long the box stays open.
  NotifyRunEnded(m_run.account.AllConfirmed() ? RunEnd::Completed : RunEnd::CompletedUnconfirmed);
  CString text;
  text.Format("Downloading completed\n%s", elapsed.GetString());
  ShowBox(text);
  KillTimer(m_run.timerId);
}

void CDownloadRun::ArmTimer(UINT id, UINT intervalMs) {
  // One run timer at a time: a timer left running beside this one would fire as a false
  // time-out later.
  KillTimer(m_run.timerId);
  m_run.timerId = id;
  m_run.timerInterval = intervalMs;
  SetTimer(id, intervalMs);
}

void CDownloadRun::BeginArea() {
  m_run.plan.blockCount = BlockCount(m_run.plan.areaLength);
  m_run.account.BeginArea(ShownBase(), m_run.plan.areaLength, m_run.plan.blockCount);
  m_settledBlocksTold = 0;
}

DWORD CDownloadRun::ShownBase() const {
  return m_run.currentImage == IMAGE_FONT ? m_run.plan.displayBase : m_run.plan.areaBase;
}
