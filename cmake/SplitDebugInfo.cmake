# Moves a library's debug information and symbol table into "<library>.debug" beside it and leaves a debug
# link to that file in the library (cmake/DebugInfo.cmake runs it after each link):
#   cmake -DLIBRARY=<file> -DOBJCOPY=<objcopy> -DOBJDUMP=<objdump> -P SplitDebugInfo.cmake
# A library that has its debug link already was split after its last link and is left alone: the build
# may run this again without linking (Ninja runs a versioned library's post-build commands with its links).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -h ${LIBRARY} OUTPUT_VARIABLE sections COMMAND_ERROR_IS_FATAL ANY)
if(sections MATCHES " \\.gnu_debuglink ")
    return()
endif()
execute_process(COMMAND ${OBJCOPY} --only-keep-debug ${LIBRARY} ${LIBRARY}.debug COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OBJCOPY} --strip-unneeded --add-gnu-debuglink=${LIBRARY}.debug ${LIBRARY}
    COMMAND_ERROR_IS_FATAL ANY)
