#include "platform/qt/qt_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextEdit>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/qt/qt_gdi.h"
#include "platform/qt/qt_owner_draw.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "platform/user/window_messages.h"

namespace platform::qt {
namespace {

void Notify(HWND dialog, HWND control, WORD code) {
  ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(IdOf(control)), code),
                reinterpret_cast<LPARAM>(control));
}

QString Utf8(LPARAM text) { return FromUtf8(reinterpret_cast<const char*>(text)); }

// Breaks `text` into lines no wider than `width` pixels, at blanks.
QString WrapToWidth(const QString& text, const QFontMetrics& metrics, int width) {
  QString wrapped;
  QString line;
  for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    if (!line.isEmpty() && metrics.horizontalAdvance(candidate) > width) {
      wrapped += line + QLatin1Char('\n');
      line = word;
    } else {
      line = candidate;
    }
  }
  return wrapped + line;
}

class ButtonBackend final : public ControlBackend {
 public:
  // `wrapWidth` > 0: the text is shown broken into lines of that width, as a multi-line button shows it.
  explicit ButtonBackend(QAbstractButton* button, int wrapWidth = 0)
      : ControlBackend(button), m_button(button), m_wrapWidth(wrapWidth) {
    SetText(button->text());
  }

  void Connect(HWND dialog, HWND control) override {
    QObject::connect(m_button, &QAbstractButton::clicked, [dialog, control] { Notify(dialog, control, BN_CLICKED); });
  }

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case BM_GETCHECK: return m_button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
      case BM_SETCHECK: m_button->setChecked(wParam == BST_CHECKED); return 0;
      case BM_CLICK: m_button->click(); return 0;
      default: return ControlBackend::ClassProc(message, wParam, lParam);
    }
  }

 protected:
  QString Text() const override { return m_text; }
  void SetText(const QString& text) override {
    m_text = text;
    m_button->setText(m_wrapWidth > 0 ? WrapToWidth(text, m_button->fontMetrics(), m_wrapWidth) : text);
  }

 private:
  QAbstractButton* m_button;
  int m_wrapWidth;
  QString m_text;
};

class EditBackend final : public ControlBackend {
 public:
  explicit EditBackend(QLineEdit* edit) : ControlBackend(edit), m_edit(edit) {}

  void Connect(HWND dialog, HWND control) override {
    QObject::connect(m_edit, &QLineEdit::textChanged, [dialog, control] { Notify(dialog, control, EN_CHANGE); });
  }

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case EM_SETSEL: {
        const int length = m_edit->text().size();
        const int start = static_cast<int>(static_cast<LONG>(wParam));
        const int end = static_cast<int>(lParam);
        if (start < 0) {
          m_edit->deselect();
          return 0;
        }
        const int last = end < 0 ? length : std::min(end, length);
        m_edit->setSelection(std::min(start, length), last - std::min(start, length));
        return 0;
      }
      case EM_SCROLLCARET: return TRUE;
      default: return ControlBackend::ClassProc(message, wParam, lParam);
    }
  }

 protected:
  QString Text() const override { return m_edit->text(); }
  void SetText(const QString& text) override { m_edit->setText(text); }

 private:
  QLineEdit* m_edit;
};

class ComboBackend final : public ControlBackend {
 public:
  explicit ComboBackend(QComboBox* combo) : ControlBackend(combo), m_combo(combo) {}

  void Connect(HWND dialog, HWND control) override {
    // Only the operator's choice notifies, as CB_SETCURSEL does not.
    QObject::connect(m_combo, QOverload<int>::of(&QComboBox::activated),
                     [dialog, control] { Notify(dialog, control, CBN_SELCHANGE); });
    // The edit field of a drop-down combo is a window of its own inside it, as on Windows.
    if (QLineEdit* field = m_combo->lineEdit()) {
      m_field = std::make_unique<EditBackend>(field);
      SetHandleOfWidget(field, CreateWindowHandle(m_field.get(), control, kComboEditId));
    }
  }

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    const int index = static_cast<int>(static_cast<LONG>(wParam));
    switch (message) {
      case CB_ADDSTRING:
        m_combo->addItem(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
        return m_combo->count() - 1;
      case CB_GETCOUNT: return m_combo->count();
      case CB_GETCURSEL: return m_combo->currentIndex();
      case CB_SETCURSEL:
        if (index < 0 || index >= m_combo->count()) {
          m_combo->setCurrentIndex(-1);
          return CB_ERR;
        }
        m_combo->setCurrentIndex(index);
        return index;
      default: return ControlBackend::ClassProc(message, wParam, lParam);
    }
  }

 protected:
  QString Text() const override { return m_combo->currentText(); }
  void SetText(const QString& text) override {
    if (m_combo->isEditable()) m_combo->setEditText(text);
  }

 private:
  // The id Windows gives a combo box's edit field.
  static constexpr int kComboEditId = 1001;

  QComboBox* m_combo;
  std::unique_ptr<EditBackend> m_field;
};

