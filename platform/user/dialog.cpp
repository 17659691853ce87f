#include "platform/user/dialog.h"

#include <atomic>

#include "platform/user/app.h"
#include "platform/user/handler_slot.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/message_box.h"
#include "platform/user/messages.h"
#include "platform/user/resources.h"
#include "platform/user/ui_system.h"
#include "platform/user/window_backend.h"
#include "platform/user/window_messages.h"

namespace platform {
namespace {

std::atomic<UiSystem*> g_uiSystem{nullptr};

HandlerSlot<ModalHandler> g_modalHandlers;

}  // namespace

void InstallUiSystem(UiSystem* system) { g_uiSystem = system; }

UiSystem* TheUiSystem() { return g_uiSystem; }

ModalHandler SetModalHandler(ModalHandler handler) { return g_modalHandlers.Set(std::move(handler)); }

ModalHandler CurrentModalHandler() { return g_modalHandlers.Get(); }

}  // namespace platform

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_BN_CLICKED(IDOK, OnOK)
ON_BN_CLICKED(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() { CDialog::DestroyWindow(); }

HWND CDialog::OwnerWindow() const {
  if (m_pParentWnd) return m_pParentWnd->GetSafeHwnd();
  // A dialog that names no parent belongs to the main window, unless it is the main window.
  const CWnd* main = AfxGetMainWnd();
  return main && main != this ? main->GetSafeHwnd() : nullptr;
}

bool CDialog::MakeWindow() {
  platform::UiSystem* system = platform::TheUiSystem();
  const platform::DialogTemplate* dialog = platform::FindDialogTemplate(m_nIDTemplate);
  if (!system || !dialog) return false;
  return system->CreateDialogWindow(*dialog, OwnerWindow(), this) != nullptr;
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd || !MakeWindow()) return -1;
  m_bModal = true;
  m_bEnded = false;
  m_nModalResult = -1;
  SendMessage(WM_INITDIALOG, 0, 0);

  int result = m_nModalResult;
  if (!m_bEnded) {
    if (const platform::ModalHandler handler = platform::CurrentModalHandler()) {
      ShowWindow(SW_SHOW);
      const int answer = handler(*this);
      result = m_bEnded ? m_nModalResult : answer;
    } else {
      result = platform::TheUiSystem()->RunModalLoop(m_hWnd);
    }
  }
  m_bModal = false;
  DestroyWindow();
  return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  m_nIDTemplate = templateId;
  m_pParentWnd = parent;
  if (m_hWnd || !MakeWindow()) return FALSE;
  m_bModal = false;
  SendMessage(WM_INITDIALOG, 0, 0);
  return TRUE;
}

void CDialog::EndDialog(int result) {
  m_bEnded = true;
  m_nModalResult = result;
  if (m_bModal) {
    if (platform::UiSystem* system = platform::TheUiSystem()) system->EndModalLoop(m_hWnd, result);
  } else {
    ShowWindow(SW_HIDE);
  }
}

BOOL CDialog::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  const HWND window = m_hWnd;
  platform::UiSystem* system = platform::TheUiSystem();
  if (platform::BackendOf(window) && system) {
    system->DestroyDialogWindow(window);
    m_hWnd = nullptr;
    return TRUE;
  }
  return CWnd::DestroyWindow();
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  const bool outerLockout = m_bLockoutNotify;
  m_bLockoutNotify = true;
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  m_bLockoutNotify = outerLockout;
  return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  // A control's notification caused by the exchange itself is dropped, or a handler that
  // exchanges data again would read controls not yet filled.
  if (m_bLockoutNotify && lParam != 0) return TRUE;
  return CWnd::OnCommand(wParam, lParam);
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_CLOSE:
      // A dialog closes the way Cancel does.
      return SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) return SendMessage(WM_CLOSE);
      return 0;
    default: return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

namespace {

HWND Control(CDataExchange* pDX, int id) { return platform::ChildById(pDX->m_pDlgWnd->GetSafeHwnd(), id); }

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!control.GetSafeHwnd()) control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  CWnd* control = CWnd::FromHandle(Control(pDX, id));
  if (!control) return;
  if (pDX->m_bSaveAndValidate) {
    control->GetWindowText(value);
  } else {
    control->SetWindowText(value);
  }
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  const HWND control = Control(pDX, id);
  if (pDX->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessage(control, BM_GETCHECK, 0, 0));
  } else {
    ::SendMessage(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
  }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index) {
  const HWND control = Control(pDX, id);
  if (pDX->m_bSaveAndValidate) {
    index = static_cast<int>(::SendMessage(control, CB_GETCURSEL, 0, 0));
  } else {
    ::SendMessage(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
}
