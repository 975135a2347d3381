// A whole simulated machine as a sorted list of what it holds, so that a test can list
// every change a program made; and the message boxes a process showed.
#pragma once

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/process.h"

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

inline void AddKey(const sim::RegKey& key, const std::string& path, Snapshot* s) {
  (*s)["key " + path] = "";
  key.values.ForEach([&](const std::string& name, const sim::RegValue& v) {
    (*s)["value " + path + " : " + name] =
        "type " + std::to_string(v.type) + " \"" + Escaped(v.data) + "\"";
  });
  key.subkeys.ForEach([&](const std::string& name, const std::shared_ptr<sim::RegKey>& sub) {
    AddKey(*sub, path + "\\" + name, s);
  });
}

inline void AddNode(const sim::FsNode& node, const std::string& path, Snapshot* s) {
  char times[80];
  std::snprintf(times, sizeof times, " times %llu/%llu/%llu",
                static_cast<unsigned long long>(node.creationTime),
                static_cast<unsigned long long>(node.lastWriteTime),
                static_cast<unsigned long long>(node.lastAccessTime));
  char attributes[16];
  std::snprintf(attributes, sizeof attributes, "attr %02x", node.attributes);
  if (node.isDirectory) {
    (*s)["dir " + path] = std::string(attributes) + times;
    node.children.ForEach([&](const std::string& name, const std::shared_ptr<sim::FsNode>& c) {
      AddNode(*c, path + "\\" + name, s);
    });
  } else {
    (*s)["file " + path] = std::string(attributes) + " \"" + Escaped(node.content) + "\"";
  }
}

inline Snapshot Take(const sim::Machine& m) {
  Snapshot s;
  AddKey(*m.registry.LocalMachine(), "HKLM", &s);
  AddKey(*m.registry.CurrentUser(), "HKCU", &s);
  for (char letter : m.files.DriveLetters()) AddNode(*m.files.Drive(letter), {letter, ':'}, &s);
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
