#include "platform/sim/machine/machine.h"

namespace sim {

namespace {
// 2009-06-01 08:00:00 UTC in FILETIME ticks: a date on which every supported
// edition was in use.
constexpr uint64_t kDefaultClock = 128883168000000000ull;
}  // namespace

Machine::Machine() : clock_(0) { SetClock(kDefaultClock); }

void Machine::SetClock(uint64_t ticks) {
  clock_ = ticks;
  registry.now = ticks;
  files.now = ticks;
}

bool Machine::SameAs(const Machine& other, std::string* firstDifference) const {
  const OsIdentity& a = os;
  const OsIdentity& b = other.os;
  const bool sameOs =
      a.edition == b.edition && a.platformId == b.platformId && a.majorVersion == b.majorVersion &&
      a.minorVersion == b.minorVersion && a.buildNumber == b.buildNumber &&
      a.csdVersion == b.csdVersion && a.servicePackMajor == b.servicePackMajor &&
      a.servicePackMinor == b.servicePackMinor && a.suiteMask == b.suiteMask &&
      a.productType == b.productType && a.nativeArchitecture == b.nativeArchitecture &&
      a.hasExtendedVersionInfo == b.hasExtendedVersionInfo &&
      a.hasGetNativeSystemInfo == b.hasGetNativeSystemInfo && a.hasSetupApi == b.hasSetupApi &&
      a.hasSetupCopyOemInf == b.hasSetupCopyOemInf && a.windowsFolder == b.windowsFolder &&
      a.systemFolderName == b.systemFolderName && a.userName == b.userName &&
      a.computerName == b.computerName;
  if (!sameOs) {
    if (firstDifference) *firstDifference = "machine identity differs";
    return false;
  }
  return registry.SameAs(other.registry, firstDifference) &&
         files.SameAs(other.files, firstDifference);
}

}  // namespace sim
