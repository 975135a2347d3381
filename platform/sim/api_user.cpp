// USER32 message boxes of the simulated Windows. There is no screen: each box is
// recorded on the process and answered by the front end's script, or by its default
// button when the script has no answer left.
#include <string>

#include "platform/sim/api_support.h"
#include "platform/sim/process.h"
#include "platform/sim/win32_sim.h"

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
  sim::ApiCall call("MessageBoxA", lpText ? lpText : "");
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  if ((uType & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) return sim::Fail(ERROR_INVALID_FLAGS), 0;
  sim::Process& p = call.process();
  sim::MessageBoxRecord box;
  box.text = lpText ? lpText : "";
  // Windows captions a box without a caption "Error".
  box.caption = lpCaption ? lpCaption : "Error";
  box.flags = uType;
  box.hasOwner = hWnd != nullptr;
  if (!p.messageBoxAnswers.empty()) {
    box.answer = p.messageBoxAnswers.front();
    p.messageBoxAnswers.erase(p.messageBoxAnswers.begin());
  } else {
    box.answer = sim::DefaultButton(uType);
  }
  p.messageBoxes.push_back(box);
  return box.answer;
}
