// What a file of a driver package is, read from its PE headers: whether it is a Windows
// image at all, for which processor, and for which subsystem.
#pragma once

#include <cstdint>
#include <string>

namespace winsim {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineIa64 = 0x0200;
constexpr uint16_t kSubsystemNative = 1;

struct PeImage {
  bool isImage = false;  // an MZ header whose PE header is there and whole
  std::string notImage;  // why not, when it is not
  uint16_t machine = 0;
  uint16_t subsystem = 0;
  bool isDll = false;
};

// The headers of `bytes`, as Windows' loader checks them before it maps an image.
PeImage ReadPeImage(const std::string& bytes);

// "I386", "AMD64", "IA64", or the machine field in hex.
std::string MachineName(uint16_t machine);

}  // namespace winsim
