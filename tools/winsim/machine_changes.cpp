#include "tools/winsim/machine_changes.h"

#include <cstdio>

#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/security.h"
#include "platform/win32.h"
#include "tools/winsim/registry_text.h"

namespace winsim {

namespace {

using Kind = sim::MachineItem::Kind;
using ChangeKind = sim::MachineChange::Kind;

bool EndsWithName(std::string_view name, std::string_view extension) {
  return name.size() >= extension.size() &&
         sim::NamesEqual(name.substr(name.size() - extension.size()), extension);
}

// "oem12.inf" or "oem12.pnf" directly in the INF folder: the names the device installer
// gives the INF files it stages.
bool IsStagedInfName(const std::string& path, const std::string& infFolder) {
  if (path.size() <= infFolder.size() + 1 ||
      !sim::NamesEqual(std::string_view(path).substr(0, infFolder.size()), infFolder) ||
      path[infFolder.size()] != '\\') {
    return false;
  }
  const std::string_view name = std::string_view(path).substr(infFolder.size() + 1);
  if (name.size() < 8 || !sim::NamesEqual(name.substr(0, 3), "oem")) return false;
  const std::string_view number = name.substr(3, name.size() - 7);
  for (char c : number) {
    if (c < '0' || c > '9') return false;
  }
  return EndsWithName(name, ".inf") || EndsWithName(name, ".pnf");
}

// A staged INF holds the package INF's text; its precompiled PNF holds that text as
// 16-bit characters.
std::string OriginOf(const sim::MachineItem& staged, const PackageInfs& packageInfs) {
  const bool precompiled = EndsWithName(staged.path, ".pnf");
  for (const auto& [path, text] : packageInfs) {
    if (staged.content == (precompiled ? sim::AnsiToUtf16Le(text) : text)) return path;
  }
  return "";
}

const char* Marker(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::kAdded:
      return "+";
    case ChangeKind::kRemoved:
      return "-";
    case ChangeKind::kChanged:
      return "~";
  }
  return "?";
}

const char* ChangeWord(ChangeKind kind) {
  switch (kind) {
    case ChangeKind::kAdded:
      return "added";
    case ChangeKind::kRemoved:
      return "removed";
    case ChangeKind::kChanged:
      return "changed";
  }
  return "?";
}

std::string Utf8(const std::string& ansi) { return sim::Cp1252ToUtf8(ansi); }

std::string Bytes(size_t size) { return std::to_string(size) + (size == 1 ? " byte" : " bytes"); }

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

std::string FileText(const sim::MachineChange& c) {
  const sim::MachineItem& item = c.Item();
  std::string line = std::string(Marker(c.kind)) + " " + Utf8(item.path);
  if (item.kind == Kind::kFolder) {
    line += "  (folder";
  } else {
    line += "  (" + Bytes(item.content.size());
    if (c.kind == ChangeKind::kChanged && c.before->content.size() != item.content.size()) {
      line += ", was " + Bytes(c.before->content.size());
    }
    if (c.kind == ChangeKind::kChanged && c.before->content == item.content &&
        c.before->attributes == item.attributes) {
      line += ", name spelled anew";
    } else if (c.kind == ChangeKind::kChanged && c.before->content != item.content &&
               c.before->content.size() == item.content.size()) {
      line += ", other content";
    }
  }
  if (c.kind == ChangeKind::kChanged && c.before->attributes != item.attributes) {
    line += ", attributes " + Hex(item.attributes) + ", were " + Hex(c.before->attributes);
  }
  return line + ")";
}

bool IsStringType(uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// How long a value's name is in a registry file: @, or quoted with '\\' and '"' escaped.
size_t NotationNameLength(const std::string& name) {
  if (name.empty()) return 1;
  size_t length = name.size() + 2;
  for (char c : name) length += c == '\\' || c == '"';
  return length;
}

// The value's line in a registry file, continuation lines indented by `indent`; when
// the notation does not name the type (hex(N)), a comment names it, with the text of a
// string the notation shows only as bytes.
std::string ValueLine(const sim::MachineItem& item, const std::string& indent) {
  std::string line = sim::FormatRegValueLine(item.valueName, item.value);
  const bool typeUnnamed = line.compare(NotationNameLength(item.valueName) + 1, 4, "hex(") == 0;
  std::string out;
  for (size_t at = 0; at < line.size(); ++at) {
    if (line.compare(at, 2, "\r\n") == 0) {
      out += "\n" + indent;
      ++at;
    } else {
      out += line[at];
    }
  }
  out = Utf8(out);
  if (typeUnnamed) {
    out += "  ; " + TypeText(item.value.type);
    if (IsStringType(item.value.type)) out += " \"" + Utf8(ValueText(item.value)) + "\"";
  }
  return out;
}

// The registry-file line without its continuations: one line of JSON text.
std::string ValueLineJoined(const sim::MachineItem& item) {
  const std::string line = sim::FormatRegValueLine(item.valueName, item.value);
  std::string out;
  for (size_t at = 0; at < line.size(); ++at) {
    if (line.compare(at, 5, "\\\r\n  ") == 0) {
      at += 4;
    } else {
      out += line[at];
    }
  }
  return Utf8(out);
}

std::string AccessText(const sim::MachineItem& key) {
  return sim::FormatDacl(key.security.isProtected, key.security.explicitAces);
}

void AppendRegistryText(const std::vector<sim::MachineChange>& changes, const std::string& indent,
                        std::string* out) {
  const std::string valueIndent = indent + "    ";
  std::string keyShown;  // the key whose line was written last
  for (const sim::MachineChange& c : changes) {
    const sim::MachineItem& item = c.Item();
    if (item.kind == Kind::kKey) {
      *out += indent + Marker(c.kind) + " [" + Utf8(item.path) + "]";
      if (c.kind == ChangeKind::kChanged) {
        *out += !(c.before->security == item.security)
                    ? "  access list " + AccessText(item) + ", was " + AccessText(*c.before)
                    : "  name spelled anew";
      }
      *out += "\n";
      keyShown = item.path;
      continue;
    }
    if (!sim::NamesEqual(keyShown, item.path)) {
      *out += indent + "  [" + Utf8(item.path) + "]\n";
      keyShown = item.path;
    }
    const std::string continuation = valueIndent + "    ";
    *out += valueIndent + Marker(c.kind) + " " + ValueLine(item, continuation) + "\n";
    if (c.kind == ChangeKind::kChanged) {
      *out += valueIndent + "  was " + ValueLine(*c.before, continuation) + "\n";
    }
  }
}

Json OrNull(bool present, Json value) { return present ? value : Json(); }

Json FileJson(const sim::MachineChange& c) {
  const sim::MachineItem& item = c.Item();
  const bool file = item.kind == Kind::kFile;
  const bool changed = c.kind == ChangeKind::kChanged;
  Json entry = Json::object();
  entry["change"] = ChangeWord(c.kind);
  entry["type"] = file ? "file" : "folder";
  entry["path"] = Utf8(item.path);
  entry["size"] = OrNull(file, item.content.size());
  entry["size_before"] = OrNull(file && changed, changed ? c.before->content.size() : 0);
  entry["attributes"] = Hex(item.attributes);
  entry["attributes_before"] = OrNull(changed, Hex(changed ? c.before->attributes : 0));
  return entry;
}

Json RegistryJson(const sim::MachineChange& c) {
  const sim::MachineItem& item = c.Item();
  const bool value = item.kind == Kind::kValue;
  const bool changed = c.kind == ChangeKind::kChanged;
  const sim::MachineItem* before = c.before;
  Json entry = Json::object();
  entry["change"] = ChangeWord(c.kind);
  entry["type"] = value ? "value" : "key";
  entry["key"] = Utf8(item.path);
  entry["name"] = OrNull(value, Utf8(item.valueName));
  entry["value_type"] = OrNull(value, TypeText(item.value.type));
  entry["reg"] = OrNull(value, value ? ValueLineJoined(item) : "");
  entry["text"] = OrNull(value && IsStringType(item.value.type), Utf8(ValueText(item.value)));
  entry["value_type_before"] = OrNull(value && changed, TypeText(changed ? before->value.type : 0));
  entry["reg_before"] = OrNull(value && changed, changed ? ValueLineJoined(*before) : "");
  entry["access"] = OrNull(!value, value ? "" : AccessText(item));
  entry["access_before"] = OrNull(!value && changed, changed ? AccessText(*before) : "");
  return entry;
}

}  // namespace

PackageInfs PackageInfsOn(const std::vector<sim::MachineItem>& inventory, char drive) {
  PackageInfs infs;
  for (const sim::MachineItem& item : inventory) {
    if (item.kind == Kind::kFile && sim::UpperAscii(item.path[0]) == sim::UpperAscii(drive) &&
        EndsWithName(item.path, ".inf")) {
      infs.emplace_back(item.path, item.content);
    }
  }
  return infs;
}

MachineChanges GroupChanges(const std::vector<sim::MachineChange>& changes,
                            const std::string& windowsFolder, const PackageInfs& packageInfs) {
  const std::string infFolder = windowsFolder + "\\inf";
  MachineChanges groups;
  for (const sim::MachineChange& c : changes) {
    const sim::MachineItem& item = c.Item();
    if (item.kind == Kind::kKey || item.kind == Kind::kValue) {
      groups.registry.push_back(c);
    } else if (item.kind == Kind::kFile && IsStagedInfName(item.path, infFolder)) {
      groups.stagedInfs.push_back({c, OriginOf(item, packageInfs)});
    } else {
      groups.files.push_back(c);
    }
  }
  return groups;
}

std::string ChangesText(const MachineChanges& changes, const std::string& indent) {
  const std::string inner = indent + "  ";
  std::string out = indent + "Files and folders:" + (changes.files.empty() ? " none\n" : "\n");
  for (const sim::MachineChange& c : changes.files) out += inner + FileText(c) + "\n";
  out += indent + "Registry keys and values:" + (changes.registry.empty() ? " none\n" : "\n");
  AppendRegistryText(changes.registry, inner, &out);
  out += indent + "Staged INF files:" + (changes.stagedInfs.empty() ? " none\n" : "\n");
  for (const StagedInfChange& s : changes.stagedInfs) {
    out += inner + FileText(s.change) + " from " +
           (s.origin.empty() ? "no INF of the package" : Utf8(s.origin)) + "\n";
  }
  return out;
}

std::string RegistryChangesText(const std::vector<sim::MachineChange>& changes,
                                const std::string& indent) {
  std::string out;
  AppendRegistryText(changes, indent, &out);
  return out;
}

Json RegistryChangesJson(const std::vector<sim::MachineChange>& changes) {
  Json registry = Json::array();
  for (const sim::MachineChange& c : changes) registry.push_back(RegistryJson(c));
  return registry;
}

Json ChangesJson(const MachineChanges& changes) {
  Json files = Json::array();
  for (const sim::MachineChange& c : changes.files) files.push_back(FileJson(c));
  Json registry = RegistryChangesJson(changes.registry);
  Json staged = Json::array();
  for (const StagedInfChange& s : changes.stagedInfs) {
    const sim::MachineItem& item = s.change.Item();
    Json entry = Json::object();
    entry["change"] = ChangeWord(s.change.kind);
    entry["path"] = Utf8(item.path);
    entry["size"] = item.content.size();
    entry["from"] = OrNull(!s.origin.empty(), Utf8(s.origin));
    staged.push_back(std::move(entry));
  }
  Json groups = Json::object();
  groups["files"] = std::move(files);
  groups["registry"] = std::move(registry);
  groups["staged_inf_files"] = std::move(staged);
  return groups;
}

}  // namespace winsim
