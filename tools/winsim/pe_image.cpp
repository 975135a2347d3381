#include "tools/winsim/pe_image.h"

#include <cstdio>

namespace winsim {

namespace {

uint32_t Le(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

}  // namespace

PeImage ReadPeImage(const std::string& bytes) {
  PeImage pe;
  constexpr size_t kDosHeader = 64, kFileHeader = 20, kSubsystemAt = 68;
  if (bytes.empty()) {
    pe.notImage = "it is empty (0 bytes)";
    return pe;
  }
  if (bytes.size() < kDosHeader || bytes.compare(0, 2, "MZ") != 0) {
    pe.notImage = "it has no MZ header";
    return pe;
  }
  const size_t at = Le(bytes, 0x3C, 4);
  if (at > bytes.size() || bytes.size() - at < 4 + kFileHeader ||
      bytes.compare(at, 4, std::string("PE\0\0", 4)) != 0) {
    pe.notImage = "its MZ header leads to no PE header";
    return pe;
  }
  const size_t optional = at + 4 + kFileHeader;
  const uint16_t optionalSize = static_cast<uint16_t>(Le(bytes, at + 4 + 16, 2));
  if (optionalSize < kSubsystemAt + 2 || bytes.size() < optional + optionalSize) {
    pe.notImage = "its PE header is cut short";
    return pe;
  }
  const uint16_t magic = static_cast<uint16_t>(Le(bytes, optional, 2));
  if (magic != 0x10B && magic != 0x20B) {
    pe.notImage = "its optional header is of no known kind";
    return pe;
  }
  pe.isImage = true;
  pe.machine = static_cast<uint16_t>(Le(bytes, at + 4, 2));
  pe.isDll = (Le(bytes, at + 4 + 18, 2) & 0x2000) != 0;
  pe.subsystem = static_cast<uint16_t>(Le(bytes, optional + kSubsystemAt, 2));
  return pe;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineI386:
      return "I386";
    case kMachineAmd64:
      return "AMD64";
    case kMachineIa64:
      return "IA64";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%04X", machine);
      return hex;
    }
  }
}

}  // namespace winsim
