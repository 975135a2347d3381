// KERNEL32 version, system information, modules, threads, errors, memory and strings
// of the simulated Windows, and the C run-time's Microsoft extensions.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/machine/code_page.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

// ---- Modules ----------------------------------------------------------------------

struct ModuleInfo {
  const char* name;  // lower case, with extension
  uintptr_t base;
};
constexpr ModuleInfo kModules[] = {
    {"kernel32.dll", 0x7c800000}, {"ntdll.dll", 0x7c900000},    {"advapi32.dll", 0x77dd0000},
    {"user32.dll", 0x7e410000},   {"gdi32.dll", 0x77f10000},    {"shell32.dll", 0x7c9c0000},
    {"shlwapi.dll", 0x77f60000},  {"comctl32.dll", 0x773d0000}, {"setupapi.dll", 0x77920000},
};
constexpr uintptr_t kExeBase = 0x00400000;

// Lower-case file name with ".dll" added when it has no extension.
std::string ModuleKey(const char* name) {
  std::string s(name);
  const size_t sep = s.find_last_of("\\/");
  if (sep != std::string::npos) s = s.substr(sep + 1);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (s.find('.') == std::string::npos) s += ".dll";
  return s;
}

const ModuleInfo* FindModule(const std::string& key) {
  for (const auto& m : kModules)
    if (key == m.name) return &m;
  return nullptr;
}

const ModuleInfo* ModuleAt(HMODULE h) {
  for (const auto& m : kModules)
    if (reinterpret_cast<uintptr_t>(h) == m.base) return &m;
  return nullptr;
}

bool ModuleExists(const Machine& m, const std::string& key) {
  if (key == "setupapi.dll") return m.os.hasSetupApi;
  return FindModule(key) != nullptr;
}

// Modules every process has loaded from its start.
bool AlwaysLoaded(const std::string& key) { return key == "kernel32.dll" || key == "ntdll.dll"; }

struct Export {
  const char* module;
  const char* name;
  FARPROC address;
  bool (*available)(const OsIdentity& os);
};

bool Always(const OsIdentity&) { return true; }
bool XpAndLater(const OsIdentity& os) { return os.hasGetNativeSystemInfo; }
bool SetupCopyOemInf(const OsIdentity& os) { return os.hasSetupCopyOemInf; }
bool Wow64Functions(const OsIdentity& os) {
  return os.hasGetNativeSystemInfo && (os.Is64Bit() || os.majorVersion >= 6);
}

template <typename F>
FARPROC AsFarProc(F* f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

const std::vector<Export>& Exports() {
  static const std::vector<Export> exports = {
      {"kernel32.dll", "GetNativeSystemInfo", AsFarProc(&GetNativeSystemInfo), XpAndLater},
      {"kernel32.dll", "IsWow64Process", AsFarProc(&IsWow64Process), XpAndLater},
      {"kernel32.dll", "Wow64DisableWow64FsRedirection", AsFarProc(&Wow64DisableWow64FsRedirection),
       Wow64Functions},
      {"kernel32.dll", "Wow64RevertWow64FsRedirection", AsFarProc(&Wow64RevertWow64FsRedirection),
       Wow64Functions},
      {"kernel32.dll", "GetVersionExA", AsFarProc(&GetVersionExA), Always},
      {"kernel32.dll", "GetSystemInfo", AsFarProc(&GetSystemInfo), Always},
      {"kernel32.dll", "GetSystemWow64DirectoryA", AsFarProc(&GetSystemWow64DirectoryA),
       XpAndLater},
      {"setupapi.dll", "SetupCopyOEMInfA", AsFarProc(&SetupCopyOEMInfA), SetupCopyOemInf},
      {"setupapi.dll", "SetupDiGetClassDevsA", AsFarProc(&SetupDiGetClassDevsA), Always},
      {"setupapi.dll", "SetupDiEnumDeviceInfo", AsFarProc(&SetupDiEnumDeviceInfo), Always},
      {"setupapi.dll", "SetupDiGetDeviceRegistryPropertyA",
       AsFarProc(&SetupDiGetDeviceRegistryPropertyA), Always},
      {"setupapi.dll", "SetupDiGetDeviceInstanceIdA", AsFarProc(&SetupDiGetDeviceInstanceIdA),
       Always},
      {"setupapi.dll", "SetupDiSetClassInstallParamsA", AsFarProc(&SetupDiSetClassInstallParamsA),
       Always},
      {"setupapi.dll", "SetupDiCallClassInstaller", AsFarProc(&SetupDiCallClassInstaller), Always},
      {"setupapi.dll", "SetupDiChangeState", AsFarProc(&SetupDiChangeState), Always},
      {"setupapi.dll", "SetupDiDestroyDeviceInfoList", AsFarProc(&SetupDiDestroyDeviceInfoList),
       Always},
  };
  return exports;
}

// ---- Threads ----------------------------------------------------------------------

struct ThreadState {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  DWORD id = 0;
};

struct ThreadHandle : HandleObject {
  std::shared_ptr<ThreadState> state;
};

DWORD NextThreadId() {
  static std::atomic<DWORD> next{0x100};
  return next += 4;
}

DWORD CurrentThreadIdValue() {
  thread_local DWORD id = NextThreadId();
  return id;
}

int CompareIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char ca = UpperAscii(static_cast<unsigned char>(*a));
    const unsigned char cb = UpperAscii(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

}  // namespace
}  // namespace sim

