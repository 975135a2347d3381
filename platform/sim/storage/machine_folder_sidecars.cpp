// The side files of a machine folder: key security files and drive sidecars.
#include <cctype>
#include <cstdio>
#include <set>

#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/storage/machine_folder_walks.h"
#include "platform/sim/storage/reg_file.h"

namespace sim {

using namespace folder_walks;

// ---------------------------------------------------------------------------------------
// Key security files

bool FormatKeySecurity(const RegKey& root, std::string* out, std::string* error) {
  std::string text;
  const bool ok = WalkKeys(root, [&](const RegKey& key, const std::string& path) {
    if (&key != &root && key.security == KeySecurity()) return true;
    if (!PrintableName(key.name)) {
      if (error) *error = path + ": key name with control characters cannot be written";
      return false;
    }
    const std::string dacl = FormatDacl(key.security.isProtected, key.security.explicitAces);
    // An account name the access-list text cannot carry would not load again.
    KeySecurity back;
    std::string what;
    if (!ParseDacl(dacl, &back.isProtected, &back.explicitAces, &what) || !(back == key.security)) {
      if (error) *error = path + ": access list cannot be written: " + dacl;
      return false;
    }
    text += "[" + path + "]\n" + dacl + "\n\n";
    return true;
  });
  if (ok) *out = std::move(text);
  return ok;
}

bool ParseKeySecurity(std::string_view text, std::string_view fileName, RegKey* root,
                      std::string* error) {
  auto fail = [&](int line, const std::string& what) {
    if (error) *error = Located(fileName, line, what);
    return false;
  };
  std::vector<std::pair<RegKey*, KeySecurity>> found;
  std::set<const RegKey*> seen;
  RegKey* pending = nullptr;
  int pendingLine = 0;
  const std::vector<std::string_view> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i + 1);
    std::string_view line = TrimRight(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (pending) return fail(pendingLine, "key without an access list line");
      if (line.back() != ']') return fail(lineNo, "key line without closing ]");
      const std::string_view path = line.substr(1, line.size() - 2);
      const size_t sep = path.find('\\');
      if (!NamesEqual(path.substr(0, sep), root->name)) {
        return fail(lineNo, "key outside " + root->name);
      }
      RegKey* key = root;
      if (sep != std::string_view::npos) {
        std::string_view rest = path.substr(sep + 1);
        for (;;) {
          const size_t next = rest.find('\\');
          const std::string_view part = rest.substr(0, next);
          auto* child = part.empty() ? nullptr : key->subkeys.Find(part);
          if (!child) return fail(lineNo, "no such key: " + std::string(path));
          key = child->get();
          if (next == std::string_view::npos) break;
          rest = rest.substr(next + 1);
        }
      }
      if (!seen.insert(key).second) return fail(lineNo, "key listed twice");
      pending = key;
      pendingLine = lineNo;
      continue;
    }
    if (!pending) return fail(lineNo, "access list without a key line before it");
    KeySecurity security;
    std::string what;
    if (!ParseDacl(line, &security.isProtected, &security.explicitAces, &what)) {
      return fail(lineNo, what);
    }
    found.emplace_back(pending, std::move(security));
    pending = nullptr;
  }
  if (pending) return fail(pendingLine, "key without an access list line");
  for (auto& [key, security] : found) key->security = std::move(security);
  return true;
}

// ---------------------------------------------------------------------------------------
// Drive sidecars

namespace {

constexpr char kJunctionArrow[] = " -> ";

// "\a\b": a path below a drive's root whose every name is a valid Windows name.
bool ValidMetaPath(std::string_view path) {
  for (size_t start = 1; start < path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (!ValidFileName(path.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace

std::string FormatDriveMeta(const FsNode& driveRoot) {
  std::string out = "; attributes creation last-write last-access path\n";
  WalkFiles(driveRoot, [&](const FsNode& node, const std::string& path) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "0x%08x %llu %llu %llu ",
                  static_cast<unsigned>(node.attributes),
                  static_cast<unsigned long long>(node.creationTime),
                  static_cast<unsigned long long>(node.lastWriteTime),
                  static_cast<unsigned long long>(node.lastAccessTime));
    out += numbers;
    out += path.empty() ? "\\" : path;
    if (!node.junctionTarget.empty()) out += kJunctionArrow + node.junctionTarget;
    out += '\n';
    return true;
  });
  return out;
}

bool ParseDriveMeta(std::string_view text, std::string_view fileName,
                    std::vector<DriveMetaEntry>* entries, std::string* error) {
  std::vector<DriveMetaEntry> parsed;
  const std::vector<std::string_view> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i + 1);
    auto fail = [&](const std::string& what) {
      if (error) *error = Located(fileName, lineNo, what);
      return false;
    };
    std::string_view line = lines[i];
    if (line.empty() || line[0] == ';') continue;
    std::string_view fields[4];
    for (auto& field : fields) {
      const size_t space = line.find(' ');
      if (space == std::string_view::npos) return fail("expected four numbers and a path");
      field = line.substr(0, space);
      line = line.substr(space + 1);
    }
    DriveMetaEntry e;
    e.line = lineNo;
    uint64_t attributes;
    if (!ParseFolderNumber(fields[0], 0xFFFFFFFFu, &attributes)) {
      return fail("bad attributes '" + std::string(fields[0]) + "'");
    }
    e.attributes = static_cast<uint32_t>(attributes);
    uint64_t* times[3] = {&e.creationTime, &e.lastWriteTime, &e.lastAccessTime};
    for (int t = 0; t < 3; ++t) {
      if (!ParseFolderNumber(fields[t + 1], UINT64_MAX, times[t])) {
        return fail("bad time stamp '" + std::string(fields[t + 1]) + "'");
      }
    }
    if (const size_t arrow = line.find(kJunctionArrow); arrow != std::string_view::npos) {
      const std::string_view target = line.substr(arrow + 4);
      const bool absolute = target.size() >= 3 &&
                            std::isalpha(static_cast<unsigned char>(target[0])) &&
                            target[1] == ':' && target[2] == '\\' && target.back() != '\\';
      if (!absolute || !ValidMetaPath(target.substr(2)))
        return fail("a junction must lead to a full Windows path: " + std::string(target));
      e.junctionTarget = std::string(target);
      line = line.substr(0, arrow);
    }
    if (line.empty() || line[0] != '\\') return fail("the path must start with \\");
    if (line.size() > 1) {
      if (line.back() == '\\') return fail("the path must not end with \\");
      if (!ValidMetaPath(line)) return fail("not a valid Windows path: " + std::string(line));
    }
    e.path = std::string(line);
    parsed.push_back(std::move(e));
  }
  *entries = std::move(parsed);
  return true;
}

}  // namespace sim
