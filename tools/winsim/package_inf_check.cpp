// The ports INF as the installer reads it: the customisation values with the reason a
// default applied, and each VID_PID_NAMEn window with the ID it yields.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "installer/ports_inf.h"
#include "tools/winsim/package_check.h"
#include "uninstall_engine/id_match.h"

namespace winsim {

namespace {

constexpr int kIdsTheUninstallerReads = 5;
constexpr int kIdsTheInstallerWrites = 6;

size_t FindIgnoringCase(const std::string& text, const std::string& what) {
  const auto it = std::search(
      text.begin(), text.end(), what.begin(), what.end(),
      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
  return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

// The first occurrence of a key stands in a comment when a ';' precedes it on its line.
bool InComment(const std::string& text, size_t at) {
  const char end = LineEndsAreCrAlone(text) ? '\r' : '\n';
  const size_t lineStart = text.rfind(end, at == 0 ? 0 : at - 1);
  const size_t from = lineStart == std::string::npos || at == 0 ? 0 : lineStart + 1;
  return text.find(';', from) < at;
}

// Why `key`, which the installer's text lacks, is not seen, with the line to name.
struct Absence {
  int line = 0;
  std::string why;
  std::string reason;  // short, for the values shown
  bool inFile = true;  // somewhere in the file, in some form
};

Absence WhyAbsent(const std::string& bytes, const std::string& text, const std::string& key) {
  Absence a;
  const size_t exact = bytes.find(key);
  if (exact != std::string::npos && exact + key.size() > kPortsInfReadLimit) {
    a.line = LineOf(bytes, exact);
    a.why = "it stands at byte " + std::to_string(exact + 1) + ", beyond the first " +
            std::to_string(kPortsInfReadLimit) + " bytes the installer reads";
    a.reason = "key beyond byte " + std::to_string(kPortsInfReadLimit);
    return a;
  }
  if (exact != std::string::npos) {
    a.line = LineOf(bytes, exact);
    a.why = "it stands after a zero byte (line " + std::to_string(LineOf(bytes, text.size())) +
            "), where the installer's text ends";
    a.reason = "key after a zero byte";
    return a;
  }
  // "CustomerName = ", as the file's own ID lines are written: the installer matches the
  // key with its equals sign.
  const std::string name = key.substr(0, key.size() - 1);
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const size_t equals = text.find_first_not_of(" \t", at + name.size());
    if (equals == std::string::npos || text[equals] != '=' || equals == at + name.size()) continue;
    a.line = LineOf(bytes, at);
    a.why = "it is written " + QuotedText(text.substr(at, equals + 1 - at)) +
            ", with blanks before the =, and the installer matches " + QuotedText(key) + " exactly";
    a.reason = "blanks before =";
    return a;
  }
  const size_t otherCase = FindIgnoringCase(text, key);
  if (otherCase != std::string::npos) {
    a.line = LineOf(bytes, otherCase);
    a.why = "it is written " + QuotedText(text.substr(otherCase, key.size())) +
            ", and keys are matched in exact letter case";
    a.reason = "key only in other letter case";
    return a;
  }
  a.why = "it is not in the file";
  a.reason = "key missing";
  a.inFile = false;
  return a;
}

struct KeyRule {
  const char* key;
  const char* endKey;
  const char* defaultValue;
};

void CheckValue(const std::string& bytes, const std::string& text, const std::string& file,
                const KeyRule& rule, PackageCheck* check) {
  const std::string key = rule.key;
  const ValueCut cut = CutValueAt(text, key, rule.endKey);
  ReadValue read;
  read.key = key;
  read.value = cut.value;
  read.line = cut.keyAt >= 0 ? LineOf(bytes, cut.keyAt) : 0;
  const std::string outcome = cut.value.empty()
                                  ? "the default " + QuotedText(rule.defaultValue) + " applies"
                                  : "the installer reads " + ShownText(cut.value);

  if (cut.keyAt < 0) {
    const Absence a = WhyAbsent(bytes, text, key);
    read.reason = a.reason;
    read.line = a.line;
    // Without its key the value starts at byte length(K) + 1 of the file and runs to the
    // end key: text that was never meant as this value.
    const std::string instead =
        cut.value.empty() ? outcome
                          : "the installer reads instead the text from line " +
                                std::to_string(LineOf(bytes, cut.first)) + " to " + rule.endKey +
                                " (line " + std::to_string(LineOf(bytes, cut.first + cut.count)) +
                                "): " + ShownText(cut.value);
    if (!cut.value.empty()) read.finding = static_cast<int>(check->findings.size());
    check->Add(file, a.line, Severity::kError, key + " is not read: " + a.why + "; " + instead);
  } else if (cut.endAt < 0) {
    const Absence a = WhyAbsent(bytes, text, rule.endKey);
    read.reason = "end key " + std::string(rule.endKey) + " not read";
    if (!cut.value.empty()) read.finding = static_cast<int>(check->findings.size());
    check->Add(file, read.line, Severity::kError,
               "the value of " + key + " has no end: " + rule.endKey + " is not read (" + a.why +
                   "); " + outcome);
  } else if (cut.endAt < cut.keyAt) {
    read.reason = "keys out of order";
    check->Add(file, read.line, Severity::kError,
               "keys out of order: " + std::string(rule.endKey) + " (line " +
                   std::to_string(LineOf(bytes, cut.endAt)) + ") stands before " + key + "; " +
                   outcome);
  } else if (cut.value.empty()) {
    read.reason = "empty value";
    check->Add(file, read.line, Severity::kError, key + " has an empty value; " + outcome);
  } else {
    const size_t afterEquals = cut.keyAt + key.size();
    if (afterEquals < text.size() && text[afterEquals] != '"') {
      check->Add(file, read.line, Severity::kError,
                 "the character after " + key + " is " + QuotedText(text.substr(afterEquals, 1)) +
                     ", not a double quote: the installer passes over it and reads " +
                     ShownText(cut.value));
    }
    if (cut.value.find_first_of("\r\n") != std::string::npos) {
      check->Add(file, read.line, Severity::kError,
                 "the value of " + key + " runs on to line " +
                     std::to_string(LineOf(bytes, cut.endAt)) + ", where " + rule.endKey +
                     " stands: keys are read one per line; the installer reads " +
                     ShownText(cut.value));
    }
    const std::string raw = text.substr(cut.first, cut.count);
    if (std::count(raw.begin(), raw.end(), '"') > 1) {
      check->Add(file, read.line, Severity::kWarning,
                 "double quotes inside the value of " + key + " are dropped: the installer reads " +
                     ShownText(cut.value));
    }
  }
  read.defaulted = cut.value.empty();
  if (cut.keyAt >= 0 && InComment(text, cut.keyAt)) {
    if (read.reason.empty()) read.reason = "read from a comment";
    check->Add(file, read.line, Severity::kError,
               "the first " + key + " stands in a comment, and the installer reads it there");
  }
  check->read.push_back(read);
}

// An ID as the uninstall engine takes it: it must match, by the engine's own comparison,
// the hardware ID Windows gives a PCI device of that vendor and device, written with
// capital hex digits ("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_...").
bool IsPciId(const std::string& id) {
  if (id.size() != kSupportedIdWindowLength) return false;
  std::string hardwareId = "PCI\\";
  for (size_t at = 0; at < id.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(id[at]);
    const bool digit = (at >= 4 && at < 8) || at >= 13;
    if (digit && !std::isxdigit(c)) return false;
    hardwareId += static_cast<char>(std::toupper(c));
  }
  if (hardwareId.compare(4, 4, "VEN_") != 0 || hardwareId.compare(12, 5, "&DEV_") != 0) {
    return false;
  }
  hardwareId += "&SUBSYS_00000000&REV_00";
  return MatchesAnyId(hardwareId.c_str(), kPciIdPrefix, VidPidList{id}, kPciIdLength);
}

void CheckIds(const std::string& bytes, const std::string& text, const std::string& file,
              PackageCheck* check) {
  int lastPresent = 0;
  bool unreadInFile = false;
  std::vector<int> missing;
  for (int n = 1; n <= kIdsTheInstallerWrites; ++n) {
    const std::string name = "VID_PID_NAME" + std::to_string(n);
    SupportedIdWindow w;
    if (!FindSupportedIdWindow(text, name, &w)) {
      const Absence a = WhyAbsent(bytes, text, name);
      if (a.inFile) {
        unreadInFile = unreadInFile || n <= kIdsTheUninstallerReads;
        check->Add(file, a.line, Severity::kError,
                   name + " is not read: " + a.why + "; its ID is not written");
      }
      missing.push_back(n);
      continue;
    }
    const int line = LineOf(bytes, w.nameAt);
    check->ids.push_back({name, w.id, w.window, line});
    if (n <= kIdsTheUninstallerReads) lastPresent = n;
    const size_t afterName = w.nameAt + name.size();
    if (afterName < text.size() && std::isdigit(static_cast<unsigned char>(text[afterName]))) {
      check->Add(file, line, Severity::kError,
                 "the first " + name + " is the start of " +
                     QuotedText(text.substr(w.nameAt, name.size() + 1)) + ": the installer reads " +
                     QuotedText(w.id) + " for " + name);
    } else if (InComment(text, w.nameAt)) {
      check->Add(file, line, Severity::kError,
                 "the first " + name + " stands in a comment, and the installer reads " +
                     QuotedText(w.id) + " there");
    } else if (w.defaulted) {
      check->Add(file, line, Severity::kError,
                 "the ID window of " + name + " " + QuotedText(w.window) +
                     " holds no ID: the installer writes " + QuotedText(w.id));
    } else if (!IsPciId(w.id)) {
      check->Add(file, line, Severity::kError,
                 "the ID window of " + name + " " + QuotedText(w.window) + " yields " +
                     QuotedText(w.id) +
                     ", not a PCI ID VEN_xxxx&DEV_xxxx: the ID must start 3 characters after "
                     "the name, as in \"" +
                     name + " = VEN_6A3C&DEV_5E17\"");
    } else {
      const size_t after = w.windowAt + kSupportedIdWindowLength;
      if (after < text.size() && !std::isspace(static_cast<unsigned char>(text[after])) &&
          text[after] != ',' && text[after] != ';') {
        check->Add(file, line, Severity::kWarning,
                   "the line of " + name + " goes on after the 17 characters of its ID window: " +
                       QuotedText(w.id) + " is written, the rest is cut");
      }
    }
    if (n > kIdsTheUninstallerReads) {
      check->Add(file, line, Severity::kWarning,
                 name +
                     " is written, but the uninstaller reads only VID_PID_NAME1 to VID_PID_NAME" +
                     std::to_string(kIdsTheUninstallerReads));
    }
  }
  for (size_t i = 0; i < check->ids.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (_stricmp(check->ids[i].id.c_str(), check->ids[j].id.c_str()) != 0) continue;
      check->Add(file, check->ids[i].line, Severity::kWarning,
                 check->ids[i].name + " repeats the ID of " + check->ids[j].name + ", " +
                     QuotedText(check->ids[i].id));
      break;
    }
  }
  if (lastPresent == 0) {
    const std::string range =
        "VID_PID_NAME1 to VID_PID_NAME" + std::to_string(kIdsTheUninstallerReads);
    check->Add(file, 0, Severity::kError,
               (unreadInFile ? "none of " + range + " is read" : "no " + range + " in the file") +
                   ": the customer's record names no PCI ID and the uninstaller finds none of "
                   "the card's devices");
  }
  for (int n : missing) {
    if (n < lastPresent) {
      check->Add(file, 0, Severity::kWarning,
                 "VID_PID_NAME" + std::to_string(n) + " is missing while VID_PID_NAME" +
                     std::to_string(lastPresent) + " is present");
    }
  }
}

}  // namespace

std::string QuotedText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ShownText(const std::string& text) {
  constexpr size_t kWhole = 80, kStart = 60;
  if (text.size() <= kWhole) return QuotedText(text);
  return QuotedText(text.substr(0, kStart)) + "... (" + std::to_string(text.size()) +
         " characters)";
}

int LineOf(const std::string& bytes, size_t at) {
  at = std::min(at, bytes.size());
  const char end = LineEndsAreCrAlone(bytes) ? '\r' : '\n';
  return 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + at, end));
}

