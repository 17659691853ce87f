// Kernel-object handles: events and open devices are reached through HANDLE values, and
// closed with CloseHandle (the table behind them: platform/kernel/internal/handle_table.h).
#pragma once

#include "platform/kernel/types.h"

BOOL CloseHandle(HANDLE handle);
