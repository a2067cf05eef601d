# What the Windows gatherer of network facts makes of what Windows says, the
# firewall's policy among it through a fake that the test hands it.
if(WIN32)
    add_executable(network_facts_windows_test
        ${CMAKE_CURRENT_LIST_DIR}/windows/network_facts_windows_test.cpp)
    target_link_libraries(network_facts_windows_test PRIVATE ethbox_core oleaut32
                          ${ETHBOX_GTEST_LIBRARIES})
    gtest_discover_tests(network_facts_windows_test DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT ${ETHBOX_DISCOVERY_TIMEOUT}
                         PROPERTIES TIMEOUT ${ETHBOX_UNIT_TIMEOUT})
endif()
