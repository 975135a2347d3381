// A simulated machine on which the card was installed for the customer KORVANE, beside
// a second customer's installation (KORVANEX, same card) and another vendor's serial
// cards: the registry fixture of tests/fixtures/reg that goes with the edition, and the
// files the installer and the device installer leave. Fixtures are parsed once per test
// program: the sweeps build hundreds of machines.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/reg_file.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"

namespace card_installed {

inline std::string ReadSourceFile(const std::string& relative) {
  const std::string path = std::string(KESTROLIN_SOURCE_DIR) + "/" + relative;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The operations of a registry fixture, parsed on first use.
inline const std::vector<sim::RegFileOp>& FixtureOps(const std::string& fixture) {
  static std::map<std::string, std::vector<sim::RegFileOp>> cache;
  auto it = cache.find(fixture);
  if (it == cache.end()) {
    const std::string relative = "tests/fixtures/reg/" + fixture;
    std::vector<sim::RegFileOp> ops;
    std::string error;
    EXPECT_TRUE(sim::ParseRegFile(ReadSourceFile(relative), relative, &ops, &error)) << error;
    it = cache.emplace(fixture, std::move(ops)).first;
  }
  return it->second;
}

inline std::string Utf16(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

// The staged INF files and their precompiled forms (the card's two, and another
// vendor's in both encodings), both customers' program folders and uninstaller copies,
// and the driver files.
inline void LayOutCardFiles(sim::Machine& machine) {
  static const std::string inf = ReadSourceFile("packages/sample/Sabrelune.inf");
  static const std::string mf = ReadSourceFile("packages/sample/Dovrik.inf");
  const std::string other =
      "[Version]\r\nProvider=NetMos\r\n[Models]\r\nPCI\\VEN_9710&DEV_9835\r\n";
  const std::pair<const char*, std::string> staged[] = {
      {"oem2.inf", mf},           {"oem2.pnf", Utf16(mf)},   {"oem3.inf", inf},
      {"oem3.pnf", Utf16(inf)},   {"oem4.inf", other},       {"oem4.pnf", Utf16(other)},
      {"oem5.inf", Utf16(other)}, {"oem5.pnf", Utf16(other)}};
  for (const auto& [name, text] : staged)
    machine.files.WriteFile("C:\\WINDOWS\\inf\\" + std::string(name), text);
  const bool wow64 = machine.os.Is64Bit();
  for (const char* customer : {"KORVANE", "KORVANEX"}) {
    const std::string copy = std::string(customer) + "_Wendmarrow.exe";
    machine.files.WriteFile("C:\\WINDOWS\\system32\\" + copy, "uninstaller");
    if (wow64) machine.files.WriteFile("C:\\WINDOWS\\SysWOW64\\" + copy, "uninstaller");
    const std::string folder = std::string("C:\\Program Files\\") + customer;
    machine.files.WriteFile(folder + "\\Sabrelune.inf", inf);
    machine.files.WriteFile(folder + "\\Dovrik.inf", mf);
    machine.files.WriteFile(folder + (wow64 ? "\\AMD64" : "\\X86") + "\\Orrick.sys", "driver");
  }
  for (const char* file : {"drivers\\Orrick.sys", "drivers\\Tamble.sys", "drivers\\Quellmast.sys",
                           "Sabrelune.dll", "Pellacorte.dll"}) {
    machine.files.WriteFile("C:\\WINDOWS\\system32\\" + std::string(file), "driver");
  }
}

// The registry fixture that goes with an edition: the product's records under
// Wow6432Node on a 64-bit one.
inline const char* CardFixtureFor(const sim::Machine& machine) {
  return machine.os.Is64Bit() ? "xp_x64_card_installed.reg" : "xp_card_installed.reg";
}

inline std::unique_ptr<sim::Machine> CardMachine(const char* edition) {
  auto machine = engine_test::Edition(edition);
  if (!machine) return machine;
  sim::ApplyRegFile(FixtureOps(CardFixtureFor(*machine)), &machine->registry);
  LayOutCardFiles(*machine);
  return machine;
}

}  // namespace card_installed
