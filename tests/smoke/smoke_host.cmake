# The smoke host and its helpers, built the way a host application builds: pl_add_smoke_host(KITBAG TRACE
# CONSOLE VERSION) links them with those library targets (the build tree's or an installed package's);
# VERSION is the version the libraries' version resources must show (the project's or the package's).
# Windows only: smoke_exit_probe.dll, which smoke_unload_host loads before Console.
function(pl_add_smoke_host kitbag trace console version)
    set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    add_executable(smoke_host ${dir}/smoke_host.cpp)
    target_link_libraries(smoke_host PRIVATE ${kitbag} ${trace} ${console})
    target_compile_definitions(smoke_host PRIVATE PL_SMOKE_EXPECTED_VERSION="${version}")
    if(WIN32)
        target_sources(smoke_host PRIVATE ${dir}/smoke_platform_win32.cpp)
        target_link_libraries(smoke_host PRIVATE version)
        add_executable(smoke_unload_host ${dir}/smoke_unload_host_win32.cpp)
        add_library(smoke_exit_probe SHARED ${dir}/exit_probe_win32.cpp)
        set_target_properties(smoke_exit_probe PROPERTIES PREFIX "")
        # The probe links no library of ours but must share Console's runtime to catch its exception.
        target_link_options(smoke_exit_probe PRIVATE $<TARGET_PROPERTY:${console},INTERFACE_LINK_OPTIONS>)
        target_link_options(smoke_unload_host PRIVATE $<TARGET_PROPERTY:${console},INTERFACE_LINK_OPTIONS>)
        add_dependencies(smoke_host smoke_unload_host smoke_exit_probe)
    else()
        target_sources(smoke_host PRIVATE ${dir}/smoke_platform_posix.cpp)
        add_executable(smoke_unload_host ${dir}/smoke_unload_host_posix.cpp)
        target_link_libraries(smoke_unload_host PRIVATE ${CMAKE_DL_LIBS})
        add_dependencies(smoke_host smoke_unload_host)
    endif()
endfunction()
