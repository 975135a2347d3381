// A picture of a window as it stands on the screen, saved as a PNG file (8-bit RGB).
#pragma once

#include <string>

#include "platform/win32.h"

namespace wine_driver {

// Brings the window to the top, has it painted, and copies its screen rectangle (the
// screen DC is read, because a window's own DC or PrintWindow gives no pixels under Wine).
// False with `error` set when the window is gone or the file cannot be written.
bool SaveWindowShot(HWND window, const std::string& pngPath, std::string* error);

}  // namespace wine_driver
