#include "platform/kernel/text.h"

#include <strings.h>
#include <cstdarg>
#include <cstdio>

namespace {

std::string FormattedV(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  m_text = FormattedV(format, args);
  va_end(args);
}

std::string Printed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormattedV(format, args);
  va_end(args);
  return text;
}

int CString::CompareNoCase(const char* other) const { return strcasecmp(m_text.c_str(), other ? other : ""); }

CString& CString::MakeLower() {
  // Only ASCII letters change; the bytes of multi-byte characters are left as they are.
  for (char& c : m_text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return *this;
}

CString& CString::TrimRight() {
  const auto end = m_text.find_last_not_of(" \t\r\n\v\f");
  m_text.erase(end == std::string::npos ? 0 : end + 1);
  return *this;
}

CString& CString::TrimRight(const char* targets) {
  const auto end = m_text.find_last_not_of(targets ? targets : "");
  m_text.erase(end == std::string::npos ? 0 : end + 1);
  return *this;
}

CString& CString::operator+=(const CString& other) {
  m_text += other.m_text;
  return *this;
}

CString& CString::operator+=(const char* other) {
  if (other) m_text += other;
  return *this;
}

CString& CString::operator+=(char c) {
  m_text += c;
  return *this;
}
