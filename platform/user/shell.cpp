#include "platform/user/shell.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/desktop_opener.h"

INT_PTR ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR, int) {
  if (!file || (verb && std::strcmp(verb, "open") != 0) || (parameters && *parameters)) return SE_ERR_NOASSOC;
  switch (platform::posix::OpenWithDesktop(file)) {
    case 0: return 42;  // any value above 32
    case ENOENT: return SE_ERR_FNF;
    default: return SE_ERR_NOASSOC;
  }
}
