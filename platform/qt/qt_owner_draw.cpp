#include "platform/qt/qt_owner_draw.h"

#include <QPainter>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_gdi.h"
#include "platform/user/controls.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"

namespace platform::qt {

OwnerDrawButton::OwnerDrawButton(QWidget* parent) : QAbstractButton(parent) {
  // A change of the pushed state is drawn as a selection request.
  connect(this, &QAbstractButton::pressed, this, [this] { Request(ODA_SELECT); });
  connect(this, &QAbstractButton::released, this, [this] { Request(ODA_SELECT); });
}

void OwnerDrawButton::Request(UINT action) {
  m_requests.push_back(action);
  update();
}

void OwnerDrawButton::focusInEvent(QFocusEvent* event) {
  QAbstractButton::focusInEvent(event);
  Request(ODA_FOCUS);
}

void OwnerDrawButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  Request(ODA_FOCUS);
}

UINT OwnerDrawButton::ItemState() const {
  UINT state = 0;
  if (isDown()) state |= ODS_SELECTED;
  if (!isEnabled()) state |= ODS_DISABLED;
  if (hasFocus()) state |= ODS_FOCUS;
  return state;
}

void OwnerDrawButton::paintEvent(QPaintEvent*) {
  // A paint of its own, or of a new size, draws the whole button, as WM_PAINT does.
  if (m_picture.size() != size()) {
    m_picture = QImage(size(), QImage::Format_RGB32);
    m_picture.fill(palette().color(QPalette::Button));
    m_requests.assign(1, ODA_DRAWENTIRE);
  }
  if (m_requests.empty()) m_requests.push_back(ODA_DRAWENTIRE);

  const HWND self = HandleOfWidget(this);
  const HWND parent = ParentOf(self);
  for (const UINT action : m_requests) {
    QtDeviceContext context(&m_picture, font());
    const HDC hdc = &context;
    DRAWITEMSTRUCT request{ODT_BUTTON, static_cast<UINT>(IdOf(self)), 0, action, ItemState(), self,
                           hdc,        RECT{0, 0, width(), height()}, 0};
    ::SendMessage(parent, WM_DRAWITEM, request.CtlID, reinterpret_cast<LPARAM>(&request));
    ForgetDeviceContext(hdc);
  }
  m_requests.clear();
  QPainter(this).drawImage(0, 0, m_picture);
}

}  // namespace platform::qt
