#include "serial/port_flags.h"

std::atomic<BOOL> g_bPortOpen{FALSE};
