// Which image a run sends and which byte range of it: the font start address the operator
// typed and the kind of a code image, with the operator's Change Boot Area choice.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "download/download_run.h"

namespace {

// A load address of the first area that marks it as the boot area.
constexpr DWORD BOOT_MARKER = 0xFFFF0000u;

enum class ImageKind { CodeOnly, BootOnly, BootAndCode, Inconsistent };

// From the first area's length, the file size and the first area's load address.
ImageKind KindOf(DWORD firstAreaLength, DWORD fileSize, DWORD loadAddress) {
  const bool boot = loadAddress == BOOT_MARKER;
  if (firstAreaLength == fileSize) return boot ? ImageKind::BootOnly : ImageKind::CodeOnly;
  if (firstAreaLength < fileSize && boot) return ImageKind::BootAndCode;
  return ImageKind::Inconsistent;
}

}  // namespace

DWORD ParseFontAddress(const CString& text) {
  const CString prefixed = "0X" + text;
  const unsigned long long value = std::strtoull(prefixed, nullptr, 16);
  return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(value);
}

bool CDownloadRun::ValidateFontAddress() {
  if (!m_choices.fontSelected) return true;
  if (m_choices.fontAddress.IsEmpty()) {
    ShowBox("Font Address를 입력하세요!");
    return false;
  }
  if (std::strchr(m_choices.fontAddress, ' ')) {
    ShowBox("Font Address를 정확하게 써주세요!");
    return false;
  }
  m_dwFontAddress = ParseFontAddress(m_choices.fontAddress);
  return true;
}

bool CDownloadRun::ClassifyImage() {
  m_strRefusal.Empty();
  const bool classified = m_run.currentImage == IMAGE_FONT ? ClassifyFontImage() : ClassifyCodeImage();
  return classified && PlanInsideFile();
}

// Every block the plan sends must lie in the file: one past its end (an interrupted copy) would
// go out with no data, and the handset would confirm it all the same. The second area of a
// boot+code image runs from the end of the first to the end of the file.
bool CDownloadRun::PlanInsideFile() {
  const RunPlan& plan = m_run.plan;
  if (plan.areaLength != 0 && std::uint64_t{plan.areaBase} + plan.areaLength <= m_imageFile.m_dwFileSize) return true;
  RefuseHeader(plan.areaBase, plan.areaLength);
  return false;
}

void CDownloadRun::RefuseHeader(DWORD offset, DWORD length) {
  const auto fileSize = static_cast<unsigned>(m_imageFile.m_dwFileSize);
  if (offset == 0) {
    m_strRefusal.Format("image header gives %u bytes, the file has %u", static_cast<unsigned>(length), fileSize);
  } else {
    m_strRefusal.Format("image header gives %u bytes from offset 0x%X, the file has %u", static_cast<unsigned>(length),
                        static_cast<unsigned>(offset), fileSize);
  }
  // The box says only that something is wrong; the log keeps what, behind it and after it.
  AppendLogLine(COLOR_ERROR, "The " + m_strRefusal + ".");
  ShowBox("Header infomation is different from actual thing");
}

bool CDownloadRun::OpenImage(const CString& path) {
  if (m_imageFile.Open(path)) return true;
  TellImageProblem();
  return false;
}

void CDownloadRun::TellImageProblem() {
  if (!m_imageFile.Problem().IsEmpty()) ShowNotice(m_imageFile.Problem());
}

bool CDownloadRun::ClassifyFontImage() {
  // An image the reader refused starts no run; one it could not read at all, the operator is told of.
  if (!OpenImage(m_choices.fontPath)) return false;
  m_run.plan.areaLength = m_imageFile.m_dwFirstAreaLength;
  m_run.plan.displayBase = m_dwFontAddress;
  m_run.plan.areaBase = 0;
  m_run.step = STEP_START;
  m_run.bootFirst = false;
  return true;
}

bool CDownloadRun::ClassifyCodeImage() {
  if (!OpenImage(m_choices.codePath)) return false;
  const DWORD firstAreaLength = m_imageFile.m_dwFirstAreaLength;
  const DWORD loadAddress = m_imageFile.m_dwLoadAddress;
  m_run.plan.areaLength = firstAreaLength;
  m_run.plan.areaBase = loadAddress;
  m_run.plan.displayBase = loadAddress;
  m_run.step = STEP_START;
  m_run.bootFirst = false;

  switch (KindOf(firstAreaLength, m_imageFile.m_dwFileSize, loadAddress)) {
    case ImageKind::Inconsistent: RefuseHeader(0, firstAreaLength); return false;
    case ImageKind::BootAndCode:
      if (m_choices.bootArea) {
        AppendLogLine(COLOR_RUN, "Boot+Code Binary. ");
        m_run.plan.areaBase = 0;
        m_run.bootFirst = true;
      } else {
        AppendLogLine(COLOR_RUN, "Boot+Code Binary. Skip Boot Area.");
        PlanCodeArea();
      }
      return true;
    case ImageKind::CodeOnly:
      if (m_choices.bootArea) {
        AppendLogLine(COLOR_RUN, "Code Only Binary. Skip Boot Area.");
        m_run.plan.areaBase = 0;
      } else {
        AppendLogLine(COLOR_RUN, "Code Only Binary.");
      }
      return true;
    case ImageKind::BootOnly:
      if (!m_choices.bootArea) {
        ShowBox("This is Boot Binary, Check [Change Boot Area]");
        return false;
      }
      AppendLogLine(COLOR_RUN, "Boot Only Binary. ");
      m_run.plan.areaBase = 0;
      return true;
  }
  return false;
}

void CDownloadRun::PlanCodeArea() {
  const DWORD firstAreaLength = m_imageFile.m_dwFirstAreaLength;
  m_run.plan.areaBase = firstAreaLength;
  m_run.plan.displayBase = 0;
  m_run.plan.areaLength = m_imageFile.m_dwFileSize - firstAreaLength;
}

bool CDownloadRun::SelectNextImage() {
  // Callers come here when the code image is not selected: the font image is sent if it is.
  if (m_run.currentImage == IMAGE_CODE) {
    m_run.currentImage = IMAGE_FONT;
    if (m_choices.fontSelected) return ClassifyImage();
  }
  if (m_run.currentImage == IMAGE_FONT) {
    m_run.currentImage = IMAGE_CODE;
    if (m_choices.codeSelected) return ClassifyImage();
  }
  // Nothing to send: a run with the plan of an earlier one must not start.
  return false;
}
