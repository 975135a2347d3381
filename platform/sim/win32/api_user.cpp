// USER32 message boxes of the simulated Windows. Each box is recorded on the process.
// It is answered by the next of the process's listed answers; else, with a front end,
// it is shown as a modal box that the front end answers; else by its default button.
#include <mutex>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"
#include "platform/sim/ui/window_manager.h"

namespace sim {
namespace {

// The button that has the focus when a box opens: the first one of its set.
int DefaultButton(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    case MB_CANCELTRYCONTINUE:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

}  // namespace
}  // namespace sim

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  sim::MessageBoxRecord box;
  sim::Process* process = nullptr;
  {
    sim::ApiCall call("MessageBoxA", lpText ? lpText : "");
    if (call.fault()) return sim::Fail(*call.fault()), 0;
    if ((uType & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) return sim::Fail(ERROR_INVALID_FLAGS), 0;
    sim::Process& p = call.process();
    box.text = lpText ? lpText : "";
    // Windows captions a box without a caption "Error".
    box.caption = lpCaption ? lpCaption : "Error";
    box.flags = uType;
    box.hasOwner = hWnd != nullptr;
    if (!p.messageBoxAnswers.empty() || !p.windows().HasFrontEnd()) {
      if (!p.messageBoxAnswers.empty()) {
        box.answer = p.messageBoxAnswers.front();
        p.messageBoxAnswers.erase(p.messageBoxAnswers.begin());
      } else {
        box.answer = sim::DefaultButton(uType);
      }
      p.messageBoxes.push_back(box);
      return box.answer;
    }
    process = &p;
  }
  // A modal box on this thread, answered through the front end; the machine's lock is
  // not held while it waits, so other threads carry on.
  box.answer = process->windows().RunMessageBox(hWnd, box.text, box.caption, uType);
  std::lock_guard<std::recursive_mutex> g(process->machine.mutex);
  process->messageBoxes.push_back(box);
  return box.answer;
}
