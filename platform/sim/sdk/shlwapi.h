// The simulated SDK's path text functions (shlwapi.h, SHLWAPI).
#pragma once

#include "platform/sim/sdk/windef.h"

// ---- Path text (SHLWAPI) -------------------------------------------------------------
VOID WINAPI PathUnquoteSpacesA(LPSTR lpsz);
