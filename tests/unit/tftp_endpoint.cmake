# The endpoint's tests: a listener that tells where each datagram was sent.
target_sources(tftp_endpoint_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/support/destination_listener.cpp)
