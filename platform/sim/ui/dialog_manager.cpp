// The dialog manager: dialogs run from their templates (modal and modeless), the default
// dialog procedure's messages, and the keyboard and mouse as a dialog takes them (tab
// order, mnemonics, Enter and Esc, the close box and the system menu).
#include "platform/sim/ui/window_manager.h"

#include <algorithm>
#include <cctype>

#include "platform/sim/sdk/last_error.h"
#include "platform/sim/ui/window_internals.h"

namespace sim {

using namespace window_internals;

// ---- Dialogs ---------------------------------------------------------------------------

INT_PTR WindowManager::RunDialog(const DialogTemplate& t, HWND ownerWindow, DLGPROC proc,
                                 LPARAM param, bool modal) {
  const INT_PTR failed = modal ? -1 : 0;
  Lock lock(mutex_);
  if (abandoned_ || closed_) {
    Fail(ERROR_CANCELLED);
    return failed;
  }
  uintptr_t owner = 0;
  if (ownerWindow) {
    Window* o = DialogOf(Find(reinterpret_cast<uintptr_t>(ownerWindow)));
    if (!o) {
      Fail(ERROR_INVALID_WINDOW_HANDLE);
      return 0;  // an invalid owner makes DialogBoxParam return 0, not -1
    }
    owner = o->handle;
  }
  for (const ControlTemplate& c : t.controls) {
    if (!ClassRegistered(c.className)) {
      Fail(ERROR_CANNOT_FIND_WND_CLASS);
      return failed;
    }
  }
  auto dialog = std::make_shared<Window>();
  dialog->handle = NewHandle();
  dialog->kind = Kind::Dialog;
  dialog->thread = std::this_thread::get_id();
  dialog->parent = owner;
  dialog->className = "#32770";
  dialog->text = t.caption;
  dialog->style = t.style;
  dialog->exStyle = t.exStyle;
  dialog->x = t.x;
  dialog->y = t.y;
  dialog->cx = t.cx;
  dialog->cy = t.cy;
  dialog->templateId = t.id;
  dialog->fontName = (t.style & DS_SETFONT) ? t.fontName : std::string();
  dialog->fontPointSize = t.fontPointSize;
  dialog->proc = proc;
  if (dialog->style & WS_SYSMENU) {
    if (dialog->style & WS_MINIMIZEBOX) {
      dialog->menuItems.push_back({SC_RESTORE, "&Restore"});
      dialog->menuItems.push_back({SC_MINIMIZE, "Mi&nimize"});
    }
    dialog->menuItems.push_back({SC_MOVE, "&Move"});
    dialog->menuItems.push_back({0, ""});
    dialog->menuItems.push_back({SC_CLOSE, "&Close\tAlt+F4"});
  }
  windows_[dialog->handle] = dialog;
  for (const ControlTemplate& ct : t.controls) {
    auto c = std::make_shared<Window>();
    c->handle = NewHandle();
    c->kind = Kind::Control;
    c->thread = dialog->thread;
    c->parent = dialog->handle;
    c->className = ct.className;
    c->text = ct.text;
    c->style = ct.style;
    c->exStyle = ct.exStyle;
    c->id = ct.id;
    c->x = ct.x;
    c->y = ct.y;
    c->cx = ct.cx;
    c->cy = ct.cy;
    // The last default push button of the template is the dialog's default, as the
    // dialog manager resets earlier ones while it creates the controls.
    if (KindOfControl(c->className, c->style) == ControlKind::PushButton &&
        (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      dialog->defaultId = c->id;
    dialog->children.push_back(c->handle);
    windows_[c->handle] = c;
  }
  topLevel_.push_back(dialog->handle);
  const uintptr_t handle = dialog->handle;
  if (modal) {
    SettleCurrentInput();
    if (Window* o = Find(owner); o && !o->Disabled()) {
      o->style |= WS_DISABLED;  // a modal dialog disables its owner while it runs
      dialog->reenableOwner = true;
      Changed();
    }
  }
  lock.unlock();
  const LRESULT setFocus = Dispatch(handle, WM_INITDIALOG, 0, param);
  lock.lock();
  if (!dialog->destroyed) {
    if (setFocus) {
      const uintptr_t first = NextTabStop(*dialog, 0, false);
      if (first) dialog->focus = first;
    }
    dialog->shown = modal || (dialog->style & WS_VISIBLE);
    if (modal) dialog->style |= WS_VISIBLE;
    dialog->needsPaint = dialog->shown;
    Changed();
  }
  if (!modal) return dialog->destroyed ? 0 : static_cast<INT_PTR>(handle);

  Pump(
      lock, [&] { return dialog->ended || dialog->destroyed || abandoned_; }, true);
  const INT_PTR result = dialog->ended ? dialog->result : (dialog->destroyed ? 0 : -1);
  if (!dialog->destroyed) Destroy(lock, handle);
  if (result == -1) Fail(ERROR_CANCELLED);
  return result;
}

LRESULT WindowManager::DefaultDialogProc(uintptr_t handle, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  Lock lock(mutex_);
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
    case WM_SETICON: {
      HICON icon = reinterpret_cast<HICON>(lParam);
      HICON& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
      HICON previous = slot;
      slot = icon;
      Changed();
      return reinterpret_cast<LRESULT>(previous);
    }
    case WM_GETICON:
      return reinterpret_cast<LRESULT>(wParam == ICON_BIG ? w->bigIcon : w->smallIcon);
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          lock.unlock();
          return Dispatch(handle, WM_CLOSE, 0, 0);
        case SC_MINIMIZE:
          w->style |= WS_MINIMIZE;
          w->needsPaint = true;
          Changed();
          return 0;
        case SC_RESTORE:
          w->style &= ~static_cast<uint32_t>(WS_MINIMIZE);
          w->needsPaint = true;
          Changed();
          return 0;
        default:
          return 0;
      }
    case WM_CLOSE: {
      // The dialog manager turns a close into the Cancel command, whether or not the
      // Cancel button is enabled, as Wine's and Windows' dialog procedures do.
      uintptr_t cancel = 0;
      for (uintptr_t h : w->children)
        if (Window* c = Find(h); c && c->id == IDCANCEL) cancel = h;
      QueueOf(w->thread).posted.push_back(
          {handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), static_cast<LPARAM>(cancel)});
      changed_.notify_all();
      return 0;
    }
    case WM_PAINT:
      w->needsPaint = false;
      return 0;
    case WM_NEXTDLGCTL: {
      uintptr_t target = 0;
      if (LOWORD(lParam)) {
        Window* c = Find(static_cast<uintptr_t>(wParam));
        if (c && c->parent == handle && c->kind == Kind::Control) target = c->handle;
      } else {
        target = NextTabStop(*w, w->focus, wParam != 0);
      }
      if (target) {
        w->focus = target;
        w->focusIsDefault = IsPushButton(Find(target));
        Changed();
      }
      return 0;
    }
    case DM_GETDEFID:
      return w->defaultId ? MAKELONG(w->defaultId, DC_HASDEFID) : 0;
    case DM_SETDEFID:
      w->defaultId = static_cast<int>(wParam);
      Changed();
      return TRUE;
    default:
      return 0;
  }
}

