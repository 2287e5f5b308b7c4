# Windows i686 with mingw-w64: the shipping target.
#
# SSE2 arithmetic is forced: the x87 unit would keep intermediate products in 80-bit
# registers, and the effect promises every product rounded to double exactly as written.
# Programs built here run under i386 Wine (under qemu-i386 on a 64-bit-only kernel) with a
# prefix inside the build directory.
set(QUORVEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine win32 ${CMAKE_BINARY_DIR}/wine-prefix)
