// What a real window on the screen does for its CWnd: the toolkit side implements it
// (platform/qt), the rest of the platform layer only calls it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/geometry.h"
#include "platform/kernel/types.h"

namespace platform {

class DeviceContext;
struct Region;

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;

  // The window class's own handling of a message that its object passed on: text, check
  // state, selection, range and position, icons.
  virtual LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

  virtual void Enable(bool enable) = 0;
  virtual bool IsEnabled() const = 0;
  virtual void Show(int command) = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsIconic() const = 0;
  virtual void SetFocus() = 0;
  virtual void SetWindowPos(int x, int y, int cx, int cy, UINT flags) = 0;
  virtual CRect ClientRect() const = 0;
  virtual void Invalidate() = 0;
  // Lets the window system move the window with the mouse, as a press on the caption does.
  virtual void StartSystemMove() = 0;
  // What WM_PAINT draws on while the window is painted; null outside a paint.
  virtual DeviceContext* PaintContext() = 0;
  // Gives the window the shape of the region, which the window system owns from then on.
  virtual void SetShape(std::unique_ptr<Region> region) = 0;
};

// The entries of a window's system menu that the program added.
struct MenuItem {
  UINT flags;
  UINT_PTR id;
  std::string text;
};

struct MenuData {
  std::vector<MenuItem> items;
};

}  // namespace platform
