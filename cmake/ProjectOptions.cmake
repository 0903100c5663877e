# Compiler and linker settings every target of the project shares.

# The GCC runtime of the Windows builds (PL_GCC_RUNTIME):
#   shared  every module, host included, uses one copy of libgcc_s_dw2-1.dll, libstdc++-6.dll and
#           libwinpthread-1.dll, shipped beside the DLLs. 32-bit mingw unwinds with DWARF tables that each
#           module registers with the runtime it finds, so an exception (Console's "Dead Reference
#           Detected", a host callback's throw) crosses from one module into another only when they share
#           that runtime. The default for i686.
#   static  each module carries its own copy and imports only system DLLs. x86_64 unwinds with the
#           system's tables (SEH), which every module's copy reads, so exceptions cross anyway. The default
#           for x86_64.
# PL_GCC_RUNTIME_DLLS lists the shared runtime's files (empty for static).
macro(pl_choose_gcc_runtime)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(PL_DEFAULT_GCC_RUNTIME shared)
    else()
        set(PL_DEFAULT_GCC_RUNTIME static)
    endif()
    set(PL_GCC_RUNTIME ${PL_DEFAULT_GCC_RUNTIME} CACHE STRING "GCC runtime of the Windows modules: shared or static")
    set_property(CACHE PL_GCC_RUNTIME PROPERTY STRINGS shared static)
    set(PL_GCC_RUNTIME_DLLS "")
    if(PL_GCC_RUNTIME STREQUAL "shared")
        add_link_options(-shared-libgcc)
        foreach(name libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(IS_ABSOLUTE "${file}" AND EXISTS "${file}")
                get_filename_component(file "${file}" REALPATH)
                list(APPEND PL_GCC_RUNTIME_DLLS "${file}")
            endif()
        endforeach()
        if(NOT PL_GCC_RUNTIME_DLLS MATCHES "libstdc\\+\\+-6\\.dll")
            message(FATAL_ERROR "The shared GCC runtime DLLs were not found beside ${CMAKE_CXX_COMPILER}")
        endif()
        # Programs of the build tree run from bin/: the runtime lies beside them there as it does for a host.
        file(COPY ${PL_GCC_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    elseif(PL_GCC_RUNTIME STREQUAL "static")
        add_link_options(-static -static-libgcc -static-libstdc++)
    else()
        message(FATAL_ERROR "PL_GCC_RUNTIME is 'shared' or 'static', not '${PL_GCC_RUNTIME}'")
    endif()
endmacro()

# Our own targets link pl_build_options: warnings are errors on every build. Third-party code
# (GoogleTest built from source) does not get them.
add_library(pl_build_options INTERFACE)
target_compile_options(pl_build_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)

if(WIN32)
    target_compile_definitions(pl_build_options INTERFACE
        WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    pl_choose_gcc_runtime()
elseif(NOT PL_SANITIZE)
    # Sanitizer runtimes live in the executable, so shared libraries may not insist on resolving everything.
    add_link_options(LINKER:--no-undefined)
endif()

if(PL_SANITIZE)
    if(WIN32)
        message(FATAL_ERROR "Sanitizers are for native builds only")
    endif()
    add_compile_options(-fsanitize=${PL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${PL_SANITIZE})
endif()

# A deliverable shared library: named "Name.dll" on Windows (no "lib" prefix; the import library is
# "libName.dll.a") and "libName.so.<version>" on Linux, with the SONAME "libName.so.<major>" and the links
# libName.so.<major> and libName.so to it. It shows only what its public header marks for export. On
# Linux a version script also keeps local what the compiler would otherwise export anyway (template
# instantiations of the standard library), so nothing but the public API leaks. Release builds keep its
# debug information apart (cmake/DebugInfo.cmake).
function(pl_deliverable_library target version_script)
    target_link_libraries(${target} PRIVATE pl_build_options)
    if(WIN32)
        set_target_properties(${target} PROPERTIES PREFIX "")
    else()
        target_link_options(${target} PRIVATE "LINKER:--version-script=${version_script}")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN"
            VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
    endif()
    pl_separate_debug_info(${target})
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    if(WIN32 AND PL_GCC_RUNTIME STREQUAL "shared")
        # A host that links the library links the same shared runtime (see pl_choose_gcc_runtime).
        target_link_options(${target} INTERFACE -shared-libgcc)
    endif()
endfunction()
