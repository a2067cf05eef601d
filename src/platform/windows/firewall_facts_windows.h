#pragma once

#include <windows.h>
// windows.h first: netfw.h needs its types.
#include <netfw.h>

#include <string>

#include "platform/network_facts.h"

// What Windows Firewall says about the device's replies to this program, read
// only through INetFwPolicy2: nothing is changed, no rule written. Every
// failure (no COM, no DLL, a call Windows or Wine does not carry out, access
// denied, the time limit) leaves the facts not known.

// The time the reading may take, COM's start included. Checked between
// calls: one call that hangs is not cut short.
constexpr DWORD kFirewallReadingLimitMs = 150;

// Reads `policy` for the program at `programPath` (its full path, as
// GetModuleFileNameW gives it), within `timeLimitMs`. The policy's own
// objects are the caller's: a real one from COM (GatherFirewallFacts), or a
// test's.
FirewallFacts ReadFirewallPolicy(INetFwPolicy2& policy, const std::wstring& programPath,
                                 DWORD timeLimitMs);
