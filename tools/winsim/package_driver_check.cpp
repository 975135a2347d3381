// The driver files of a package: the ones the INF files name for the device installer,
// and what each file of a platform folder is (a Windows image for that folder's
// processor; a kernel-mode driver for a .sys, a library for a .dll).
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tools/winsim/package_check.h"
#include "tools/winsim/pe_image.h"

namespace winsim {

namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A line without its comment (a ';' outside double quotes).
std::string WithoutComment(const std::string& line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) return line.substr(0, i);
  }
  return line;
}

std::vector<std::string> Fields(const std::string& list) {
  std::vector<std::string> fields;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t comma = std::min(list.find(',', at), list.size());
    fields.push_back(Trimmed(list.substr(at, comma - at)));
    at = comma + 1;
  }
  return fields;
}

struct InfLine {
  std::string section;      // lower case
  std::string sectionName;  // as written
  std::string text;         // without comment, trimmed
  int line;
};

std::vector<InfLine> InfLines(const std::string& bytes) {
  std::vector<InfLine> lines;
  std::string section, sectionName;
  size_t at = 0;
  int number = 0;
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.find('\n', at), bytes.size());
    ++number;
    const std::string text = Trimmed(WithoutComment(bytes.substr(at, end - at)));
    at = end + 1;
    if (text.empty()) continue;
    if (text.front() == '[') {
      sectionName = Trimmed(text.substr(1, text.find(']') - 1));
      section = Lower(sectionName);
      continue;
    }
    lines.push_back({section, sectionName, text, number});
  }
  return lines;
}

}  // namespace

std::vector<InfFileName> FilesNamedInInf(const std::string& bytes, const std::string& inf) {
  const std::vector<InfLine> lines = InfLines(bytes);
  std::vector<std::string> copySections;
  std::vector<InfFileName> files;
  const auto add = [&](const std::string& name, const InfLine& l) {
    if (!name.empty()) files.push_back({name, inf, l.line, l.sectionName});
  };
  for (const InfLine& l : lines) {
    const size_t equals = l.text.find('=');
    const std::string key = Lower(Trimmed(l.text.substr(0, equals)));
    // [SourceDisksFiles] and its decorated forms ([SourceDisksFiles.amd64]).
    if (l.section.compare(0, 16, "sourcedisksfiles") == 0 && equals != std::string::npos) {
      add(Trimmed(l.text.substr(0, equals)), l);
    }
    if (key == "copyfiles" && equals != std::string::npos) {
      for (const std::string& field : Fields(l.text.substr(equals + 1))) {
        if (!field.empty() && field[0] == '@') {
          add(field.substr(1), l);
        } else if (!field.empty()) {
          copySections.push_back(Lower(field));
        }
      }
    }
  }
  for (const InfLine& l : lines) {
    if (std::find(copySections.begin(), copySections.end(), l.section) == copySections.end()) {
      continue;
    }
    // destination[,source[,...]]: the source name is the file shipped, when given.
    const std::vector<std::string> fields = Fields(l.text);
    add(fields.size() > 1 && !fields[1].empty() ? fields[1] : fields[0], l);
  }
  return files;
}

void CheckDriverImage(const std::string& hostPath, const std::string& bytes,
                      const std::string& platform, const std::string& editions, bool shipping,
                      PackageCheck* check) {
  const uint16_t wanted = platform == "X86"     ? kMachineI386
                          : platform == "AMD64" ? kMachineAmd64
                                                : kMachineIa64;
  const PeImage pe = ReadPeImage(bytes);
  std::string lower = Lower(hostPath);
  const bool sys = lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".sys") == 0;
  if (bytes.empty()) {
    check->Add(hostPath, 0, Severity::kError,
               "an empty file (0 bytes): Windows cannot load it" + editions);
    return;
  }
  if (!pe.isImage) {
    // A placeholder or a file saved under the wrong name: the device installer copies it
    // all the same, and Windows fails when it loads it.
    check->Add(hostPath, 0, shipping ? Severity::kError : Severity::kWarning,
               "not a Windows image (" + pe.notImage + "; it begins " +
                   QuotedText(bytes.substr(0, 40)) + "): Windows cannot load it");
    return;
  }
  if (pe.machine != wanted) {
    check->Add(hostPath, 0, Severity::kError,
               "an image for " + MachineName(pe.machine) + " in the " + platform +
                   " folder, which must hold " + MachineName(wanted) +
                   " images: Windows cannot load it" + editions);
  }
  if (sys && pe.subsystem != kSubsystemNative) {
    check->Add(hostPath, 0, Severity::kError,
               "not a kernel-mode driver: its subsystem is " + std::to_string(pe.subsystem) +
                   ", a driver's is 1 (native)" + editions);
  } else if (!sys && !pe.isDll) {
    check->Add(hostPath, 0, Severity::kError,
               "not a library (DLL): the device installer loads it as one" + editions);
  }
}

}  // namespace winsim