class ProgressBackend final : public ControlBackend {
 public:
  explicit ProgressBackend(QProgressBar* bar) : ControlBackend(bar), m_bar(bar) {}

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case PBM_SETRANGE:
        m_bar->setRange(static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lParam))),
                        static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lParam))));
        return 0;
      case PBM_SETPOS: {
        const int previous = std::max(m_bar->value(), m_bar->minimum());
        m_bar->setValue(std::clamp(static_cast<int>(wParam), m_bar->minimum(), m_bar->maximum()));
        return previous;
      }
      default: return ControlBackend::ClassProc(message, wParam, lParam);
    }
  }

 private:
  QProgressBar* m_bar;
};

class RichEditBackend final : public ControlBackend {
 public:
  explicit RichEditBackend(QTextEdit* edit) : ControlBackend(edit), m_edit(edit) {}

  // The right button asks the window for a context menu, as it does on Windows: the edit
  // has none of its own.
  void Connect(HWND, HWND control) override {
    m_edit->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(m_edit, &QWidget::customContextMenuRequested, m_edit, [this, control](const QPoint& at) {
      const QPoint screen = m_edit->viewport()->mapToGlobal(at);
      ::SendMessage(control, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control),
                    MAKELPARAM(static_cast<WORD>(screen.x()), static_cast<WORD>(screen.y())));
    });
  }

  LRESULT ClassProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case EM_EXSETSEL: Select(*reinterpret_cast<const CHARRANGE*>(lParam)); return 0;
      case EM_EXGETSEL: {
        const QTextCursor cursor = m_edit->textCursor();
        auto* range = reinterpret_cast<CHARRANGE*>(lParam);
        range->cpMin = cursor.selectionStart();
        range->cpMax = cursor.selectionEnd();
        return 0;
      }
      case WM_COPY: m_edit->copy(); return 0;
      case EM_REPLACESEL: {
        QTextCursor cursor = m_edit->textCursor();
        cursor.insertText(Utf8(lParam), m_insertFormat);
        m_edit->setTextCursor(cursor);
        m_edit->ensureCursorVisible();
        return 0;
      }
      case EM_SETCHARFORMAT: {
        if (!(wParam & SCF_SELECTION)) return FALSE;
        const QTextCharFormat format = ToQt(*reinterpret_cast<const CHARFORMAT*>(lParam));
        QTextCursor cursor = m_edit->textCursor();
        if (cursor.hasSelection()) cursor.mergeCharFormat(format);
        m_insertFormat.merge(format);
        return TRUE;
      }
      case WM_CLEAR: {
        QTextCursor cursor = m_edit->textCursor();
        cursor.removeSelectedText();
        m_edit->setTextCursor(cursor);
        return 0;
      }
      default: return ControlBackend::ClassProc(message, wParam, lParam);
    }
  }

 protected:
  QString Text() const override { return m_edit->toPlainText(); }
  void SetText(const QString& text) override { m_edit->setPlainText(text); }

 private:
  void Select(const CHARRANGE& range) {
    QTextCursor cursor = m_edit->textCursor();
    const int end = m_edit->document()->characterCount() - 1;
    if (range.cpMin < 0) {
      cursor.movePosition(QTextCursor::End);
    } else {
      cursor.setPosition(std::min<int>(range.cpMin, end));
      cursor.setPosition(range.cpMax < 0 ? end : std::min<int>(range.cpMax, end), QTextCursor::KeepAnchor);
    }
    // Moving the caret where it already is would cost a layout query of a long log for nothing.
    // (QTextCursor's own comparison looks at the position only, not at the selection.)
    const QTextCursor current = m_edit->textCursor();
    if (cursor.position() != current.position() || cursor.anchor() != current.anchor()) m_edit->setTextCursor(cursor);
  }

  static QTextCharFormat ToQt(const CHARFORMAT& format) {
    QTextCharFormat result;
    if (format.dwMask & CFM_COLOR) result.setForeground(ToQColor(format.crTextColor));
    if (format.dwMask & CFM_BOLD) result.setFontWeight((format.dwEffects & CFE_BOLD) ? QFont::Bold : QFont::Normal);
    // The height applies whenever the format gives one: the log's format sets 10 points
    // without the size bit, and its text is meant to show in that size.
    if (format.yHeight > 0) result.setFontPointSize(format.yHeight / 20.0);
    return result;
  }

  QTextEdit* m_edit;
  QTextCharFormat m_insertFormat;
};

class StaticBackend final : public ControlBackend {
 public:
  explicit StaticBackend(QLabel* label) : ControlBackend(label), m_label(label) {}

 protected:
  QString Text() const override { return m_label->text(); }
  void SetText(const QString& text) override { m_label->setText(text); }

 private:
  QLabel* m_label;
};

