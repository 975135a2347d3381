// A whole simulated machine as a sorted list of what it holds, so that a test can list
// every change a program made; and the message boxes a process showed.
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/machine/process.h"

namespace machine_snapshot {

// Every key, value, folder and file of a machine, by path, with what it holds.
using Snapshot = std::map<std::string, std::string>;

inline std::string Escaped(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

// A hive's registry-editor name shortened as the expectations write it.
inline std::string ShortPath(const std::string& path) {
  for (const auto& [hive, shortName] :
       {std::pair<std::string, std::string>{"HKEY_LOCAL_MACHINE", "HKLM"},
        {"HKEY_CURRENT_USER", "HKCU"},
        {"HKEY_USERS", "HKU"}}) {
    if (path.compare(0, hive.size(), hive) == 0) return shortName + path.substr(hive.size());
  }
  // A drive root is "C:" here, its children "C:\name".
  return path.size() == 3 && path[2] == '\\' ? path.substr(0, 2) : path;
}

inline Snapshot Take(const sim::Machine& m) {
  Snapshot s;
  for (const sim::MachineItem& item : sim::TakeInventory(m)) {
    const std::string path = ShortPath(item.path);
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "attr %02x", item.attributes);
    switch (item.kind) {
      case sim::MachineItem::Kind::kKey:
        s["key " + path] = "";
        break;
      case sim::MachineItem::Kind::kValue:
        s["value " + path + " : " + item.valueName] =
            "type " + std::to_string(item.value.type) + " \"" + Escaped(item.value.data) + "\"";
        break;
      case sim::MachineItem::Kind::kFolder: {
        char times[80];
        std::snprintf(times, sizeof times, " times %llu/%llu/%llu",
                      static_cast<unsigned long long>(item.creationTime),
                      static_cast<unsigned long long>(item.lastWriteTime),
                      static_cast<unsigned long long>(item.lastAccessTime));
        s["dir " + path] = std::string(attributes) + times;
        break;
      }
      case sim::MachineItem::Kind::kFile:
        s["file " + path] = std::string(attributes) + " \"" + Escaped(item.content) + "\"";
        break;
    }
  }
  return s;
}

// "+ what = holds", "- what", "~ what = holds now", in path order. Folder time stamps
// are left out of the changes, because every change inside a folder moves them.
inline std::vector<std::string> Changes(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> out;
  for (const auto& [path, holds] : after) {
    const auto it = before.find(path);
    const bool folder = path.rfind("dir ", 0) == 0;
    if (it == before.end()) {
      out.push_back("+ " + path + (folder || holds.empty() ? "" : " = " + holds));
    } else if (it->second != holds && !folder) {
      out.push_back("~ " + path + " = " + holds);
    }
  }
  for (const auto& [path, holds] : before)
    if (!after.count(path)) out.push_back("- " + path);
  return out;
}

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The texts of the message boxes the process showed.
inline std::vector<std::string> Messages(const sim::Process& p) {
  std::vector<std::string> texts;
  for (const auto& box : p.messageBoxes) texts.push_back(box.text);
  return texts;
}

}  // namespace machine_snapshot
