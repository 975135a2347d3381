// The windows of one simulated process: dialogs built from the program's templates, their
// controls, message boxes and system menus, each owned by the thread that made it.
//
// Threads: a window's messages run on its own thread. A message sent from another thread
// waits in that thread's queue until the thread pumps (in a modal loop, or while it waits
// for a message of its own to be answered), as Windows does; a message to a window of the
// calling thread is a direct call. Inputs from the front end are queued the same way.
//
// Sizes: dialog units become pixels with the template font's base units ("MS Sans Serif" 8
// is 6 by 13 pixels per 4 by 8 units at 96 dots per inch; other sizes scale from it; no
// font: the system font, 8 by 16). A minimised dialog keeps its client size and is sent
// WM_PAINT, so that a dialog can draw its own icon there, as the programs' OnPaint does.
//
// Locks: the manager's mutex guards the window table and the queues and is never held
// while a dialog procedure runs or while the machine's lock is taken, so a worker that
// waits for the dialog thread never holds anything the dialog thread needs. The Win32
// functions take the machine's lock only for their fault check, before they come here.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/ui/dialog_template.h"
#include "platform/sim/ui/front_end.h"
#include "platform/sim/sdk/winuser.h"

namespace sim {

// A DrawIcon call on a window, for the tests of minimised painting.
struct DrawnIcon {
  HICON icon = nullptr;
  int x = 0, y = 0;
};

class WindowManager {
 public:
  explicit WindowManager(FrontEnd* frontEnd);
  ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  // ---- For front ends and tests ----------------------------------------------------
  Screen Snapshot() const;
  // Waits until `condition` holds for the screen; false when the deadline passes first or
  // the run was abandoned. `condition` runs under the lock: it must only read the screen.
  bool WaitFor(const std::function<bool(const Screen&)>& condition,
               std::chrono::steady_clock::time_point deadline);
  // Queues an input for the window's thread and waits until that thread has taken it
  // (its handler has returned, or opened a modal window of its own). Empty on success,
  // else why the input was refused ("button 1 "&Install" is disabled", ...).
  std::string Deliver(const Input& input, std::chrono::steady_clock::time_point deadline);
  // No more input will come. A modal loop that still waits for input `grace` later
  // abandons the run.
  void InputExhausted(std::chrono::milliseconds grace);
  // Stops the run: every modal loop ends (dialogs return -1, message boxes 0) and new ones
  // fail at once. The first reason is kept.
  void Abandon(const std::string& reason);
  bool Abandoned() const;
  std::string AbandonReason() const;
  // The DrawIcon calls made on a window's paint contexts, oldest first.
  std::vector<DrawnIcon> DrawnIcons(HWND window) const;
  // Every window goes, and messages still waiting for them are answered with 0: the
  // process ends.
  void CloseAll();

  // ---- For the Win32 functions ---------------------------------------------------------
  // Runs a dialog from a template: modal (returns the EndDialog result, -1 on failure) or
  // modeless (returns the window handle, 0 on failure). Sets the thread's last error.
  INT_PTR RunDialog(const DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param,
                    bool modal);
  // A message box on the calling thread, answered through the front end; 0 on failure.
  int RunMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
  bool HasFrontEnd() const { return frontEnd_ != nullptr; }

  BOOL EndDialog(HWND dialog, INT_PTR result);
  HWND GetDlgItem(HWND dialog, int id) const;
  int GetDlgCtrlID(HWND window) const;
  BOOL EnableWindow(HWND window, BOOL enable);
  BOOL IsWindowEnabled(HWND window) const;
  HWND SetFocus(HWND window);
  HWND GetFocus() const;
  LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HMENU GetSystemMenu(HWND window, BOOL revert);
  BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text);
  BOOL IsIconic(HWND window) const;
  BOOL GetClientRect(HWND window, RECT* rect) const;
  HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
  BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
  BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
  BOOL DestroyWindow(HWND window);
  BOOL IsWindow(HWND window) const;
  HWND GetParent(HWND window) const;
  // A top-level window of the process by its class ("#32770" for dialogs and message
  // boxes; null for any) and its caption (null for any), the newest first.
  HWND FindWindow(const char* className, const char* caption) const;
  void InitCommonControls(DWORD classes);

 private:
  enum class Kind { Dialog, Control, MessageBox };
  // A message box's own window procedure: its caption, and the commands of its buttons.
  LRESULT MessageBoxProc(uintptr_t handle, UINT message, WPARAM wParam, LPARAM lParam);

  struct Window;
  struct SentMessage;
  struct PostedMessage;
  struct PendingInput;
  struct ThreadQueue;
  using Lock = std::unique_lock<std::mutex>;

  Window* Find(uintptr_t handle) const;
  Window* FindLive(HWND window) const;
  Window* DialogOf(Window* window) const;
  ThreadQueue& QueueOf(std::thread::id thread);
  void Changed();  // under the lock: wakes waiters and shows the screen
  Screen BuildScreen() const;
  WindowView ViewOf(const Window& window) const;
  bool ClassRegistered(const std::string& className) const;
  uintptr_t NewHandle();

  // Runs the calling thread's queue until `done` holds. With `takeInput`, posted messages,
  // inputs and paints are handled too (a modal loop); without, only sent messages (a
  // thread that waits for its own sent message to be answered).
  void Pump(Lock& lock, const std::function<bool()>& done, bool takeInput);
  LRESULT Dispatch(uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT DefaultDialogProc(uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ControlProc(uintptr_t window, UINT message, WPARAM wParam, LPARAM lParam);
  // A key posted to a window of a dialog or box, taken as the dialog manager takes keys.
  void TakePostedKey(Lock& lock, uintptr_t window, WPARAM virtualKey);
  void HandleInput(Lock& lock, const std::shared_ptr<PendingInput>& input);
  // Under the lock: why `input` cannot be carried out on `target` now, or empty; on
  // success `action` says what to do.
  struct InputAction;
  std::string Plan(const Input& input, Window& target, InputAction* action);
  // Plan's part for a message box, which takes only answers and keys.
  std::string PlanForMessageBox(const Input& input, Window& target, InputAction* action);
  uintptr_t ResolveTarget(const Input& input) const;
  uintptr_t NextTabStop(const Window& dialog, uintptr_t from, bool backwards) const;
  void Destroy(Lock& lock, uintptr_t window);
  void SettleCurrentInput();  // a modal loop starts inside an input's handler

  FrontEnd* frontEnd_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t version_ = 0;
  uintptr_t nextHandle_ = 0x10010;
  std::map<uintptr_t, std::shared_ptr<Window>> windows_;
  std::vector<uintptr_t> topLevel_;          // in the order they opened
  std::map<uintptr_t, uintptr_t> menus_;     // system menu -> its window
  std::map<uintptr_t, uintptr_t> paintDcs_;  // device context -> window being painted
  std::map<std::thread::id, std::unique_ptr<ThreadQueue>> queues_;
  DWORD commonControls_ = 0;  // ICC_* classes registered
  bool abandoned_ = false;
  bool closed_ = false;  // the process ended: no new windows
  std::string abandonReason_;
  std::optional<std::chrono::steady_clock::time_point> inputEndsAt_;
};

}  // namespace sim