std::vector<QString> ComboItems(const ControlTemplate& control) {
  std::vector<QString> items;
  for (const char* item : control.items) items.push_back(FromUtf8(item));
  if (control.style & CBS_SORT) {
    std::sort(items.begin(), items.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  }
  return items;
}

// The room a check box leaves its text beside the box.
int CheckBoxTextWidth(QCheckBox* box, int width) {
  QStyleOptionButton option;
  option.initFrom(box);
  const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, &option, box) +
                        box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, box);
  return std::max(1, width - indicator);
}

std::unique_ptr<ControlBackend> MakeWidget(const ControlTemplate& control, QWidget* dialog, const DialogUnits& units) {
  const QString text = FromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::OwnerDrawButton: {
      auto* button = new OwnerDrawButton(dialog);
      button->setText(text);
      return std::make_unique<ButtonBackend>(button);
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, dialog);
      // Enter presses the button that has the focus, else the default one.
      button->setAutoDefault(true);
      button->setDefault(control.isDefault);
      // A flat button keeps a thin outline, so it still reads as a button.
      if (control.style & BS_FLAT)
        button->setStyleSheet(QStringLiteral("QPushButton { border: 1px solid palette(mid); }"));
      return std::make_unique<ButtonBackend>(button);
    }
    case ControlKind::CheckBox: {
      auto* box = new QCheckBox(text, dialog);
      const int wrapWidth = (control.style & BS_MULTILINE) ? CheckBoxTextWidth(box, units.X(control.cx)) : 0;
      return std::make_unique<ButtonBackend>(box, wrapWidth);
    }
    case ControlKind::PushLikeCheckBox: {
      auto* button = new QPushButton(text, dialog);
      button->setCheckable(true);
      button->setAutoDefault(false);
      return std::make_unique<ButtonBackend>(button);
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(dialog);
      edit->setFrame(control.style & WS_BORDER);
      edit->setReadOnly(control.style & ES_READONLY);
      if (control.style & ES_RIGHT) edit->setAlignment(Qt::AlignRight);
      if (!(control.style & WS_TABSTOP)) edit->setFocusPolicy(Qt::ClickFocus);
      return std::make_unique<EditBackend>(edit);
    }
    case ControlKind::ComboBox: {
      // Every combo box of the templates drops down under an edit field. What the operator
      // types stays in the field: the program reads only the selection.
      auto* combo = new QComboBox(dialog);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      for (const QString& item : ComboItems(control)) combo->addItem(item);
      combo->setCurrentIndex(-1);
      return std::make_unique<ComboBackend>(combo);
    }
    case ControlKind::ProgressBar: {
      auto* bar = new QProgressBar(dialog);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      return std::make_unique<ProgressBackend>(bar);
    }
    case ControlKind::RichEdit: {
      auto* edit = new QTextEdit(dialog);
      edit->setReadOnly(control.style & ES_READONLY);
      edit->setLineWrapMode(QTextEdit::WidgetWidth);
      edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
      return std::make_unique<RichEditBackend>(edit);
    }
    case ControlKind::Static: {
      auto* label = new QLabel(text, dialog);
      if (control.style & SS_CENTER) label->setAlignment(Qt::AlignCenter);
      if (control.style & SS_SUNKEN) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return std::make_unique<StaticBackend>(label);
    }
    case ControlKind::StaticIcon: {
      auto* label = new QLabel(dialog);
      label->setPixmap(ToQIcon(AfxLoadIcon(static_cast<UINT>(std::stoul(control.text)))).pixmap(32, 32));
      return std::make_unique<StaticBackend>(label);
    }
    // A frame and a group box keep their text as the template gives it: the program never
    // changes it.
    case ControlKind::StaticFrame: {
      auto* frame = new QFrame(dialog);
      frame->setFrameStyle(QFrame::Box | QFrame::Plain);
      return std::make_unique<ControlBackend>(frame);
    }
    case ControlKind::GroupBox: return std::make_unique<ControlBackend>(new QGroupBox(text, dialog));
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<ControlBackend> CreateControl(const ControlTemplate& control, QWidget* dialog,
                                              const DialogUnits& units) {
  std::unique_ptr<ControlBackend> backend = MakeWidget(control, dialog, units);
  QWidget* widget = backend->Widget();
  // A combo box's height in the template includes its list; the field itself is as tall as its font needs.
  const int height = control.kind == ControlKind::ComboBox ? widget->sizeHint().height() : units.Y(control.cy);
  widget->setGeometry(units.X(control.x), units.Y(control.y), units.X(control.cx), height);
  widget->setEnabled(!(control.style & WS_DISABLED));
  widget->setVisible(control.style & WS_VISIBLE);
  if (!(control.style & WS_TABSTOP) && control.kind != ControlKind::Edit) widget->setFocusPolicy(Qt::NoFocus);
  // Group boxes and frames are drawn behind the controls they surround, never over them.
  if (control.kind == ControlKind::GroupBox || control.kind == ControlKind::StaticFrame) widget->lower();
  return backend;
}

}  // namespace platform::qt
