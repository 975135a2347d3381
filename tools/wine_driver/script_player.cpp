#include "tools/wine_driver/script_player.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "tools/wine_driver/window_shot.h"

namespace wine_driver {

namespace {

using scenario::CaptionMatches;
using scenario::Quoted;
using scenario::TextMatches;

bool IsButton(const ControlState& c) { return lstrcmpiA(c.className.c_str(), "Button") == 0; }

bool ShowsText(const std::vector<WindowState>& windows, const std::string& pattern) {
  for (const WindowState& w : windows) {
    if (TextMatches(pattern, w.caption)) return true;
    for (const ControlState& c : w.controls)
      if (c.visible && CaptionMatches(pattern, c.text)) return true;
  }
  return false;
}

// Message boxes are the windows with a static text that matches and a button `answer`.
const WindowState* FindBox(const std::vector<WindowState>& windows, const std::string& pattern,
                           int answer) {
  for (const WindowState& w : windows) {
    if (!w.IsMessageBox()) continue;
    const ControlState* button = w.Control(answer);
    if (!button || !IsButton(*button)) continue;
    for (const ControlState& c : w.controls)
      if (!IsButton(c) && c.visible && TextMatches(pattern, c.text)) return &w;
  }
  return nullptr;
}

// What a screenshot shows: the window so captioned; without a caption, the message box
// in front of the user when one is open (a box the worker thread shows without an owner
// need not be first in the Z order), else the topmost window.
const WindowState* ShotWindow(const std::vector<WindowState>& windows, const std::string& caption) {
  for (const WindowState& w : windows)
    if (caption.empty() ? w.IsMessageBox() : TextMatches(caption, w.caption)) return &w;
  return caption.empty() && !windows.empty() ? &windows.front() : nullptr;
}

}  // namespace

ScriptPlayer::ScriptPlayer(std::string scriptName, std::string shotFolder)
    : scriptName_(std::move(scriptName)), shotFolder_(std::move(shotFolder)) {}

ScriptPlayer::~ScriptPlayer() {
  if (process_.hThread) CloseHandle(process_.hThread);
  if (process_.hProcess) CloseHandle(process_.hProcess);
}

std::string ScriptPlayer::Waited() const {
  return " (waited " + std::to_string(timeoutMs_) + " ms)";
}

bool ScriptPlayer::WaitFor(const ScriptStep& step, Check check) {
  const DWORD start = GetTickCount();
  for (;;) {
    // Read the windows before looking at the process, so a program that ended after
    // showing what was wanted still passes.
    const bool ended = WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
    lastSeen_ = ReadProgramWindows(process_.dwProcessId);
    if (check(*this, step, lastSeen_)) return true;
    const DWORD spent = GetTickCount() - start;
    if (ended || spent >= timeoutMs_) return false;
    // Wakes when the program ends, and at the latest after a short interval to look at
    // its windows again (another process's window changes send us no message).
    WaitForSingleObject(process_.hProcess, std::min<DWORD>(20, timeoutMs_ - spent));
  }
}

std::string ScriptPlayer::RunStep(const ScriptStep& step) {
  using Kind = ScriptStep::Kind;
  switch (step.kind) {
    case Kind::Timeout:
      timeoutMs_ = static_cast<DWORD>(step.id);
      return "";
    case Kind::Expect:
      if (WaitFor(step, [](ScriptPlayer&, const ScriptStep& s, const std::vector<WindowState>& w) {
            return ShowsText(w, s.text);
          }))
        return "";
      return "no window or control shows " + Quoted(step.text) + Waited();
    case Kind::ExpectText:
      if (WaitFor(step, [](ScriptPlayer&, const ScriptStep& s, const std::vector<WindowState>& w) {
            const ControlState* c = FindControl(w, s.id);
            return c && TextMatches(s.text, c->text);
          }))
        return "";
      return "control " + std::to_string(step.id) + " does not show " + Quoted(step.text) +
             Waited();
    case Kind::ExpectState:
      if (WaitFor(step, [](ScriptPlayer&, const ScriptStep& s, const std::vector<WindowState>& w) {
            const ControlState* c = FindControl(w, s.id);
            if (!c) return false;
            if (s.state == "enabled") return c->enabled;
            if (s.state == "disabled") return !c->enabled;
            if (s.state == "visible") return c->visible;
            return !c->visible;
          }))
        return "";
      return "control " + std::to_string(step.id) + " is not " + step.state + Waited();
    case Kind::ExpectFocus:
      if (WaitFor(step, [](ScriptPlayer&, const ScriptStep& s, const std::vector<WindowState>& w) {
            const ControlState* c = FindControl(w, s.id);
            return c && HasFocus(c->handle);
          }))
        return "";
      return "control " + std::to_string(step.id) + " does not have the focus" + Waited();
    case Kind::ExpectProgress:
      if (WaitFor(step, [](ScriptPlayer&, const ScriptStep& s, const std::vector<WindowState>& w) {
            const ControlState* c = FindControl(w, s.id);
            if (!c || lstrcmpiA(c->className.c_str(), PROGRESS_CLASSA) != 0) return false;
            const LRESULT position = SendMessageA(c->handle, PBM_GETPOS, 0, 0);
            return std::to_string(position) == s.text;
          }))
        return "";
      return "progress bar " + std::to_string(step.id) + " does not stand at " + step.text +
             Waited();
    case Kind::Press: {
      // The button must be there and enabled: a disabled button cannot be clicked.
      const bool found = WaitFor(
          step, [](ScriptPlayer& p, const ScriptStep& s, const std::vector<WindowState>& ws) {
            const WindowState* w = TopDialog(ws);
            if (!w) return false;
            for (const ControlState& c : w->controls) {
              if (!IsButton(c) || !c.visible || !c.enabled) continue;
              if (s.byCaption ? CaptionMatches(s.text, c.text) : c.id == s.id) {
                p.found_ = c.handle;
                p.foundOwner_ = w->handle;
                p.foundId_ = c.id;
                return true;
              }
            }
            return false;
          });
      if (!found)
        return "the top dialog has no enabled button " +
               (step.byCaption ? Quoted(step.text) : std::to_string(step.id)) + Waited();
      // What a click on the button sends its dialog.
      PostMessageA(foundOwner_, WM_COMMAND, MAKEWPARAM(foundId_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(found_));
      return "";
    }
    case Kind::Key:
      return "the Wine driver does not type keys; press the button or use close";
    case Kind::Close:
    case Kind::SysMenu: {
      if (!WaitFor(step, [](ScriptPlayer& p, const ScriptStep&, const std::vector<WindowState>& w) {
            const WindowState* dialog = TopDialog(w);
            if (dialog) p.foundOwner_ = dialog->handle;
            return dialog != nullptr;
          }))
        return "no dialog is open" + Waited();
      const bool hasSystemMenu = (GetWindowLongA(foundOwner_, GWL_STYLE) & WS_SYSMENU) != 0;
      // The close box and the system menu come with the system-menu style; a user has
      // neither without it.
      if (!hasSystemMenu)
        return step.kind == Kind::Close ? "the dialog has no close box"
                                        : "the dialog has no system menu";
      const WPARAM command = step.kind == Kind::Close ? SC_CLOSE : static_cast<WPARAM>(step.id);
      PostMessageA(foundOwner_, WM_SYSCOMMAND, command, 0);
      return "";
    }
    case Kind::Box: {
      if (!WaitFor(step,
                   [](ScriptPlayer& p, const ScriptStep& s, const std::vector<WindowState>& w) {
                     const WindowState* box = FindBox(w, s.text, s.id);
                     if (box) p.foundOwner_ = box->handle;
                     return box != nullptr;
                   }))
        return "no message box shows " + Quoted(step.text) + Waited();
      PostMessageA(foundOwner_, WM_COMMAND, MAKEWPARAM(step.id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(foundOwner_, step.id)));
      // Answered once it is gone: a next box of the same text is then another box.
      if (!WaitFor(step, [](ScriptPlayer& p, const ScriptStep&, const std::vector<WindowState>&) {
            return !IsWindow(p.foundOwner_) || !IsWindowVisible(p.foundOwner_);
          }))
        return "the message box stayed open after the answer" + Waited();
      return "";
    }
    case Kind::WaitClosed: {
      lastSeen_ = ReadProgramWindows(process_.dwProcessId);
      const WindowState* dialog = TopDialog(lastSeen_);
      if (!dialog) return "";
      foundOwner_ = dialog->handle;
      if (WaitFor(step, [](ScriptPlayer& p, const ScriptStep&, const std::vector<WindowState>&) {
            return !IsWindow(p.foundOwner_) || !IsWindowVisible(p.foundOwner_);
          }))
        return "";
      return "the dialog is still open" + Waited();
    }
    case Kind::Screenshot: {
      if (shotFolder_.empty()) return "";  // pictures not asked for in this run
      if (!WaitFor(step,
                   [](ScriptPlayer& p, const ScriptStep& s, const std::vector<WindowState>& ws) {
                     const WindowState* shown = ShotWindow(ws, s.window);
                     if (shown) p.foundOwner_ = shown->handle;
                     return shown != nullptr;
                   }))
        return "no window " + (step.window.empty() ? std::string() : Quoted(step.window) + " ") +
               "to take a picture of" + Waited();
      std::string error;
      const std::string path = shotFolder_ + "\\" + step.text + ".png";
      if (!SaveWindowShot(foundOwner_, path, &error)) return "screenshot " + path + ": " + error;
      return "";
    }
  }
  return "unknown step";
}

bool ScriptPlayer::Play(const std::string& commandLine, const std::string& folder,
                        const std::vector<ScriptStep>& steps, bool asTheShell) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PVOID redirection = nullptr;
  BOOL wow64 = FALSE;
  const bool native = asTheShell && IsWow64Process(GetCurrentProcess(), &wow64) && wow64 &&
                      Wow64DisableWow64FsRedirection(&redirection);
  const BOOL started =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &startup, &process_);
  const DWORD startError = GetLastError();
  if (native) Wow64RevertWow64FsRedirection(redirection);
  SetLastError(startError);
  if (!started) {
    std::printf("FAILED: %s cannot be started (error %lu)\n", commandLine.c_str(),
                static_cast<unsigned long>(GetLastError()));
    return false;
  }
  for (const ScriptStep& step : steps) {
    const std::string why = RunStep(step);
    if (!why.empty()) {
      std::printf("FAILED %s:%d: %s\n  %s\nthe program's windows:\n%s", scriptName_.c_str(),
                  step.line, step.source.c_str(), why.c_str(), Describe(lastSeen_).c_str());
      TerminateProcess(process_.hProcess, 255);
      WaitForSingleObject(process_.hProcess, INFINITE);
      return false;
    }
    std::printf("ok %s:%d: %s\n", scriptName_.c_str(), step.line, step.source.c_str());
    std::fflush(stdout);
  }
  if (WaitForSingleObject(process_.hProcess, timeoutMs_) != WAIT_OBJECT_0) {
    lastSeen_ = ReadProgramWindows(process_.dwProcessId);
    std::printf("FAILED: the script has ended but the program still runs after %lu ms\n%s",
                static_cast<unsigned long>(timeoutMs_), Describe(lastSeen_).c_str());
    TerminateProcess(process_.hProcess, 255);
    WaitForSingleObject(process_.hProcess, INFINITE);
    return false;
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process_.hProcess, &exitCode);
  std::printf("the program ended with exit code %lu\n", static_cast<unsigned long>(exitCode));
  return true;
}

}  // namespace wine_driver
