# Release builds keep the libraries' debug information apart (PL_SEPARATE_DEBUG_INFO, on by default in
# Release builds): the deliverables and the static parts compiled into them are built with -g, and after
# each link the debug information and the symbol table move out of the library into "<library file>.debug"
# beside it. The library keeps what it needs to run (exports, dynamic symbols, unwind tables) and a debug
# link (.gnu_debuglink: the .debug file's name and checksum), which gdb and addr2line follow when the .debug
# file lies beside it.
# The release archive's symbols archive holds the .debug files (cmake/Install.cmake, cmake/Package.cmake).
# Source paths in the debug information start with /PelmoraLogging/, not with the build machine's folder.
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND CMAKE_OBJCOPY AND CMAKE_OBJDUMP)
    set(PL_DEFAULT_SEPARATE_DEBUG_INFO ON)
else()
    set(PL_DEFAULT_SEPARATE_DEBUG_INFO OFF)
endif()
option(PL_SEPARATE_DEBUG_INFO "Build the libraries with debug information, kept apart in <library file>.debug"
       ${PL_DEFAULT_SEPARATE_DEBUG_INFO})
if(PL_SEPARATE_DEBUG_INFO AND NOT (CMAKE_OBJCOPY AND CMAKE_OBJDUMP))
    message(FATAL_ERROR "PL_SEPARATE_DEBUG_INFO needs objcopy and objdump (CMAKE_OBJCOPY, CMAKE_OBJDUMP)")
endif()

# pl_compile_with_debug_info(TARGET...): the targets' objects carry debug information.
function(pl_compile_with_debug_info)
    if(NOT PL_SEPARATE_DEBUG_INFO)
        return()
    endif()
    foreach(target ${ARGN})
        target_compile_options(${target} PRIVATE -g "-fdebug-prefix-map=${PROJECT_SOURCE_DIR}=/PelmoraLogging")
    endforeach()
endfunction()

# pl_separate_debug_info(TARGET): after each link of the library TARGET, its debug information goes into
# $<TARGET_FILE:TARGET>.debug and the library keeps a debug link to that file.
function(pl_separate_debug_info target)
    if(NOT PL_SEPARATE_DEBUG_INFO)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${target}> -DOBJCOPY=${CMAKE_OBJCOPY}
                -DOBJDUMP=${CMAKE_OBJDUMP} -P ${PROJECT_SOURCE_DIR}/cmake/SplitDebugInfo.cmake
        COMMENT "Moving the debug information of ${target} into its .debug file"
        VERBATIM)
    pl_compile_with_debug_info(${target})
endfunction()
