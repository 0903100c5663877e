# cmake --install (and the release archive, cmake/Package.cmake): public headers, the three libraries (with
# their import libraries on Windows, GNU ones and Trace.lib for MSVC-style linkers) and a package
# configuration, so that a host says find_package(PelmoraLogging) and links PelmoraLogging::Trace,
# PelmoraLogging::Console or PelmoraLogging::Kitbag; the README written for the archive (release/README.md)
# with the license, the change log and the examples it names. Two components: "main", all that, and
# "symbols", the libraries' debug information (cmake/DebugInfo.cmake), which the release archive ships
# apart. A plain cmake --install installs both.
include(CMakePackageConfigHelpers)

set(PL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PelmoraLogging)
# The release archive's name, which is also the name of the one folder it holds (cmake/Package.cmake).
if(WIN32)
    set(PL_ARCHIVE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win-${CMAKE_SYSTEM_PROCESSOR})
    set(PL_ARCHIVE_GENERATOR ZIP)
else()
    set(PL_ARCHIVE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
    set(PL_ARCHIVE_GENERATOR TGZ)
endif()
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME main)

install(TARGETS Kitbag Trace Console
    EXPORT PelmoraLoggingTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Trace.lib (trace/CMakeLists.txt), when llvm-dlltool made it.
if(PL_TRACE_LIB)
    install(FILES ${PL_TRACE_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# The shared GCC runtime the Windows DLLs were linked with (PL_GCC_RUNTIME), shipped beside them.
if(PL_GCC_RUNTIME_DLLS)
    install(FILES ${PL_GCC_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
set(PL_PACKAGE_RUNTIME_DLLS "")
foreach(file ${PL_GCC_RUNTIME_DLLS})
    get_filename_component(name "${file}" NAME)
    list(APPEND PL_PACKAGE_RUNTIME_DLLS "${name}")
    # The distribution's copies carry their symbols (libstdc++-6.dll: 21 MB, 2 MB without); the installed
    # ones go without. Exports and unwind tables are not symbols: strip keeps them.
    if(CMAKE_STRIP)
        install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${name}\" COMMAND_ERROR_IS_FATAL ANY)")
    endif()
endforeach()

file(GLOB PL_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${PL_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# The libraries' debug information, beside the libraries, where gdb and addr2line look for it.
if(PL_SEPARATE_DEBUG_INFO)
    foreach(target Kitbag Trace Console)
        if(WIN32)
            set(destination ${CMAKE_INSTALL_BINDIR})
        else()
            set(destination ${CMAKE_INSTALL_LIBDIR})
        endif()
        install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${destination} COMPONENT symbols)
    endforeach()
endif()

# The README written for the archive, with the license, the change log and the examples it names: at the
# top of a Windows archive, where a person unpacking it looks first; in the documentation folder on Linux.
# Windows also gets the pictures the README shows, the toolchain file its cross-build commands use and the
# MSVC-mode host of Trace with its kernel32 definitions.
if(WIN32)
    set(PL_INSTALL_README_DIR .)
    set(PL_README_TAGS windows ${CMAKE_SYSTEM_PROCESSOR})
else()
    set(PL_INSTALL_README_DIR ${CMAKE_INSTALL_DOCDIR})
    set(PL_README_TAGS linux)
endif()
# The folder of the examples, as the README names it.
cmake_path(APPEND PL_INSTALL_README_DIR examples OUTPUT_VARIABLE PL_README_EXAMPLES)
cmake_path(NORMAL_PATH PL_README_EXAMPLES)
include(${CMAKE_CURRENT_LIST_DIR}/ArchiveReadme.cmake)
pl_configure_archive_readme(${PROJECT_SOURCE_DIR}/release/README.md ${PROJECT_BINARY_DIR}/release/README.md
    ${PL_README_TAGS})
install(FILES ${PROJECT_BINARY_DIR}/release/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${PL_INSTALL_README_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/release/examples/CMakeLists.txt ${PROJECT_SOURCE_DIR}/release/examples/host.cpp
    DESTINATION ${PL_INSTALL_README_DIR}/examples)
if(WIN32)
    file(GLOB PL_README_PICTURES ${PROJECT_SOURCE_DIR}/docs/*.png)
    install(FILES ${PL_README_PICTURES} DESTINATION ${PL_INSTALL_README_DIR}/docs)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-${CMAKE_SYSTEM_PROCESSOR}.cmake
        DESTINATION ${PL_INSTALL_README_DIR}/examples)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(kernel32_def kernel32_i386.def)
    else()
        set(kernel32_def kernel32_x86_64.def)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/tests/msvc_host/trace_msvc_host.c
        ${PROJECT_SOURCE_DIR}/tests/msvc_host/${kernel32_def} DESTINATION ${PL_INSTALL_README_DIR}/examples/msvc)
endif()

# For Linux hosts built without CMake, pkg-config files beside the CMake package: one per library, as the
# package has one target per library, so that a host links only what it uses
# (pkg-config --cflags --libs pelmora-trace pelmora-console pelmora-kitbag). Their paths are relative to
# the file's own folder, like the CMake package's, so the unpacked release archive works where it lies.
if(NOT WIN32)
    set(PL_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    file(RELATIVE_PATH PL_PKGCONFIG_TO_PREFIX /prefix/${PL_PKGCONFIG_DIR} /prefix)
    string(REGEX REPLACE "/$" "" PL_PKGCONFIG_TO_PREFIX "${PL_PKGCONFIG_TO_PREFIX}")
    set(PL_PC_DESCRIPTION_Trace "printf-style and hex-dump trace with a background print thread and trace files")
    set(PL_PC_DESCRIPTION_Console "the line pipeline, its printf-style writers and the CLog stream logger")
    set(PL_PC_DESCRIPTION_Kitbag "the small settings store Console reads its switches from")
    foreach(PL_PC_LIBRARY Trace Console Kitbag)
        string(TOLOWER "pelmora-${PL_PC_LIBRARY}" PL_PC_NAME)
        set(PL_PC_DESCRIPTION "${PL_PC_DESCRIPTION_${PL_PC_LIBRARY}}")
        configure_file(${CMAKE_CURRENT_LIST_DIR}/pelmora-library.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${PL_PC_NAME}.pc
            @ONLY)
        install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${PL_PC_NAME}.pc DESTINATION ${PL_PKGCONFIG_DIR})
    endforeach()
endif()

install(EXPORT PelmoraLoggingTargets
    NAMESPACE PelmoraLogging::
    DESTINATION ${PL_PACKAGE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/PelmoraLoggingConfig.cmake.in
    ${CMAKE_BINARY_DIR}/PelmoraLoggingConfig.cmake
    INSTALL_DESTINATION ${PL_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/PelmoraLoggingConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES
    ${CMAKE_BINARY_DIR}/PelmoraLoggingConfig.cmake
    ${CMAKE_BINARY_DIR}/PelmoraLoggingConfigVersion.cmake
    DESTINATION ${PL_PACKAGE_DIR})
