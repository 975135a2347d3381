// The installer's reading of the ports INF, on any bytes: the input is Sabrelune.inf in
// the package folder of a simulated XP machine. ReadCustomisation must end with four
// usable names or refuse with all of them empty; WriteProductRecord must write exactly
// the VID_PID_NAMEn values whose names the text holds, each a short, clean PCI ID. Only
// the first 20000 bytes up to the first zero byte may count, read in one call, and every
// handle is closed again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "installer/install_context.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

constexpr char kPackageFolder[] = "C:\\Pkg";
constexpr char kProductKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
constexpr size_t kInfBytesRead = 20000;
constexpr size_t kIdWindow = 17;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

const char* const kDefaults[] = {"KORVANE", "KORVANE_Wendmarrow",
                                 "Korvane Semiconductor Technology Ltd",
                                 "Korvane PCI-Express Multi-IO Controller"};

[[noreturn]] void Fail(const std::string& what, const std::string& detail) {
  std::fprintf(stderr, "customisation_fuzz: %s: \"%s\"\n", what.c_str(), detail.c_str());
  std::abort();
}

void Check(bool condition, const std::string& what, const std::string& detail = "") {
  if (!condition) Fail(what, detail);
}

sim::Machine& Machine() {
  static std::unique_ptr<sim::Machine> machine = [] {
    std::string error;
    auto made = sim::MachineFromEdition("xp", &error);
    if (!made) Fail("no xp machine", error);
    return made;
  }();
  return *machine;
}

// What one run of the two steps left behind.
struct Outcome {
  bool read = false;
  std::string names[4];                       // customer, uninstaller, provider, display
  std::map<std::string, std::string> values;  // the customer subkey's values (name -> data)
  bool operator==(const Outcome& o) const {
    for (int i = 0; i < 4; ++i)
      if (names[i] != o.names[i]) return false;
    return read == o.read && values == o.values;
  }
};

Outcome Run(const std::string& inf) {
  sim::Machine& machine = Machine();
  machine.files.WriteFile(std::string(kPackageFolder) + "\\Sabrelune.inf", inf);
  sim::ProcessOptions options;
  options.modulePath = std::string(kPackageFolder) + "\\Kestrolin.exe";
  Outcome outcome;
  {
    sim::ProcessScope scope(machine, options);
    InstallContext context;
    context.DetectWindowsVersion();
    const size_t handlesBefore = scope.process().handles.Count();
    const int readsBefore = machine.faults.CallCounts()["ReadFile"];
    outcome.read = context.ReadCustomisation();
    Check(machine.faults.CallCounts()["ReadFile"] - readsBefore <= 1,
          "the INF was read in more than one call");
    outcome.names[0] = context.customerName;
    outcome.names[1] = context.uninstallerName;
    outcome.names[2] = context.providerName;
    outcome.names[3] = context.displayName;
    if (outcome.read) Check(context.WriteProductRecord(), "the product record was not written");
    Check(scope.process().handles.Count() == handlesBefore, "a handle was left open");
  }
  if (outcome.read) {
    auto key = machine.registry.FindFull(std::string(kProductKey) + "\\" + outcome.names[0]);
    Check(key != nullptr, "no customer subkey", outcome.names[0]);
    key->values.ForEach([&](const std::string& name, const sim::RegValue& value) {
      Check(value.type == REG_SZ, "a value that is not REG_SZ", name);
      outcome.values[name] = value.data;
    });
  }
  sim::Registry::DeleteTree(machine.registry.FindFull(kProductKey));
  return outcome;
}

std::string Without(const std::string& s, char c) {
  std::string out;
  for (char x : s)
    if (x != c) out += x;
  return out;
}

bool Stripped(const std::string& s) {
  return s.empty() || (std::string(kWhiteSpace).find(s.front()) == std::string::npos &&
                       std::string(kWhiteSpace).find(s.back()) == std::string::npos);
}

// The bytes that may count: the first 20000, up to the first zero byte.
std::string VisibleText(const std::string& inf) {
  const std::string head = inf.substr(0, kInfBytesRead);
  return head.substr(0, head.find('\0'));
}

