# cmake --install (and the release archive, cmake/Package.cmake): public headers, the three libraries (with
# their import libraries on Windows, GNU ones and Trace.lib for MSVC-style linkers) and a package
# configuration, so that a host says find_package(PelmoraLogging) and links PelmoraLogging::Trace,
# PelmoraLogging::Console or PelmoraLogging::Kitbag; and the README with the pictures it shows.
include(CMakePackageConfigHelpers)

set(PL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PelmoraLogging)

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

# The README beside its pictures (it links them as docs/*.png): at the top of a Windows archive, where a
# person unpacking it looks first; in the documentation folder on Linux.
if(WIN32)
    set(PL_INSTALL_README_DIR .)
else()
    set(PL_INSTALL_README_DIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${PL_INSTALL_README_DIR})
file(GLOB PL_README_PICTURES ${PROJECT_SOURCE_DIR}/docs/*.png)
install(FILES ${PL_README_PICTURES} DESTINATION ${PL_INSTALL_README_DIR}/docs)

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
