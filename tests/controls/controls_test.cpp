// The self-drawn controls, painted into images and read pixel by pixel on the worked examples,
// and the balloon's behaviour under the pointer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/gdi/region.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_gdi.h"
#include "platform/user/internal/window_table.h"
#include "platform/user/messages.h"
#include "resources/resource.h"
#include "tests/controls/balloon_support.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/scoped_hive.h"
#include "tests/support/widgets.h"
#include "ui/downloader_dlg.h"

namespace {

using testing_support::WidgetOf;

COLORREF PixelOf(const QImage& image, int x, int y) {
  const QColor color = image.pixelColor(x, y);
  return RGB(static_cast<BYTE>(color.red()), static_cast<BYTE>(color.green()), static_cast<BYTE>(color.blue()));
}

// The main dialog, made modeless for a test and ended with it.
class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dialog.Create(IDD_DOWNLOADER_DIALOG));
    dialog.ShowWindow(SW_SHOW);
  }
  void TearDown() override {
    dialog.DestroyWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  testing_support::ScopedHive hive;
  CDownloaderDlg dialog;
};

// Pixels of one row of the bar, from `from` up to `to`, all of one colour.
struct Span {
  int from;
  int to;
  COLORREF color;
};

struct BarCase {
  const char* name;
  int position;
  COLORREF start;
  COLORREF end;
  std::vector<Span> spans;
};

void PrintTo(const BarCase& bar, std::ostream* out) { *out << bar.name; }

class PercentBar : public ControlsTest, public ::testing::WithParamInterface<BarCase> {};

// A bar 300 pixels wide; the download colours give 128 bands 2.34375 pixels wide.
TEST_P(PercentBar, PaintsTheBandsUpToThePosition) {
  const BarCase& bar = GetParam();
  CPercentProgressCtrl& control = dialog.m_runBar;
  control.SetWindowPos(nullptr, 0, 0, 300, 16, SWP_NOMOVE | SWP_NOZORDER);
  control.ShowWindow(SW_SHOW);
  control.SetRange(0, 100);
  control.m_crStartColor = bar.start;
  control.m_crEndColor = bar.end;
  control.m_crBkColor = RGB(192, 192, 192);
  control.SetPos(bar.position);
  const QImage image = WidgetOf(control)->grab().toImage();
  ASSERT_EQ(image.width(), 300);
  for (const Span& span : bar.spans) {
    for (int x = span.from; x < span.to; ++x) EXPECT_EQ(PixelOf(image, x, 8), span.color) << "x " << x;
  }
}

const COLORREF kNavy = RGB(0, 0, 128);
const COLORREF kMaroon = RGB(128, 0, 0);
const COLORREF kBackground = RGB(192, 192, 192);

INSTANTIATE_TEST_SUITE_P(
    Controls, PercentBar,
    ::testing::Values(
        BarCase{"AtOne", 1, kNavy, kMaroon, {{0, 2, RGB(0, 0, 128)}, {2, 4, RGB(1, 0, 127)}, {4, 300, kBackground}}},
        BarCase{"AtFifty",
                50,
                kNavy,
                kMaroon,
                {{147, 150, RGB(63, 0, 65)}, {150, 152, RGB(64, 0, 64)}, {152, 300, kBackground}}},
        // Equal colours make one band of the start colour.
        BarCase{"OneColour", 50, kNavy, kNavy, {{0, 300, kNavy}}}),
    [](const ::testing::TestParamInfo<BarCase>& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, AnEmptyOrFullBarShowsTheButtonFaceAndTheTextOnlyInBetween) {
  CPercentProgressCtrl& control = dialog.m_runBar;
  control.SetWindowPos(nullptr, 0, 0, 300, 16, SWP_NOMOVE | SWP_NOZORDER);
  control.ShowWindow(SW_SHOW);
  control.SetRange(0, 100);
  control.m_crStartColor = kNavy;
  control.m_crEndColor = kMaroon;
  control.m_crBkColor = kBackground;
  control.m_crTextColor = RGB(255, 255, 255);
  control.m_bShowPercent = TRUE;
  for (const int position : {0, 100}) {
    control.SetPos(position);
    const QImage image = WidgetOf(control)->grab().toImage();
    for (int x = 0; x < 300; x += 7) EXPECT_EQ(PixelOf(image, x, 8), GetSysColor(COLOR_BTNFACE)) << position;
  }
  // "50%" in white over the middle of the whole bar, not of the filled part.
  control.SetPos(50);
  const QImage image = WidgetOf(control)->grab().toImage();
  int left = 300;
  int right = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 300; ++x) {
      // The glyphs' cores; their smoothed edges blend with the bar.
      const QColor color = image.pixelColor(x, y);
      if (std::min({color.red(), color.green(), color.blue()}) < 225) continue;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  ASSERT_LT(left, right) << "no text";
  EXPECT_NEAR((left + right) / 2.0, 150.0, 3.0);
  EXPECT_LT(right - left, 40);
}

}  // namespace

