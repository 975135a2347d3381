// The C run-time's Microsoft extensions the programs use (string.h and stdlib.h of the
// Microsoft C run-time).
#pragma once

#include <cstddef>

// ---- The C run-time's Microsoft extensions ------------------------------------------
int _stricmp(const char* a, const char* b);
int _strnicmp(const char* a, const char* b, size_t n);
char* _strupr(char* s);
char* _strlwr(char* s);
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256
