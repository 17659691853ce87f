// A window that records the messages it is sent, for tests of what is posted to the dialog.
#pragma once

#include <vector>

#include "platform/user/messages.h"
#include "platform/user/wnd.h"

namespace testing_support {

class RecordingWindow : public CWnd {
 public:
  RecordingWindow() { CreateHandle(); }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    received.push_back(MSG{m_hWnd, message, wParam, lParam, 0, {}});
    return 0;
  }

  // Dispatches what is queued and answers how many of the messages seen so far are `message`.
  int Count(UINT message);
  // Pumps until `count` messages of this kind have arrived, waiting at most timeoutMs in all.
  bool WaitFor(UINT message, int count, int timeoutMs = 2000);

  std::vector<MSG> received;
};

}  // namespace testing_support
