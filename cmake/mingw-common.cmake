# Shared by the Windows toolchains: expects QUORVEL_MINGW_TRIPLE to name the mingw-w64 triple.
#
# Programs are linked statically against libgcc and libstdc++ so that they, like the plug-in
# DLL, need nothing beyond Windows system DLLs, and so run under Wine without copying the
# compiler's runtime DLLs next to them.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model's compilers where both models are installed: the posix model's
# runtime would bring in winpthreads.
find_program(QUORVEL_MINGW_CC NAMES ${QUORVEL_MINGW_TRIPLE}-gcc-win32 ${QUORVEL_MINGW_TRIPLE}-gcc REQUIRED)
find_program(QUORVEL_MINGW_CXX NAMES ${QUORVEL_MINGW_TRIPLE}-g++-win32 ${QUORVEL_MINGW_TRIPLE}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${QUORVEL_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
