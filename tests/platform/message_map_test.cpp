// Message maps: a class's table first, then its base's, and the window's default procedure for
// what no table takes; notifications routed by control id and code.
#include <gtest/gtest.h>

#include <vector>

#include "platform/user/messages.h"
#include "platform/user/window_messages.h"
#include "platform/user/wnd.h"

namespace {

constexpr UINT WM_MAPPED = WM_USER + 1;
constexpr UINT WM_BASE_ONLY = WM_USER + 2;
constexpr UINT WM_UNMAPPED = WM_USER + 3;

class BaseWindow : public CWnd {
 public:
  BaseWindow() { CreateHandle(); }
  std::vector<const char*> calls;

 protected:
  LRESULT OnMapped(WPARAM, LPARAM) {
    calls.push_back("base mapped");
    return 1;
  }
  LRESULT OnBaseOnly(WPARAM wParam, LPARAM lParam) {
    calls.push_back("base only");
    return static_cast<LRESULT>(wParam) + lParam;
  }
  LRESULT DefWindowProc(UINT, WPARAM, LPARAM) override {
    calls.push_back("default");
    return -1;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BaseWindow, CWnd)
ON_MESSAGE(WM_MAPPED, OnMapped)
ON_MESSAGE(WM_BASE_ONLY, OnBaseOnly)
END_MESSAGE_MAP()

class DerivedWindow : public BaseWindow {
 protected:
  LRESULT OnMapped(WPARAM, LPARAM) {
    calls.push_back("derived mapped");
    return 2;
  }
  void OnOkClicked() { calls.push_back("ok clicked"); }
  void OnPortChanged() { calls.push_back("port changed"); }
  void OnTimer(UINT_PTR id) { calls.push_back(id == 3 ? "timer 3" : "timer ?"); }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(DerivedWindow, BaseWindow)
ON_MESSAGE(WM_MAPPED, OnMapped)
ON_BN_CLICKED(IDOK, OnOkClicked)
ON_CBN_SELCHANGE(1017, OnPortChanged)
ON_WM_TIMER()
END_MESSAGE_MAP()

TEST(MessageMap, TheMostDerivedEntryWinsAndTheBaseTableIsNextInLine) {
  DerivedWindow window;
  EXPECT_EQ(window.SendMessage(WM_MAPPED), 2);
  EXPECT_EQ(window.SendMessage(WM_BASE_ONLY, 3, 4), 7);
  EXPECT_EQ(window.SendMessage(WM_UNMAPPED), -1);
  EXPECT_EQ(window.calls, (std::vector<const char*>{"derived mapped", "base only", "default"}));
}

TEST(MessageMap, NotificationsGoByControlIdAndCode) {
  DerivedWindow window;
  window.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  window.SendMessage(WM_COMMAND, MAKEWPARAM(1017, CBN_SELCHANGE), 0);
  window.SendMessage(WM_COMMAND, MAKEWPARAM(1017, BN_CLICKED), 0);
  window.SendMessage(WM_COMMAND, MAKEWPARAM(1016, CBN_SELCHANGE), 0);
  window.SendMessage(WM_TIMER, 3, 0);
  EXPECT_EQ(window.calls, (std::vector<const char*>{"ok clicked", "port changed", "default", "default", "timer 3"}));
}

TEST(MessageMap, PostedMessagesTakeTheSameWay) {
  DerivedWindow window;
  platform::PumpPostedMessages();
  window.PostMessage(WM_MAPPED);
  window.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(window.calls.empty());
  platform::PumpPostedMessages();
  EXPECT_EQ(window.calls, (std::vector<const char*>{"derived mapped", "ok clicked"}));
}

}  // namespace