namespace {

// The button painted for one request onto `picture`, as the window system asks it.
void Draw(CIconButton& button, QImage& picture, UINT action, UINT state) {
  platform::qt::QtDeviceContext context(&picture, WidgetOf(button)->font());
  DRAWITEMSTRUCT request{ODT_BUTTON, IDC_DOWNLOAD,         0,        action,
                         state,      button.GetSafeHwnd(), &context, RECT{0, 0, picture.width(), picture.height()},
                         0};
  button.DrawItem(&request);
  platform::ForgetDeviceContext(&context);
}

QImage Painted(CIconButton& button, UINT action, UINT state) {
  QImage picture(WidgetOf(button)->size(), QImage::Format_RGB32);
  picture.fill(Qt::white);
  Draw(button, picture, action, state);
  return picture;
}

// The box around the dark pixels inside the frame: the icon's and the text's.
QRect DarkBox(const QImage& image) {
  QRect box;
  for (int y = 4; y < image.height() - 4; ++y) {
    for (int x = 4; x < image.width() - 4; ++x) {
      const QColor color = image.pixelColor(x, y);
      if (std::max({color.red(), color.green(), color.blue()}) < 110) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// The box around the pixels where two pictures differ.
QRect Difference(const QImage& a, const QImage& b) {
  QRect box;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

TEST_F(ControlsTest, TheIconButtonShiftsWhenPushedAndEmbossesWhenDisabled) {
  CIconButton& button = dialog.m_btnDownload;
  const QRect normal = DarkBox(Painted(button, ODA_DRAWENTIRE, 0));
  ASSERT_FALSE(normal.isEmpty());
  EXPECT_EQ(DarkBox(Painted(button, ODA_DRAWENTIRE, ODS_SELECTED)), normal.translated(1, 1));
  EXPECT_TRUE(DarkBox(Painted(button, ODA_DRAWENTIRE, ODS_DISABLED)).isEmpty()) << "embossed, not drawn in colour";
  // Margin 20, icon 30, gap -10: the text is centred in what starts 40 pixels in.
  const QImage picture = Painted(button, ODA_DRAWENTIRE, 0);
  const int textWidth = QFontMetrics(WidgetOf(button)->font()).horizontalAdvance(QStringLiteral("Download"));
  const int textLeft = DarkBox(picture.copy(52, 0, picture.width() - 52, picture.height())).left() + 52;
  EXPECT_NEAR(textLeft, 40 + std::max(0, picture.width() - 40 - textWidth) / 2, 2);
}

TEST_F(ControlsTest, TheFocusRectangleTogglesWithTheFocusBitOnly) {
  CIconButton& button = dialog.m_btnDownload;
  const QImage unfocused = Painted(button, ODA_DRAWENTIRE, 0);
  QImage picture = Painted(button, ODA_DRAWENTIRE, ODS_FOCUS);
  const QRect focus = Difference(unfocused, picture);
  EXPECT_EQ(focus, QRect(3, 3, picture.width() - 6, picture.height() - 6)) << "inset 3 on a button this big";
  Draw(button, picture, ODA_FOCUS, ODS_FOCUS);
  EXPECT_EQ(Difference(unfocused, picture), focus) << "a focus request without a change draws nothing";
  Draw(button, picture, ODA_FOCUS, 0);
  EXPECT_TRUE(Difference(unfocused, picture).isEmpty()) << "drawn again, it is gone";
  EXPECT_TRUE(Difference(Painted(button, ODA_DRAWENTIRE, ODS_DISABLED),
                         Painted(button, ODA_DRAWENTIRE, ODS_FOCUS | ODS_DISABLED))
                  .isEmpty())
      << "a disabled button shows no focus";

  // A small button: the inset is a quarter of the smaller side.
  QImage small(20, 10, QImage::Format_RGB32);
  small.fill(Qt::white);
  const QImage blank = small;
  Draw(button, small, ODA_FOCUS, ODS_FOCUS);
  EXPECT_EQ(Difference(blank, small), QRect(2, 2, 16, 6));
}

TEST_F(ControlsTest, TextAloneAndIconAloneAreCentred) {
  CIconButton& button = dialog.m_btnDownload;
  const QSize size = WidgetOf(button)->size();
  button.SetWindowText("");
  const QRect icon = DarkBox(Painted(button, ODA_DRAWENTIRE, 0));
  EXPECT_NEAR(icon.center().x(), size.width() / 2, 2);
  EXPECT_NEAR(icon.center().y(), size.height() / 2, 2);

  button.SetWindowText("Download");
  EXPECT_FALSE(button.SetIcon(9999, 30, 30)) << "no such icon: the button goes on without one";
  const QRect text = DarkBox(Painted(button, ODA_DRAWENTIRE, 0));
  EXPECT_NEAR(text.center().x(), size.width() / 2, 2);
  EXPECT_LT(text.center().y(), size.height() / 2.0) << "a centred text sits a pixel higher";
  EXPECT_EQ(button.SetImageMargin(7), 20) << "the margin set before";
}

}  // namespace

namespace {

bool IsText(const QColor& color) { return std::max({color.red(), color.green(), color.blue()}) < 100; }

// The rows of the balloon's picture that hold text, as runs of consecutive rows.
std::vector<std::pair<int, int>> TextLines(const QImage& image, const QRect& inside) {
  std::vector<std::pair<int, int>> lines;
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    bool any = false;
    for (int x = inside.left(); x <= inside.right() && !any; ++x) any = IsText(image.pixelColor(x, y));
    if (!any) continue;
    if (!lines.empty() && lines.back().second == y - 1) {
      lines.back().second = y;
    } else {
      lines.emplace_back(y, y);
    }
  }
  return lines;
}

// The horizontal middle of the text between two rows.
double TextMiddle(const QImage& image, int top, int bottom) {
  int left = image.width();
  int right = 0;
  for (int y = top; y <= bottom; ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (!IsText(image.pixelColor(x, y))) continue;
      left = std::min(left, x);
      right = std::max(right, x);
    }
  }
  return (left + right) / 2.0;
}

struct BalloonSize {
  int width;
  CRect text;
};

TEST(Balloon, ItsTextRectangleIsInscribedInTheEllipse) {
  for (const BalloonSize& size : {BalloonSize{150, CRect(31, 9, 129, 51)}, BalloonSize{100, CRect(24, 9, 86, 51)}}) {
    CBalloonTip balloon;
    balloon.m_nWidth = size.width;
    ASSERT_TRUE(balloon.Create(nullptr));
    const CRect& text = balloon.GetTextRect();
    EXPECT_EQ((std::vector<LONG>{text.left, text.top, text.right, text.bottom}),
              (std::vector<LONG>{size.text.left, size.text.top, size.text.right, size.text.bottom}))
        << size.width;
    // The tail's corners are inside the shape, the window's top-left corner is not.
    const QRegion shape = WidgetOf(balloon)->mask();
    for (const QPoint inside : {QPoint(2, 21), QPoint(14, 26), QPoint(14, 34), QPoint(size.width / 2, 30)}) {
      EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();
    }
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(5, 5)));
  }
}

TEST_F(ControlsTest, TheHintIsBrokenIntoCentredLinesAndAShortTextStaysOnOne) {
  CBalloonTip& balloon = dialog.m_balloon;
  const CRect text = balloon.GetTextRect();
  const QRect inside(text.left, text.top, text.Width(), text.Height());
  testing_support::ShowPortHint(dialog);
  ASSERT_TRUE(balloon.IsWindowVisible());
  const QImage hint = WidgetOf(balloon)->grab().toImage();
  EXPECT_EQ(PixelOf(hint, 22, 30), RGB(213, 253, 224)) << "the fill, beside the text";
  const std::vector<std::pair<int, int>> lines = TextLines(hint, inside);
  ASSERT_GE(lines.size(), 2u) << "wider than the text rectangle: broken between words";
  for (const auto& [top, bottom] : lines) EXPECT_NEAR(TextMiddle(hint, top, bottom), inside.center().x(), 4);
  // The whole hint, broken between words in the font it was shown in, fits the text rectangle,
  // so the ellipse cuts none of it off; and no text is drawn outside it.
  QImage scratch(1, 1, QImage::Format_RGB32);
  platform::qt::QtDeviceContext context(&scratch, QFont());
  CFont font = balloon.GetTextFont();
  CDC::FromHandle(&context)->SelectObject(&font);
  CRect needed = text;
  CDC::FromHandle(&context)->DrawText("AUTO DETECT가 안 되면 직접 입력해주셔야 합니다.", &needed,
                                      DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
  platform::ForgetDeviceContext(&context);
  EXPECT_LE(needed.Width(), text.Width());
  EXPECT_LE(needed.Height(), text.Height());
  EXPECT_GE(font.Description().height, 8) << "lowered no further than it can be read";
  for (int y = 0; y < hint.height(); ++y) {
    for (int x = 0; x < hint.width(); ++x) {
      if (!IsText(hint.pixelColor(x, y))) continue;
      ASSERT_TRUE(inside.adjusted(-1, -1, 1, 1).contains(x, y)) << x << "," << y;
    }
  }

  CBalloonTip single;
  single.m_nWidth = 150;
  ASSERT_TRUE(single.Create(nullptr));
  CWnd* combo = dialog.GetDlgItem(IDC_PORT);
  const MSG move{combo->GetSafeHwnd(), WM_MOUSEMOVE, 0, 0, 0, {400, 300}};
  single.AddTool(combo, "COM7");
  single.RelayEvent(&move);
  const QImage shortText = WidgetOf(single)->grab().toImage();
  const std::vector<std::pair<int, int>> line = TextLines(shortText, inside);
  ASSERT_EQ(line.size(), 1u);
  EXPECT_NEAR((line[0].first + line[0].second) / 2.0, inside.center().y(), 3);
  EXPECT_NEAR(TextMiddle(shortText, line[0].first, line[0].second), inside.center().x(), 3);
}

TEST(Balloon, AUnionThatFailsIsReportedAndMakesNoWindow) {
  testing_support::MessageBoxRecorder boxes;
  platform::SetRegionUnionFailure([] { return true; });
  CBalloonTip balloon;
  EXPECT_FALSE(balloon.Create(nullptr));
  EXPECT_EQ(balloon.GetSafeHwnd(), nullptr);
  platform::SetRegionUnionFailure(nullptr);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "ERROR in Combining Region");

  // Made, then failing while it paints: the box again, and nothing drawn.
  CBalloonTip painted;
  ASSERT_TRUE(painted.Create(nullptr));
  platform::SetRegionUnionFailure([] { return true; });
  WidgetOf(painted)->grab();
  platform::SetRegionUnionFailure(nullptr);
  EXPECT_EQ(boxes.boxes.size(), 2u);
}

}  // namespace

