#include "tools/wine_driver/program_windows.h"

namespace wine_driver {

namespace {

// Window texts cross the process boundary through WM_GETTEXT; a text longer than this
// buffer is cut, which no dialog of ours comes near.
constexpr int kTextCapacity = 4096;

std::string WindowText(HWND window) {
  char buffer[kTextCapacity] = {};
  const int length = GetWindowTextA(window, buffer, kTextCapacity);
  return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::string ClassOf(HWND window) {
  char buffer[256] = {};
  const int length = GetClassNameA(window, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

struct EnumState {
  DWORD processId;
  std::vector<WindowState>* windows;
};

BOOL CALLBACK AddControl(HWND child, LPARAM param) {
  auto* window = reinterpret_cast<WindowState*>(param);
  if (GetParent(child) != window->handle) return TRUE;  // only the dialog's own controls
  ControlState c;
  c.handle = child;
  c.id = static_cast<int>(static_cast<unsigned short>(GetDlgCtrlID(child)));
  c.className = ClassOf(child);
  c.text = WindowText(child);
  c.enabled = IsWindowEnabled(child) != FALSE;
  c.visible = IsWindowVisible(child) != FALSE;
  window->controls.push_back(c);
  return TRUE;
}

BOOL CALLBACK AddWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<EnumState*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != state->processId || !IsWindowVisible(window)) return TRUE;
  WindowState w;
  w.handle = window;
  w.className = ClassOf(window);
  w.caption = WindowText(window);
  w.enabled = IsWindowEnabled(window) != FALSE;
  EnumChildWindows(window, AddControl, reinterpret_cast<LPARAM>(&w));
  state->windows->push_back(std::move(w));
  return TRUE;
}

}  // namespace

const ControlState* WindowState::Control(int id) const {
  for (const ControlState& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

std::vector<WindowState> ReadProgramWindows(DWORD processId) {
  std::vector<WindowState> windows;
  EnumState state{processId, &windows};
  EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&state));  // Z order, topmost first
  return windows;
}

bool WindowState::IsMessageBox() const {
  const ControlState* text = Control(0xFFFF);
  const ControlState* icon = Control(1088);
  if (!icon) icon = Control(20);
  auto isStatic = [](const ControlState* c) {
    return c && lstrcmpiA(c->className.c_str(), "Static") == 0;
  };
  return className == "#32770" && isStatic(text) && isStatic(icon);
}

const WindowState* TopDialog(const std::vector<WindowState>& windows) {
  for (const WindowState& w : windows)
    if (!w.IsMessageBox()) return &w;
  return nullptr;
}

const ControlState* FindControl(const std::vector<WindowState>& windows, int id) {
  const WindowState* dialog = TopDialog(windows);
  return dialog ? dialog->Control(id) : nullptr;
}

bool HasFocus(HWND control) {
  const DWORD thread = GetWindowThreadProcessId(control, nullptr);
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return thread != 0 && GetGUIThreadInfo(thread, &info) && info.hwndFocus == control;
}

std::string Describe(const std::vector<WindowState>& windows) {
  if (windows.empty()) return "  (the program shows no window)\n";
  std::string out;
  for (const WindowState& w : windows) {
    out +=
        "  window \"" + w.caption + "\" (" + w.className + (w.enabled ? "" : ", disabled") + ")\n";
    for (const ControlState& c : w.controls) {
      std::string text = c.text;
      for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;)
        text.replace(at, 1, "\\n");
      out += "    " + std::to_string(c.id) + " " + c.className + " \"" + text + "\"" +
             (c.enabled ? "" : " disabled") + (c.visible ? "" : " hidden") + "\n";
    }
  }
  return out;
}

}  // namespace wine_driver
