#include "platform/sim/ui/front_end.h"

#include <cctype>

namespace sim {

const WindowView* Screen::Active() const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (it->enabled) return &*it;
  return nullptr;
}

const WindowView* Screen::TopDialog() const {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it)
    if (it->kind == WindowKind::Dialog) return &*it;
  return nullptr;
}

const WindowView* Screen::Find(uintptr_t handle) const {
  for (const WindowView& w : windows)
    if (w.handle == handle) return &w;
  return nullptr;
}

const ControlView* FindControl(const WindowView& window, int id) {
  for (const ControlView& c : window.controls)
    if (c.id == id) return &c;
  return nullptr;
}

char MnemonicOf(const std::string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return static_cast<char>(std::toupper(static_cast<unsigned char>(text[i + 1])));
  }
  return 0;
}

namespace {

using scenario::Quoted;

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
      return "button";
    case ControlKind::Static:
      return "text";
    case ControlKind::Icon:
      return "icon";
    case ControlKind::GroupBox:
      return "group";
    case ControlKind::ProgressBar:
      return "progress";
    case ControlKind::Other:
      break;
  }
  return "control";
}

}  // namespace

std::string DescribeWindow(const WindowView& w) {
  std::string out;
  if (w.kind == WindowKind::MessageBox) {
    out = "message box " + Quoted(w.caption) + ": " + Quoted(w.text) + " buttons";
    for (size_t i = 0; i < w.buttons.size(); ++i) {
      out += " " + w.buttons[i].second;
      if (static_cast<int>(i) == w.focusedButton) out += "(focus)";
    }
    return out + "\n";
  }
  out = "dialog " + std::to_string(w.templateId) + " " + Quoted(w.caption);
  if (!w.enabled) out += " disabled";
  if (w.minimized) out += " minimised";
  out += "\n";
  for (const ControlView& c : w.controls) {
    out += "  ";
    out += c.id < 0 ? std::string("-") : std::to_string(c.id);
    out += " ";
    out += KindName(c.kind);
    if (c.kind == ControlKind::ProgressBar) {
      out += " " + std::to_string(c.position) + " of " + std::to_string(c.rangeMin) + ".." +
             std::to_string(c.rangeMax);
    } else if (!c.text.empty()) {
      out += " " + Quoted(c.text);
    }
    if (!c.enabled) out += " disabled";
    if (!c.visible) out += " hidden";
    if (c.focused) out += " focus";
    if (c.isDefault) out += " default";
    out += "\n";
  }
  return out;
}

std::string DescribeScreen(const Screen& screen) {
  if (screen.windows.empty()) return "no window is open\n";
  std::string out;
  for (const WindowView& w : screen.windows) out += DescribeWindow(w);
  return out;
}

std::string DescribeInput(const Input& input) {
  switch (input.kind) {
    case Input::Kind::Button:
      return "press button " + std::to_string(input.id);
    case Input::Kind::CloseBox:
      return "close box";
    case Input::Kind::SystemCommand:
      return "system-menu command " + std::to_string(input.id);
    case Input::Kind::Answer:
      return "message-box answer " + std::to_string(input.id);
    case Input::Kind::Key:
      break;
  }
  switch (input.key) {
    case Input::Key::Enter:
      return "key Enter";
    case Input::Key::Escape:
      return "key Esc";
    case Input::Key::Tab:
      return "key Tab";
    case Input::Key::ShiftTab:
      return "key Shift+Tab";
    case Input::Key::Space:
      return "key Space";
    case Input::Key::Letter:
      return std::string("key ") + input.letter;
    case Input::Key::AltLetter:
      return std::string("key Alt+") + input.letter;
    case Input::Key::None:
      break;
  }
  return "no input";
}

}  // namespace sim
