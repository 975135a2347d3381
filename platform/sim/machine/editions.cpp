// Edition templates: machines as a fresh installation of each supported Windows leaves
// them, with the version record, the registry keys the system reads and a few ordinary
// traces of other software and hardware, so that a search never finds only our own.
#include <cstdio>
#include <vector>

#include "platform/sim/machine/edition_folders.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

enum class Family { k9x, kNt4, kNt };

// One row per edition: the version record and the few texts that differ between them.
struct EditionRow {
  const char* name;
  Family family;
  uint32_t major, minor;
  uint32_t build;  // the whole dwBuildNumber (on the 9x family its high word is major.minor)
  const char* csdVersion;
  uint16_t servicePack;
  uint16_t suiteMask;
  uint8_t productType;
  uint16_t architecture;    // PROCESSOR_ARCHITECTURE_*
  const char* productName;  // Windows NT\CurrentVersion (or 9x CurrentVersion) ProductName
  const char* editionId;    // Windows NT\CurrentVersion EditionID (NT 6 only)
  bool hotfixQ246009;       // NT 4.0 SP6a: SP6 with the hotfix that made it "6a"
};

constexpr uint16_t kX86 = PROCESSOR_ARCHITECTURE_INTEL;
constexpr uint16_t kAmd64 = PROCESSOR_ARCHITECTURE_AMD64;
constexpr uint16_t kIa64 = PROCESSOR_ARCHITECTURE_IA64;

// Suite masks as those editions report them: a server has Terminal Services in remote
// administration mode (TERMINAL | SINGLEUSERTS).
constexpr uint16_t kWorkstation = VER_SUITE_SINGLEUSERTS;
constexpr uint16_t kServer = VER_SUITE_TERMINAL | VER_SUITE_SINGLEUSERTS;
constexpr uint16_t kEnterprise = kServer | VER_SUITE_ENTERPRISE;
constexpr uint16_t kDatacenter = kEnterprise | VER_SUITE_DATACENTER;
constexpr uint16_t kWeb = kServer | VER_SUITE_BLADE;

// Product types.
constexpr uint8_t kWks = VER_NT_WORKSTATION;
constexpr uint8_t kSrv = VER_NT_SERVER;

// szCSDVersion by service pack number.
constexpr const char* kServicePackText[] = {"",
                                            "Service Pack 1",
                                            "Service Pack 2",
                                            "Service Pack 3",
                                            "Service Pack 4",
                                            "Service Pack 5",
                                            "Service Pack 6"};

constexpr EditionRow Nt(const char* name, uint32_t major, uint32_t minor, uint32_t build,
                        uint16_t servicePack, uint16_t suite, uint8_t type, uint16_t arch,
                        const char* productName, const char* editionId = nullptr) {
  EditionRow row{};
  row.name = name;
  row.family = Family::kNt;
  row.major = major;
  row.minor = minor;
  row.build = build;
  row.csdVersion = kServicePackText[servicePack];
  row.servicePack = servicePack;
  row.suiteMask = suite;
  row.productType = type;
  row.architecture = arch;
  row.productName = productName;
  row.editionId = editionId;
  return row;
}

constexpr EditionRow Server2003(const char* name, uint16_t suite, uint16_t arch) {
  return Nt(name, 5, 2, 3790, 2, suite, kSrv, arch, "Microsoft Windows Server 2003");
}

// NT 4.0 Workstation SP6, without or with the Q246009 hotfix that makes it SP6a.
constexpr EditionRow Nt4Sp6(const char* name, bool hotfixQ246009) {
  EditionRow row = Nt(name, 4, 0, 1381, 6, 0, kWks, kX86, nullptr);
  row.family = Family::kNt4;
  row.hotfixQ246009 = hotfixQ246009;
  return row;
}

constexpr EditionRow Win9x(const char* name, uint32_t minor, uint32_t build, const char* csd,
                           const char* productName) {
  EditionRow row{};
  row.name = name;
  row.family = Family::k9x;
  row.major = 4;
  row.minor = minor;
  row.build = build;
  row.csdVersion = csd;
  row.architecture = kX86;
  row.productName = productName;
  return row;
}

constexpr const char* kXp = "Microsoft Windows XP";
constexpr const char* kVista = "Windows Vista (TM) Business";

