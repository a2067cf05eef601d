#pragma once

// In this order: iphlpapi.h needs the types of the three before it.
#include <winsock2.h>

#include <windows.h>

#include <ws2ipdef.h>

#include <iphlpapi.h>

#include "platform/network_facts.h"

// What a state of the neighbour table says of a device at the address.
NeighbourState NeighbourStateOf(NL_NEIGHBOR_STATE state);
