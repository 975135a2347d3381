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
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "tests/unit/support/machine_snapshot.h"

namespace installer_test {

using machine_snapshot::Changes;
using machine_snapshot::Escaped;
using machine_snapshot::Messages;
using machine_snapshot::Snapshot;
using machine_snapshot::Sorted;
using machine_snapshot::Take;

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
