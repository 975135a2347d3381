// machine.ini: the identity of a simulated Windows and the machine's own state.
#include <cstdio>
#include <limits>
#include <set>

#include "platform/sim/storage/machine_folder.h"

namespace sim {

namespace {

// One identity field: exactly one of the member pointers is set.
struct Field {
  const char* name;
  std::string OsIdentity::*text = nullptr;
  uint32_t OsIdentity::*u32 = nullptr;
  uint16_t OsIdentity::*u16 = nullptr;
  uint8_t OsIdentity::*u8 = nullptr;
  bool OsIdentity::*flag = nullptr;
  bool hex = false;  // written as 0x hex (bit masks read better that way)
};

Field F(const char* n, std::string OsIdentity::*m) {
  Field f{n};
  f.text = m;
  return f;
}
Field F(const char* n, uint32_t OsIdentity::*m) {
  Field f{n};
  f.u32 = m;
  return f;
}
Field F(const char* n, uint16_t OsIdentity::*m, bool hex = false) {
  Field f{n};
  f.u16 = m;
  f.hex = hex;
  return f;
}
Field F(const char* n, uint8_t OsIdentity::*m) {
  Field f{n};
  f.u8 = m;
  return f;
}
Field F(const char* n, bool OsIdentity::*m) {
  Field f{n};
  f.flag = m;
  return f;
}

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
      F("edition", &OsIdentity::edition),
      F("platformId", &OsIdentity::platformId),
      F("majorVersion", &OsIdentity::majorVersion),
      F("minorVersion", &OsIdentity::minorVersion),
      F("buildNumber", &OsIdentity::buildNumber),
      F("csdVersion", &OsIdentity::csdVersion),
      F("servicePackMajor", &OsIdentity::servicePackMajor),
      F("servicePackMinor", &OsIdentity::servicePackMinor),
      F("suiteMask", &OsIdentity::suiteMask, true),
      F("productType", &OsIdentity::productType),
      F("nativeArchitecture", &OsIdentity::nativeArchitecture),
      F("hasExtendedVersionInfo", &OsIdentity::hasExtendedVersionInfo),
      F("hasGetNativeSystemInfo", &OsIdentity::hasGetNativeSystemInfo),
      F("hasSetupApi", &OsIdentity::hasSetupApi),
      F("hasSetupCopyOemInf", &OsIdentity::hasSetupCopyOemInf),
      F("windowsFolder", &OsIdentity::windowsFolder),
      F("systemFolderName", &OsIdentity::systemFolderName),
      F("userName", &OsIdentity::userName),
      F("computerName", &OsIdentity::computerName),
  };
  return fields;
}

