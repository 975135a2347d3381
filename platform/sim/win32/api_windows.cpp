// USER32 windows and dialogs and the COMCTL32 progress bar of the simulated Windows. Each
// call counts itself and takes its injected fault under the machine's lock, lets that
// lock go, and then works on the process's windows: a call that waits for the dialog's
// thread must not hold the lock the dialog's thread needs for its own calls.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"
#include "platform/sim/ui/window_manager.h"

namespace sim {
namespace {

struct WindowCall {
  explicit WindowCall(const char* name) {
    ApiCall call(name);
    fault = call.fault();
    if (fault) Fail(*fault);
    process = &call.process();
  }
  WindowManager& windows() { return process->windows(); }
  std::optional<uint32_t> fault;
  Process* process = nullptr;
};

// The template a resource name stands for: MAKEINTRESOURCE(id) or "#id".
const DialogTemplate* FindTemplate(const Process& p, LPCSTR name) {
  if (!p.resources) {
    Fail(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  int id = -1;
  if (IS_INTRESOURCE(name)) {
    id = static_cast<int>(reinterpret_cast<uintptr_t>(name));
  } else if (name[0] == '#') {
    char* end = nullptr;
    const long v = std::strtol(name + 1, &end, 10);
    if (end != name + 1 && *end == '\0' && v >= 0 && v <= 0xFFFF) id = static_cast<int>(v);
  }
  auto it = p.resources->dialogs.find(id);
  if (it == p.resources->dialogs.end()) {
    Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return &it->second;
}

}  // namespace
}  // namespace sim

using sim::WindowCall;

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  (void)hInstance;  // one module: the program's own resources
  WindowCall call("DialogBoxParamA");
  if (call.fault) return -1;
  const sim::DialogTemplate* dialog = sim::FindTemplate(*call.process, lpTemplateName);
  if (!dialog) return -1;
  const sim::DialogTemplate copy = *dialog;
  return call.windows().RunDialog(copy, hWndParent, lpDialogFunc, dwInitParam, true);
}

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  (void)hInstance;
  WindowCall call("CreateDialogParamA");
  if (call.fault) return nullptr;
  const sim::DialogTemplate* dialog = sim::FindTemplate(*call.process, lpTemplateName);
  if (!dialog) return nullptr;
  const sim::DialogTemplate copy = *dialog;
  return reinterpret_cast<HWND>(
      call.windows().RunDialog(copy, hWndParent, lpDialogFunc, dwInitParam, false));
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  WindowCall call("EndDialog");
  if (call.fault) return FALSE;
  return call.windows().EndDialog(hDlg, nResult);
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  WindowCall call("GetDlgItem");
  if (call.fault) return nullptr;
  return call.windows().GetDlgItem(hDlg, nIDDlgItem);
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  WindowCall call("GetDlgCtrlID");
  if (call.fault) return 0;
  return call.windows().GetDlgCtrlID(hWnd);
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  WindowCall call("EnableWindow");
  if (call.fault) return FALSE;
  return call.windows().EnableWindow(hWnd, bEnable);
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  WindowCall call("IsWindowEnabled");
  if (call.fault) return FALSE;
  return call.windows().IsWindowEnabled(hWnd);
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  WindowCall call("SetWindowTextA");
  if (call.fault) return FALSE;
  if (!call.windows().IsWindow(hWnd)) return sim::Fail(ERROR_INVALID_WINDOW_HANDLE), FALSE;
  // WM_SETTEXT, carried out on the window's thread.
  return call.windows().SendMessage(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString))
             ? TRUE
             : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  WindowCall call("GetWindowTextA");
  if (lpString && nMaxCount > 0) lpString[0] = '\0';
  if (call.fault || !lpString || nMaxCount <= 0) return 0;
  return static_cast<int>(
      call.windows().SendMessage(hWnd, WM_GETTEXT, nMaxCount, reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
  WindowCall call("GetWindowTextLengthA");
  if (call.fault) return 0;
  return static_cast<int>(call.windows().SendMessage(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  WindowCall call("SetDlgItemTextA");
  if (call.fault) return FALSE;
  HWND item = call.windows().GetDlgItem(hDlg, nIDDlgItem);
  if (!item) return FALSE;
  return call.windows().SendMessage(item, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString))
             ? TRUE
             : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  WindowCall call("GetDlgItemTextA");
  if (lpString && cchMax > 0) lpString[0] = '\0';
  if (call.fault || !lpString || cchMax <= 0) return 0;
  HWND item = call.windows().GetDlgItem(hDlg, nIDDlgItem);
  if (!item) return 0;
  return static_cast<UINT>(
      call.windows().SendMessage(item, WM_GETTEXT, cchMax, reinterpret_cast<LPARAM>(lpString)));
}

HWND WINAPI SetFocus(HWND hWnd) {
  WindowCall call("SetFocus");
  if (call.fault) return nullptr;
  return call.windows().SetFocus(hWnd);
}

HWND WINAPI GetFocus(void) {
  WindowCall call("GetFocus");
  if (call.fault) return nullptr;
  return call.windows().GetFocus();
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WindowCall call("SendMessageA");
  if (call.fault) return 0;
  return call.windows().SendMessage(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WindowCall call("PostMessageA");
  if (call.fault) return FALSE;
  return call.windows().PostMessage(hWnd, Msg, wParam, lParam);
}

HMENU WINAPI GetSystemMenu(HWND hWnd, BOOL bRevert) {
  WindowCall call("GetSystemMenu");
  if (call.fault) return nullptr;
  return call.windows().GetSystemMenu(hWnd, bRevert);
}

BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
  WindowCall call("AppendMenuA");
  if (call.fault) return FALSE;
  return call.windows().AppendMenu(hMenu, uFlags, uIDNewItem, lpNewItem);
}

BOOL WINAPI IsIconic(HWND hWnd) {
  WindowCall call("IsIconic");
  if (call.fault) return FALSE;
  return call.windows().IsIconic(hWnd);
}

int WINAPI GetSystemMetrics(int nIndex) {
  WindowCall call("GetSystemMetrics");
  if (call.fault) return 0;
  switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXSCREEN:
      return 1024;
    case SM_CYSCREEN:
      return 768;
    default:
      return 0;
  }
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  WindowCall call("GetClientRect");
  if (call.fault) return FALSE;
  return call.windows().GetClientRect(hWnd, lpRect);
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  WindowCall call("BeginPaint");
  if (call.fault) return nullptr;
  return call.windows().BeginPaint(hWnd, lpPaint);
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  WindowCall call("EndPaint");
  if (call.fault) return FALSE;
  return call.windows().EndPaint(hWnd, lpPaint);
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  WindowCall call("DrawIcon");
  if (call.fault) return FALSE;
  return call.windows().DrawIcon(hDC, X, Y, hIcon);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  WindowCall call("DestroyWindow");
  if (call.fault) return FALSE;
  return call.windows().DestroyWindow(hWnd);
}

BOOL WINAPI IsWindow(HWND hWnd) {
  WindowCall call("IsWindow");
  if (call.fault) return FALSE;
  return call.windows().IsWindow(hWnd);
}

HWND WINAPI GetParent(HWND hWnd) {
  WindowCall call("GetParent");
  if (call.fault) return nullptr;
  return call.windows().GetParent(hWnd);
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
  WindowCall call("FindWindowA");
  if (call.fault) return nullptr;
  return call.windows().FindWindow(lpClassName, lpWindowName);
}

void WINAPI InitCommonControls(void) {
  WindowCall call("InitCommonControls");
  if (call.fault) return;
  call.windows().InitCommonControls(ICC_WIN95_CLASSES);
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  WindowCall call("InitCommonControlsEx");
  if (call.fault) return FALSE;
  if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
    sim::Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  call.windows().InitCommonControls(picce->dwICC);
  return TRUE;
}

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason) {
  sim::ApiCall call("ExitWindowsEx");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  sim::Process& p = call.process();
  // Shutting down or restarting needs the shutdown privilege enabled in the token; a
  // log-off does not.
  if (uFlags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)) {
    auto it = p.privileges.find(SE_SHUTDOWN_NAME);
    if (it == p.privileges.end() || !it->second) {
      sim::Fail(ERROR_PRIVILEGE_NOT_HELD);
      return FALSE;
    }
  }
  p.machine.restartRequests.push_back({uFlags, dwReason});
  return TRUE;
}
