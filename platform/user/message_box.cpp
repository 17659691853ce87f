#include "platform/user/message_box.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "platform/user/app.h"

namespace platform {
namespace {

int ConsoleMessageBox(const MessageBoxRequest& request) {
  std::fprintf(stderr, "[%s] %s\n", request.caption.GetString(), request.text.GetString());
  return (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}

struct State {
  std::mutex mutex;
  MessageBoxHandler handler = ConsoleMessageBox;
  std::string appName = program_invocation_short_name;
};

State& TheState() {
  // Never destroyed: worker threads that outlive main() may still reach it while the process exits.
  static State* const state = new State;
  return *state;
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  MessageBoxHandler previous = std::move(state.handler);
  state.handler = handler ? std::move(handler) : ConsoleMessageBox;
  return previous;
}

void SetAppName(const char* name) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.appName = name ? name : "";
}

}  // namespace platform

const char* AfxGetAppName() {
  platform::State& state = platform::TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.appName.c_str();
}

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  platform::MessageBoxHandler handler;
  {
    platform::State& state = platform::TheState();
    std::lock_guard<std::mutex> lock(state.mutex);
    handler = state.handler;
  }
  // The handler runs unlocked: a modal box keeps dispatching, and handlers may open boxes again.
  return handler(platform::MessageBoxRequest{owner, CString(text), CString(caption), type});
}

int AfxMessageBox(const char* text, UINT type, UINT /*helpId*/) {
  if ((type & MB_ICONMASK) == 0) {
    const UINT buttons = type & MB_TYPEMASK;
    type |= (buttons == MB_OK || buttons == MB_OKCANCEL) ? MB_ICONEXCLAMATION : MB_ICONQUESTION;
  }
  const CWnd* main = AfxGetMainWnd();
  return MessageBox(main ? main->GetSafeHwnd() : nullptr, text, AfxGetAppName(), type);
}