std::string Hex(uint64_t v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%0*llx", width, static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

bool ParseFolderNumber(std::string_view s, uint64_t max, uint64_t* out) {
  unsigned base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  uint64_t v = 0;
  for (char c : s) {
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (v > (std::numeric_limits<uint64_t>::max() - d) / base) return false;
    v = v * base + d;
  }
  if (v > max) return false;
  *out = v;
  return true;
}

bool FormatMachineIni(const Machine& machine, std::string* text, std::string* error) {
  const OsIdentity& os = machine.os;
  std::string out = "; Simulated Windows machine\n[identity]\n";
  for (const Field& f : Fields()) {
    out += f.name;
    out += '=';
    if (f.text) {
      const std::string& value = os.*f.text;
      if (value.find_first_of("\r\n") != std::string::npos) {
        if (error) *error = std::string("machine.ini: ") + f.name + " holds a line break";
        return false;
      }
      out += value;
    } else if (f.u32) {
      out += std::to_string(os.*f.u32);
    } else if (f.u16) {
      out += f.hex ? Hex(os.*f.u16, 4) : std::to_string(os.*f.u16);
    } else if (f.u8) {
      out += std::to_string(os.*f.u8);
    } else {
      out += (os.*f.flag) ? "true" : "false";
    }
    out += '\n';
  }
  out += "\n[machine]\nclock=" + std::to_string(machine.Now()) + "\nrestartRequests=";
  for (size_t i = 0; i < machine.restartRequests.size(); ++i) {
    if (i) out += ',';
    out +=
        Hex(machine.restartRequests[i].flags, 8) + ':' + Hex(machine.restartRequests[i].reason, 8);
  }
  out += '\n';
  *text = std::move(out);
  return true;
}

bool ParseMachineIni(std::string_view text, std::string_view fileName, Machine* machine,
                     std::string* error) {
  int lineNo = 0;
  auto fail = [&](const std::string& what) {
    if (error) *error = std::string(fileName) + ":" + std::to_string(lineNo) + ": " + what;
    return false;
  };
  enum class Section { kNone, kIdentity, kMachine } section = Section::kNone;
  std::set<std::string> seen;
  OsIdentity os;
  uint64_t clock = machine->Now();
  std::vector<RestartRequest> restarts;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line == "[identity]") {
        section = Section::kIdentity;
      } else if (line == "[machine]") {
        section = Section::kMachine;
      } else {
        return fail("unknown section " + std::string(line));
      }
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return fail("expected key=value");
    const std::string key(line.substr(0, eq));
    const std::string_view value = line.substr(eq + 1);
    if (section == Section::kNone) return fail("key=value before any section");
    const std::string qualified = (section == Section::kIdentity ? "identity." : "machine.") + key;
    if (!seen.insert(qualified).second) return fail("duplicate key '" + key + "'");
    if (section == Section::kMachine) {
      if (key == "clock") {
        if (!ParseFolderNumber(value, std::numeric_limits<uint64_t>::max(), &clock)) {
          return fail("bad number '" + std::string(value) + "' for clock");
        }
      } else if (key == "restartRequests") {
        size_t pos = 0;
        while (pos < value.size()) {
          size_t comma = value.find(',', pos);
          if (comma == std::string_view::npos) comma = value.size();
          // "FLAGS:REASON"; folders written before reasons were kept hold the flags alone.
          const std::string_view item = value.substr(pos, comma - pos);
          const size_t colon = item.find(':');
          uint64_t flags = 0, reason = 0;
          if (!ParseFolderNumber(item.substr(0, colon), 0xFFFFFFFFu, &flags) ||
              (colon != std::string_view::npos &&
               !ParseFolderNumber(item.substr(colon + 1), 0xFFFFFFFFu, &reason))) {
            return fail("bad restart request list '" + std::string(value) + "'");
          }
          restarts.push_back({static_cast<uint32_t>(flags), static_cast<uint32_t>(reason)});
          pos = comma + 1;
          if (comma + 1 == value.size()) return fail("restart request list ends with ,");
        }
      } else {
        return fail("unknown key '" + key + "' in [machine]");
      }
      continue;
    }
    const Field* field = nullptr;
    for (const Field& f : Fields()) {
      if (key == f.name) field = &f;
    }
    if (!field) return fail("unknown key '" + key + "' in [identity]");
    if (field->text) {
      os.*field->text = std::string(value);
    } else if (field->flag) {
      if (value == "true" || value == "1") {
        os.*field->flag = true;
      } else if (value == "false" || value == "0") {
        os.*field->flag = false;
      } else {
        return fail("'" + key + "' takes true or false, not '" + std::string(value) + "'");
      }
    } else {
      const uint64_t max = field->u32 ? 0xFFFFFFFFu : field->u16 ? 0xFFFFu : 0xFFu;
      uint64_t v;
      if (!ParseFolderNumber(value, max, &v)) {
        return fail("bad number '" + std::string(value) + "' for " + key);
      }
      if (field->u32) os.*field->u32 = static_cast<uint32_t>(v);
      if (field->u16) os.*field->u16 = static_cast<uint16_t>(v);
      if (field->u8) os.*field->u8 = static_cast<uint8_t>(v);
    }
  }
  for (const Field& f : Fields()) {
    if (!seen.count(std::string("identity.") + f.name)) {
      if (error) *error = std::string(fileName) + ": missing key '" + f.name + "' in [identity]";
      return false;
    }
  }
  if (!seen.count("machine.clock")) {
    if (error) *error = std::string(fileName) + ": missing key 'clock' in [machine]";
    return false;
  }
  machine->os = std::move(os);
  machine->SetClock(clock);
  machine->restartRequests = std::move(restarts);
  return true;
}

}  // namespace sim
