// Message boxes: their buttons by type, the modal loop that waits for an answer, and the
// keys and answers a message box takes.
#include "platform/sim/ui/window_manager.h"

#include <cctype>

#include "platform/sim/sdk/last_error.h"
#include "platform/sim/ui/window_internals.h"

namespace sim {

using namespace window_internals;

namespace {

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

}  // namespace

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
  // Its text is a static control of its own, as in the message box Windows builds.
  auto label = std::make_shared<Window>();
  label->handle = NewHandle();
  label->kind = Kind::Control;
  label->thread = box->thread;
  label->parent = box->handle;
  label->className = "Static";
  label->text = text;
  label->style = WS_CHILD | WS_VISIBLE | SS_NOPREFIX;
  label->id = Window::kBoxTextId;
  box->children.push_back(label->handle);
  windows_[label->handle] = label;
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

LRESULT WindowManager::MessageBoxProc(uintptr_t handle, UINT message, WPARAM wParam,
                                      LPARAM lParam) {
  std::lock_guard<std::mutex> g(mutex_);
  Window* box = Find(handle);
  if (!box) return 0;
  switch (message) {
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(box->boxCaption.size());
    case WM_GETTEXT:
      return CopyWindowText(box->boxCaption, wParam, lParam);
    case WM_SETTEXT:
      box->boxCaption = lParam ? reinterpret_cast<const char*>(lParam) : "";
      Changed();
      return TRUE;
    case WM_COMMAND: {
      // A button's command answers the box; Cancel's answers a box with OK alone with OK,
      // as its Esc does.
      int id = LOWORD(wParam);
      if (id == IDCANCEL && (box->boxType & MB_TYPEMASK) == MB_OK) id = IDOK;
      for (auto& [answer, label] : box->buttons) {
        if (answer != id || box->answered) continue;
        box->answered = true;
        box->answer = id;
        Changed();
      }
      return 0;
    }
    default:
      return 0;
  }
}

std::string WindowManager::PlanForMessageBox(const Input& input, Window& target,
                                             InputAction* action) {
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

}  // namespace sim
