#include "platform/kernel/system_time.h"

#include <sys/time.h>
#include <ctime>

namespace {

void Fill(const std::tm& parts, long microseconds, SYSTEMTIME* time) {
  time->wYear = static_cast<WORD>(parts.tm_year + 1900);
  time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
  time->wDay = static_cast<WORD>(parts.tm_mday);
  time->wHour = static_cast<WORD>(parts.tm_hour);
  time->wMinute = static_cast<WORD>(parts.tm_min);
  time->wSecond = static_cast<WORD>(parts.tm_sec);
  time->wMilliseconds = static_cast<WORD>(microseconds / 1000);
}

// The time now, broken down by `breakDown` (gmtime_r or localtime_r).
void Now(std::tm* (*breakDown)(const std::time_t*, std::tm*), SYSTEMTIME* time) {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm parts{};
  breakDown(&now.tv_sec, &parts);
  Fill(parts, now.tv_usec, time);
}

}  // namespace

void GetSystemTime(SYSTEMTIME* time) { Now(gmtime_r, time); }

void GetLocalTime(SYSTEMTIME* time) { Now(localtime_r, time); }
