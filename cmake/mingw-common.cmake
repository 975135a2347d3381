# What both MinGW-w64 cross builds share; the toolchain files set the processor and
# KESTROLIN_MINGW_TRIPLE, then include this file.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KESTROLIN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROLIN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROLIN_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${KESTROLIN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No CMAKE_CROSSCOMPILING_EMULATOR: every test that runs a .exe goes through
# scripts/wine-run with an explicit prefix (tests/wine), never through ~/.wine.
