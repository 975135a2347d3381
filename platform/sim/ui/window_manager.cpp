#include "platform/sim/ui/window_manager.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/sdk/last_error.h"

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

namespace {

bool SameClass(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool IsProgressClass(const std::string& name) { return SameClass(name, PROGRESS_CLASSA); }

ControlKind KindOfControl(const std::string& className, uint32_t style) {
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

// The buttons of a message box type, with their answers and labels, in Windows' order.
std::vector<std::pair<int, std::string>> BoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "&Try Again"}, {IDCONTINUE, "&Continue"}};
    default:
      return {{IDOK, "OK"}};
  }
}

std::string ButtonName(int id, const std::string& text) {
  return "button " + std::to_string(id) + " \"" + text + "\"";
}

}  // namespace

WindowManager::WindowManager(FrontEnd* frontEnd) : frontEnd_(frontEnd) {
  if (frontEnd_) frontEnd_->Attach(*this);
}

WindowManager::~WindowManager() {
  CloseAll();
  if (frontEnd_) frontEnd_->Detach();
}

// ---- Bookkeeping -----------------------------------------------------------------------

WindowManager::Window* WindowManager::Find(uintptr_t handle) const {
  auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second.get();
}

WindowManager::Window* WindowManager::FindLive(HWND window) const {
  Window* w = Find(reinterpret_cast<uintptr_t>(window));
  if (!w) Fail(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

WindowManager::Window* WindowManager::DialogOf(Window* window) const {
  if (!window) return nullptr;
  if (window->kind == Kind::Control) return Find(window->parent);
  return window;
}

WindowManager::ThreadQueue& WindowManager::QueueOf(std::thread::id thread) {
  auto& q = queues_[thread];
  if (!q) q = std::make_unique<ThreadQueue>();
  return *q;
}

uintptr_t WindowManager::NewHandle() {
  const uintptr_t h = nextHandle_;
  nextHandle_ += 0x10;
  return h;
}

bool WindowManager::ClassRegistered(const std::string& name) const {
  for (const char* system : {"Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"})
    if (SameClass(name, system)) return true;
  if (IsProgressClass(name)) return (commonControls_ & ICC_PROGRESS_CLASS) != 0;
  return false;
}

void WindowManager::Changed() {
  ++version_;
  changed_.notify_all();
  if (frontEnd_) frontEnd_->Show(BuildScreen());
}

WindowView WindowManager::ViewOf(const Window& w) const {
  WindowView v;
  v.handle = w.handle;
  v.caption = w.text;
  v.style = w.style;
  v.enabled = !w.Disabled();
  if (w.kind == Kind::MessageBox) {
    v.kind = WindowKind::MessageBox;
    v.caption = w.boxCaption;
    v.text = w.text;
    v.boxType = w.boxType;
    v.buttons = w.buttons;
    v.focusedButton = w.boxFocus;
    return v;
  }
  v.kind = WindowKind::Dialog;
  v.templateId = w.templateId;
  v.cx = w.cx;
  v.cy = w.cy;
  v.minimized = (w.style & WS_MINIMIZE) != 0;
  v.hasSystemMenu = (w.style & WS_SYSMENU) != 0;
  v.systemMenu = w.menuItems;
  // The button Enter presses: the focused push button, else the dialog's default.
  uintptr_t defaultButton = 0;
  if (Window* f = Find(w.focus);
      f && KindOfControl(f->className, f->style) == ControlKind::PushButton) {
    defaultButton = f->handle;
  } else {
    for (uintptr_t h : w.children)
      if (Window* c = Find(h); c && c->id == w.defaultId && w.defaultId != 0) defaultButton = h;
  }
  for (uintptr_t h : w.children) {
    const Window* c = Find(h);
    if (!c) continue;
    ControlView cv;
    cv.handle = c->handle;
    cv.id = c->id;
    cv.kind = KindOfControl(c->className, c->style);
    cv.className = c->className;
    cv.text = c->text;
    cv.style = c->style;
    cv.x = c->x;
    cv.y = c->y;
    cv.cx = c->cx;
    cv.cy = c->cy;
    cv.visible = c->Visible();
    cv.enabled = !c->Disabled();
    cv.focused = w.focus == c->handle;
    cv.isDefault = defaultButton == c->handle;
    cv.position = c->position;
    cv.rangeMin = c->rangeMin;
    cv.rangeMax = c->rangeMax;
    v.controls.push_back(cv);
  }
  return v;
}

Screen WindowManager::BuildScreen() const {
  Screen s;
  s.version = version_;
  for (uintptr_t h : topLevel_)
    if (const Window* w = Find(h); w && w->shown) s.windows.push_back(ViewOf(*w));
  return s;
}

Screen WindowManager::Snapshot() const {
  std::lock_guard<std::mutex> g(mutex_);
  return BuildScreen();
}

// ---- Front-end side ----------------------------------------------------------------------

bool WindowManager::WaitFor(const std::function<bool(const Screen&)>& condition,
                            std::chrono::steady_clock::time_point deadline) {
  Lock lock(mutex_);
  uint64_t seen = ~uint64_t{0};
  for (;;) {
    if (seen != version_) {
      seen = version_;
      if (condition(BuildScreen())) return true;
    }
    if (abandoned_ || closed_) return false;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      return condition(BuildScreen());
    }
  }
}

uintptr_t WindowManager::ResolveTarget(const Input& input) const {
  if (input.window) return Find(input.window) ? input.window : 0;
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
    const Window* w = Find(*it);
    if (!w || !w->shown) continue;
    switch (input.kind) {
      case Input::Kind::Answer:
        if (w->kind == Kind::MessageBox) return w->handle;
        break;
      case Input::Kind::Key:
        if (!w->Disabled()) return w->handle;
        break;
      default:
        if (w->kind == Kind::Dialog) return w->handle;
        break;
    }
  }
  return 0;
}

