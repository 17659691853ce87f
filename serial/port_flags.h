// Flags shared by the user-interface thread and the receive thread. Each has one writer;
// they are atomic so that the other thread's reads are well defined.
#pragma once

#include <atomic>

#include "platform/kernel/types.h"

// Set by a successful CSerialPort::Open, cleared by Close and at the start of every Open.
extern std::atomic<BOOL> g_bPortOpen;
