// An owner-drawn button: its parent draws it, asked with WM_DRAWITEM. The button keeps its
// picture between requests as a window keeps its pixels, so a request that only toggles the
// focus rectangle draws on what is there.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <vector>

#include "platform/kernel/types.h"

namespace platform::qt {

class OwnerDrawButton final : public QAbstractButton {
 public:
  explicit OwnerDrawButton(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void Request(UINT action);
  UINT ItemState() const;

  QImage m_picture;
  std::vector<UINT> m_requests;  // item actions not drawn yet
};

}  // namespace platform::qt
