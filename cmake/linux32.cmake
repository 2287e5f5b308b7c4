# Linux i686 (-m32) built on an x86_64 machine with g++-multilib.
#
# SSE2 arithmetic is forced: the x87 unit would keep intermediate products in 80-bit
# registers, and the effect promises every product rounded to double exactly as written.
# Programs built here run under qemu-i386 with the machine's own root as the i386 sysroot,
# because the kernel of a build machine need not run 32-bit code itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L /)