namespace {

// The pointer over the combo's own part (its arrow), not over the edit field inside it.
QPoint ComboArrow(CDownloaderDlg& dialog) {
  QWidget* combo = WidgetOf(*dialog.GetDlgItem(IDC_PORT));
  return QPoint(combo->width() - 6, combo->height() / 2);
}

void MoveTo(CWnd* window, QPoint at) { QTest::mouseMove(WidgetOf(*window), at); }

TEST_F(ControlsTest, TheBalloonFollowsThePointerOnAndOffThePortCombo) {
  QWidget* main = WidgetOf(dialog);
  main->activateWindow();
  QApplication::setActiveWindow(main);
  dialog.GetDlgItem(IDC_CODE)->SetFocus();
  QWidget* focused = QApplication::focusWidget();
  ASSERT_NE(focused, nullptr);
  CWnd* combo = dialog.GetDlgItem(IDC_PORT);
  CWnd* field = CWnd::FromHandle(platform::ChildById(combo->GetSafeHwnd(), 1001));
  CWnd* elsewhere = dialog.GetDlgItem(IDC_DOWNLOAD_TYPE_LABEL);
  CBalloonTip& balloon = dialog.m_balloon;

  MoveTo(combo, ComboArrow(dialog));
  ASSERT_TRUE(balloon.IsWindowVisible());
  const QPoint shownAt = WidgetOf(*combo)->mapToGlobal(ComboArrow(dialog));
  EXPECT_EQ(WidgetOf(balloon)->geometry(), QRect(shownAt, QSize(150, 60))) << "its corner at the pointer";
  EXPECT_EQ(QApplication::focusWidget(), focused) << "it never takes the focus";

  MoveTo(combo, ComboArrow(dialog) + QPoint(2, 1));
  EXPECT_TRUE(balloon.IsWindowVisible()) << "the pointer is still over the combo, not over the balloon";
  EXPECT_EQ(WidgetOf(balloon)->pos(), shownAt) << "it stays where it was shown";
  MoveTo(field, QPoint(3, 3));
  EXPECT_FALSE(balloon.IsWindowVisible()) << "the edit field inside the combo is another window";

  MoveTo(combo, ComboArrow(dialog));
  ASSERT_TRUE(balloon.IsWindowVisible());
  QTest::keyClick(focused, Qt::Key_A);
  EXPECT_FALSE(balloon.IsWindowVisible()) << "a key hides it";
  MoveTo(combo, ComboArrow(dialog) + QPoint(1, 0));
  EXPECT_FALSE(balloon.IsWindowVisible()) << "and it stays hidden while the pointer stays";
  MoveTo(elsewhere, QPoint(2, 2));
  MoveTo(combo, ComboArrow(dialog));
  EXPECT_TRUE(balloon.IsWindowVisible()) << "back once the pointer has left and returned";
  QTest::mousePress(WidgetOf(*combo), Qt::RightButton, Qt::NoModifier, ComboArrow(dialog));
  EXPECT_FALSE(balloon.IsWindowVisible()) << "a right click hides it too";
  QTest::mouseRelease(WidgetOf(*combo), Qt::RightButton, Qt::NoModifier, ComboArrow(dialog));
  MoveTo(elsewhere, QPoint(2, 2));

  // Another application has the keyboard: nothing happens.
  QApplication::setActiveWindow(nullptr);
  MoveTo(combo, ComboArrow(dialog));
  EXPECT_FALSE(balloon.IsWindowVisible());
}

}  // namespace
