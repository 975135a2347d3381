// The simulated Windows' declarations of the Win32 subset the programs call.
// Names, types, signatures and constant values are those of the Windows SDK, so
// the system's code reads and compiles the same against either platform.
// They are split as the SDK splits its headers; this file gathers them all, for
// platform/win32.h (and for any file of the simulator that uses many of them).
#pragma once

#include "platform/sim/sdk/windef.h"
#include "platform/sim/sdk/winerror.h"
#include "platform/sim/sdk/winnt.h"
#include "platform/sim/sdk/winbase.h"
#include "platform/sim/sdk/fileapi.h"
#include "platform/sim/sdk/sysinfoapi.h"
#include "platform/sim/sdk/winreg.h"
#include "platform/sim/sdk/aclapi.h"
#include "platform/sim/sdk/winuser.h"
#include "platform/sim/sdk/commctrl.h"
#include "platform/sim/sdk/shellapi.h"
#include "platform/sim/sdk/shlwapi.h"
#include "platform/sim/sdk/setupapi.h"
#include "platform/sim/sdk/crt_extensions.h"