void CheckNames(const Outcome& o, const std::string& text) {
  if (!o.read) {
    // A refusal leaves every name as it was: empty.
    for (const std::string& name : o.names) Check(name.empty(), "a refusal set a name", name);
    Check(o.values.empty(), "a refusal wrote values");
    return;
  }
  Check(o.names[1] == o.names[0] + "_Wendmarrow", "the uninstaller is not the customer's",
        o.names[1]);
  const std::string unquoted = Without(text, '"');
  // The end keys of the customer's, the provider's and the display name's values.
  const struct {
    int index;
    const char* endKey;
  } values[] = {{0, "ProviderName="}, {2, "UninstallName="}, {3, "DiskName="}};
  for (const auto& v : values) {
    const std::string& name = o.names[v.index];
    Check(!name.empty(), "an empty name");
    if (name == kDefaults[v.index]) continue;
    Check(name.find('"') == std::string::npos, "a name with a double quote", name);
    Check(Stripped(name), "a name with surrounding white space", name);
    // Cut out of the text: without its quotes, the text holds the value whole; and a
    // value whose end key the text lacks is never cut.
    Check(unquoted.find(name) != std::string::npos, "a name not taken from the text", name);
    Check(text.find(v.endKey) != std::string::npos, "a value without its end key", name);
  }
  // The customer's name becomes a file, a folder and a key name.
  for (unsigned char c : o.names[0])
    Check(c >= 0x20 && std::string("\\/:*?\"<>|").find(static_cast<char>(c)) == std::string::npos,
          "a customer name that leaves its folder", o.names[0]);
  Check(o.names[2].find('\\') == std::string::npos, "a provider name with a backslash", o.names[2]);
}

void CheckIds(const Outcome& o, const std::string& text) {
  if (!o.read) return;
  size_t written = 0;
  for (int n = 1; n <= 6; ++n) {
    const std::string name = "VID_PID_NAME" + std::to_string(n);
    const size_t at = text.find(name);
    const auto value = o.values.find(name);
    Check((at != std::string::npos) == (value != o.values.end()),
          "a value written without its name in the text, or missing", name);
    if (value == o.values.end()) continue;
    ++written;
    // The text, a zero byte and three more.
    const std::string& data = value->second;
    Check(data.size() > 4 && data.compare(data.size() - 4, 4, std::string(4, '\0')) == 0,
          "an ID not stored with four zero bytes", data);
    const std::string id = data.substr(0, data.size() - 4);
    Check(!id.empty() && id.size() <= kIdWindow, "an ID of the wrong length", id);
    Check(id.find('\0') == std::string::npos && id.find(',') == std::string::npos,
          "an ID with a zero byte or a comma", id);
    Check(Stripped(id), "an ID with surrounding white space", id);
    const size_t first = at + name.size() + 3;
    const std::string window = first < text.size() ? text.substr(first, kIdWindow) : "";
    Check(id == "VEN_6A3C&DEV_5E17" || Without(window, ',').find(id) != std::string::npos,
          "an ID from outside its window", id);
  }
  Check(written == o.values.size(), "values besides VID_PID_NAME1 to 6");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string inf(reinterpret_cast<const char*>(data), size);
  const std::string text = VisibleText(inf);
  const Outcome outcome = Run(inf);
  CheckNames(outcome, text);
  CheckIds(outcome, text);
  // What lies past the visible text is never seen: keys put there change nothing.
  const std::string hidden =
      "CustomerName=\"Hidden\"\r\nProviderName=\"Hidden\"\r\nUninstallName=\"Hidden\"\r\n"
      "DiskName=\"Hidden\"\r\nVID_PID_NAME1 = VEN_0000&DEV_0000\r\n";
  const std::string beyond =
      inf.size() >= kInfBytesRead ? inf.substr(0, kInfBytesRead) + hidden : inf + '\0' + hidden;
  Check(Run(beyond) == outcome, "text past the first zero byte or byte 20000 counted");
  return 0;
}