using sim::ApiCall;

// ---- Versions and system information ------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  ApiCall call("GetVersionExA");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return FALSE;
  }
  if (!info) {
    sim::Fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const sim::OsIdentity& os = call.machine().os;
  const DWORD size = info->dwOSVersionInfoSize;
  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if (size != sizeof(OSVERSIONINFOA) && !(extended && os.hasExtendedVersionInfo)) {
    sim::Fail(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  info->dwMajorVersion = os.majorVersion;
  info->dwMinorVersion = os.minorVersion;
  info->dwBuildNumber = os.buildNumber;
  info->dwPlatformId = os.platformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  std::memcpy(info->szCSDVersion, os.csdVersion.data(),
              std::min(os.csdVersion.size(), sizeof info->szCSDVersion - 1));
  if (extended) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
    ex->wServicePackMajor = os.servicePackMajor;
    ex->wServicePackMinor = os.servicePackMinor;
    ex->wSuiteMask = os.suiteMask;
    ex->wProductType = os.productType;
    ex->wReserved = 0;
  }
  return TRUE;
}

static void FillSystemInfo(LPSYSTEM_INFO info, WORD architecture) {
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = architecture;
  info->dwPageSize = architecture == PROCESSOR_ARCHITECTURE_IA64 ? 8192 : 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
  info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(0x7ffeffff);
  info->dwActiveProcessorMask = 1;
  info->dwNumberOfProcessors = 1;
  info->dwProcessorType = architecture == PROCESSOR_ARCHITECTURE_INTEL ? 586 : 8664;
  info->dwAllocationGranularity = 0x10000;
  info->wProcessorLevel = 6;
}

VOID WINAPI GetSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  ApiCall call("GetSystemInfo");
  if (!lpSystemInfo) return;
  // A 32-bit process on a 64-bit Windows is told it runs on an x86 processor.
  const sim::Process& p = call.process();
  const WORD arch = p.IsWow64() ? PROCESSOR_ARCHITECTURE_INTEL : p.machine.os.nativeArchitecture;
  FillSystemInfo(lpSystemInfo, arch);
}

VOID WINAPI GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
  ApiCall call("GetNativeSystemInfo");
  if (!lpSystemInfo) return;
  FillSystemInfo(lpSystemInfo, call.machine().os.nativeArchitecture);
}

