// The one platform header of the system's code. On Windows it brings the SDK; elsewhere
// the simulated Windows' declarations of the same names, types and values.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <devguid.h>
#include <setupapi.h>
#include <shellapi.h>
#include <shlwapi.h>
#else
#include "platform/sim/sdk/win32_sim.h"
#endif
