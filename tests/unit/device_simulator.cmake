# The simulator's tests: the UDP client they use, and the interoperability
# test with a real TFTP client (tftp-hpa), which exists only natively.
target_sources(device_simulator_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support/sim_udp_peer.cpp)

if(NOT WIN32)
    add_test(NAME sim.tftp_hpa_interop
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/../sim/tftp-hpa-test.sh $<TARGET_FILE:ethbox-sim>)
    set_tests_properties(sim.tftp_hpa_interop PROPERTIES TIMEOUT ${ETHBOX_UNIT_TIMEOUT})
endif()
