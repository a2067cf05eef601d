#pragma once

#include <cstdint>

// What opening the endpoint learns when it fails: the socket layer names the
// call, the endpoint an address it cannot hold. The outcome of an update
// carries it up; the socket layer needs nothing else of the outcome.

// Which step of opening the endpoint failed (message M2).
enum class EndpointFailure : std::uint8_t {
    None,
    Startup,         // WSAStartup
    Socket,          // socket()
    Bind,            // bind()
    AddressTooLong,  // more than the 63 characters the endpoint holds
};
