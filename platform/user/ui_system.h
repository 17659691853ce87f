// The window system behind dialogs: made real by the toolkit layer (platform/qt), which
// installs itself at start-up. Tests use the same layer on an off-screen display.
#pragma once

#include <functional>

#include "platform/kernel/geometry.h"
#include "platform/kernel/types.h"

#include <string>

class CWnd;
class CDialog;

namespace platform {

struct DialogTemplate;
struct FileDialogRequest;
struct MenuData;

class UiSystem {
 public:
  virtual ~UiSystem() = default;
  // Builds the dialog window and its controls from the template, hidden, and answers the
  // dialog's handle with `object` attached to it.
  virtual HWND CreateDialogWindow(const DialogTemplate& dialog, HWND owner, CWnd* object) = 0;
  // Shows the dialog as a modal window and dispatches everything until EndModalLoop.
  virtual int RunModalLoop(HWND dialog) = 0;
  virtual void EndModalLoop(HWND dialog, int result) = 0;
  virtual void DestroyDialogWindow(HWND dialog) = 0;
  // A borderless popup at `rect` (screen coordinates), hidden, with `object` attached; it is
  // owned by `owner` when one is given and never takes the focus.
  virtual HWND CreatePopupWindow(const RECT& rect, HWND owner, CWnd* object) = 0;
  // Ends a top-level window other than a dialog.
  virtual void DestroyWindow(HWND window) = 0;
  virtual HWND FocusWindow() const = 0;
  virtual HWND WindowAtPoint(POINT screen) const = 0;
  // A colour of the desktop's scheme (GetSysColor's indexes).
  virtual COLORREF SystemColor(int index) const = 0;
  // Runs the window system's file dialog modally; false when the operator cancels.
  virtual bool RunFileDialog(HWND owner, const FileDialogRequest& request, std::string* chosen) = 0;
  // Shows a popup menu at `screen` until the operator chooses or dismisses it; answers the
  // chosen item's id, 0 for none.
  virtual UINT TrackPopupMenu(const MenuData& menu, POINT screen, HWND owner) = 0;
};

void InstallUiSystem(UiSystem* system);
UiSystem* TheUiSystem();

// A stand-in for the operator at modal dialogs, for tests: called with the live dialog in
// place of the modal loop. It may click and type into the dialog, pump messages and move the
// clock; if the dialog is still open when it returns, it ends with the answer returned.
using ModalHandler = std::function<int(CDialog& dialog)>;
ModalHandler SetModalHandler(ModalHandler handler);
// The handler installed now, if any.
ModalHandler CurrentModalHandler();

}  // namespace platform
