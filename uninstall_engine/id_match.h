// How every device-matching pass compares a device's identifier with the card's IDs.
#pragma once

#include <cstddef>
#include <string>

#include "uninstall_engine/uninstall_context.h"

// The PCI enumerator's hardware ID of a card's device begins "PCI\VEN_6A3C&DEV_5E17":
// the prefix and the length the passes compare it over.
constexpr char kPciIdPrefix[] = "pci\\";
constexpr size_t kPciIdLength = 21;

// True when `prefix` + one of `ids` agrees with `text` over `length` characters, case
// ignored (a shorter candidate takes part with its terminating NUL, so the text must
// end there too). The first empty entry ends the list.
inline bool MatchesAnyId(const char* text, const char* prefix, const VidPidList& ids,
                         size_t length) {
  for (const std::string& id : ids) {
    if (id.empty()) return false;
    const std::string candidate = prefix + id;
    if (_strnicmp(candidate.c_str(), text, length) == 0) return true;
  }
  return false;
}
