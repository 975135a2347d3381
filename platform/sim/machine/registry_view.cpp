#include "platform/sim/machine/registry_view.h"

#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

// Keys below HKLM\SOFTWARE that WOW64 does not redirect, as Windows documents them.
const char* const kSharedSoftwareKeys[] = {
    "Classes\\HCP",
    "Microsoft\\COM3",
    "Microsoft\\Cryptography\\Calais\\Current",
    "Microsoft\\Cryptography\\Calais\\Readers",
    "Microsoft\\Cryptography\\Services",
    "Microsoft\\CTF\\SystemShared",
    "Microsoft\\CTF\\TIP",
    "Microsoft\\DFS",
    "Microsoft\\Driver Signing",
    "Microsoft\\EnterpriseCertificates",
    "Microsoft\\EventSystem",
    "Microsoft\\MSMQ",
    "Microsoft\\Non-Driver Signing",
    "Microsoft\\Notepad\\DefaultFonts",
    "Microsoft\\OLE",
    "Microsoft\\RAS",
    "Microsoft\\RPC",
    "Microsoft\\SOFTWARE\\Microsoft\\Shared Tools\\MSInfo",
    "Microsoft\\SystemCertificates",
    "Microsoft\\TermServLicensing",
    "Microsoft\\TransactionServer",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\LanguagePack",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    "Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    "Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Microsoft\\Windows NT\\CurrentVersion\\Print",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    "Policies",
    "RegisteredApplications",
};

constexpr const char* kWow64Node = "Wow6432Node";

}  // namespace

bool IsSharedSoftwareKey(const std::vector<std::string>& below) {
  for (const char* shared : kSharedSoftwareKeys) {
    std::vector<std::string> parts;
    SplitKeyPath(shared, &parts);
    if (parts.size() > below.size()) continue;
    bool prefix = true;
    for (size_t i = 0; i < parts.size() && prefix; ++i) prefix = NamesEqual(parts[i], below[i]);
    if (prefix) return true;
  }
  return false;
}

RegistryView ViewFor(const Process& process, uint32_t samDesired, RegistryView handleView) {
  if (!process.machine.os.Is64Bit()) return RegistryView::kNative;
  if (samDesired & KEY_WOW64_64KEY) return RegistryView::kNative;
  if (samDesired & KEY_WOW64_32KEY) return RegistryView::kWow64_32;
  return handleView;
}

bool MapRegistryPath(const Process& process, const RegKey& base, std::string_view relative,
                     RegistryView view, std::vector<std::string>* components) {
  std::vector<std::string> rel;
  if (!SplitKeyPath(relative, &rel)) return false;
  SplitKeyPath(base.PathBelowRoot(), components);
  components->insert(components->end(), rel.begin(), rel.end());

  const bool underHklm = base.Root()->name == "HKEY_LOCAL_MACHINE";
  if (!underHklm || view != RegistryView::kWow64_32 || !process.machine.os.Is64Bit()) return true;
  if (components->empty() || !NamesEqual((*components)[0], "SOFTWARE")) return true;

  // The 32-bit view: the logical path is the one without Wow6432Node; it lands in
  // Wow6432Node unless Windows shares that key between the views.
  if (components->size() > 1 && NamesEqual((*components)[1], kWow64Node))
    components->erase(components->begin() + 1);
  std::vector<std::string> below(components->begin() + 1, components->end());
  if (!IsSharedSoftwareKey(below)) components->insert(components->begin() + 1, kWow64Node);
  return true;
}

namespace {

// Whether the key `relative` names below `base` may lie in the 32-bit view's
// redirected part: under HKLM\SOFTWARE, seen by the 32-bit view of a 64-bit
// edition.
bool MayBeRedirected(const Process& process, const RegKey& base, std::string_view relative,
                     RegistryView view) {
  if (view != RegistryView::kWow64_32 || !process.machine.os.Is64Bit()) return false;
  const RegKey* top = &base;
  while (top->parent && top->parent->parent) top = top->parent;
  if (top->parent)
    return top->parent->name == "HKEY_LOCAL_MACHINE" && NamesEqual(top->name, "SOFTWARE");
  if (top->name != "HKEY_LOCAL_MACHINE") return false;
  std::string_view first;
  return NextKeyComponent(&relative, &first) && NamesEqual(first, "SOFTWARE");
}

}  // namespace

bool FindRegistryKey(const Process& process, const std::shared_ptr<RegKey>& base,
                     std::string_view relative, RegistryView view, std::shared_ptr<RegKey>* key,
                     const OrderedNameMap<std::shared_ptr<RegKey>>::Cursor* hint) {
  key->reset();
  if (!relative.empty() && relative.front() == '\\') return false;
  if (MayBeRedirected(process, *base, relative, view)) {
    std::vector<std::string> parts;
    if (!MapRegistryPath(process, *base, relative, view, &parts)) return false;
    const RegKey* root = base->Root();
    std::shared_ptr<RegKey> at = process.machine.registry.Root(root->name);
    for (size_t i = 0; i < parts.size() && at; ++i) {
      auto* child = at->subkeys.Find(parts[i]);
      at = child ? *child : nullptr;
    }
    *key = std::move(at);
    return true;
  }
  const std::shared_ptr<RegKey>* at = &base;
  std::string_view part;
  while (NextKeyComponent(&relative, &part)) {
    at = (*at)->subkeys.Find(part, at == &base ? hint : nullptr);
    if (!at) return true;
  }
  *key = *at;
  return true;
}

}  // namespace sim
