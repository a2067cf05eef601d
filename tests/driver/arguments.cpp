#include "arguments.h"

#include <cstdlib>
#include <cwchar>

#include "window_text.h"

namespace {

const std::set<std::wstring> kNumberOptions = {
    L"hwnd",
    L"with-id",
    L"without-id",
    L"pid",
    L"id",
    L"nth",
    L"vk",
    L"for",
    L"timeout",
    L"poll",
    L"reps",
    L"cancel-at-ms",
    L"dismiss-after-ms",
    L"exit-code",
};

}  // namespace

Arguments::Arguments(std::vector<std::wstring> words, const std::set<std::wstring>& flagNames) {
    bool plainOnly = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (plainOnly || word.rfind(L"--", 0) != 0) {
            words_.push_back(word);
            continue;
        }
        const std::wstring name = word.substr(2);
        if (name.empty()) {
            plainOnly = true;
        } else if (flagNames.count(name) != 0) {
            flags_.insert(name);
        } else if (i + 1 < words.size()) {
            const std::wstring& value = words[++i];
            if (kNumberOptions.count(name) != 0 && !ParseNumber(value) && error_.empty()) {
                error_ =
                    Utf8FromWide(word) + " wants a number, not \"" + Utf8FromWide(value) + "\"";
            }
            options_.emplace(name, value);
        } else if (error_.empty()) {
            error_ = "option " + Utf8FromWide(word) + " needs a value";
        }
    }
}

bool Arguments::Has(const std::wstring& name) const {
    return flags_.count(name) != 0 || options_.count(name) != 0;
}

std::optional<std::wstring> Arguments::Value(const std::wstring& name) const {
    const auto found = options_.find(name);
    if (found == options_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<std::wstring> Arguments::Values(const std::wstring& name) const {
    std::vector<std::wstring> values;
    const auto range = options_.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) {
        values.push_back(it->second);
    }
    return values;
}

std::optional<long long> Arguments::Number(const std::wstring& name) const {
    const auto text = Value(name);
    return text ? ParseNumber(*text) : std::nullopt;
}

long long Arguments::NumberOr(const std::wstring& name, long long fallback) const {
    return Number(name).value_or(fallback);
}

long long Arguments::WaitMs(const std::wstring& name, long long fallback) const {
    return NumberOr(name, fallback) * WaitScale();
}

long long WaitScale() {
    const wchar_t* text = _wgetenv(L"ETHBOX_WAIT_SCALE");
    // 3 unless set, as scripts/wine-env.sh has it.
    const long long scale = text != nullptr ? ParseNumber(text).value_or(3) : 3;
    return scale >= 1 ? scale : 3;
}

std::vector<long long> Arguments::Numbers(const std::wstring& name) const {
    std::vector<long long> numbers;
    for (const auto& text : Values(name)) {
        numbers.push_back(ParseNumber(text).value_or(0));
    }
    return numbers;
}

std::optional<long long> ParseNumber(const std::wstring& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(text.c_str(), &end, 0);
    if (end == nullptr || *end != L'\0') {
        return std::nullopt;
    }
    return value;
}
