// Windows and controls: the functions the Win32 calls reach on a window (its text and
// state, focus, messages, system menu, painting, sizes, destruction) and the controls'
// own window procedure (texts, the progress bar).
#include "platform/sim/ui/window_manager.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/sdk/last_error.h"
#include "platform/sim/ui/window_internals.h"

namespace sim {

using namespace window_internals;

namespace {

// Dialog base units of a template font, in pixels per 4 horizontal and 8 vertical dialog
// units: "MS Sans Serif" 8 (the programs' font) measures 6 by 13 at 96 dots per inch, and
// other sizes scale from it; a template without a font uses the system font, 8 by 16.
struct BaseUnits {
  int x, y;
};

BaseUnits BaseUnitsOf(const std::string& fontName, int pointSize) {
  if (fontName.empty() || pointSize <= 0) return {8, 16};
  return {std::max(1, (6 * pointSize + 4) / 8), std::max(1, (13 * pointSize + 4) / 8)};
}

// MulDiv's rounding, for the non-negative sizes of dialog units.
int ScaleRounded(int value, int numerator, int denominator) {
  return (value * numerator + denominator / 2) / denominator;
}

}  // namespace

LRESULT WindowManager::ControlProc(uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == BM_CLICK) {
    // A push button clicked: its dialog gets the command, as from the mouse, and the button
    // the focus. A disabled or hidden button takes no click.
    uintptr_t dialog = 0;
    int id = 0;
    {
      std::lock_guard<std::mutex> g(mutex_);
      Window* w = Find(handle);
      Window* d = w ? DialogOf(w) : nullptr;
      if (!d || d == w || !IsPushButton(w) || w->Disabled() || !w->Visible()) return 0;
      if (d->focus != w->handle) d->focusIsDefault = false;
      d->focus = w->handle;
      Changed();
      dialog = d->handle;
      id = w->id;
    }
    Dispatch(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), static_cast<LPARAM>(handle));
    return 0;
  }
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = Find(handle);
  if (!w) return 0;
  switch (message) {
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      Changed();
      return TRUE;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_GETTEXT:
      return CopyWindowText(w->text, wParam, lParam);
    default:
      break;
  }
  if (!IsProgressClass(w->className)) return 0;
  auto clamp = [w] { w->position = std::min(std::max(w->position, w->rangeMin), w->rangeMax); };
  switch (message) {
    case PBM_SETPOS: {
      const int previous = w->position;
      w->position = static_cast<int>(wParam);
      clamp();
      Changed();
      return previous;
    }
    case PBM_DELTAPOS: {
      const int previous = w->position;
      w->position += static_cast<int>(wParam);
      clamp();
      Changed();
      return previous;
    }
    case PBM_GETPOS:
      return w->position;
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      const LRESULT previous = MAKELONG(w->rangeMin, w->rangeMax);
      if (message == PBM_SETRANGE) {
        w->rangeMin = LOWORD(lParam);
        w->rangeMax = HIWORD(lParam);
      } else {
        w->rangeMin = static_cast<int>(wParam);
        w->rangeMax = static_cast<int>(lParam);
      }
      clamp();
      Changed();
      return previous;
    }
    case PBM_GETRANGE:
      return wParam ? w->rangeMin : w->rangeMax;
    case PBM_SETSTEP: {
      const int previous = w->step;
      w->step = static_cast<int>(wParam);
      return previous;
    }
    case PBM_STEPIT: {
      const int previous = w->position;
      w->position += w->step;
      if (w->position > w->rangeMax) w->position = w->rangeMin + (w->position - w->rangeMax);
      clamp();
      Changed();
      return previous;
    }
    default:
      return 0;
  }
}

// ---- Window functions ------------------------------------------------------------------

BOOL WindowManager::EndDialog(HWND dialog, INT_PTR result) {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(dialog);
  if (!w) return FALSE;
  if (w->kind != Kind::Dialog) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->ended = true;
  w->result = result;
  if (w->shown && !(w->style & WS_VISIBLE)) w->shown = false;
  Changed();
  return TRUE;
}

