# Parts of the Win32 shell that can be tested without its windows.
if(WIN32)
    add_executable(single_instance_test
        ${CMAKE_CURRENT_LIST_DIR}/win32/single_instance_test.cpp
        ${PROJECT_SOURCE_DIR}/src/app/win32/single_instance.cpp)
    target_include_directories(single_instance_test PRIVATE ${PROJECT_SOURCE_DIR}/src/app/win32)
    target_link_libraries(single_instance_test PRIVATE ${ETHBOX_GTEST_LIBRARIES})
    # It holds the name by which EthBoxVup tells that it runs already: the
    # unit tests run in a Windows session of their own, where no EthBoxVup does.
    gtest_discover_tests(single_instance_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 120)

    # The command line in the bytes of each kind of code page.
    add_executable(ansi_command_line_test
        ${CMAKE_CURRENT_LIST_DIR}/win32/ansi_command_line_test.cpp
        ${PROJECT_SOURCE_DIR}/src/app/win32/ansi_command_line.cpp)
    target_include_directories(ansi_command_line_test PRIVATE ${PROJECT_SOURCE_DIR}/src/app/win32)
    target_link_libraries(ansi_command_line_test PRIVATE ${ETHBOX_GTEST_LIBRARIES})
    gtest_discover_tests(ansi_command_line_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 120)

    # The program's folder out of the DLL search: a DLL of a name of its own,
    # planted beside the test program, loads before the step and not after.
    add_library(ethbox_planted SHARED ${CMAKE_CURRENT_LIST_DIR}/win32/planted_dll.c)
    set_target_properties(ethbox_planted PROPERTIES PREFIX "")
    add_executable(dll_search_test
        ${CMAKE_CURRENT_LIST_DIR}/win32/dll_search_test.cpp
        ${PROJECT_SOURCE_DIR}/src/app/win32/dll_search.cpp)
    target_include_directories(dll_search_test PRIVATE ${PROJECT_SOURCE_DIR}/src/app/win32)
    target_link_libraries(dll_search_test PRIVATE ${ETHBOX_GTEST_LIBRARIES})
    add_dependencies(dll_search_test ethbox_planted)
    gtest_discover_tests(dll_search_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES TIMEOUT 120)
endif()
