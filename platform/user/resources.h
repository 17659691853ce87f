// Resources: dialog templates, icons and strings, registered by the program's resource
// module at start-up and looked up by id, as Windows loads them from the executable.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

using HICON = struct HICON__*;

namespace platform {

enum class ControlKind {
  PushButton,
  CheckBox,          // automatic check box
  PushLikeCheckBox,  // automatic check box drawn as a button that stays pressed
  OwnerDrawButton,
  Edit,
  ComboBox,  // drop-down list
  ProgressBar,
  RichEdit,
  Static,
  StaticFrame,  // a black rule or frame
  StaticIcon,
  GroupBox,
};

struct ControlTemplate {
  int id;  // -1 for a static without an id
  ControlKind kind;
  const char* text;                // for a static icon: the icon's resource id in decimal
  int x, y, cx, cy;                // dialog units
  DWORD style;                     // WS_VISIBLE, WS_DISABLED, ES_*, BS_*, SS_*, CBS_* ...
  bool isDefault;                  // the default push button
  std::vector<const char*> items;  // initial items of a combo box
};

struct DialogTemplate {
  UINT id;
  const char* caption;  // null: no caption bar
  const char* fontName;
  int pointSize;
  int cx, cy;  // dialog units
  DWORD style;
  DWORD exStyle;
  std::vector<ControlTemplate> controls;
};

// One image of an icon: PNG bytes of a square image `size` pixels wide.
struct IconImage {
  int size;
  const unsigned char* png;
  std::size_t length;
};

struct IconResource {
  UINT id;
  std::vector<IconImage> images;
};

void RegisterDialogTemplate(const DialogTemplate* dialog);
const DialogTemplate* FindDialogTemplate(UINT id);
void RegisterIcon(const IconResource* icon);
void RegisterString(UINT id, const char* text);
// The resource an icon handle stands for; null for none.
const IconResource* IconFromHandle(HICON icon);

}  // namespace platform

// The icon resource `id`; null when there is none.
HICON AfxLoadIcon(UINT id);
// The string resource `id` into `text`; FALSE, and `text` empty, when there is none.
BOOL LoadResourceString(CString& text, UINT id);