std::string WindowManager::Deliver(const Input& input,
                                   std::chrono::steady_clock::time_point deadline) {
  Lock lock(mutex_);
  if (abandoned_) return "the run was abandoned: " + abandonReason_;
  if (closed_) return "the process has ended";
  const uintptr_t target = ResolveTarget(input);
  if (!target) {
    return input.kind == Input::Kind::Answer ? "no message box is open"
                                             : "no window is open for " + DescribeInput(input);
  }
  auto pending = std::make_shared<PendingInput>();
  pending->input = input;
  pending->target = target;
  ThreadQueue& q = QueueOf(Find(target)->thread);
  q.inputs.push_back(pending);
  changed_.notify_all();
  if (!changed_.wait_until(lock, deadline, [&] { return pending->settled || abandoned_; })) {
    q.inputs.erase(std::remove(q.inputs.begin(), q.inputs.end(), pending), q.inputs.end());
    return "the window's thread did not take the input in time (it is busy or blocked)";
  }
  if (!pending->settled) return "the run was abandoned: " + abandonReason_;
  return pending->refusal;
}

void WindowManager::InputExhausted(std::chrono::milliseconds grace) {
  std::lock_guard<std::mutex> g(mutex_);
  inputEndsAt_ = std::chrono::steady_clock::now() + grace;
  changed_.notify_all();
}

void WindowManager::Abandon(const std::string& reason) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!abandoned_) {
    abandoned_ = true;
    abandonReason_ = reason;
  }
  changed_.notify_all();
}

bool WindowManager::Abandoned() const {
  std::lock_guard<std::mutex> g(mutex_);
  return abandoned_;
}

std::string WindowManager::AbandonReason() const {
  std::lock_guard<std::mutex> g(mutex_);
  return abandonReason_;
}

std::vector<DrawnIcon> WindowManager::DrawnIcons(HWND window) const {
  std::lock_guard<std::mutex> g(mutex_);
  const Window* w = Find(reinterpret_cast<uintptr_t>(window));
  return w ? w->drawn : std::vector<DrawnIcon>{};
}

