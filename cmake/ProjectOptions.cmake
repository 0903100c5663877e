# Compiler and linker settings every target of the project shares.

# Our own targets link pl_build_options: warnings are errors on every build. Third-party code
# (GoogleTest built from source) does not get them.
add_library(pl_build_options INTERFACE)
target_compile_options(pl_build_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Werror)

if(WIN32)
    # The DLLs and programs carry their C++ runtime inside, so that they import only system DLLs.
    target_compile_definitions(pl_build_options INTERFACE
        WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
    add_link_options(-static -static-libgcc -static-libstdc++)
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
# "libName.dll.a") and "libName.so" on Linux. It shows only what its public header marks for export. On
# Linux a version script also keeps local what the compiler would otherwise export anyway (template
# instantiations of the standard library), so nothing but the public API leaks.
function(pl_deliverable_library target version_script)
    target_link_libraries(${target} PRIVATE pl_build_options)
    if(WIN32)
        set_target_properties(${target} PROPERTIES PREFIX "")
    else()
        target_link_options(${target} PRIVATE "LINKER:--version-script=${version_script}")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${version_script})
        set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    endif()
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endfunction()
