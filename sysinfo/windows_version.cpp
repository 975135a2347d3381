#include "sysinfo/windows_version.h"

#include "platform/win32.h"

namespace {

// The two layouts GetVersionExA accepts; older systems know only the basic one.
static_assert(sizeof(OSVERSIONINFOEXA) == 156, "OSVERSIONINFOEXA layout");
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");

// WindowsVersion::architecture values.
constexpr int kArchitectureX64 = 2;
constexpr int kArchitectureItanium = 3;

// Reads the version record: the extended layout first, then, on systems that refuse it
// (9x, NT 4.0 before SP6), the basic one in the same buffer.
bool ReadVersionRecord(OSVERSIONINFOEXA* info, bool* extended) {
  ZeroMemory(info, sizeof *info);
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(info))) {
    *extended = true;
    return true;
  }
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(info))) {
    *extended = false;
    return true;
  }
  return false;
}

// The processor the system itself runs on: a 32-bit program on 64-bit Windows must ask
// GetNativeSystemInfo (XP and later), since GetSystemInfo reports the emulated x86.
WORD NativeProcessorArchitecture() {
  typedef VOID(WINAPI * GetNativeSystemInfoFn)(LPSYSTEM_INFO);
  SYSTEM_INFO info;
  ZeroMemory(&info, sizeof info);
  const FARPROC proc = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo");
  if (proc) {
    reinterpret_cast<GetNativeSystemInfoFn>(reinterpret_cast<void*>(proc))(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

// Closes a registry key it opened, and only then.
class RegKeyGuard {
 public:
  RegKeyGuard() = default;
  ~RegKeyGuard() { Close(); }
  RegKeyGuard(const RegKeyGuard&) = delete;
  RegKeyGuard& operator=(const RegKeyGuard&) = delete;

  bool Open(HKEY root, const char* path, REGSAM access) {
    Close();
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, path, 0, access, &opened) != ERROR_SUCCESS) return false;
    key_ = opened;
    return true;
  }
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Editions chosen by the suite mask: the first row whose bit is set wins; a row with
// no bit is the fallback.
struct SuiteText {
  WORD suiteBit;
  const char* text;
};

template <size_t N>
const char* BySuite(const SuiteText (&rows)[N], WORD suiteMask) {
  for (const SuiteText& row : rows) {
    if (row.suiteBit == 0 || (suiteMask & row.suiteBit)) return row.text;
  }
  return "";
}

const SuiteText kWorkstationEditions[] = {
    {VER_SUITE_PERSONAL, "Home Edition "},
    {0, "Professional "},
};
// The Itanium texts end without a space, as the build text follows directly.
const SuiteText kServer2003ItaniumEditions[] = {
    {VER_SUITE_DATACENTER, "Datacenter Edition for Itanium-based Systems"},
    {VER_SUITE_ENTERPRISE, "Enterprise Edition for Itanium-based Systems"},
    {0, ""},
};
const SuiteText kServer2003X64Editions[] = {
    {VER_SUITE_DATACENTER, "Datacenter x64 Edition "},
    {VER_SUITE_ENTERPRISE, "Enterprise x64 Edition "},
    {0, "Standard x64 Edition "},
};
const SuiteText kServer2003Editions[] = {
    {VER_SUITE_DATACENTER, "Datacenter Edition "},
    {VER_SUITE_ENTERPRISE, "Enterprise Edition "},
    {VER_SUITE_BLADE, "Web Edition "},
    {0, "Standard Edition "},
};
const SuiteText kServer2000Editions[] = {
    {VER_SUITE_DATACENTER, "Datacenter Server "},
    {VER_SUITE_ENTERPRISE, "Advanced Server "},
    {0, "Server "},
};
const SuiteText kServerNt4Editions[] = {
    {VER_SUITE_ENTERPRISE, "Server 4.0, Enterprise Edition "},
    {0, "Server 4.0 "},
};

// Without the extended record, the product type is read where NT 4.0 keeps it.
struct ProductOptionText {
  const char* productType;
  const char* text;
};
const ProductOptionText kProductOptionTexts[] = {
    {"WINNT", "Workstation "},
    {"LANMANNT", "Server "},
    {"SERVERNT", "Advanced Server "},
};

// What one description needs besides the version record.
struct Facts {
  const OSVERSIONINFOEXA& info;
  bool extended;
  WORD nativeArchitecture;
  BYTE ProductType() const { return extended ? info.wProductType : 0; }
  bool Is(DWORD major, DWORD minor) const {
    return info.dwMajorVersion == major && info.dwMinorVersion == minor;
  }
};

// The product name of an NT system; may set the architecture code.
const char* NtName(const Facts& f, int* architecture) {
  if (f.Is(6, 0)) {
    if (f.ProductType() != VER_NT_WORKSTATION) return "Windows Server \"Longhorn\" ";
    if (f.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64) *architecture = kArchitectureX64;
    if (f.nativeArchitecture == PROCESSOR_ARCHITECTURE_IA64) *architecture = kArchitectureItanium;
    return "Windows Vista ";
  }
  if (f.Is(5, 2)) {
    if (f.ProductType() == VER_NT_WORKSTATION &&
        f.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64) {
      *architecture = kArchitectureX64;
      return "Microsoft Windows XP Professional x64 Edition ";
    }
    return "Microsoft Windows Server 2003, ";
  }
  if (f.Is(5, 1)) return "Microsoft Windows XP ";
  if (f.Is(5, 0)) return "Microsoft Windows 2000 ";
  if (f.info.dwMajorVersion <= 4) return "Microsoft Windows NT ";
  return "";  // 5.3 and later, 6.1 and later, 7 and later: names this code predates
}

// The edition from the extended record; may set the architecture code.
const char* NtEditionFromRecord(const Facts& f, int* architecture) {
  const WORD suite = f.info.wSuiteMask;
  switch (f.ProductType()) {
    case VER_NT_WORKSTATION:
      if (f.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64) return "";
      if (f.info.dwMajorVersion == 4) return "Workstation 4.0 ";
      return BySuite(kWorkstationEditions, suite);
    case VER_NT_DOMAIN_CONTROLLER:
    case VER_NT_SERVER:
      if (f.Is(5, 2)) {
        if (f.nativeArchitecture == PROCESSOR_ARCHITECTURE_IA64) {
          *architecture = kArchitectureItanium;
          return BySuite(kServer2003ItaniumEditions, suite);
        }
        if (f.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64) {
          *architecture = kArchitectureX64;
          return BySuite(kServer2003X64Editions, suite);
        }
        return BySuite(kServer2003Editions, suite);
      }
      if (f.Is(5, 0)) return BySuite(kServer2000Editions, suite);
      return BySuite(kServerNt4Editions, suite);
    default:
      return "";
  }
}

// The edition from ProductOptions, followed by the version number; false when the
// product type cannot be read.
bool WriteNtEditionFromRegistry(const Facts& f, std::FILE* out) {
  constexpr DWORD kCapacity = 80;
  char productType[kCapacity + 1] = {};  // one spare byte: the value may lack its NUL
  DWORD size = kCapacity;
  LONG status;
  {
    RegKeyGuard key;
    if (!key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions",
                  KEY_QUERY_VALUE)) {
      return false;
    }
    status = RegQueryValueExA(key.get(), "ProductType", nullptr, nullptr,
                              reinterpret_cast<LPBYTE>(productType), &size);
  }
  if (status != ERROR_SUCCESS || size > kCapacity) return false;
  for (const ProductOptionText& row : kProductOptionTexts) {
    if (lstrcmpiA(productType, row.productType) == 0) std::fputs(row.text, out);
  }
  std::fprintf(out, "%d.%d ", static_cast<int>(f.info.dwMajorVersion),
               static_cast<int>(f.info.dwMinorVersion));
  return true;
}

// Service pack and build. NT 4.0 SP6a still reports "Service Pack 6"; only its hotfix
// key tells it apart from the SP6 it replaced.
void WriteNtBuild(const Facts& f, std::FILE* out) {
  const int build = static_cast<int>(f.info.dwBuildNumber & 0xFFFF);
  if (f.info.dwMajorVersion == 4 && lstrcmpiA(f.info.szCSDVersion, "Service Pack 6") == 0) {
    RegKeyGuard hotfix;
    if (hotfix.Open(HKEY_LOCAL_MACHINE,
                    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009",
                    KEY_QUERY_VALUE)) {
      std::fprintf(out, "Service Pack 6a (Build %d)\n", build);
      return;
    }
  }
  std::fprintf(out, "%s (Build %d)\n", f.info.szCSDVersion, build);
}

// The 9x family has no edition or build text; its second CSD character marks the release.
void Write9xName(const OSVERSIONINFOEXA& info, std::FILE* out) {
  if (info.dwMajorVersion != 4) return;
  const char release = info.szCSDVersion[1];
  switch (info.dwMinorVersion) {
    case 0:
      std::fputs("Microsoft Windows 95 ", out);
      if (release == 'C' || release == 'B') std::fputs("OSR2 ", out);
      break;
    case 10:
      std::fputs("Microsoft Windows 98 ", out);
      if (release == 'A' || release == 'B') std::fputs("SE ", out);
      break;
    case 90:
      std::fputs("Microsoft Windows Millennium Edition\n", out);
      break;
    default:
      break;
  }
}

}  // namespace