void WindowManager::CloseAll() {
  std::lock_guard<std::mutex> g(mutex_);
  closed_ = true;
  for (auto& [h, w] : windows_) w->destroyed = true;
  windows_.clear();
  topLevel_.clear();
  menus_.clear();
  paintDcs_.clear();
  for (auto& [thread, q] : queues_) {
    for (auto& m : q->sent) m->done = true;
    q->sent.clear();
    q->posted.clear();
    for (auto& in : q->inputs) {
      in->refusal = "the process ended";
      in->settled = true;
    }
    q->inputs.clear();
  }
  Changed();
}

// ---- Message pump ------------------------------------------------------------------------

void WindowManager::SettleCurrentInput() {
  ThreadQueue& q = QueueOf(std::this_thread::get_id());
  if (q.current && !q.current->settled) {
    q.current->settled = true;
    changed_.notify_all();
  }
}

void WindowManager::Pump(Lock& lock, const std::function<bool()>& done, bool takeInput) {
  const std::thread::id self = std::this_thread::get_id();
  ThreadQueue& q = QueueOf(self);
  while (!done()) {
    if (!q.sent.empty()) {
      std::shared_ptr<SentMessage> m = q.sent.front();
      q.sent.pop_front();
      lock.unlock();
      const LRESULT r = Dispatch(m->window, m->message, m->wParam, m->lParam);
      lock.lock();
      m->result = r;
      m->done = true;
      changed_.notify_all();
      continue;
    }
    if (takeInput) {
      if (!q.posted.empty()) {
        const PostedMessage m = q.posted.front();
        q.posted.pop_front();
        lock.unlock();
        Dispatch(m.window, m.message, m.wParam, m.lParam);
        lock.lock();
        continue;
      }
      if (!q.inputs.empty()) {
        std::shared_ptr<PendingInput> in = q.inputs.front();
        q.inputs.pop_front();
        HandleInput(lock, in);
        continue;
      }
      Window* toPaint = nullptr;
      for (uintptr_t h : topLevel_)
        if (Window* w = Find(h); w && w->thread == self && w->shown && w->needsPaint) toPaint = w;
      if (toPaint) {
        toPaint->needsPaint = false;  // validated whether or not the procedure paints
        const uintptr_t h = toPaint->handle;
        lock.unlock();
        Dispatch(h, WM_PAINT, 0, 0);
        lock.lock();
        continue;
      }
      if (inputEndsAt_) {
        if (std::chrono::steady_clock::now() >= *inputEndsAt_) {
          std::string waiting = "a window";
          for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it)
            if (Window* w = Find(*it); w && w->thread == self) {
              waiting =
                  (w->kind == Kind::MessageBox ? "message box \"" : "dialog \"") + w->text + "\"";
              break;
            }
          if (!abandoned_) {
            abandoned_ = true;
            abandonReason_ = "no input is left, but " + waiting + " still waits for input";
          }
          changed_.notify_all();
          continue;
        }
        changed_.wait_until(lock, *inputEndsAt_);
        continue;
      }
    }
    changed_.wait(lock);
  }
}

LRESULT WindowManager::Dispatch(uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
  Kind kind;
  DLGPROC proc;
  {
    std::lock_guard<std::mutex> g(mutex_);
    Window* w = Find(handle);
    if (!w) return 0;
    kind = w->kind;
    proc = w->proc;
  }
  if (kind == Kind::Control) return ControlProc(handle, message, wParam, lParam);
  if (kind == Kind::MessageBox) return 0;
  HWND hwnd = reinterpret_cast<HWND>(handle);
  const INT_PTR r = proc ? proc(hwnd, message, wParam, lParam) : FALSE;
  switch (message) {
    case WM_INITDIALOG:
      return r;  // the procedure's answer itself: whether to set the focus
    case WM_QUERYDRAGICON:
      if (r) return r;  // the icon
      break;
    default:
      if (r) return 0;  // handled; the procedure left no result of its own
      break;
  }
  return DefaultDialogProc(handle, message, wParam, lParam);
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
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      const size_t n = std::min<size_t>(wParam - 1, w->text.size());
      std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = '\0';
      return static_cast<LRESULT>(n);
    }
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

