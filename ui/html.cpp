#include "ui/html.h"

namespace {

void AppendEscaped(std::string* markup, const std::string& text) {
  for (const char c : text) {
    switch (c) {
      case '&': *markup += "&amp;"; break;
      case '<': *markup += "&lt;"; break;
      case '>': *markup += "&gt;"; break;
      case '"': *markup += "&quot;"; break;
      case '\n':
      case '\t': *markup += c; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          *markup += "\xEF\xBF\xBD";
        } else {
          *markup += c;
        }
    }
  }
}

}  // namespace

Html Html::Text(const std::string& text) {
  std::string markup;
  markup.reserve(text.size());
  AppendEscaped(&markup, text);
  return Html(std::move(markup));
}

std::string Html::Opening(const char* tag, std::initializer_list<Attribute> attributes) {
  std::string markup = std::string("<") + tag;
  for (const auto& [name, value] : attributes) {
    markup += std::string(" ") + name + "=\"";
    AppendEscaped(&markup, value);
    markup += '"';
  }
  return markup;
}

Html Html::Element(const char* tag, std::initializer_list<Attribute> attributes, const Html& content) {
  return Html(Opening(tag, attributes) + ">" + content.m_markup + "</" + tag + ">");
}

Html Html::Empty(const char* tag, std::initializer_list<Attribute> attributes) {
  return Html(Opening(tag, attributes) + "/>");
}
