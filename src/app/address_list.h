#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The boxes of an unattended run. "/ip:" names one address, several joined by
// commas ("/ip:192.168.0.202,192.168.0.212"), or "@NAME", a text file beside
// the program with one address a line; blank lines and lines that start with
// "#" are left out. The file may be in the ANSI code page or UTF-8 (with or
// without its byte-order mark), or UTF-16 with its byte-order mark (Notepad's
// "Unicode"), and may end with a Ctrl-Z.

// More would tile no screen and start more processes than anyone watches.
constexpr std::size_t kMaxBoxes = 64;
// A file of kMaxBoxes addresses with comments fits many times over.
constexpr std::size_t kMaxAddressFileBytes = std::size_t{64} * 1024;

// Reads the file NAME (in the ANSI code page, as the command line gives it) beside
// the program into `contents`, its bytes as they are; false when it cannot be
// read or is larger than kMaxAddressFileBytes.
using AddressFileReader = std::function<bool(const std::string& name, std::string& contents)>;
bool ReadAddressFileBesideProgram(const std::string& name, std::string& contents);

// The addresses of an "/ip:" text that is a list or names a file (see
// IsAddressList), each as it is to be typed: without blanks, in the order
// given. False, with `addresses` empty, when any of them is not an address
// the dialog would accept, two of them name one device (127.0.0.1 and
// 127.000.000.001), there are none or more than kMaxBoxes, or the file cannot
// be read (UTF-16 cut short included): then no box may be updated.
bool ReadAddressList(const std::string& option, const AddressFileReader& readFile,
                     std::vector<std::string>& addresses);

// True when the text of "/ip:" is more than one address: a comma in it, or a
// file name after "@". A single address is taken exactly as the dialog takes
// a typed one.
bool IsAddressList(const std::string& option);
