// The calling thread's last error: the value GetLastError reports. Every layer that fails
// a call sets it, the window manager as much as the Win32 functions, so it lives here
// below them all, as Windows keeps it in each thread's own block. Not part of the SDK:
// platform/win32.h does not include it.
#pragma once

#include <cstdint>

namespace sim {

inline uint32_t& ThreadLastError() {
  thread_local uint32_t error = 0;
  return error;
}

// Sets the calling thread's last error (the value GetLastError reports).
inline void Fail(uint32_t error) { ThreadLastError() = error; }

}  // namespace sim
