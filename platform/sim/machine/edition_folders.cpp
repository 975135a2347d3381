// Where the lists come from: the folders and main programs that each Windows setup puts
// in Program Files by default, as Microsoft's product documentation of each release
// names its components (Windows 2000 and XP: the accessories, Internet Explorer, Outlook
// Express, NetMeeting, Windows Media Player, Messenger, Movie Maker, the Internet games
// and the online-services sign-up; XP's list as "The Windows XP Layout" (Que, 2003,
// chapter 3) gives it, with "xerox", the imaging components of its scanner support;
// Server 2003 without the home components; the x64 and Itanium editions with the 32-bit
// copies in Program Files (x86); Vista and Server 2008 with the components that replaced
// them: Windows Mail, Calendar, Collaboration, Defender, Photo Gallery, Sidebar, the
// .NET build tools). "Uninstall Information" is hidden, as setup leaves it; "ComPlus
// Applications" is empty until a COM+ application is installed. The roots and Windows
// folders are those every installation of the family has.
#include "platform/sim/machine/edition_folders.h"

#include <initializer_list>

namespace sim {

namespace {

struct Entry {
  const char* path;  // below its parent folder
  const char* file;  // or null: left empty
  bool hidden;
};

using Entries = std::initializer_list<Entry>;

// Common Files with the subfolders the system's own components fill.
constexpr Entries kCommonFiles = {
    {"Common Files\\Microsoft Shared\\MSInfo", "msinfo32.exe", false},
    {"Common Files\\System\\ado", "msado15.dll", false},
    {"Common Files\\System\\Ole DB", "oledb32.dll", false},
    {"Common Files\\Services", "verisign.bmp", false},
};
constexpr Entries kCommonFiles9x = {
    {"Common Files\\Microsoft Shared\\MSInfo", "msinfo32.exe", false},
    {"Common Files\\System", "mapisvc.inf", false},
};
constexpr Entries kNt5Programs = {
    {"ComPlus Applications", nullptr, false},
    {"Internet Explorer", "iexplore.exe", false},
    {"NetMeeting", "conf.exe", false},
    {"Outlook Express", "msimn.exe", false},
    {"Uninstall Information", nullptr, true},
    {"Windows Media Player", "wmplayer.exe", false},
    {"Windows NT\\Accessories", "wordpad.exe", false},
};
constexpr Entries kXpHomeComponents = {
    {"Messenger", "msmsgs.exe", false},
    {"Movie Maker", "moviemk.exe", false},
    {"MSN Gaming Zone\\Windows", "zclientm.exe", false},
    {"Online Services", "desktop.ini", false},
    {"Windows NT\\Pinball", "PINBALL.EXE", false},
    {"xerox\\nwwia", "eula.txt", false},
};
constexpr Entries kServer2003Components = {
    {"Messenger", "msmsgs.exe", false},
    {"WindowsUpdate", "wuauclt.exe", false},
};
constexpr Entries kNt6Programs = {
    {"Internet Explorer", "iexplore.exe", false},
    {"MSBuild\\Microsoft", "Microsoft.Build.Engine.dll", false},
    {"Reference Assemblies\\Microsoft\\Framework\\v3.0", "System.Printing.dll", false},
    {"Uninstall Information", nullptr, true},
    {"Windows Mail", "WinMail.exe", false},
    {"Windows Media Player", "wmplayer.exe", false},
    {"Windows NT\\Accessories", "wordpad.exe", false},
};
constexpr Entries kVistaDesktopComponents = {
    {"Movie Maker", "MovieMk.exe", false},
    {"Windows Calendar", "WinCal.exe", false},
    {"Windows Collaboration", "WinCollab.exe", false},
    {"Windows Defender", "MSASCui.exe", false},
    {"Windows Journal", "Journal.exe", false},
    {"Windows Photo Gallery", "WindowsPhotoGallery.exe", false},
    {"Windows Portable Devices", "sqmapi.dll", false},
    {"Windows Sidebar", "sidebar.exe", false},
};
constexpr Entries kSevenDesktopComponents = {
    {"DVD Maker", "DVDMaker.exe", false},
    {"Windows Defender", "MSASCui.exe", false},
    {"Windows Journal", "Journal.exe", false},
    {"Windows Photo Viewer", "PhotoViewer.dll", false},
    {"Windows Portable Devices", "sqmapi.dll", false},
    {"Windows Sidebar", "sidebar.exe", false},
};
constexpr Entries kNt4Programs = {
    {"Common Files\\Microsoft Shared\\MSInfo", "msinfo32.exe", false},
    {"Plus!\\Microsoft Internet", "iexplore.exe", false},
    {"Windows NT\\Accessories", "wordpad.exe", false},
};
constexpr Entries k9xPrograms = {
    {"Accessories", "WORDPAD.EXE", false},     {"Internet Explorer", "IEXPLORE.EXE", false},
    {"Online Services", "desktop.ini", false}, {"Outlook Express", "msimn.exe", false},
    {"Uninstall Information", nullptr, true},
};
constexpr Entries k98AndMePrograms = {
    {"NetMeeting", "conf.exe", false},
    {"Windows Media Player", "mplayer2.exe", false},
};

bool IsServer(const OsIdentity& os) { return os.productType != 1; }

void Add(std::vector<WellKnownFolder>* out, const std::string& parent, Entries entries) {
  for (const Entry& e : entries) {
    out->push_back({parent + "\\" + e.path, e.file ? e.file : "", e.hidden});
  }
}

// The programs of one Program Files folder; `wow64` for the 32-bit copies of a 64-bit
// edition, which leave out what exists only natively.
void AddPrograms(std::vector<WellKnownFolder>* out, const std::string& folder, const OsIdentity& os,
                 bool wow64) {
  if (os.platformId == 1) {
    Add(out, folder, kCommonFiles9x);
    Add(out, folder, k9xPrograms);
    if (os.minorVersion >= 10) Add(out, folder, k98AndMePrograms);
    return;
  }
  if (os.majorVersion < 5) {
    Add(out, folder, kNt4Programs);
    return;
  }
  Add(out, folder, kCommonFiles);
  if (os.majorVersion == 5) {
    Add(out, folder, kNt5Programs);
    const bool xp = os.minorVersion == 1 || (os.minorVersion == 2 && !IsServer(os));
    // XP x64 keeps the home components in Program Files (x86) only.
    if (xp && (!os.Is64Bit() || wow64)) Add(out, folder, kXpHomeComponents);
    if (os.minorVersion == 2 && IsServer(os)) Add(out, folder, kServer2003Components);
    return;
  }
  Add(out, folder, kNt6Programs);
  if (IsServer(os)) return;
  Add(out, folder, os.minorVersion == 0 ? kVistaDesktopComponents : kSevenDesktopComponents);
}

}  // namespace

std::vector<WellKnownFolder> WellKnownFolders(const OsIdentity& os) {
  std::vector<WellKnownFolder> folders;
  AddPrograms(&folders, "C:\\Program Files", os, false);
  if (os.Is64Bit()) AddPrograms(&folders, "C:\\Program Files (x86)", os, true);
  if (os.platformId == 1) {
    Add(&folders, "C:", {{"RECYCLED", nullptr, true}});
    return folders;
  }
  const std::string& windows = os.windowsFolder;
  Add(&folders, windows,
      {{"Fonts", "arial.ttf", false},
       {"Help", "windows.chm", false},
       {"Media", "chimes.wav", false},
       {"Temp", nullptr, false},
       {"repair", "setup.log", false}});
  if (os.majorVersion >= 5) {
    Add(&folders, "C:", {{"System Volume Information", nullptr, true}});
    Add(&folders, "C:", {{os.majorVersion >= 6 ? "$Recycle.Bin" : "RECYCLER", nullptr, true}});
  }
  return folders;
}

void WriteWellKnownFolders(FileSystem& files, const OsIdentity& os) {
  constexpr uint32_t kHidden = 0x2, kSystem = 0x4, kArchive = 0x20;
  for (const WellKnownFolder& f : WellKnownFolders(os)) {
    auto folder = files.MakeDirectories(f.path);
    // The root's own folders are the system's as well.
    const bool atRoot = f.path.find('\\', 3) == std::string::npos;
    if (f.hidden && folder) folder->attributes |= kHidden | (atRoot ? kSystem : 0);
    if (!f.file.empty()) {
      files.WriteFile(f.path + "\\" + f.file, "MZ placeholder of " + f.file + "\r\n", kArchive);
    }
  }
}

}  // namespace sim
