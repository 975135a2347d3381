# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX thread model). The product
# is 32-bit (cmake/mingw-i686.cmake); this tree measures the conformance suite and the
# system-information library as 64-bit programs, which 64-bit Wine runs where 32-bit
# programs cannot run.
#   cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KESTROLIN_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
