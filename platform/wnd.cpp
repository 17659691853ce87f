#include "platform/wnd.h"

#include "platform/messages.h"

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

CWnd::~CWnd() { CWnd::DestroyWindow(); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return DefWindowProc(message, wParam, lParam); }

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  platform::UnregisterWindow(m_hWnd);
  m_hWnd = nullptr;
  return TRUE;
}

BOOL CWnd::CreateHandle() {
  if (m_hWnd) return FALSE;
  m_hWnd = platform::RegisterWindow(this);
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT, WPARAM, LPARAM) { return 0; }
