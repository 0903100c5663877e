# cmake --install: public headers, the three libraries (with their import libraries on Windows) and a
# package configuration, so that a host says find_package(PelmoraLogging) and links
# PelmoraLogging::Trace, PelmoraLogging::Console or PelmoraLogging::Kitbag.
include(CMakePackageConfigHelpers)

set(PL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PelmoraLogging)

install(TARGETS Kitbag Trace Console
    EXPORT PelmoraLoggingTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The shared GCC runtime the Windows DLLs were linked with (PL_GCC_RUNTIME), shipped beside them.
if(PL_GCC_RUNTIME_DLLS)
    install(FILES ${PL_GCC_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
set(PL_PACKAGE_RUNTIME_DLLS "")
foreach(file ${PL_GCC_RUNTIME_DLLS})
    get_filename_component(name "${file}" NAME)
    list(APPEND PL_PACKAGE_RUNTIME_DLLS "${name}")
endforeach()

file(GLOB PL_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${PL_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

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
