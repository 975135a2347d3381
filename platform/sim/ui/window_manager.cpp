// The window manager's own bookkeeping: its table of windows and what the front end
// sees of it, the front end's side (waiting, delivering inputs, abandoning a run), the
// threads' queues and the message pump, and the destruction of windows.
#include "platform/sim/ui/window_manager.h"

#include <algorithm>

#include "platform/sim/sdk/last_error.h"
#include "platform/sim/ui/window_internals.h"

namespace sim {

using namespace window_internals;

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
  if (Window* f = Find(w.focus); w.focusIsDefault && IsPushButton(f)) {
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
        if (m.message == WM_KEYDOWN) {
          TakePostedKey(lock, m.window, m.wParam);
          continue;
        }
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
  if (kind == Kind::MessageBox) return MessageBoxProc(handle, message, wParam, lParam);
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

void WindowManager::TakePostedKey(Lock& lock, uintptr_t window, WPARAM virtualKey) {
  Window* w = Find(window);
  Window* top = w && w->kind == Kind::Control ? Find(w->parent) : w;
  if (!top) return;
  Input input;
  input.window = top->handle;
  switch (virtualKey) {
    case VK_RETURN:
      input.key = Input::Key::Enter;
      break;
    case VK_ESCAPE:
      input.key = Input::Key::Escape;
      break;
    case VK_TAB:
      input.key = Input::Key::Tab;
      break;
    case VK_SPACE:
      input.key = Input::Key::Space;
      break;
    default:
      return;  // no other key means anything to a dialog or a message box
  }
  InputAction action;
  // What the dialog manager refuses (Enter on a disabled default) the key does not do.
  if (!Plan(input, *top, &action).empty()) return;
  if (action.what == InputAction::Do::Answer) {
    top->answered = true;
    top->answer = action.answer;
    Changed();
  } else if (action.what == InputAction::Do::Message) {
    lock.unlock();
    Dispatch(action.window, action.message, action.wParam, action.lParam);
    lock.lock();
  }
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

}  // namespace sim
