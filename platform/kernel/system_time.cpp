#include "platform/kernel/system_time.h"

#include <sys/time.h>
#include <ctime>

namespace {

void Fill(const std::tm& parts, long microseconds, SYSTEMTIME* time) {
  time->wYear = static_cast<WORD>(parts.tm_year + 1900);
  time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
  time->wDay = static_cast<WORD>(parts.tm_mday);
  time->wHour = static_cast<WORD>(parts.tm_hour);
  time->wMinute = static_cast<WORD>(parts.tm_min);
  time->wSecond = static_cast<WORD>(parts.tm_sec);
  time->wMilliseconds = static_cast<WORD>(microseconds / 1000);
}

}  // namespace

void GetSystemTime(SYSTEMTIME* time) {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm parts{};
  gmtime_r(&now.tv_sec, &parts);
  Fill(parts, now.tv_usec, time);
}

void GetLocalTime(SYSTEMTIME* time) {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm parts{};
  localtime_r(&now.tv_sec, &parts);
  Fill(parts, now.tv_usec, time);
}
