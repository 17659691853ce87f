// Linux errno values as the Windows error codes the product looks at.
#pragma once

#include "platform/kernel/types.h"

namespace platform::posix {

DWORD Win32ErrorFromErrno(int error);
// Sets the calling thread's last error from errno.
void SetLastErrorFromErrno();

}  // namespace platform::posix