// ---- Modules ----------------------------------------------------------------------

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  ApiCall call("GetModuleHandleA", lpModuleName ? lpModuleName : "");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return nullptr;
  }
  if (!lpModuleName) return reinterpret_cast<HMODULE>(sim::kExeBase);
  const std::string key = sim::ModuleKey(lpModuleName);
  const sim::ModuleInfo* m = sim::FindModule(key);
  sim::Process& p = call.process();
  if (!m || !sim::ModuleExists(p.machine, key) ||
      (!sim::AlwaysLoaded(key) && p.libraryReferences[key] <= 0)) {
    sim::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HMODULE>(m->base);
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  ApiCall call("LoadLibraryA", lpLibFileName ? lpLibFileName : "");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return nullptr;
  }
  if (!lpLibFileName) {
    sim::Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string key = sim::ModuleKey(lpLibFileName);
  const sim::ModuleInfo* m = sim::FindModule(key);
  if (!m || !sim::ModuleExists(call.machine(), key)) {
    sim::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++call.process().libraryReferences[key];
  return reinterpret_cast<HMODULE>(m->base);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  ApiCall call("FreeLibrary");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return FALSE;
  }
  const sim::ModuleInfo* m = sim::ModuleAt(hLibModule);
  if (!m) {
    sim::Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int& refs = call.process().libraryReferences[m->name];
  if (refs > 0) --refs;
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  ApiCall call("GetProcAddress", lpProcName ? lpProcName : "");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return nullptr;
  }
  const sim::ModuleInfo* m = sim::ModuleAt(hModule);
  if (!m) {
    sim::Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (!lpProcName) {
    sim::Fail(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  for (const auto& e : sim::Exports()) {
    if (std::strcmp(e.module, m->name) == 0 && std::strcmp(e.name, lpProcName) == 0 &&
        e.available(call.machine().os)) {
      return e.address;
    }
  }
  sim::Fail(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

// ---- Threads ----------------------------------------------------------------------

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  ApiCall call("CreateThread");
  (void)lpThreadAttributes;
  (void)dwStackSize;
  if (call.fault()) {
    sim::Fail(*call.fault());
    return nullptr;
  }
  if (!lpStartAddress) {
    sim::Fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwCreationFlags & CREATE_SUSPENDED) {
    sim::Fail(ERROR_NOT_SUPPORTED);  // nothing in the system starts a thread suspended
    return nullptr;
  }
  auto state = std::make_shared<sim::ThreadState>();
  state->id = sim::NextThreadId();
  auto handle = std::make_shared<sim::ThreadHandle>();
  handle->state = state;
  HANDLE h = reinterpret_cast<HANDLE>(call.process().handles.Add(handle));
  if (lpThreadId) *lpThreadId = state->id;
  call.process().AdoptThread(std::thread([state, lpStartAddress, lpParameter] {
    const DWORD code = lpStartAddress(lpParameter);
    std::lock_guard<std::mutex> g(state->mutex);
    state->exitCode = code;
    state->finished = true;
    state->done.notify_all();
  }));
  return h;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<sim::ThreadState> state;
  {
    ApiCall call("WaitForSingleObject");
    if (call.fault()) {
      sim::Fail(*call.fault());
      return WAIT_FAILED;
    }
    auto thread =
        call.process().handles.GetAs<sim::ThreadHandle>(reinterpret_cast<uintptr_t>(hHandle));
    if (!thread) {
      sim::Fail(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    state = thread->state;
  }
  // Waits without the machine's lock, so the awaited thread can make its calls.
  std::unique_lock<std::mutex> lock(state->mutex);
  if (dwMilliseconds == INFINITE) {
    state->done.wait(lock, [&] { return state->finished; });
    return WAIT_OBJECT_0;
  }
  return state->done.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                              [&] { return state->finished; })
             ? WAIT_OBJECT_0
             : WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  ApiCall call("GetExitCodeThread");
  auto thread =
      call.process().handles.GetAs<sim::ThreadHandle>(reinterpret_cast<uintptr_t>(hThread));
  if (!thread || !lpExitCode) {
    sim::Fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(thread->state->mutex);
  *lpExitCode = thread->state->exitCode;
  return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) { return sim::CurrentThreadIdValue(); }

VOID WINAPI Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount(void) {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// ---- Errors and memory --------------------------------------------------------------

DWORD WINAPI GetLastError(void) { return sim::ThreadLastError(); }
VOID WINAPI SetLastError(DWORD dwErrCode) { sim::ThreadLastError() = dwErrCode; }

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  ApiCall call("LocalAlloc");
  if (call.fault()) {
    sim::Fail(*call.fault());
    return nullptr;
  }
  char* block = new char[uBytes ? uBytes : 1];
  if (uFlags & LMEM_ZEROINIT) std::memset(block, 0, uBytes ? uBytes : 1);
  return call.process().TrackLocal(block, [block] { delete[] block; });
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  if (!hMem) return nullptr;
  ApiCall call("LocalFree");
  if (call.process().FreeLocal(hMem)) return nullptr;
  sim::Fail(ERROR_INVALID_HANDLE);
  return hMem;
}

// ---- Strings ----------------------------------------------------------------------
// Windows compares these by its locale's word sort; the system only asks whether two
// texts are equal without regard to case, which an ordinal ASCII fold answers alike.

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  return sim::CompareIgnoringCase(a, b);
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  if (!a || !b) return a ? 1 : (b ? -1 : 0);
  const int r = std::strcmp(a, b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(std::strlen(s)) : 0; }

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  (void)dwFlags;  // code page 1252 gives every byte a character: nothing is invalid
  if ((CodePage != CP_ACP && CodePage != 1252) || !lpMultiByteStr || cbMultiByte == 0 ||
      cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t length =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  if (cchWideChar == 0) return static_cast<int>(length);
  if (static_cast<size_t>(cchWideChar) < length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < length; ++i) {
    lpWideCharStr[i] =
        static_cast<WCHAR>(sim::Cp1252ToUnicode(static_cast<unsigned char>(lpMultiByteStr[i])));
  }
  return static_cast<int>(length);
}

LPSTR WINAPI lstrcpynA(LPSTR dst, LPCSTR src, int max) {
  if (!dst || max <= 0) return dst;
  int i = 0;
  for (; src && i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

int _stricmp(const char* a, const char* b) { return sim::CompareIgnoringCase(a, b); }

int _strnicmp(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ca = sim::UpperAscii(static_cast<unsigned char>(a[i]));
    const unsigned char cb = sim::UpperAscii(static_cast<unsigned char>(b[i]));
    // The C library folds to lower case, so '_' sorts before letters.
    const int la = std::tolower(ca), lb = std::tolower(cb);
    if (la != lb) return la - lb;
    if (!ca) return 0;
  }
  return 0;
}

char* _strupr(char* s) {
  for (char* p = s; p && *p; ++p)
    *p = static_cast<char>(sim::UpperAscii(static_cast<unsigned char>(*p)));
  return s;
}

char* _strlwr(char* s) {
  for (char* p = s; p && *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p + 0x20);
  return s;
}

static void CopyPart(char* out, size_t capacity, const char* begin, const char* end) {
  if (!out) return;
  size_t n = static_cast<size_t>(end - begin);
  if (n > capacity - 1) n = capacity - 1;
  std::memcpy(out, begin, n);
  out[n] = '\0';
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  const char* p = path;
  const char* end = path + std::strlen(path);
  if (end - p >= 2 && p[1] == ':') {
    CopyPart(drive, _MAX_DRIVE, p, p + 2);
    p += 2;
  } else {
    CopyPart(drive, _MAX_DRIVE, p, p);
  }
  const char* lastSep = nullptr;
  for (const char* q = p; q < end; ++q)
    if (*q == '\\' || *q == '/') lastSep = q;
  const char* nameStart = lastSep ? lastSep + 1 : p;
  CopyPart(dir, _MAX_DIR, p, nameStart);
  const char* dot = nullptr;
  for (const char* q = nameStart; q < end; ++q)
    if (*q == '.') dot = q;
  const char* nameEnd = dot ? dot : end;
  CopyPart(fname, _MAX_FNAME, nameStart, nameEnd);
  CopyPart(ext, _MAX_EXT, nameEnd, end);
}
