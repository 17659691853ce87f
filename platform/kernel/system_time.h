// The calendar date and time: in UTC, and as the local clock shows it. (Run times go through
// the clock seam in clock.h; this is for dating what the program keeps.)
#pragma once

#include "platform/kernel/types.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;  // 1-12
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

void GetSystemTime(SYSTEMTIME* time);
void GetLocalTime(SYSTEMTIME* time);
