# Builds whose bytes depend only on the source: the same commit built in another folder, at
# another time, gives the same libraries and programs.
#
# Included before any target is made, so that every target (the plug-in, the tool, the tests)
# is compiled and linked the same way.

# Neither the source folder nor the build folder is written into objects (file names in
# debug information, __FILE__ in assertions): both are mapped to fixed names. GCC applies
# the last matching map, so the build folder, which may lie inside the source folder, comes
# second.
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=/quorvel/source>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=/quorvel/build>")

if(WIN32)
    # The linker would otherwise stamp every DLL and program with the time it was linked.
    add_link_options(-Wl,--no-insert-timestamp)
endif()