LRESULT WindowManager::ControlProc(uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam) {
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
    case WM_GETTEXT: {
      if (wParam == 0 || !lParam) return 0;
      const size_t n = std::min<size_t>(wParam - 1, w->text.size());
      std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = '\0';
      return static_cast<LRESULT>(n);
    }
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

// ---- Input ---------------------------------------------------------------------------------

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
  if (target.kind == Kind::MessageBox) {
    auto answerWith = [&](int id) {
      action->what = InputAction::Do::Answer;
      action->answer = id;
      return std::string();
    };
    auto has = [&](int id) {
      for (auto& [bid, label] : target.buttons)
        if (bid == id) return true;
      return false;
    };
    auto escapeAnswer = [&]() -> std::string {
      if (has(IDCANCEL)) return answerWith(IDCANCEL);
      if ((target.boxType & MB_TYPEMASK) == MB_OK) return answerWith(IDOK);
      return "this message box cannot be closed without choosing a button";
    };
    switch (input.kind) {
      case Input::Kind::Answer:
        if (!has(input.id))
          return "the message box has no button with answer " + std::to_string(input.id);
        return answerWith(input.id);
      case Input::Kind::CloseBox:
        return escapeAnswer();
      case Input::Kind::Key:
        switch (input.key) {
          case Input::Key::Enter:
          case Input::Key::Space:
            return answerWith(target.buttons[target.boxFocus].first);
          case Input::Key::Escape:
            return escapeAnswer();
          case Input::Key::Tab:
          case Input::Key::ShiftTab: {
            const int n = static_cast<int>(target.buttons.size());
            target.boxFocus = (target.boxFocus + (input.key == Input::Key::Tab ? 1 : n - 1)) % n;
            Changed();
            return "";
          }
          case Input::Key::Letter:
          case Input::Key::AltLetter: {
            const char letter = static_cast<char>(std::toupper(input.letter));
            for (auto& [bid, label] : target.buttons)
              if (MnemonicOf(label) == letter) return answerWith(bid);
            return std::string("no button of the message box has the mnemonic ") + letter;
          }
          case Input::Key::None:
            break;
        }
        return "no key given";
      default:
        return "a message box takes only answers and keys, not " + DescribeInput(input);
    }
  }

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
      // The focused push button, else the default button, else IDOK (IsDialogMessage).
      if (focused && !focused->Disabled() &&
          KindOfControl(focused->className, focused->style) == ControlKind::PushButton)
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

void WindowManager::HandleInput(Lock& lock, const std::shared_ptr<PendingInput>& in) {
  Window* target = Find(in->target);
  if (!target) {
    in->refusal = "the window closed before it took " + DescribeInput(in->input);
    in->settled = true;
    changed_.notify_all();
    return;
  }
  InputAction action;
  in->refusal = Plan(in->input, *target, &action);
  if (!in->refusal.empty() || action.what == InputAction::Do::Nothing) {
    in->settled = true;
    changed_.notify_all();
    return;
  }
  if (action.what == InputAction::Do::Answer) {
    target->answered = true;
    target->answer = action.answer;
    in->settled = true;
    Changed();
    return;
  }
  ThreadQueue& q = QueueOf(std::this_thread::get_id());
  std::shared_ptr<PendingInput> outer = q.current;
  q.current = in;
  lock.unlock();
  Dispatch(action.window, action.message, action.wParam, action.lParam);
  lock.lock();
  q.current = outer;
  in->settled = true;
  changed_.notify_all();
}

// ---- Dialogs and message boxes ---------------------------------------------------------

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

int WindowManager::RunMessageBox(HWND ownerWindow, const std::string& text,
                                 const std::string& caption, UINT type) {
  Lock lock(mutex_);
  if (abandoned_ || closed_) {
    Fail(ERROR_CANCELLED);
    return 0;
  }
  auto box = std::make_shared<Window>();
  box->handle = NewHandle();
  box->kind = Kind::MessageBox;
  box->thread = std::this_thread::get_id();
  box->className = "#32770";
  box->boxCaption = caption;
  box->text = text;
  box->style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
  box->boxType = type;
  box->buttons = BoxButtons(type);
  const int defaultIndex = static_cast<int>((type & MB_DEFMASK) >> 8);
  box->boxFocus = defaultIndex < static_cast<int>(box->buttons.size()) ? defaultIndex : 0;
  box->shown = true;
  if (ownerWindow) {
    if (Window* o = DialogOf(Find(reinterpret_cast<uintptr_t>(ownerWindow)))) {
      box->parent = o->handle;
      if (!o->Disabled()) {
        o->style |= WS_DISABLED;
        box->reenableOwner = true;
      }
    }
  }
  windows_[box->handle] = box;
  topLevel_.push_back(box->handle);
  SettleCurrentInput();
  Changed();
  Pump(
      lock, [&] { return box->answered || box->destroyed || abandoned_; }, true);
  const int answer = box->answered ? box->answer : 0;
  if (!box->destroyed) Destroy(lock, box->handle);
  if (!answer) Fail(ERROR_CANCELLED);
  return answer;
}

void WindowManager::Destroy(Lock& lock, uintptr_t handle) {
  Window* w = Find(handle);
  if (!w || w->destroyed) return;
  if (w->kind == Kind::Dialog) {
    lock.unlock();
    Dispatch(handle, WM_DESTROY, 0, 0);
    lock.lock();
    w = Find(handle);
    if (!w) return;
  }
  std::vector<uintptr_t> gone = w->children;
  gone.push_back(handle);
  if (w->reenableOwner)
    if (Window* o = Find(w->parent)) o->style &= ~static_cast<uint32_t>(WS_DISABLED);
  if (w->kind == Kind::Control) {
    if (Window* d = Find(w->parent)) {
      d->children.erase(std::remove(d->children.begin(), d->children.end(), handle),
                        d->children.end());
      if (d->focus == handle) d->focus = 0;
    }
  }
  if (w->systemMenu) menus_.erase(w->systemMenu);
  for (uintptr_t h : gone) {
    auto it = windows_.find(h);
    if (it == windows_.end()) continue;
    it->second->destroyed = true;
    windows_.erase(it);
    for (auto dc = paintDcs_.begin(); dc != paintDcs_.end();)
      dc = dc->second == h ? paintDcs_.erase(dc) : std::next(dc);
  }
  topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), handle), topLevel_.end());
  auto isGone = [&](uintptr_t h) { return std::find(gone.begin(), gone.end(), h) != gone.end(); };
  for (auto& [thread, q] : queues_) {
    for (auto it = q->sent.begin(); it != q->sent.end();) {
      if (isGone((*it)->window)) {
        (*it)->done = true;  // the sender gets 0, as for a window that no longer exists
        it = q->sent.erase(it);
      } else {
        ++it;
      }
    }
    q->posted.erase(std::remove_if(q->posted.begin(), q->posted.end(),
                                   [&](const PostedMessage& m) { return isGone(m.window); }),
                    q->posted.end());
    for (auto it = q->inputs.begin(); it != q->inputs.end();) {
      if (isGone((*it)->target)) {
        (*it)->refusal = "the window closed before it took " + DescribeInput((*it)->input);
        (*it)->settled = true;
        it = q->inputs.erase(it);
      } else {
        ++it;
      }
    }
  }
  Changed();
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
  Fail(1421);  // ERROR_CONTROL_ID_NOT_FOUND
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

void WindowManager::InitCommonControls(DWORD classes) {
  std::lock_guard<std::mutex> g(mutex_);
  commonControls_ |= classes;
}

}  // namespace sim
