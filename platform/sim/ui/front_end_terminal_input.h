// Keys from a terminal in raw mode, as the terminal front end reads them: bytes to keys,
// keys to the inputs the window manager takes, and the help that names the keys the
// screen takes. Kept apart from the terminal so that it can be tested on byte strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/ui/front_end.h"

namespace sim {

struct TerminalKey {
  enum class Kind { Enter, Escape, Tab, ShiftTab, Space, Letter, AltLetter, Interrupt };
  Kind kind = Kind::Escape;
  char letter = 0;
  bool operator==(const TerminalKey& other) const {
    return kind == other.kind && letter == other.letter;
  }
};

// The keys in one read from the terminal. A terminal writes an escape sequence or Alt+X
// (Esc and the letter) at once, so an Esc at the end of a read is the Esc key itself.
// Arrow keys move the focus like Tab (right, down) and Shift+Tab (left, up); other
// sequences and control characters are passed over. Ctrl+C is Interrupt.
std::vector<TerminalKey> ParseTerminalInput(std::string_view bytes);

// The input a key stands for; none for Interrupt, which the front end handles itself.
std::optional<Input> InputForKey(const TerminalKey& key);

// The keys the active window takes, as items of the help under the windows (an item is
// not split between lines): the buttons Space and Enter press, named, since Enter may
// press another button than the focused one (a dialog's default, or its OK command);
// the Alt letters of the buttons that can be pressed; how a focused and a disabled
// button are drawn.
std::vector<std::string> KeyHelp(const Screen& screen);

}  // namespace sim
