// What the window manager's files share and no one else uses: its records of windows,
// of messages sent and posted and of inputs waiting in a thread's queue, and the rules
// for class names that every part applies.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sdk/commctrl.h"
#include "platform/sim/sdk/winerror.h"
#include "platform/sim/sdk/winuser.h"
#include "platform/sim/ui/window_manager.h"

namespace sim {

struct WindowManager::Window {
  uintptr_t handle = 0;
  Kind kind = Kind::Control;
  std::thread::id thread;
  uintptr_t parent = 0;  // a control's dialog; a top-level window's owner
  std::string className;
  std::string text;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int id = -1;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units

  // Dialogs.
  int templateId = 0;
  std::string fontName;
  int fontPointSize = 0;
  DLGPROC proc = nullptr;
  std::vector<uintptr_t> children;
  uintptr_t focus = 0;
  int defaultId = 0;
  // The focus came to a push button by the dialog manager's navigation (Tab, WM_NEXTDLGCTL),
  // which makes that button the default while it has the focus. A program's SetFocus, the
  // first focus after WM_INITDIALOG and a click move the focus without that.
  bool focusIsDefault = false;
  bool shown = false;
  bool ended = false;
  INT_PTR result = 0;
  bool needsPaint = false;
  bool reenableOwner = false;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  uintptr_t systemMenu = 0;
  std::vector<MenuItemView> menuItems;
  std::vector<DrawnIcon> drawn;

  // Progress bars.
  int position = 0, rangeMin = 0, rangeMax = 100, step = 10;

  // Message boxes.
  std::string boxCaption;
  UINT boxType = 0;
  std::vector<std::pair<int, std::string>> buttons;
  int boxFocus = 0;
  static constexpr int kBoxTextId = 0xFFFF;  // the text control of a message box, as on Windows
  bool answered = false;
  int answer = 0;

  bool destroyed = false;

  bool Disabled() const { return (style & WS_DISABLED) != 0; }
  bool Visible() const { return (style & WS_VISIBLE) != 0; }
};

struct WindowManager::SentMessage {
  uintptr_t window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;
};

struct WindowManager::PostedMessage {
  uintptr_t window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct WindowManager::PendingInput {
  Input input;
  uintptr_t target = 0;
  bool settled = false;
  std::string refusal;
};

struct WindowManager::ThreadQueue {
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<PostedMessage> posted;
  std::deque<std::shared_ptr<PendingInput>> inputs;
  std::shared_ptr<PendingInput> current;  // the input whose handler runs now
};

struct WindowManager::InputAction {
  enum class Do { Nothing, Message, Answer } what = Do::Nothing;
  uintptr_t window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int answer = 0;
};

namespace window_internals {

inline bool SameClass(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

inline bool IsProgressClass(const std::string& name) { return SameClass(name, PROGRESS_CLASSA); }

inline ControlKind KindOfControl(const std::string& className, uint32_t style) {
  if (SameClass(className, "Button")) {
    const uint32_t type = style & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return ControlKind::PushButton;
    if (type == BS_GROUPBOX) return ControlKind::GroupBox;
    return ControlKind::Other;
  }
  if (SameClass(className, "Static"))
    return (style & SS_TYPEMASK) == SS_ICON ? ControlKind::Icon : ControlKind::Static;
  if (IsProgressClass(className)) return ControlKind::ProgressBar;
  return ControlKind::Other;
}

// WM_GETTEXT's answer: `text` cut to the caller's `size` characters with their NUL.
inline LRESULT CopyWindowText(const std::string& text, WPARAM size, LPARAM buffer) {
  if (size == 0 || !buffer) return 0;
  const size_t n = std::min<size_t>(size - 1, text.size());
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
  reinterpret_cast<char*>(buffer)[n] = '\0';
  return static_cast<LRESULT>(n);
}

// A push button: the window of a control that is one (null for none).
template <typename WindowRecord>
bool IsPushButton(const WindowRecord* w) {
  return w && KindOfControl(w->className, w->style) == ControlKind::PushButton;
}

inline std::string ButtonName(int id, const std::string& text) {
  return "button " + std::to_string(id) + " \"" + text + "\"";
}

}  // namespace window_internals
}  // namespace sim
