// A string of the program's own string table, as the framework's string class loads it.
#pragma once

#include <string>

#include "platform/win32.h"

// The text of string `id`; empty when the table has no such string.
std::string LoadResourceString(UINT id);