const EditionRow kEditions[] = {
    Nt("2000", 5, 0, 2195, 4, 0, kWks, kX86, "Microsoft Windows 2000"),
    Nt("xp", 5, 1, 2600, 3, kWorkstation, kWks, kX86, kXp),
    Nt("xp-x64", 5, 2, 3790, 2, kWorkstation, kWks, kAmd64, kXp),
    Server2003("2003", kServer, kX86),
    Server2003("2003-enterprise", kEnterprise, kX86),
    Server2003("2003-datacenter", kDatacenter, kX86),
    Server2003("2003-web", kWeb, kX86),
    Server2003("2003-x64", kServer, kAmd64),
    Server2003("2003-x64-enterprise", kEnterprise, kAmd64),
    Server2003("2003-x64-datacenter", kDatacenter, kAmd64),
    Server2003("2003-ia64", kServer, kIa64),
    Server2003("2003-ia64-enterprise", kEnterprise, kIa64),
    Server2003("2003-ia64-datacenter", kDatacenter, kIa64),
    Nt("vista", 6, 0, 6002, 2, kWorkstation, kWks, kX86, kVista, "Business"),
    Nt("vista-x64", 6, 0, 6002, 2, kWorkstation, kWks, kAmd64, kVista, "Business"),
    Nt("vista-server", 6, 0, 6002, 2, kServer, kSrv, kX86, "Windows Server (R) 2008 Standard",
       "ServerStandard"),
    Nt("7-x64", 6, 1, 7601, 1, kWorkstation, kWks, kAmd64, "Windows 7 Professional",
       "Professional"),
    Nt4Sp6("nt4-sp6", false),
    Nt4Sp6("nt4-sp6a", true),
    // On the 9x family the build number's high word repeats major and minor.
    Win9x("95-osr2", 0, 0x04000457, " B", "Microsoft Windows 95"),
    Win9x("98-se", 10, 0x040A08AE, " A", "Microsoft Windows 98"),
    Win9x("me", 90, 0x045A0BB8, " ", "Microsoft Windows ME"),
};

// ---- Small writers, so the tables below read as data ------------------------------------

// REG_MULTI_SZ bytes: each item with its NUL, then one more; null items are skipped.
template <typename Items>
std::string MultiSz(const Items& items) {
  std::string data;
  for (const char* item : items) {
    if (item) data.append(item).push_back('\0');
  }
  data.push_back('\0');
  return data;
}

// A key being filled in; Sub() descends (creating), the value setters chain.
class KeyWriter {
 public:
  KeyWriter(Registry& registry, std::shared_ptr<RegKey> key)
      : registry_(registry), key_(std::move(key)) {}

  KeyWriter Sub(std::string_view path) const { return {registry_, registry_.Create(key_, path)}; }
  const KeyWriter& Put(std::string_view name, uint32_t type, std::string data) const {
    key_->values.Put(name, RegValue{type, std::move(data)});
    return *this;
  }
  const KeyWriter& Sz(std::string_view name, std::string_view text) const {
    return Put(name, REG_SZ, Registry::StringData(text));
  }
  const KeyWriter& ExpandSz(std::string_view name, std::string_view text) const {
    return Put(name, REG_EXPAND_SZ, Registry::StringData(text));
  }
  const KeyWriter& Dword(std::string_view name, uint32_t value) const {
    return Put(name, REG_DWORD, Registry::DwordData(value));
  }
  template <typename Items>
  const KeyWriter& Multi(std::string_view name, const Items& items) const {
    return Put(name, REG_MULTI_SZ, MultiSz(items));
  }
  RegKey& key() const { return *key_; }

 private:
  Registry& registry_;
  std::shared_ptr<RegKey> key_;
};