int WindowsVersion::DetectWindowsVersion() {
  OSVERSIONINFOEXA info;
  bool extended = false;
  if (!ReadVersionRecord(&info, &extended)) return 0;
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT:
      if (info.dwMajorVersion == 5) isNt5x = 1;
      if (info.dwMajorVersion == 6 && info.dwMinorVersion == 0) isNt60 = 1;
      break;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (info.dwMajorVersion == 4 && info.dwMinorVersion != 0) {
        isWin98OrMe = 1;
        isNt5x = 0;
      }
      break;
    default:
      break;
  }
  return 1;
}

int WindowsVersion::DescribeWindowsVersion() {
  OSVERSIONINFOEXA info;
  bool extended = false;
  if (!ReadVersionRecord(&info, &extended)) return 0;
  info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
  const Facts facts{info, extended, NativeProcessorArchitecture()};
  std::FILE* out = descriptionOutput;

  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      std::fputs("Microsoft Win32s\n", out);
      return 1;
    case VER_PLATFORM_WIN32_WINDOWS:
      Write9xName(info, out);
      return 1;
    case VER_PLATFORM_WIN32_NT:
      break;
    default:
      return 1;
  }

  std::fputs(NtName(facts, &architecture), out);
  if (extended) {
    std::fputs(NtEditionFromRecord(facts, &architecture), out);
  } else if (!WriteNtEditionFromRegistry(facts, out)) {
    return 0;
  }
  WriteNtBuild(facts, out);
  return 1;
}

int IsNative64BitWindows() {
  const WORD architecture = NativeProcessorArchitecture();
  return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64
             ? 1
             : 0;
}
