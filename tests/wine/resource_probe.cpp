// The resources Windows loads from this program's own image equal what the simulator's
// parser reads from the script they were compiled from. The program is linked with one
// program's compiled script (windres, then the linker) and carries the same script's
// text; it reads its dialogs, string blocks and icon groups through FindResource and
// LoadResource, prints both canonical texts when they differ, and exits 0 when equal.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/ui/resource_script.h"
#include "platform/win32.h"
#include "resources/embedded_text_file.h"
#include "tools/resdump/res_file.h"
#include "tools/resdump/resource_text.h"

extern const EmbeddedTextFile kProbeScriptFiles[];

namespace {

BOOL CALLBACK CollectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
  // Our resources have numeric ids only; a named one is kept as -1 and refused below.
  auto* list = reinterpret_cast<std::vector<int>*>(ids);
  list->push_back(IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : -1);
  return TRUE;
}

std::vector<int> IdsOf(LPCSTR type) {
  std::vector<int> ids;
  EnumResourceNamesA(nullptr, type, CollectId, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

bool Bytes(LPCSTR type, int id, std::string* out) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (!found) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  out->assign(static_cast<const char*>(data), SizeofResource(nullptr, found));
  return true;
}

bool LoadOwnResources(sim::ResourceSet* set, std::string* error) {
  for (int id : IdsOf(RT_DIALOG)) {
    std::string bytes;
    if (id < 0 || !Bytes(RT_DIALOG, id, &bytes)) return *error = "dialog not loaded", false;
    if (!resdump::DecodeDialogTemplate(bytes, id, &set->dialogs[id], error)) return false;
  }
  for (int block : IdsOf(RT_STRING)) {
    std::string bytes;
    if (block < 0 || !Bytes(RT_STRING, block, &bytes)) return *error = "strings not loaded", false;
    if (!resdump::DecodeStringTableBlock(bytes, block, set, error)) return false;
  }
  for (int id : IdsOf(RT_GROUP_ICON)) {
    if (id < 0) return *error = "a named icon", false;
    set->icons.insert(id);
  }
  return true;
}

bool ParseOwnScript(sim::ResourceSet* set, std::string* error) {
  const EmbeddedTextFile* files = kProbeScriptFiles;
  sim::ResourceIncludeReader readInclude = [files](const std::string& name) {
    for (const EmbeddedTextFile* f = files + 1; f->name; ++f) {
      if (name == f->name) return std::optional<std::string>(std::string(f->text, f->size));
    }
    return std::optional<std::string>();
  };
  return sim::ParseResourceScript(std::string(files->text, files->size), files->name, readInclude,
                                  set, error);
}

}  // namespace

int main() {
  sim::ResourceSet loaded, parsed;
  std::string error;
  if (!LoadOwnResources(&loaded, &error)) {
    std::printf("own resources: %s\n", error.c_str());
    return 2;
  }
  if (!ParseOwnScript(&parsed, &error)) {
    std::printf("script: %s\n", error.c_str());
    return 2;
  }
  const std::string a = resdump::FormatResourceSet(loaded);
  const std::string b = resdump::FormatResourceSet(parsed);
  if (loaded.dialogs.empty() || a != b) {
    std::printf("--- loaded by Windows\n%s--- read by the simulator's parser\n%s", a.c_str(),
                b.c_str());
    return 1;
  }
  std::printf(
      "equal: %s as Windows loads it and as the simulator reads it (%u dialogs, %u "
      "strings, %u icons)\n",
      kProbeScriptFiles[0].name, static_cast<unsigned>(loaded.dialogs.size()),
      static_cast<unsigned>(loaded.strings.size()), static_cast<unsigned>(loaded.icons.size()));
  return 0;
}