void CheckPortsInf(const std::string& bytes, const std::string& file, PackageCheck* check) {
  const std::string text = PortsInfText(bytes);
  check->portsInfRead = true;
  check->portsInfBytes = bytes.size();
  const std::string utf16 = Utf16Form(bytes);
  if (!utf16.empty()) {
    // Its 8-bit reading ends at the first zero byte: no key is seen, every default
    // applies and no PCI ID is written. Said once, with what the installer does.
    check->values = ResolveCustomisation(text, CustomisationValues{});
    for (const char* key : {"CustomerName=", "ProviderName=", "UninstallName="}) {
      check->read.push_back({key, "", 0, "the file is UTF-16", true});
    }
    check->Add(file, 1, Severity::kError,
               "the file is " + utf16 +
                   ": the installer reads it as 8-bit text, which ends at "
                   "its first zero byte (byte " +
                   std::to_string(text.size() + 1) +
                   "), so it reads "
                   "none of its keys and installs with the defaults, CustomerName " +
                   QuotedText(check->values.customerName) + ", ProviderName " +
                   QuotedText(check->values.providerName) + ", UninstallName " +
                   QuotedText(check->values.displayName) +
                   ", and writes no PCI ID; save it "
                   "as code page 1252 (ANSI) text");
    return;
  }
  CheckLineEnds(bytes, file, check);
  const KeyRule rules[] = {
      {"CustomerName=", "ProviderName=", kDefaultCustomerName},
      {"ProviderName=", "UninstallName=", kDefaultProviderName},
      {"UninstallName=", "DiskName=", kDefaultDisplayName},
  };
  for (const KeyRule& rule : rules) CheckValue(bytes, text, file, rule, check);
  check->values = ResolveCustomisation(text, CustomisationValues{});
  CheckUtf8Values(file, check);
  CheckIds(bytes, text, file, check);
}

}  // namespace winsim
