# What a release is made of: the Windows version resources, the install rules and the
# packages CPack makes of one build tree. scripts/release builds every target with these
# rules and packs the results itself, byte for byte the same from build to build.
#
# The version is the project's (project() in the top CMakeLists.txt); everything here, the
# tool's --version and the package names take it from there.

# quorvel_add_version_resource(<target> FILE_NAME <name> PRODUCT <product>
#                              DESCRIPTION <text> TYPE APP|DLL)
#
# Gives a Windows binary its version resource: file and product version, company, product,
# description and original file name. The resource is compiled by the target's windres in
# a library of its own, because the target's compiler options are not windres options.
function(quorvel_add_version_resource target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "FILE_NAME;PRODUCT;DESCRIPTION;TYPE" "")
    set(QUORVEL_RC_FILE_NAME ${arg_FILE_NAME})
    set(QUORVEL_RC_PRODUCT ${arg_PRODUCT})
    set(QUORVEL_RC_DESCRIPTION ${arg_DESCRIPTION})
    get_filename_component(QUORVEL_RC_INTERNAL_NAME ${arg_FILE_NAME} NAME_WE)
    if(arg_TYPE STREQUAL "APP")
        set(QUORVEL_RC_FILE_TYPE 1)
    elseif(arg_TYPE STREQUAL "DLL")
        set(QUORVEL_RC_FILE_TYPE 2)
    else()
        message(FATAL_ERROR "quorvel_add_version_resource: TYPE must be APP or DLL, not '${arg_TYPE}'")
    endif()
    set(numeric ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
    list(TRANSFORM numeric REPLACE "^$" "0")
    list(JOIN numeric "," QUORVEL_RC_NUMERIC_VERSION)
    set(resource_file ${PROJECT_BINARY_DIR}/version-resources/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/version.rc.in ${resource_file} @ONLY)
    add_library(${target}_version_resource OBJECT ${resource_file})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_version_resource>)
endfunction()

if(WIN32)
    enable_language(RC)
    quorvel_add_version_resource(quorvel FILE_NAME quorvel.dll PRODUCT Tavenor TYPE DLL
        DESCRIPTION "Tavenor stereo effect plug-in")
    if(TARGET quorvel-host)
        quorvel_add_version_resource(quorvel-host FILE_NAME quorvel-host.exe PRODUCT Quorvel TYPE APP
            DESCRIPTION "quorvel-host, a stand-in host for trying plug-ins")
    endif()
endif()

# Where `cmake --install` puts things, relative to the install prefix. scripts/release puts
# everything at the top of each package.
if(WIN32)
    set(default_plugin_dir .)
    set(default_bin_dir .)
    set(default_doc_dir .)
else()
    set(default_plugin_dir lib/vst)
    set(default_bin_dir bin)
    set(default_doc_dir share/doc/quorvel)
endif()
set(QUORVEL_INSTALL_PLUGIN_DIR ${default_plugin_dir} CACHE STRING
    "Folder of the installed plug-in library (quorvel.so, quorvel.dll), relative to the prefix")
set(QUORVEL_INSTALL_BIN_DIR ${default_bin_dir} CACHE STRING
    "Folder of the installed quorvel-host, relative to the prefix")
set(QUORVEL_INSTALL_DOC_DIR ${default_doc_dir} CACHE STRING
    "Folder of the installed read-me, licence and change log, relative to the prefix")

# Components: plugin (the library), tool (quorvel-host), docs (the texts for users).
install(TARGETS quorvel LIBRARY DESTINATION ${QUORVEL_INSTALL_PLUGIN_DIR} COMPONENT plugin)
if(TARGET quorvel-host)
    install(TARGETS quorvel-host RUNTIME DESTINATION ${QUORVEL_INSTALL_BIN_DIR} COMPONENT tool)
endif()
configure_file(packaging/README.txt.in ${PROJECT_BINARY_DIR}/packaging/README.txt @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION ${QUORVEL_INSTALL_DOC_DIR} COMPONENT docs)
install(FILES LICENSE DESTINATION ${QUORVEL_INSTALL_DOC_DIR} RENAME LICENSE.txt COMPONENT docs)
install(FILES CHANGELOG.md DESTINATION ${QUORVEL_INSTALL_DOC_DIR} RENAME CHANGELOG.txt COMPONENT docs)

# `cmake --install` into a fresh prefix installs exactly the files of the three components,
# in the folders the cache names, and on Windows each binary with its version resource.
if(QUORVEL_TESTS)
    set(installed_files)
    set(installed_pairs "${QUORVEL_INSTALL_PLUGIN_DIR}|quorvel${CMAKE_SHARED_MODULE_SUFFIX}"
        "${QUORVEL_INSTALL_DOC_DIR}|README.txt" "${QUORVEL_INSTALL_DOC_DIR}|LICENSE.txt"
        "${QUORVEL_INSTALL_DOC_DIR}|CHANGELOG.txt")
    if(TARGET quorvel-host)
        list(APPEND installed_pairs "${QUORVEL_INSTALL_BIN_DIR}|quorvel-host${CMAKE_EXECUTABLE_SUFFIX}")
    endif()
    foreach(pair IN LISTS installed_pairs)
        string(REPLACE "|" "/" path "${pair}")
        cmake_path(SET path NORMALIZE "${path}")
        list(APPEND installed_files "${path}")
    endforeach()
    set(check_arguments)
    if(WIN32)
        list(APPEND check_arguments -DWINDRES=${CMAKE_RC_COMPILER})
    endif()
    if(TARGET quorvel-host AND NOT CMAKE_CROSSCOMPILING)
        list(GET installed_files -1 tool_file)
        list(APPEND check_arguments -DVERSION_PROGRAM=${tool_file})
    endif()
    add_test(NAME install_layout
        COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DPREFIX=${PROJECT_BINARY_DIR}/install-check
                -DVERSION=${PROJECT_VERSION} "-DEXPECTED=${installed_files}" ${check_arguments}
                -P ${PROJECT_SOURCE_DIR}/packaging/check-install.cmake)
    set_tests_properties(install_layout PROPERTIES LABELS win32)
endif()

# The name a package of this build tree carries after the version.
if(WIN32)
    set(package_system windows)
else()
    set(package_system linux)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(APPEND package_system -x86_64)
else()
    string(APPEND package_system -i686)
endif()
set(QUORVEL_PACKAGE_SYSTEM ${package_system} CACHE INTERNAL "The platform part of this tree's package names")

# `cpack` in a build tree packs what `cmake --install` installs: a ZIP on Windows, a
# gzipped tar on Linux.
set(CPACK_PACKAGE_NAME Quorvel)
set(CPACK_PACKAGE_VENDOR "Halvorn Media Technologies")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tavenor, a stereo audio-effect plug-in, and quorvel-host")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME Quorvel-${PROJECT_VERSION}-${QUORVEL_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
include(CPack)
