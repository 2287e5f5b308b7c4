# Builds whose bytes depend only on the source: the same commit built in another folder, at
# another time, gives the same libraries and programs.
#
# Included before any target is made, so that every target (the plug-in, the tool, the tests)
# is compiled and linked the same way.

# With QUORVEL_FIXED_PATHS (scripts/release turns it on) neither the source folder nor the
# build folder is written into objects (file names in debug information, __FILE__ in
# assertions and test reports): both are mapped to fixed names. Everyday builds keep the real
# folders, so that debuggers and test failures name the files where they are. GCC applies
# the last matching map, so the build folder, which may lie inside the source folder, comes
# second.
option(QUORVEL_FIXED_PATHS "Name the source and build folders /quorvel/source and /quorvel/build in objects" OFF)
if(QUORVEL_FIXED_PATHS)
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/quorvel/source>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=/quorvel/build>")
endif()

if(WIN32)
    # The linker would otherwise stamp every DLL and program with the time it was linked.
    add_link_options(-Wl,--no-insert-timestamp)
endif()
