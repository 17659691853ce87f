// Pieces of an HTML page that are built, never pasted together from strings: text becomes
// markup only through Text, which escapes it; an element's attribute values are escaped as
// text; markup the program writes itself comes from literals. Only markup joins markup.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>

class Html {
 public:
  using Attribute = std::pair<const char*, std::string>;

  Html() = default;
  // Text on the page: &, <, > and " escaped, and any control character but tab and newline
  // replaced (a path could hold one).
  static Html Text(const std::string& text);
  // Markup the program writes as a literal: a line break between elements, a style sheet.
  template <std::size_t N>
  static Html Literal(const char (&markup)[N]) {
    return Html(std::string(markup, N - 1));
  }
  // <tag name="value" ...>content</tag>
  static Html Element(const char* tag, std::initializer_list<Attribute> attributes, const Html& content);
  // <tag name="value" .../>
  static Html Empty(const char* tag, std::initializer_list<Attribute> attributes);

  Html& operator+=(const Html& more) {
    m_markup += more.m_markup;
    return *this;
  }
  friend Html operator+(Html first, const Html& second) { return first += second; }

  bool IsEmpty() const { return m_markup.empty(); }
  void Reserve(std::size_t bytes) { m_markup.reserve(bytes); }
  const std::string& Markup() const { return m_markup; }

 private:
  explicit Html(std::string markup) : m_markup(std::move(markup)) {}
  static std::string Opening(const char* tag, std::initializer_list<Attribute> attributes);

  std::string m_markup;
};