std::string Format(const char* format, uint32_t a, uint32_t b, uint32_t c = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// What a precompiled INF holds here: the INF's text as 16-bit characters.
std::string Utf16Le(std::string_view text) {
  std::string wide;
  wide.reserve(text.size() * 2);
  for (char c : text) {
    wide.push_back(c);
    wide.push_back('\0');
  }
  return wide;
}

// ---- Classes, devices and drivers ------------------------------------------------------------

constexpr const char* kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kMultiFunctionClass = "{4d36e971-e325-11ce-bfc1-08002be10318}";
constexpr const char* kSystemClass = "{4D36E97D-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kComputerClass = "{4D36E966-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
constexpr const char* kNetClass = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr const char* kLegacyClass = "{8ECC055D-047F-11D1-A537-0000F8753ED1}";

struct ClassRow {
  const char* guid;
  const char* className;
  const char* description;
  const char* installer;  // Installer32, or null
  bool sinceWindows2000;  // a Plug and Play class NT 4.0 does not have
};

const ClassRow kClasses[] = {
    {kPortsClass, "Ports", "Ports (COM & LPT)", "MsPorts.Dll,PortsClassInstaller", false},
    {kMultiFunctionClass, "MultiFunction", "Multifunction adapters", nullptr, true},
    {kSystemClass, "System", "System devices", "SysClass.Dll,SystemClassInstaller", true},
    {kComputerClass, "Computer", "Computer", "SysClass.Dll,ComputerClassInstaller", true},
    {kUsbClass, "USB", "Universal Serial Bus controllers", nullptr, true},
    {kNetClass, "Net", "Network adapters", "NetCfgx.dll,NetClassInstaller", false},
};

// A driver key below Control\Class\{guid}.
struct DriverRow {
  const char* classGuid;
  const char* index;
  const char* description;
  const char* infPath;
  const char* infSection;
  const char* matchingDeviceId;
  const char* provider;  // null: Microsoft's own, dated and versioned as the system
};

// A driver's date and version: "7-1-2001" and "5.1.2600.0" in the registry, and in an
// INF's DriverVer line as "07/01/2001,5.1.2600.0".
struct DriverVer {
  std::string date, version;
  std::string InfLine() const { return date + "," + version; }
};

const DriverVer kRealtekVer = {"04/21/2006", "5.652.421.2006"};

const DriverRow kDrivers[] = {
    {kPortsClass, "0000", "Communications Port", "msports.inf", "ComPort", "*pnp0501", nullptr},
    {kPortsClass, "0001", "ECP Printer Port", "msports.inf", "LptPort", "*pnp0401", nullptr},
    {kPortsClass, "0002", "Communications Port", "msports.inf", "ComPort", "*pnp0501", nullptr},
    {kSystemClass, "0000", "PCI bus", "machine.inf", "PCI_DRV", "*pnp0a03", nullptr},
    {kSystemClass, "0001", "Intel(R) 945G/GZ/P/PL Processor to I/O Controller - 2770",
     "machine.inf", "NO_DRV", "pci\\ven_8086&dev_2770", nullptr},
    {kComputerClass, "0000", "ACPI Uniprocessor PC", "hal.inf", "ACPIAPIC_UP_HAL", "acpiapic_up",
     nullptr},
    {kUsbClass, "0000", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27C8",
     "usbport.inf", "UHCI.Dev", "pci\\ven_8086&dev_27c8", nullptr},
    {kNetClass, "0000", "Realtek RTL8139 Family PCI Fast Ethernet NIC", "oem0.inf", "RTL8139",
     "pci\\ven_10ec&dev_8139", "Realtek Semiconductor Corp."},
};

// A device instance below Enum.
struct DeviceRow {
  const char* instanceId;  // "<enumerator>\<device>\<instance>"
  const char* classGuid;
  const char* className;
  const char* driverIndex;
  const char* description;
  const char* manufacturer;
  const char* service;         // null: no function driver of its own
  const char* portName;        // Device Parameters\PortName, or null
  const char* hardwareIds[4];  // most specific first; unused entries null
};

// clang-format off
const DeviceRow kDevices[] = {
    {"Root\\ACPI_HAL\\0000", kComputerClass, "Computer", "0000", "ACPI Uniprocessor PC",
     "(Standard computers)", nullptr, nullptr,
     {"acpiapic_up"}},
    {"ACPI\\PNP0A03\\0", kSystemClass, "System", "0000", "PCI bus",
     "(Standard system devices)", "pci", nullptr,
     {"ACPI\\PNP0A03", "*PNP0A03"}},
    {"ACPI\\PNP0501\\1", kPortsClass, "Ports", "0000", "Communications Port",
     "(Standard port types)", "Serial", "COM1",
     {"ACPI\\PNP0501", "*PNP0501"}},
    {"ACPI\\PNP0501\\2", kPortsClass, "Ports", "0002", "Communications Port",
     "(Standard port types)", "Serial", "COM2",
     {"ACPI\\PNP0501", "*PNP0501"}},
    {"ACPI\\PNP0401\\1", kPortsClass, "Ports", "0001", "ECP Printer Port",
     "(Standard port types)", "Parport", "LPT1",
     {"ACPI\\PNP0401", "*PNP0401"}},
    {"PCI\\VEN_8086&DEV_2770&SUBSYS_81791043&REV_02\\3&11583659&0&00", kSystemClass, "System",
     "0001", "Intel(R) 945G/GZ/P/PL Processor to I/O Controller - 2770", "Intel", nullptr, nullptr,
     {"PCI\\VEN_8086&DEV_2770&SUBSYS_81791043&REV_02", "PCI\\VEN_8086&DEV_2770&SUBSYS_81791043",
      "PCI\\VEN_8086&DEV_2770&CC_060000", "PCI\\VEN_8086&DEV_2770&CC_0600"}},
    {"PCI\\VEN_8086&DEV_27C8&SUBSYS_81791043&REV_01\\3&11583659&0&E8", kUsbClass, "USB",
     "0000", "Intel(R) 82801G (ICH7 Family) USB Universal Host Controller - 27C8", "Intel",
     "usbuhci", nullptr,
     {"PCI\\VEN_8086&DEV_27C8&SUBSYS_81791043&REV_01", "PCI\\VEN_8086&DEV_27C8&SUBSYS_81791043",
      "PCI\\VEN_8086&DEV_27C8&CC_0C0300", "PCI\\VEN_8086&DEV_27C8&CC_0C03"}},
    {"PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10\\4&1F7DBC9F&0&10F0", kNetClass, "Net",
     "0000", "Realtek RTL8139 Family PCI Fast Ethernet NIC", "Realtek", "RTL8023xp", nullptr,
     {"PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10", "PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC",
      "PCI\\VEN_10EC&DEV_8139&CC_020000", "PCI\\VEN_10EC&DEV_8139&CC_0200"}},
};
// clang-format on

// Services of the port drivers: name, display name, image, start type, group.
struct ServiceRow {
  const char* name;
  const char* displayName;
  const char* imagePath;
  uint32_t start;
  const char* group;
};

const ServiceRow kServices[] = {
    {"Serial", "Serial port driver", "system32\\DRIVERS\\serial.sys", 1, "Extended base"},
    {"Parport", "Parallel port driver", "system32\\DRIVERS\\parport.sys", 3, "Parallel arbitrator"},
};

// ---- Texts of ordinary installed files ----------------------------------------------------------

std::string InfText(const char* className, const char* classGuid, const char* provider,
                    const char* driverVer, const char* body) {
  std::string text = "; Copyright (c) ";
  text += provider;
  text += "\r\n\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=";
  text += className;
  text += "\r\nClassGUID=";
  text += classGuid;
  text += "\r\nProvider=%Provider%\r\nDriverVer=";
  text += driverVer;
  text += "\r\n\r\n";
  text += body;
  text += "\r\n[Strings]\r\nProvider=\"";
  text += provider;
  text += "\"\r\n";
  return text;
}

struct InfFile {
  const char* name;
  std::string text;
  bool sinceWindows2000;  // OEM INFs came with Plug and Play
};

std::vector<InfFile> OrdinaryInfs(const std::string& systemVer) {
  return {
      {"machine.inf",
       InfText("System", kSystemClass, "Microsoft", systemVer.c_str(),
               "[Manufacturer]\r\n%GENDEV_MFG%=GENDEV_SYS\r\n\r\n[GENDEV_SYS]\r\n"
               "%*pnp0a03.DeviceDesc% = PCI_DRV, *PNP0A03\r\n\r\n"
               "[PCI_DRV]\r\nInclude=pci.inf\r\nNeeds=PCI_DRV\r\n"),
       false},
      {"msports.inf",
       InfText("Ports", kPortsClass, "Microsoft", systemVer.c_str(),
               "[Manufacturer]\r\n%Generic.Mfg%=Generic\r\n\r\n[Generic]\r\n"
               "%*PNP0501.DevDesc% = ComPort, *PNP0501\r\n"
               "%*PNP0401.DevDesc% = LptPort, *PNP0401\r\n\r\n"
               "[ComPort.NT.Services]\r\nAddService = Serial, 0x00000002, Serial_Service_Inst\r\n"),
       false},
      {"oem0.inf",
       InfText("Net", kNetClass, "Realtek Semiconductor Corp.", kRealtekVer.InfLine().c_str(),
               "[Manufacturer]\r\n%Realtek%=Realtek\r\n\r\n[Realtek]\r\n"
               "%RTL8139.DeviceDesc% = RTL8139, PCI\\VEN_10EC&DEV_8139\r\n\r\n"
               "[RTL8139.Services]\r\nAddService = RTL8023xp, 2, rtl8139.Service\r\n"),
       true},
  };
}

// ---- The edition's parts ----------------------------------------------------------------------

bool IsNt(const EditionRow& e) { return e.family != Family::k9x; }
bool IsNt6(const EditionRow& e) { return IsNt(e) && e.major >= 6; }
bool Is64(const EditionRow& e) { return e.architecture == kAmd64 || e.architecture == kIa64; }
bool IsNt5OrLater(const EditionRow& e) { return e.family == Family::kNt; }

OsIdentity IdentityOf(const EditionRow& e) {
  OsIdentity os;
  os.edition = e.name;
  os.platformId = IsNt(e) ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
  os.majorVersion = e.major;
  os.minorVersion = e.minor;
  os.buildNumber = e.build;
  os.csdVersion = e.csdVersion;
  os.servicePackMajor = e.servicePack;
  os.servicePackMinor = 0;
  os.suiteMask = e.suiteMask;
  os.productType = e.productType;
  os.nativeArchitecture = e.architecture;
  // OSVERSIONINFOEX came with NT 4.0 SP6; the 9x family never accepts it.
  os.hasExtendedVersionInfo = IsNt(e);
  os.hasGetNativeSystemInfo = IsNt(e) && (e.major > 5 || (e.major == 5 && e.minor >= 1));
  // SETUPAPI shipped with 2000 (and with 98 and Me), not with NT 4.0 or 95.
  os.hasSetupApi = IsNt5OrLater(e) || (e.family == Family::k9x && e.minor > 0);
  os.hasSetupCopyOemInf = os.hasSetupApi;
  const bool winnt = e.family == Family::kNt4 || (e.major == 5 && e.minor == 0);
  os.windowsFolder = winnt ? "C:\\WINNT" : "C:\\WINDOWS";
  os.systemFolderName = IsNt(e) ? "system32" : "SYSTEM";
  return os;
}

DriverVer DriverVerOf(const EditionRow& e) {
  const char* date = e.major >= 6 ? "06/21/2006" : e.major == 5 ? "07/01/2001" : "10/14/1996";
  return {date, Format("%u.%u.%u.0", e.major, e.minor, e.build & 0xFFFF)};
}

// Uninstall entries of other software: name, display name, uninstall command.
struct UninstallRow {
  const char* key;
  const char* displayName;
  const char* uninstallString;
  bool windowsInstaller;  // an MSI product: only on 2000 and later
};

void WriteCurrentVersion(const KeyWriter& cv, const EditionRow& e, const OsIdentity& os,
                         bool wow64View) {
  const std::string programFiles = wow64View ? "C:\\Program Files (x86)" : "C:\\Program Files";
  cv.Sz("ProgramFilesDir", programFiles)
      .Sz("CommonFilesDir", programFiles + "\\Common Files")
      .Sz("MediaPath", os.windowsFolder + "\\Media");
  if (Is64(e) && !wow64View) {
    cv.Sz("ProgramFilesDir (x86)", "C:\\Program Files (x86)")
        .Sz("CommonFilesDir (x86)", "C:\\Program Files (x86)\\Common Files");
  }
  if (Is64(e) && e.major >= 6 && e.minor >= 1) {
    cv.Sz("ProgramW6432Dir", "C:\\Program Files")
        .Sz("CommonW6432Dir", "C:\\Program Files\\Common Files");
  }
  if (IsNt(e)) {
    cv.ExpandSz("DevicePath", "%SystemRoot%\\inf").Sz("ProductId", "76487-OEM-0011903-00102");
  } else {
    cv.Sz("DevicePath", os.windowsFolder + "\\INF")
        .Sz("SystemRoot", os.windowsFolder)
        .Sz("ProductName", e.productName)
        .Sz("Version", e.minor == 0    ? "Windows 95"
                       : e.minor == 10 ? "Windows 98"
                                       : "Windows Millennium Edition")
        .Sz("VersionNumber", Format("%u.%02u.%u", e.major, e.minor, e.build & 0xFFFF))
        .Sz("SubVersionNumber", e.csdVersion);
  }

  // 32-bit software registers in the 32-bit view; a 64-bit one in the native view.
  static const UninstallRow kNative[] = {
      {"7-Zip", "7-Zip 4.65", "C:\\Program Files\\7-Zip\\Uninstall.exe", false},
      {"{7131646D-CD3C-40F4-97B9-CD9E4E6262EF}", "Microsoft .NET Framework 2.0",
       "MsiExec.exe /X{7131646D-CD3C-40F4-97B9-CD9E4E6262EF}", true},
  };
  static const UninstallRow kWow64[] = {
      {"WinRAR archiver", "WinRAR archiver", "C:\\Program Files (x86)\\WinRAR\\uninstall.exe",
       false},
  };
  const KeyWriter uninstall = cv.Sub("Uninstall");
  const auto write = [&](const auto& rows) {
    for (const UninstallRow& row : rows) {
      if (row.windowsInstaller && !IsNt5OrLater(e)) continue;
      uninstall.Sub(row.key)
          .Sz("DisplayName", row.displayName)
          .Sz("UninstallString", row.uninstallString);
    }
  };
  if (wow64View) {
    write(kWow64);
  } else {
    write(kNative);
  }
}

void WriteNtCurrentVersion(const KeyWriter& nt, const EditionRow& e, const OsIdentity& os,
                           bool withPorts) {
  nt.Sz("CurrentVersion", Format("%u.%u", e.major, e.minor))
      .Sz("CurrentBuildNumber", std::to_string(e.build))
      .Sz("CSDVersion", e.csdVersion)
      .Sz("SystemRoot", os.windowsFolder)
      .Sz("PathName", os.windowsFolder)
      .Sz("SoftwareType", "SYSTEM")
      .Sz("CurrentType", "Uniprocessor Free")
      .Sz("RegisteredOwner", os.userName)
      .Sz("RegisteredOrganization", "")
      .Dword("InstallDate", 1230768000);  // 2009-01-01
  if (e.productName) nt.Sz("ProductName", e.productName);
  if (e.editionId) nt.Sz("EditionID", e.editionId);
  if (e.hotfixQ246009) {
    nt.Sub("Hotfix\\Q246009").Dword("Installed", 1).Sz("Comments", "Windows NT 4.0 Hotfix");
  }
  if (withPorts) {
    nt.Sub("Ports")
        .Sz("COM1:", "9600,n,8,1")
        .Sz("COM2:", "9600,n,8,1")
        .Sz("COM3:", "9600,n,8,1")
        .Sz("COM4:", "9600,n,8,1")
        .Sz("FILE:", "")
        .Sz("LPT1:", "")
        .Sz("LPT2:", "")
        .Sz("LPT3:", "");
  }
}

std::string ProductTypeOf(const EditionRow& e) {
  if (e.productType == VER_NT_WORKSTATION) return "WinNT";
  return e.productType == VER_NT_DOMAIN_CONTROLLER ? "LanmanNT" : "ServerNT";
}

// ProductSuite lists the suite bits by name, in the order Windows writes them.
std::string ProductSuiteOf(const EditionRow& e) {
  struct Bit {
    uint16_t mask;
    const char* name;
  };
  static const Bit kBits[] = {
      {VER_SUITE_ENTERPRISE, "Enterprise"}, {VER_SUITE_DATACENTER, "DataCenter"},
      {VER_SUITE_BLADE, "Blade"},           {VER_SUITE_TERMINAL, "Terminal Server"},
      {VER_SUITE_PERSONAL, "Personal"},
  };
  std::string data;
  for (const auto& bit : kBits) {
    if (e.suiteMask & bit.mask) data.append(bit.name).push_back('\0');
  }
  data.push_back('\0');
  return data;
}

// "07/01/2001" -> "7-1-2001", as the device installer writes DriverDate.
std::string RegistryDate(const std::string& infDate) {
  unsigned month = 0, day = 0, year = 0;
  std::sscanf(infDate.c_str(), "%u/%u/%u", &month, &day, &year);
  return Format("%u-%u-%u", month, day, year);
}

void WriteDevices(const KeyWriter& enumKey, const KeyWriter& classKey, const EditionRow& e) {
  for (const auto& c : kClasses) {
    if (e.family == Family::kNt4 && c.sinceWindows2000) continue;
    const KeyWriter k = classKey.Sub(c.guid);
    k.Sz("", c.description).Sz("Class", c.className);
    if (c.installer) k.Sz("Installer32", c.installer);
  }
  if (e.family == Family::kNt4) {
    // NT 4.0 has no Plug and Play: only legacy drivers appear under Root.
    for (const auto& s : kServices) {
      std::string device = std::string("Root\\LEGACY_") + s.name;
      for (char& c : device) c = static_cast<char>(UpperAscii(static_cast<unsigned char>(c)));
      enumKey.Sub(device + "\\0000")
          .Sz("Service", s.name)
          .Dword("Legacy", 1)
          .Dword("ConfigFlags", 0)
          .Sz("Class", "LegacyDriver")
          .Sz("ClassGUID", kLegacyClass)
          .Sz("DeviceDesc", s.name);
    }
    return;
  }
  const DriverVer systemVer = DriverVerOf(e);
  for (const auto& d : kDrivers) {
    const DriverVer& ver = d.provider ? kRealtekVer : systemVer;
    classKey.Sub(std::string(d.classGuid) + "\\" + d.index)
        .Sz("DriverDesc", d.description)
        .Sz("InfPath", d.infPath)
        .Sz("InfSection", d.infSection)
        .Sz("MatchingDeviceId", d.matchingDeviceId)
        .Sz("ProviderName", d.provider ? d.provider : "Microsoft")
        .Sz("DriverDate", RegistryDate(ver.date))
        .Sz("DriverVersion", ver.version);
  }
  for (const auto& d : kDevices) {
    const KeyWriter k = enumKey.Sub(d.instanceId);
    k.Sz("ClassGUID", d.classGuid)
        .Sz("Class", d.className)
        .Multi("HardwareID", d.hardwareIds)
        .Sz("Driver", std::string(d.classGuid) + "\\" + d.driverIndex)
        .Dword("ConfigFlags", 0)
        .Sz("DeviceDesc", d.description)
        .Sz("Mfg", d.manufacturer);
    if (d.service) k.Sz("Service", d.service);
    if (d.portName) k.Sub("Device Parameters").Sz("PortName", d.portName);
  }
}

void WriteNtRegistry(Registry& registry, const EditionRow& e, const OsIdentity& os) {
  const KeyWriter hklm(registry, registry.LocalMachine());
  const KeyWriter software = hklm.Sub("SOFTWARE");
  software.Sub("Classes");
  WriteCurrentVersion(software.Sub("Microsoft\\Windows\\CurrentVersion"), e, os, false);
  WriteNtCurrentVersion(software.Sub("Microsoft\\Windows NT\\CurrentVersion"), e, os, true);
  if (Is64(e)) {
    // The 32-bit view. Ports is one of the keys Windows shares between the views.
    const KeyWriter wow = software.Sub("Wow6432Node");
    wow.Sub("Classes");
    WriteCurrentVersion(wow.Sub("Microsoft\\Windows\\CurrentVersion"), e, os, true);
    WriteNtCurrentVersion(wow.Sub("Microsoft\\Windows NT\\CurrentVersion"), e, os, false);
  }

  // One control set, reached as CurrentControlSet (no ControlSet001 copy to drift apart).
  const KeyWriter ccs = hklm.Sub("SYSTEM\\CurrentControlSet");
  const KeyWriter control = ccs.Sub("Control");
  control.Sub("ProductOptions")
      .Sz("ProductType", ProductTypeOf(e))
      .Put("ProductSuite", REG_MULTI_SZ, ProductSuiteOf(e));
  // Where the file operations left to the next start are recorded (MoveFileExA).
  if (IsNt(e)) control.Sub("Session Manager");
  if (IsNt5OrLater(e)) {
    // The ports class installer's COM number database: COM1 and COM2 taken.
    std::string comDb(32, '\0');
    comDb[0] = 0x03;
    control.Sub("COM Name Arbiter").Put("ComDB", REG_BINARY, comDb);
  }
  const KeyWriter enumKey = ccs.Sub("Enum");
  const KeyWriter classKey = control.Sub("Class");
  WriteDevices(enumKey, classKey, e);
  enumKey.key().security = SystemOnlySecurity();
  classKey.key().security = SystemOnlySecurity();

  for (const auto& s : kServices) {
    ccs.Sub(std::string("Services\\") + s.name)
        .Sz("DisplayName", s.displayName)
        .ExpandSz("ImagePath", s.imagePath)
        .Dword("Type", 1)
        .Dword("Start", s.start)
        .Dword("ErrorControl", 1)
        .Sz("Group", s.group);
  }
  hklm.Sub("HARDWARE\\DEVICEMAP\\SERIALCOMM")
      .Sz("\\Device\\Serial0", "COM1")
      .Sz("\\Device\\Serial1", "COM2");
}

// The 9x registry: HKLM\Enum at the top, classes by name under Services\Class.
void Write9xRegistry(Registry& registry, const EditionRow& e, const OsIdentity& os) {
  const KeyWriter hklm(registry, registry.LocalMachine());
  const KeyWriter software = hklm.Sub("SOFTWARE");
  software.Sub("Classes");
  WriteCurrentVersion(software.Sub("Microsoft\\Windows\\CurrentVersion"), e, os, false);

  struct Port9x {
    const char* instance;
    const char* hardwareId;
    const char* driverIndex;  // below Services\Class\Ports
    const char* description;
    const char* portName;
    bool parallel;
  };
  static const Port9x kPorts[] = {
      {"BIOS\\*PNP0501\\0D", "*PNP0501", "0000", "Communications Port", "COM1", false},
      {"BIOS\\*PNP0501\\0E", "*PNP0501", "0002", "Communications Port", "COM2", false},
      {"BIOS\\*PNP0401\\08", "*PNP0401", "0001", "ECP Printer Port", "LPT1", true},
  };
  const KeyWriter enumKey = hklm.Sub("Enum");
  for (const auto& p : kPorts) {
    enumKey.Sub(p.instance)
        .Sz("Class", "Ports")
        .Sz("ClassGUID", "{4d36e978-e325-11ce-bfc1-08002be10318}")
        .Sz("HardwareID", p.hardwareId)
        .Sz("Driver", std::string("Ports\\") + p.driverIndex)
        .Put("ConfigFlags", REG_BINARY, std::string(4, '\0'))
        .Sz("DeviceDesc", p.description)
        .Sz("Mfg", "(Standard port types)")
        .Sz("PORTNAME", p.portName);
  }
  const KeyWriter ports = hklm.Sub("System\\CurrentControlSet\\Services\\Class\\Ports");
  ports.Sz("", "Ports (COM & LPT)").Sz("Installer", "MSPORTS.DLL,PortsClassInstaller");
  for (const auto& p : kPorts) {
    ports.Sub(p.driverIndex)
        .Sz("DriverDesc", p.description)
        .Sz("InfPath", "MSPORTS.INF")
        .Sz("InfSection", p.parallel ? "LptPort" : "ComPort")
        .Sz("MatchingDeviceId", p.hardwareId)
        .Sz("ProviderName", "Microsoft")
        .Sz("PortDriver", p.parallel ? "lpt.vxd" : "serial.vxd");
  }
  hklm.Sub("HARDWARE\\DEVICEMAP\\SERIALCOMM").Sz("COM1", "COM1").Sz("COM2", "COM2");
}

// ---- Drives ----------------------------------------------------------------------------------

// Placeholder contents: a file that is there and has a size, nothing more.
std::string Placeholder(const std::string& name) { return "MZ placeholder of " + name + "\r\n"; }

void WriteDrives(FileSystem& files, const EditionRow& e, const OsIdentity& os) {
  const std::string& windir = os.windowsFolder;
  const std::string sysdir = os.SystemFolder();
  files.MakeDirectories("D:\\");
  WriteWellKnownFolders(files, os);
  files.WriteFile("C:\\Program Files\\7-Zip\\7z.exe", Placeholder("7z.exe"));
  files.WriteFile("C:\\Program Files\\7-Zip\\Uninstall.exe", Placeholder("Uninstall.exe"));

  if (!IsNt(e)) {
    files.MakeDirectories("C:\\My Documents");
    files.WriteFile(sysdir + "\\serial.vxd", Placeholder("serial.vxd"));
    files.WriteFile(sysdir + "\\kernel32.dll", Placeholder("kernel32.dll"));
    files.WriteFile(windir + "\\INF\\MSPORTS.INF",
                    InfText("Ports", kPortsClass, "Microsoft", "", "[Manufacturer]\r\n"));
    files.WriteFile(windir + "\\INF\\MACHINE.INF",
                    InfText("System", kSystemClass, "Microsoft", "", "[Manufacturer]\r\n"));
    return;
  }

  for (const char* f : {"kernel32.dll", "advapi32.dll"}) {
    files.WriteFile(sysdir + "\\" + f, Placeholder(f));
  }
  if (os.hasSetupApi) {
    for (const char* f : {"setupapi.dll", "msports.dll"}) {
      files.WriteFile(sysdir + "\\" + f, Placeholder(f));
    }
  }
  const bool plugAndPlay = e.family != Family::kNt4;
  struct Driver {
    const char* name;
    bool sinceWindows2000;
  };
  for (const Driver& d :
       {Driver{"serial.sys", false}, Driver{"parport.sys", false}, Driver{"serenum.sys", true}}) {
    if (d.sinceWindows2000 && !plugAndPlay) continue;
    files.WriteFile(sysdir + "\\drivers\\" + d.name, Placeholder(d.name));
  }
  // Every NT system keeps the hosts file in drivers\etc; WOW64 leaves that folder shared.
  if (e.family != Family::k9x) {
    files.WriteFile(sysdir + "\\drivers\\etc\\hosts", "127.0.0.1       localhost\r\n");
  }
  for (const auto& inf : OrdinaryInfs(DriverVerOf(e).InfLine())) {
    if (inf.sinceWindows2000 && !plugAndPlay) continue;
    const std::string path = windir + "\\inf\\" + inf.name;
    files.WriteFile(path, inf.text);
    // Windows 2000 and later keep a precompiled copy beside each INF.
    if (plugAndPlay) files.WriteFile(path.substr(0, path.size() - 3) + "pnf", Utf16Le(inf.text));
  }
  if (IsNt6(e)) files.MakeDirectories(sysdir + "\\DriverStore\\FileRepository");
  if (Is64(e)) {
    // WOW64's own system folder; a 32-bit program's "system32\drivers" lands in its drivers.
    files.WriteFile(windir + "\\SysWOW64\\kernel32.dll", Placeholder("kernel32.dll"));
    files.MakeDirectories(windir + "\\SysWOW64\\drivers");
    files.WriteFile("C:\\Program Files (x86)\\WinRAR\\uninstall.exe", Placeholder("uninstall.exe"));
  }
  if (e.family == Family::kNt4) {
    files.MakeDirectories(windir + "\\Profiles\\" + os.userName);
  } else if (IsNt6(e)) {
    files.MakeDirectories("C:\\Users\\" + os.userName);
    files.MakeDirectories("C:\\Users\\Public");
    files.MakeDirectories("C:\\ProgramData");
  } else {
    files.MakeDirectories("C:\\Documents and Settings\\" + os.userName);
    files.MakeDirectories("C:\\Documents and Settings\\All Users");
  }
}

const EditionRow* FindEdition(std::string_view name) {
  for (const auto& row : kEditions) {
    if (NamesEqual(name, row.name)) return &row;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> EditionNames() {
  std::vector<std::string> names;
  for (const auto& row : kEditions) names.emplace_back(row.name);
  return names;
}

std::unique_ptr<Machine> MachineFromEdition(std::string_view edition, std::string* error) {
  const EditionRow* row = FindEdition(edition);
  if (!row) {
    if (error) {
      *error = "unknown edition \"" + std::string(edition) + "\"; known editions:";
      for (const auto& name : EditionNames()) *error += " " + name;
    }
    return nullptr;
  }
  auto machine = std::make_unique<Machine>();
  machine->os = IdentityOf(*row);
  if (IsNt(*row)) {
    WriteNtRegistry(machine->registry, *row, machine->os);
  } else {
    Write9xRegistry(machine->registry, *row, machine->os);
  }
  KeyWriter(machine->registry, machine->registry.CurrentUser()).Sub("Software\\Microsoft");
  WriteDrives(machine->files, *row, machine->os);
  return machine;
}

}  // namespace sim
