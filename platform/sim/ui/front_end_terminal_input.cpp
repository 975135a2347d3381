#include "platform/sim/ui/front_end_terminal_input.h"

#include <cctype>

#include "platform/sim/sdk/winuser.h"

namespace sim {

std::vector<TerminalKey> ParseTerminalInput(std::string_view bytes) {
  using Kind = TerminalKey::Kind;
  std::vector<TerminalKey> keys;
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == 0x1b) {
      if (i + 1 >= bytes.size() || bytes[i + 1] == 0x1b) {
        keys.push_back({Kind::Escape, 0});
        ++i;
        continue;
      }
      const char next = bytes[i + 1];
      if (next == '[' || next == 'O') {
        // CSI or SS3: parameters, then one final byte in @..~.
        size_t j = i + 2;
        while (j < bytes.size() && !(bytes[j] >= '@' && bytes[j] <= '~')) ++j;
        if (j >= bytes.size()) break;  // cut off: nothing usable
        const char final = bytes[j];
        const bool plain = j == i + 2;
        if (final == 'Z' && next == '[') {
          keys.push_back({Kind::ShiftTab, 0});
        } else if (plain && (final == 'A' || final == 'D')) {
          keys.push_back({Kind::ShiftTab, 0});
        } else if (plain && (final == 'B' || final == 'C')) {
          keys.push_back({Kind::Tab, 0});
        }
        i = j + 1;
        continue;
      }
      if (std::isalnum(static_cast<unsigned char>(next))) {
        keys.push_back({Kind::AltLetter, next});
        i += 2;
        continue;
      }
      keys.push_back({Kind::Escape, 0});  // Esc and something we do not know
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      keys.push_back({Kind::Enter, 0});
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else if (c == '\t') {
      keys.push_back({Kind::Tab, 0});
    } else if (c == ' ') {
      keys.push_back({Kind::Space, 0});
    } else if (c == 0x03) {
      keys.push_back({Kind::Interrupt, 0});
    } else if (std::isalnum(c)) {
      keys.push_back({Kind::Letter, static_cast<char>(c)});
    }
    ++i;
  }
  return keys;
}

std::optional<Input> InputForKey(const TerminalKey& key) {
  Input input;
  input.kind = Input::Kind::Key;
  switch (key.kind) {
    case TerminalKey::Kind::Enter:
      input.key = Input::Key::Enter;
      break;
    case TerminalKey::Kind::Escape:
      input.key = Input::Key::Escape;
      break;
    case TerminalKey::Kind::Tab:
      input.key = Input::Key::Tab;
      break;
    case TerminalKey::Kind::ShiftTab:
      input.key = Input::Key::ShiftTab;
      break;
    case TerminalKey::Kind::Space:
      input.key = Input::Key::Space;
      break;
    case TerminalKey::Kind::Letter:
      input.key = Input::Key::Letter;
      input.letter = key.letter;
      break;
    case TerminalKey::Kind::AltLetter:
      input.key = Input::Key::AltLetter;
      input.letter = key.letter;
      break;
    case TerminalKey::Kind::Interrupt:
      return std::nullopt;
  }
  return input;
}

std::vector<std::string> KeyHelp(const Screen& screen) {
  std::vector<std::string> items;
  const WindowView* active = screen.Active();
  if (active) {
    std::string focused, enter;  // the labels of what Space and Enter press
    std::vector<std::string> altLetters;
    auto offer = [&](const std::string& caption) {
      if (const char letter = MnemonicOf(caption))
        altLetters.push_back(std::string("Alt+") + letter + ": " + WithoutMnemonics(caption));
    };
    if (active->kind == WindowKind::MessageBox) {
      for (size_t i = 0; i < active->buttons.size(); ++i) {
        if (static_cast<int>(i) == active->focusedButton)
          focused = enter = WithoutMnemonics(active->buttons[i].second);
        offer(active->buttons[i].second);
      }
    } else {
      // Space presses the focused button. Enter presses the button the window manager
      // marks as the default (the focused one only where Tab made it so); where none is
      // marked, it is the dialog's OK command, which the OK button stands for.
      bool defaultMarked = false;
      for (const ControlView& c : active->controls) {
        if (c.kind != ControlKind::PushButton) continue;
        defaultMarked = defaultMarked || c.isDefault;
        if (!c.visible || !c.enabled) continue;
        if (c.focused) focused = WithoutMnemonics(c.text);
        if (c.isDefault) enter = WithoutMnemonics(c.text);
        offer(c.text);
      }
      const ControlView* ok = FindControl(*active, IDOK);
      if (!defaultMarked && ok && ok->visible && ok->enabled && ok->kind == ControlKind::PushButton)
        enter = WithoutMnemonics(ok->text);
    }
    if (!focused.empty() && focused == enter) {
      items.push_back("Enter/Space: press " + enter);
    } else {
      if (!focused.empty()) items.push_back("Space: press " + focused);
      if (!enter.empty()) items.push_back("Enter: press " + enter);
    }
    items.push_back("Tab: next button");
    items.insert(items.end(), altLetters.begin(), altLetters.end());
    items.push_back("Esc: cancel");
  }
  items.push_back("Ctrl+C: quit");
  items.push_back("buttons: > focused <  ( disabled )");
  return items;
}

}  // namespace sim
