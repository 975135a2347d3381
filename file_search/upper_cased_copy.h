// The content scan's view of a file's bytes: NUL bytes dropped, so that text
// stored as 16-bit characters reads like 8-bit text, and 'a' to 'z' upper-cased,
// every other byte as it is, whatever the locale.
#pragma once

// Copies [from, to) to `out` without its NUL bytes and with 'a' to 'z'
// upper-cased; returns the end of what was written. `out` must have room for
// to - from bytes; the ranges must not overlap. Eight bytes are taken at a time
// where they are 8-bit text or four 16-bit characters below 256, the common
// forms of an INF file, and one by one elsewhere.
char* CopyUpperCasedWithoutNuls(const char* from, const char* to, char* out);
