// CString: a counted byte string. On this platform the bytes are UTF-8.
#pragma once

#include <string>

#include "platform/kernel/types.h"

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit like MFC's
  CString(const char* text, int length) : m_text(text, length > 0 ? length : 0) {}
  explicit CString(const std::string& text) : m_text(text) {}

  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }

  int CompareNoCase(const char* other) const;

  CString& MakeLower();
  CString& TrimRight();
  // Removes from the end every character that occurs in `targets`.
  CString& TrimRight(const char* targets);

  CString& operator+=(const CString& other);
  CString& operator+=(const char* other);
  CString& operator+=(char c);

  operator const char*() const { return m_text.c_str(); }  // NOLINT: implicit like MFC's
  const char* GetString() const { return m_text.c_str(); }
  const std::string& str() const { return m_text; }

  friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
  friend bool operator!=(const CString& a, const CString& b) { return a.m_text != b.m_text; }
  friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  friend CString operator+(CString a, const CString& b) { return a += b; }
  friend CString operator+(CString a, const char* b) { return a += b; }
  friend CString operator+(const char* a, const CString& b) { return CString(a) += b; }

 private:
  std::string m_text;
};

// printf's words as a std::string, for text that is no CString: a file's lines, a page.
std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
