#pragma once

#include <cstdint>

#include "common/update_outcome.h"
#include "platform/network_facts.h"

// Why nothing answered, judged from facts alone, so that every PC met in the
// field can be tried natively as a row of a table.

// True when the update ended because nothing answered: M3 or M4 with no
// answer, M5 with a block unacknowledged, or a send the socket layer refused.
bool NothingAnswered(const UpdateOutcome& outcome);

// The first cause that holds for `outcome`, which NothingAnswered, at
// `address` (host byte order). During the transfer the device had answered:
// only what changed since is said.
NetworkDiagnosis DiagnoseNoAnswer(const UpdateOutcome& outcome, std::uint32_t address,
                                  const NetworkFacts& facts);

// The same, with Windows Firewall read by `readFirewall` only where it could
// tell more: a device answered ARP, not TFTP. Reading it starts COM, which
// costs more than the rest of the look together.
NetworkDiagnosis DiagnoseNoAnswer(const UpdateOutcome& outcome, std::uint32_t address,
                                  NetworkFacts facts, FirewallFacts (*readFirewall)());