// ---- Input -----------------------------------------------------------------------------

uintptr_t WindowManager::NextTabStop(const Window& dialog, uintptr_t from, bool backwards) const {
  std::vector<uintptr_t> stops;
  for (uintptr_t h : dialog.children)
    if (const Window* c = Find(h); c && (c->style & WS_TABSTOP) && c->Visible() && !c->Disabled())
      stops.push_back(h);
  if (stops.empty()) return 0;
  auto it = std::find(stops.begin(), stops.end(), from);
  if (it == stops.end()) return backwards ? stops.back() : stops.front();
  const size_t i = static_cast<size_t>(it - stops.begin());
  const size_t n = stops.size();
  return stops[backwards ? (i + n - 1) % n : (i + 1) % n];
}

std::string WindowManager::Plan(const Input& input, Window& target, InputAction* action) {
  action->window = target.handle;
  if (target.kind == Kind::MessageBox) return PlanForMessageBox(input, target, action);

  // A dialog.
  if (target.Disabled()) return "the dialog is disabled while a window it owns is open";
  auto controlWithId = [&](int id) -> Window* {
    for (uintptr_t h : target.children)
      if (Window* c = Find(h); c && c->id == id) return c;
    return nullptr;
  };
  auto press = [&](Window* button) -> std::string {
    const std::string name = ButtonName(button->id, button->text);
    if (KindOfControl(button->className, button->style) != ControlKind::PushButton)
      return name + " is not a push button";
    if (!button->Visible()) return name + " is hidden";
    if (button->Disabled()) return name + " is disabled";
    if (target.focus != button->handle) target.focusIsDefault = false;
    target.focus = button->handle;  // a click focuses the button
    Changed();
    action->what = InputAction::Do::Message;
    action->message = WM_COMMAND;
    action->wParam = MAKEWPARAM(button->id, BN_CLICKED);
    action->lParam = static_cast<LPARAM>(button->handle);
    return "";
  };
  auto command = [&](int id) {
    Window* c = controlWithId(id);
    action->what = InputAction::Do::Message;
    action->message = WM_COMMAND;
    action->wParam = MAKEWPARAM(id, BN_CLICKED);
    action->lParam = static_cast<LPARAM>(c ? c->handle : 0);
    return std::string();
  };
  switch (input.kind) {
    case Input::Kind::Button: {
      Window* button = controlWithId(input.id);
      if (!button) return "the dialog has no control " + std::to_string(input.id);
      return press(button);
    }
    case Input::Kind::CloseBox:
      if (!(target.style & WS_SYSMENU)) return "the dialog has no close box (no system menu)";
      action->what = InputAction::Do::Message;
      action->message = WM_SYSCOMMAND;
      action->wParam = SC_CLOSE;
      return "";
    case Input::Kind::SystemCommand: {
      if (!(target.style & WS_SYSMENU)) return "the dialog has no system menu";
      bool listed = false;
      for (const MenuItemView& item : target.menuItems)
        if (item.command != 0 && item.command == input.id) listed = true;
      if (!listed) return "the system menu has no command " + std::to_string(input.id);
      action->what = InputAction::Do::Message;
      action->message = WM_SYSCOMMAND;
      action->wParam = static_cast<WPARAM>(input.id);
      return "";
    }
    case Input::Kind::Answer:
      return "the window is a dialog, not a message box";
    case Input::Kind::Key:
      break;
  }
  Window* focused = Find(target.focus);
  switch (input.key) {
    case Input::Key::Enter: {
      // The focused push button where navigation made it the default, else the default
      // button unless it is disabled, else IDOK (IsDialogMessage).
      if (target.focusIsDefault && focused && !focused->Disabled() && IsPushButton(focused))
        return press(focused);
      if (target.defaultId) {
        Window* def = controlWithId(target.defaultId);
        if (def) {
          if (def->Disabled()) return ButtonName(def->id, def->text) + " is disabled";
          return command(def->id);
        }
      }
      return command(IDOK);
    }
    case Input::Key::Escape:
      // Esc is the Cancel command even when the Cancel button is disabled, as on Windows.
      return command(IDCANCEL);
    case Input::Key::Space:
      if (focused && KindOfControl(focused->className, focused->style) == ControlKind::PushButton)
        return press(focused);
      return "no push button has the focus";
    case Input::Key::Tab:
    case Input::Key::ShiftTab: {
      const uintptr_t next = NextTabStop(target, target.focus, input.key == Input::Key::ShiftTab);
      if (!next) return "no control can take the focus";
      target.focus = next;
      target.focusIsDefault = IsPushButton(Find(next));
      Changed();
      return "";
    }
    case Input::Key::Letter:
    case Input::Key::AltLetter: {
      const char letter = static_cast<char>(std::toupper(input.letter));
      for (size_t i = 0; i < target.children.size(); ++i) {
        Window* c = Find(target.children[i]);
        if (!c || !c->Visible() || (c->style & SS_NOPREFIX && SameClass(c->className, "Static")))
          continue;
        if (MnemonicOf(c->text) != letter) continue;
        if (KindOfControl(c->className, c->style) == ControlKind::PushButton) return press(c);
        // A label's mnemonic moves the focus to the next control that takes it.
        for (size_t j = i + 1; j < target.children.size(); ++j)
          if (Window* n = Find(target.children[j]);
              n && (n->style & WS_TABSTOP) && n->Visible() && !n->Disabled()) {
            target.focus = n->handle;
            target.focusIsDefault = IsPushButton(n);
            Changed();
            return "";
          }
      }
      return std::string("no control of the dialog has the mnemonic ") + letter;
    }
    case Input::Key::None:
      break;
  }
  return "no key given";
}

}  // namespace sim
