// Shared pieces of the installer step tests: simulated machines of the supported
// editions, a driver package laid out on them, and a whole-machine snapshot whose
// difference before and after a step lists every change it made.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine.h"
#include "platform/sim/process.h"
#include "platform/win32.h"

namespace installer_test {

inline std::unique_ptr<sim::Machine> Edition(const std::string& name) {
  std::string error;
  auto machine = sim::MachineFromEdition(name, &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

inline sim::FaultRule Fault(const char* call, uint32_t error, const char* subject = "",
                            int nth = 0) {
  sim::FaultRule rule;
  rule.call = call;
  rule.error = error;
  rule.subject = subject;
  rule.nth = nth;
  return rule;
}

// A ports INF as the reader expects it, with the customisation block and two IDs.
inline std::string PortsInf(
    const std::string& customer = "KORVANE",
    const std::string& provider = "Korvane Semiconductor Technology Ltd",
    const std::string& display = "Korvane PCI-Express Multi-IO Controller") {
  return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\n\r\n[Strings]\r\n"
         "CustomerName=\"" +
         customer + "\"\r\nProviderName=\"" + provider + "\"\r\nUninstallName=\"" + display +
         "\"\r\nDiskName=\"Driver disk\"\r\n"
         "VID_PID_NAME1 = VEN_6A3C&DEV_5E17\r\nVID_PID_NAME2 = VEN_6A3C&DEV_5E18\r\n";
}

// The package's files, one folder per platform; each file's text names it.
struct Package {
  std::string folder = "C:\\Pkg";
  std::string currentDirectory;  // the package folder unless set
  std::string portsInf = PortsInf();
  bool withDovrik = true;
  std::vector<std::string> platforms = {"X86", "AMD64", "IA64"};
  std::vector<std::string> platformFiles = {"Wendmarrow.exe", "Orrick.sys",    "Tamble.sys",
                                            "Quellmast.sys",  "Sabrelune.dll", "Pellacorte.dll"};

  void WriteTo(sim::Machine& machine) const {
    // The package's own parent folders are made by the writes below.
    machine.files.WriteFile(folder + "\\Kestrolin.exe", "installer");
    machine.files.WriteFile(folder + "\\Sabrelune.inf", portsInf);
    if (withDovrik) machine.files.WriteFile(folder + "\\Dovrik.inf", DovrikInf());
    for (const auto& platform : platforms) {
      for (const auto& file : platformFiles)
        machine.files.WriteFile(folder + "\\" + platform + "\\" + file, Content(platform, file));
    }
  }
  static std::string DovrikInf() { return "[Version]\r\nClass=MultiFunction\r\n"; }
  static std::string Content(const std::string& platform, const std::string& file) {
    return platform + "\\" + file;
  }
  sim::ProcessOptions Options() const {
    sim::ProcessOptions o;
    o.modulePath = folder + "\\Kestrolin.exe";
    o.currentDirectory = currentDirectory;
    return o;
  }
};

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

// Sets the Windows flags and the architecture as the install sequence's first two
// steps do; the description line goes to a scratch file.
inline void Detect(InstallContext* context) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> sink(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(sink);
  context->descriptionOutput = sink.get();
  context->DetectWindowsVersion();
  context->DescribeWindowsVersion();
  context->descriptionOutput = stdout;
}

}  // namespace installer_test