HWND WindowManager::GetDlgItem(HWND dialog, int id) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(dialog);
  if (!w) return nullptr;
  for (uintptr_t h : w->children)
    if (const Window* c = Find(h); c && c->id == id) return reinterpret_cast<HWND>(h);
  Fail(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int WindowManager::GetDlgCtrlID(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return 0;
  return w->kind == Kind::Control ? w->id : 0;
}

BOOL WindowManager::EnableWindow(HWND window, BOOL enable) {
  Lock lock(mutex_);
  Window* w = FindLive(window);
  if (!w) return FALSE;
  const BOOL wasDisabled = w->Disabled() ? TRUE : FALSE;
  if ((enable != 0) == !wasDisabled) return wasDisabled;
  if (enable) {
    w->style &= ~static_cast<uint32_t>(WS_DISABLED);
  } else {
    w->style |= WS_DISABLED;
    // A disabled window cannot keep the focus; only its own thread's focus is touched.
    if (w->thread == std::this_thread::get_id())
      if (Window* d = DialogOf(w); d && d->focus == w->handle) d->focus = 0;
  }
  Changed();
  lock.unlock();
  SendMessage(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL WindowManager::IsWindowEnabled(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  return w && !w->Disabled() ? TRUE : FALSE;
}

HWND WindowManager::SetFocus(HWND window) {
  std::lock_guard<std::mutex> g(mutex_);
  const std::thread::id self = std::this_thread::get_id();
  Window* active = nullptr;
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend() && !active; ++it)
    if (Window* w = Find(*it); w && w->thread == self && w->kind == Kind::Dialog) active = w;
  const HWND previous = active ? reinterpret_cast<HWND>(active->focus) : nullptr;
  if (!window) {
    if (active && active->focus) {
      active->focus = 0;
      Changed();
    }
    return previous;
  }
  Window* w = FindLive(window);
  if (!w) return nullptr;
  // The focus belongs to the thread whose input the window gets: another thread's window
  // cannot take it (Windows would need AttachThreadInput for that).
  if (w->thread != self || w->kind == Kind::MessageBox) return nullptr;
  Window* dialog = DialogOf(w);
  if (!dialog || w->Disabled() || dialog->Disabled() || (dialog->style & WS_MINIMIZE))
    return nullptr;
  dialog->focus = w->kind == Kind::Control ? w->handle : 0;
  dialog->focusIsDefault = false;
  Changed();
  return previous;
}

HWND WindowManager::GetFocus() const {
  std::lock_guard<std::mutex> g(mutex_);
  const std::thread::id self = std::this_thread::get_id();
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it)
    if (Window* w = Find(*it); w && w->thread == self && w->kind == Kind::Dialog)
      return reinterpret_cast<HWND>(w->focus);
  return nullptr;
}

LRESULT WindowManager::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Lock lock(mutex_);
  Window* w = FindLive(window);
  if (!w) return 0;
  const uintptr_t handle = w->handle;
  if (w->thread == std::this_thread::get_id()) {
    lock.unlock();
    return Dispatch(handle, message, wParam, lParam);
  }
  auto m = std::make_shared<SentMessage>();
  m->window = handle;
  m->message = message;
  m->wParam = wParam;
  m->lParam = lParam;
  QueueOf(w->thread).sent.push_back(m);
  changed_.notify_all();
  Pump(
      lock, [&] { return m->done || !Find(handle); }, false);
  if (!m->done) {
    Fail(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return m->result;
}

BOOL WindowManager::PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return FALSE;
  QueueOf(w->thread).posted.push_back({w->handle, message, wParam, lParam});
  changed_.notify_all();
  return TRUE;
}

HMENU WindowManager::GetSystemMenu(HWND window, BOOL revert) {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return nullptr;
  if (w->kind != Kind::Dialog || !(w->style & WS_SYSMENU)) return nullptr;
  if (revert) {
    if (w->systemMenu) {
      menus_.erase(w->systemMenu);
      w->systemMenu = 0;
      w->menuItems.erase(std::remove_if(w->menuItems.begin(), w->menuItems.end(),
                                        [](const MenuItemView& item) {
                                          return item.command != 0 && item.command < 0xF000;
                                        }),
                         w->menuItems.end());
      Changed();
    }
    return nullptr;
  }
  if (!w->systemMenu) {
    w->systemMenu = NewHandle();
    menus_[w->systemMenu] = w->handle;
  }
  return reinterpret_cast<HMENU>(w->systemMenu);
}

BOOL WindowManager::AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = menus_.find(reinterpret_cast<uintptr_t>(menu));
  Window* w = it == menus_.end() ? nullptr : Find(it->second);
  if (!w) {
    Fail(ERROR_INVALID_MENU_HANDLE);
    return FALSE;
  }
  constexpr UINT kSupported = MF_SEPARATOR | MF_GRAYED | MF_DISABLED;
  if (flags & ~kSupported) {
    Fail(ERROR_INVALID_PARAMETER);  // pop-ups, bitmaps and owner-drawn items are not kept
    return FALSE;
  }
  if (flags & MF_SEPARATOR) {
    w->menuItems.push_back({0, ""});
  } else {
    w->menuItems.push_back({static_cast<int>(id), text ? text : ""});
  }
  Changed();
  return TRUE;
}

