#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// One subcommand's arguments: "--name value" options, "--flag" switches and
// plain words; everything after "--" is a plain word however it looks.
class Arguments {
  public:
    Arguments(std::vector<std::wstring> words, const std::set<std::wstring>& flagNames);

    bool Has(const std::wstring& name) const;
    std::optional<std::wstring> Value(const std::wstring& name) const;
    std::vector<std::wstring> Values(const std::wstring& name) const;  // a repeated option
    const std::vector<std::wstring>& Words() const { return words_; }

    // The options that take a number (ids, handles, times, counts), whatever
    // the command, are checked as they are read: a command that runs has
    // numbers in all of them.
    std::optional<long long> Number(const std::wstring& name) const;
    long long NumberOr(const std::wstring& name, long long fallback) const;
    std::vector<long long> Numbers(const std::wstring& name) const;
    // A time-out: the option's milliseconds, or `fallback`, times WaitScale().
    long long WaitMs(const std::wstring& name, long long fallback) const;

    // The first complaint found while reading the arguments, or empty.
    const std::string& Error() const { return error_; }

  private:
    std::multimap<std::wstring, std::wstring> options_;
    std::set<std::wstring> flags_;
    std::vector<std::wstring> words_;
    std::string error_;
};

// How many times its time on a quiet machine every wait may take: the
// harness's ETHBOX_WAIT_SCALE, a whole number from 1 (1 when unset).
long long WaitScale();

// Reads a decimal or 0x-prefixed hexadecimal number; empty when it is not one.
std::optional<long long> ParseNumber(const std::wstring& text);
