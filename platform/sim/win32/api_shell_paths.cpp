// SHLWAPI path text of the simulated Windows. These calls only rewrite the caller's
// string; they touch no file.
#include <cstring>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

VOID WINAPI PathUnquoteSpacesA(LPSTR lpsz) {
  sim::ApiCall call("PathUnquoteSpacesA", lpsz ? lpsz : "");
  // The call reports nothing, so an injected fault has nothing to act on.
  if (!lpsz || lpsz[0] != '"') return;
  const size_t length = std::strlen(lpsz);
  // Only a path enclosed as a whole loses its quotes; a lone quote counts as both ends.
  if (lpsz[length - 1] != '"') return;
  lpsz[length - 1] = '\0';
  std::memmove(lpsz, lpsz + 1, length - 1);
}
