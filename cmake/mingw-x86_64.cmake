# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model). The product
# is 32-bit (cmake/mingw-i686.cmake); this tree measures the conformance suite and the
# system-information library as 64-bit programs, which 64-bit Wine runs where 32-bit
# programs cannot run.
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(KESTROLIN_MINGW_TRIPLE x86_64-w64-mingw32)
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
