// Enabling a privilege the process token holds but has not switched on, as a restart
// request needs SeShutdownPrivilege.
#pragma once

// Non-zero when the privilege is enabled, and on a Windows without security (where the
// token cannot be opened because the call does not exist); 0 on any other failure.
int EnableProcessPrivilege(const char* name);
