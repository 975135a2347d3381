#include "tools/winsim/registry_text.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32.h"

namespace winsim {

namespace {

const char* TypeName(uint32_t type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return nullptr;
  }
}

std::string HexBytes(const std::string& data) {
  std::string out;
  char byte[3];
  for (unsigned char c : data) {
    std::snprintf(byte, sizeof byte, "%02X", c);
    out += byte;
  }
  return out;
}

}  // namespace

std::string TypeText(uint32_t type) {
  if (const char* name = TypeName(type)) return name;
  char unknown[32];
  std::snprintf(unknown, sizeof unknown, "REG_TYPE_0x%x", type);
  return unknown;
}

std::string ValueText(const sim::RegValue& value) {
  const std::string& data = value.data;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return data.substr(0, data.find('\0'));
    case REG_MULTI_SZ: {
      // The parts end at the first empty one (the list's terminator).
      std::string out;
      size_t at = 0;
      while (at < data.size() && data[at] != '\0') {
        const size_t end = std::min(data.find('\0', at), data.size());
        if (!out.empty()) out += "\\0";
        out += data.substr(at, end - at);
        at = end + 1;
      }
      return out;
    }
    case REG_DWORD:
      if (data.size() == 4) {
        const auto b = [&](int i) { return static_cast<uint32_t>(static_cast<uint8_t>(data[i])); };
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24);
        return text;
      }
      return HexBytes(data);  // a DWORD of the wrong size shows what it holds
    default:
      return HexBytes(data);
  }
}

std::string QueryText(const sim::RegKey& key) {
  std::string out = key.FullPath() + "\n";
  key.values.ForEach([&](const std::string& name, const sim::RegValue& value) {
    out += "    " + (name.empty() ? std::string("(Default)") : name) + "    " +
           TypeText(value.type) + "    " + ValueText(value) + "\n";
  });
  if (!key.subkeys.Empty()) out += "\n";
  key.subkeys.ForEach([&](const std::string& name, const std::shared_ptr<sim::RegKey>&) {
    out += key.FullPath() + "\\" + name + "\n";
  });
  return out;
}

}  // namespace winsim