BOOL WindowManager::IsIconic(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL WindowManager::GetClientRect(HWND window, RECT* rect) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return FALSE;
  if (!rect) {
    Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BaseUnits units{8, 16};
  int cx = w->cx, cy = w->cy;
  if (w->kind == Kind::MessageBox) {
    cx = 0;
    cy = 0;
  } else if (Window* d = DialogOf(w)) {
    units = BaseUnitsOf(d->fontName, d->fontPointSize);
  }
  rect->left = 0;
  rect->top = 0;
  rect->right = ScaleRounded(cx, units.x, 4);
  rect->bottom = ScaleRounded(cy, units.y, 8);
  return TRUE;
}

HDC WindowManager::BeginPaint(HWND window, PAINTSTRUCT* paint) {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return nullptr;
  if (!paint || w->thread != std::this_thread::get_id()) {
    Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const uintptr_t dc = NewHandle();
  paintDcs_[dc] = w->handle;
  w->needsPaint = false;
  std::memset(paint, 0, sizeof(*paint));
  paint->hdc = reinterpret_cast<HDC>(dc);
  paint->fErase = TRUE;
  BaseUnits units = BaseUnitsOf(DialogOf(w) ? DialogOf(w)->fontName : std::string(),
                                DialogOf(w) ? DialogOf(w)->fontPointSize : 0);
  paint->rcPaint.right = ScaleRounded(w->cx, units.x, 4);
  paint->rcPaint.bottom = ScaleRounded(w->cy, units.y, 8);
  return paint->hdc;
}

BOOL WindowManager::EndPaint(HWND window, const PAINTSTRUCT* paint) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!paint) return FALSE;
  auto it = paintDcs_.find(reinterpret_cast<uintptr_t>(paint->hdc));
  if (it == paintDcs_.end() || it->second != reinterpret_cast<uintptr_t>(window)) return FALSE;
  paintDcs_.erase(it);
  return TRUE;
}

BOOL WindowManager::DrawIcon(HDC dc, int x, int y, HICON icon) {
  std::lock_guard<std::mutex> g(mutex_);
  auto it = paintDcs_.find(reinterpret_cast<uintptr_t>(dc));
  Window* w = it == paintDcs_.end() ? nullptr : Find(it->second);
  if (!w) {
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!icon) {
    Fail(1402);  // ERROR_INVALID_CURSOR_HANDLE: what DrawIcon reports for a null icon
    return FALSE;
  }
  w->drawn.push_back({icon, x, y});
  Changed();
  return TRUE;
}

BOOL WindowManager::DestroyWindow(HWND window) {
  Lock lock(mutex_);
  Window* w = FindLive(window);
  if (!w) return FALSE;
  if (w->thread != std::this_thread::get_id()) {
    Fail(ERROR_ACCESS_DENIED);  // only the thread that made a window can destroy it
    return FALSE;
  }
  Destroy(lock, w->handle);
  return TRUE;
}

BOOL WindowManager::IsWindow(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  return Find(reinterpret_cast<uintptr_t>(window)) ? TRUE : FALSE;
}

HWND WindowManager::GetParent(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  Window* w = FindLive(window);
  if (!w) return nullptr;
  return Find(w->parent) ? reinterpret_cast<HWND>(w->parent) : nullptr;
}

HWND WindowManager::FindWindow(const char* className, const char* caption) const {
  std::lock_guard<std::mutex> g(mutex_);
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
    const Window* w = Find(*it);
    if (!w || (className && !SameClass(w->className, className))) continue;
    // Both compare without regard to case.
    if (caption && !SameClass(w->kind == Kind::MessageBox ? w->boxCaption : w->text, caption))
      continue;
    return reinterpret_cast<HWND>(w->handle);
  }
  return nullptr;
}

void WindowManager::InitCommonControls(DWORD classes) {
  std::lock_guard<std::mutex> g(mutex_);
  commonControls_ |= classes;
}

}  // namespace sim
