// CObject and the CWnd base: a window handle and the procedure its messages reach.
#pragma once

#include "platform/runtime_class.h"
#include "platform/types.h"

class CObject {
 public:
  static const CRuntimeClass classCObject;
  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
};

class CWnd : public CObject {
 public:
  CWnd() = default;
  ~CWnd() override;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Ends the handle: messages still queued for it are dropped.
  virtual BOOL DestroyWindow();

  HWND m_hWnd = nullptr;

 protected:
  // Gives this object a window handle, so messages can be posted to it.
  BOOL CreateHandle();
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
};
