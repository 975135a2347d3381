// Drawing of the simulated screen as text for the terminal front end: each dialog as a
// framed box at its dialog-unit proportions (one character cell is 4 by 8 dialog units,
// the width and height of an average character of the dialog's font), with its caption,
// wrapped texts, buttons, group boxes and progress bars; message boxes framed the same way
// over it. A text longer than its control goes on in the free rows below it and ends with
// "..." only where none is free; controls side by side stand on one row, however the
// rounding to rows falls. Kept apart from the terminal so that it can be tested as a
// string.
//
// Buttons read "[ OK ]"; the focused one "> OK <"; a disabled one "( OK )". With ANSI
// escapes the focused button is also shown reversed, the default one bold, disabled ones
// dim and mnemonic letters underlined, and the key help under the windows says what the
// keys press (KeyHelp): the button Enter presses, each Alt letter, how buttons look.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/ui/front_end.h"

namespace sim {

struct RenderOptions {
  bool ansi = false;       // escapes for attributes, each line ended by "erase to its end"
                           // and "\r\n"; the caller places the drawing
  bool keyHelp = true;     // with ansi: the keys the active window takes, under the windows
  std::string statusLine;  // shown under the windows (the terminal's last message)
  int columns = 0;         // the terminal's width: the lines under the windows wrap to it;
                           // 0 when unknown
};

std::string RenderScreen(const Screen& screen, const RenderOptions& options = {});

// Greedy word wrap into lines of at most `width` characters; '\n' breaks a line; a word
// longer than a line is cut.
std::vector<std::string> WrapText(const std::string& text, int width);

}  // namespace sim
