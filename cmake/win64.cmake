# Windows x86_64 with mingw-w64. Programs built here run under wine64 with a prefix inside
# the build directory.
set(QUORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine win64 ${CMAKE_BINARY_DIR}/wine-prefix)
