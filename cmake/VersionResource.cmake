# The Windows DLLs carry a version resource (VERSIONINFO) made from the project's version, which Explorer
# shows in a file's properties and installers compare. One generated block (version_info.rc.in); each DLL
# has a small .rc of its own that names the file and includes the block.
if(NOT WIN32)
    return()
endif()
enable_language(RC)

set(PL_PRODUCT_NAME "Pelmora diagnostic logging")
set(PL_COMPANY_NAME "Pelmora")
# The copyright of LICENSE, which the file's properties show as its legal copyright.
set(PL_COPYRIGHT "Copyright (C) 2026 Pelmora")
# Four numbers (major, minor, patch, tweak), missing ones 0.
set(PL_VERSION_COMMAS "")
foreach(part MAJOR MINOR PATCH TWEAK)
    set(number "${PROJECT_VERSION_${part}}")
    if(number STREQUAL "")
        set(number 0)
    endif()
    list(APPEND PL_VERSION_COMMAS ${number})
endforeach()
list(JOIN PL_VERSION_COMMAS "," PL_VERSION_COMMAS)
set(PL_VERSION_RESOURCE ${PROJECT_BINARY_DIR}/generated/version_info.rc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_info.rc.in ${PL_VERSION_RESOURCE} @ONLY)

# pl_add_version_resource(TARGET RC_FILE): compiles RC_FILE, which includes version_info.rc, into TARGET.
function(pl_add_version_resource target rc_file)
    target_sources(${target} PRIVATE ${rc_file})
    get_filename_component(generated "${PL_VERSION_RESOURCE}" DIRECTORY)
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${generated}>)
    # The resource compiler's includes are not scanned: a new version rebuilds the resource all the same.
    set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS ${PL_VERSION_RESOURCE})
endfunction()
