#include "platform/sim/ui/front_end_terminal_input.h"

#include <cctype>

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
    std::string enter;  // what Enter presses: "Enter/Space: press Exit"
    std::vector<std::string> altLetters;
    auto offer = [&](const std::string& caption) {
      if (const char letter = MnemonicOf(caption))
        altLetters.push_back(std::string("Alt+") + letter + ": " + WithoutMnemonics(caption));
    };
    if (active->kind == WindowKind::MessageBox) {
      for (size_t i = 0; i < active->buttons.size(); ++i) {
        if (static_cast<int>(i) == active->focusedButton)
          enter = "Enter/Space: press " + WithoutMnemonics(active->buttons[i].second);
        offer(active->buttons[i].second);
      }
    } else {
      for (const ControlView& c : active->controls) {
        if (!c.visible || !c.enabled || c.kind != ControlKind::PushButton) continue;
        // Space presses only the focused button; Enter the focused one, else the default.
        if (c.isDefault)
          enter = std::string(c.focused ? "Enter/Space" : "Enter") + ": press " +
                  WithoutMnemonics(c.text);
        offer(c.text);
      }
    }
    if (!enter.empty()) items.push_back(enter);
    items.push_back("Tab: next button");
    items.insert(items.end(), altLetters.begin(), altLetters.end());
    items.push_back("Esc: cancel");
  }
  items.push_back("Ctrl+C: quit");
  items.push_back("buttons: > focused <  ( disabled )");
  return items;
}

}  // namespace sim
