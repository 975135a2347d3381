#include "tools/resdump/resource_text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

namespace resdump {
namespace {

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
  return buffer;
}

// A quoted text with C escapes, so line ends, quotes and blanks at the end stay visible.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
          out += buffer;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

std::string Rect(int x, int y, int cx, int cy) {
  return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(cx) + "," +
         std::to_string(cy);
}

// Windows compares window class names without regard to case, and the compilers differ in
// how they spell them (windres writes "MSCTLS_PROGRESS32" for "msctls_progress32", and an
// atom for a standard class).
std::string ClassName(const std::string& name) {
  std::string lower;
  for (char c : name)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return lower;
}

}  // namespace

std::string FormatResourceSet(const sim::ResourceSet& set) {
  std::string out;
  for (const auto& [id, d] : set.dialogs) {
    out += "dialog " + std::to_string(id) + (d.extended ? " DIALOGEX" : " DIALOG") +
           " rect=" + Rect(d.x, d.y, d.cx, d.cy) + " style=" + Hex(d.style) +
           " exstyle=" + Hex(d.exStyle) + " caption=" + Quote(d.caption);
    out += " font=" + std::to_string(d.fontPointSize) + "," + Quote(d.fontName);
    if (d.extended) {
      out += "," + std::to_string(d.fontWeight) + "," + (d.fontItalic ? "1" : "0") + "," +
             std::to_string(d.fontCharset);
    }
    out += "\n";
    for (const sim::ControlTemplate& c : d.controls) {
      out += "  control id=" + std::to_string(c.id) + " class=" + Quote(ClassName(c.className)) +
             " rect=" + Rect(c.x, c.y, c.cx, c.cy) + " style=" + Hex(c.style) +
             " exstyle=" + Hex(c.exStyle) + " text=" + Quote(c.text) + "\n";
    }
  }
  for (const auto& [id, text] : set.strings) {
    out += "string " + std::to_string(id) + " " + Quote(text) + "\n";
  }
  for (int id : set.icons) out += "icon " + std::to_string(id) + "\n";
  return out;
}

}  // namespace resdump
