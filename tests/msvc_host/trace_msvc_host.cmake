# trace_msvc_host: a C host built the way an MSVC-style toolchain builds one, against Trace.lib: compiled by
# clang in MSVC mode, linked by lld-link with no C runtime (its kernel32 import library is made here from a
# tiny .def). pl_add_trace_msvc_host(TRACE_LIB OUTPUT_DIR) makes OUTPUT_DIR/trace_msvc_host.exe for the
# configuration's architecture (target trace_msvc_host, built by default). The tools are optional: when
# one is missing (or TRACE_LIB is empty) nothing is made, and PL_TRACE_MSVC_HOST_MISSING, in the caller's
# scope, names what was missing.
find_program(PL_CLANG NAMES clang clang-16 clang-15 clang-14 DOC "clang, which compiles the MSVC-mode host")
find_program(PL_LLD_LINK NAMES lld-link lld-link-16 lld-link-15 lld-link-14 DOC "lld-link, which links it")
find_program(PL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14
             DOC "llvm-dlltool, which makes Trace.lib and the host's kernel32 import library")

function(pl_add_trace_msvc_host trace_lib output_dir)
    set(missing "")
    if(NOT PL_CLANG)
        list(APPEND missing clang)
    endif()
    if(NOT PL_LLD_LINK)
        list(APPEND missing lld-link)
    endif()
    if(NOT PL_LLVM_DLLTOOL)
        list(APPEND missing llvm-dlltool)
    endif()
    if(NOT trace_lib)
        list(APPEND missing Trace.lib)
    endif()
    set(PL_TRACE_MSVC_HOST_MISSING "${missing}" PARENT_SCOPE)
    if(missing)
        return()
    endif()

    set(source_dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        # i386 stdcall names carry @bytes; -k imports them undecorated, as kernel32 exports them.
        set(triple i686-pc-windows-msvc)
        set(kernel32 ${PL_LLVM_DLLTOOL} -m i386 -k -d ${source_dir}/kernel32_i386.def)
        set(kernel32_def ${source_dir}/kernel32_i386.def)
    else()
        set(triple x86_64-pc-windows-msvc)
        set(kernel32 ${PL_LLVM_DLLTOOL} -m i386:x86-64 -d ${source_dir}/kernel32_x86_64.def)
        set(kernel32_def ${source_dir}/kernel32_x86_64.def)
    endif()
    set(work ${CMAKE_CURRENT_BINARY_DIR}/trace_msvc_host)
    set(host ${output_dir}/trace_msvc_host.exe)
    add_custom_command(OUTPUT ${work}/kernel32.lib
        COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
        COMMAND ${kernel32} -l ${work}/kernel32.lib
        DEPENDS ${kernel32_def}
        VERBATIM)
    add_custom_command(OUTPUT ${work}/trace_msvc_host.obj
        COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
        COMMAND ${PL_CLANG} --target=${triple} -std=c11 -O2 -Wall -Wextra -Werror
                -c ${source_dir}/trace_msvc_host.c -o ${work}/trace_msvc_host.obj
        DEPENDS ${source_dir}/trace_msvc_host.c
        VERBATIM)
    add_custom_command(OUTPUT ${host}
        COMMAND ${PL_LLD_LINK} /nologo /subsystem:console /entry:hostMain /nodefaultlib /out:${host}
                ${work}/trace_msvc_host.obj ${trace_lib} ${work}/kernel32.lib
        DEPENDS ${work}/trace_msvc_host.obj ${work}/kernel32.lib ${trace_lib}
        COMMENT "Linking trace_msvc_host.exe (clang ${triple}, lld-link, Trace.lib)"
        VERBATIM)
    add_custom_target(trace_msvc_host ALL DEPENDS ${host})
endfunction()
