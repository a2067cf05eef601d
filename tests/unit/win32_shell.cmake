# Parts of the Win32 shell that can be tested without its windows.
if(WIN32)
    # ethbox_add_shell_test(NAME SOURCE...): tests/unit/win32/NAME.cpp with the
    # shell's SOURCEs, one test program.
    function(ethbox_add_shell_test name)
        list(TRANSFORM ARGN PREPEND ${PROJECT_SOURCE_DIR}/src/app/win32/)
        add_executable(${name} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/win32/${name}.cpp ${ARGN})
        target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src/app/win32)
        target_link_libraries(${name} PRIVATE ${ETHBOX_GTEST_LIBRARIES})
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${ETHBOX_DISCOVERY_TIMEOUT}
                             PROPERTIES TIMEOUT ${ETHBOX_UNIT_TIMEOUT})
    endfunction()

    # It holds the name by which EthBoxVup tells that it runs already: the
    # unit tests run in a Windows session of their own, where no EthBoxVup does.
    ethbox_add_shell_test(single_instance_test single_instance.cpp)

    # The command line in the bytes of each kind of code page.
    ethbox_add_shell_test(ansi_command_line_test ansi_command_line.cpp)

    # The program's folder out of the DLL search: a DLL of a name of its own,
    # planted beside the test program, loads before the step and not after.
    add_library(ethbox_planted SHARED ${CMAKE_CURRENT_LIST_DIR}/win32/planted_dll.c)
    set_target_properties(ethbox_planted PROPERTIES PREFIX "")
    ethbox_add_shell_test(dll_search_test dll_search.cpp)
    add_dependencies(dll_search_test ethbox_planted)
endif()
