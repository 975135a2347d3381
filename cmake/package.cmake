# The sample package as a vendor's package is made (scripts/package), from this Windows
# tree's programs: `cmake --build build/win32 --target sample_package` writes
# build/win32/package/KORVANE/, KORVANE.zip and KORVANE.sha256. The package checker is
# the native tree's winsim. The 64-bit tree's package holds the x86-64 stand-in programs,
# for the end-to-end tests under 64-bit Wine only.
set(KESTROLIN_NATIVE_TREE ${PROJECT_SOURCE_DIR}/build/native CACHE PATH
    "The native build tree whose winsim checks packages and runs the simulator's side")
set(KESTROLIN_PACKAGE_OUT ${CMAKE_BINARY_DIR}/package)
# The sample's customer word (CustomerName= of packages/sample/Sabrelune.inf).
set(KESTROLIN_SAMPLE_PACKAGE ${KESTROLIN_PACKAGE_OUT}/KORVANE)
set(KESTROLIN_SAMPLE_PACKAGE_COMMAND
    ${PROJECT_SOURCE_DIR}/scripts/package ${PROJECT_SOURCE_DIR}/packages/sample
    --out ${KESTROLIN_PACKAGE_OUT} --programs ${CMAKE_BINARY_DIR}
    --winsim ${KESTROLIN_NATIVE_TREE}/tools/winsim/winsim)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND KESTROLIN_SAMPLE_PACKAGE_COMMAND --x64-stand-in)
endif()
add_custom_target(sample_package COMMAND ${KESTROLIN_SAMPLE_PACKAGE_COMMAND} VERBATIM)
add_dependencies(sample_package Kestrolin Wendmarrow)
