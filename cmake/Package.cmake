# The release archives, made by CPack from what cmake --install installs (cmake/Install.cmake):
#   cpack --config <build>/CPackConfig.cmake      (or: cmake --build <build> --target package)
# gives, in <build>/package/, for the Windows targets (win-i686, win-x86_64) .zip and for Linux
# (linux-<processor>) .tar.gz files:
#   PelmoraLogging-<version>-<target>            the libraries, headers, CMake package, README and examples
#   PelmoraLogging-<version>-<target>-symbols    the libraries' debug information (Release builds)
# Both hold one folder of the same name, PelmoraLogging-<version>-<target>: the symbols archive unpacked
# beside the other puts each .debug file next to its library, where gdb and addr2line find it.
set(CPACK_GENERATOR ${PL_ARCHIVE_GENERATOR})
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Pelmora")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trace and Console, diagnostic logging libraries, and the Kitbag settings store")
set(CPACK_PACKAGE_FILE_NAME ${PL_ARCHIVE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main)
if(PL_SEPARATE_DEBUG_INFO)
    list(APPEND CPACK_COMPONENTS_ALL symbols)
endif()
set(CPACK_ARCHIVE_MAIN_FILE_NAME ${PL_ARCHIVE_NAME})
set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME ${PL_ARCHIVE_NAME}-symbols)
# Each archive holds the folder PL_ARCHIVE_NAME, the symbols archive too.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
