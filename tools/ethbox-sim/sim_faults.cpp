#include "sim_faults.h"

#include <cerrno>
#include <cstdlib>

namespace {

struct KindName {
    AnswerFault fault;
    const char* name;
    bool takesValue;
};

constexpr KindName kKinds[] = {
    {AnswerFault::Drop, "drop", false},         {AnswerFault::Duplicate, "duplicate", false},
    {AnswerFault::Late, "late", false},         {AnswerFault::WrongBlock, "wrong-block", false},
    {AnswerFault::WrongOpcode, "opcode", true}, {AnswerFault::Empty, "empty", false},
    {AnswerFault::Error, "error", true},        {AnswerFault::OtherPort, "other-port", false},
};

// A 16-bit field's value, as the answers carry block numbers, opcodes and codes.
bool ParseField(const std::string& text, int* value) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    const long number = std::strtol(text.c_str(), nullptr, 10);
    if (number > 65535) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

bool ParseFaultyAnswer(const std::string& text, FaultyAnswer* fault, std::string* error) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        *error = "not ANSWER:KIND: " + text;
        return false;
    }
    const std::string answer = text.substr(0, colon);
    std::string kind = text.substr(colon + 1);
    FaultyAnswer parsed;
    std::string number;
    if (answer.rfind("ack", 0) == 0) {
        number = answer.substr(3);
    } else if (answer.rfind("data", 0) == 0) {
        parsed.inRead = true;
        number = answer.substr(4);
    } else {
        *error = "the answer is ackN or dataN, not " + answer;
        return false;
    }
    // A read's first block is 1: there is no DATA 0 to get wrong.
    if (!ParseField(number, &parsed.block) || (parsed.inRead && parsed.block == 0)) {
        *error = "no such block: " + answer;
        return false;
    }
    std::string value;
    const std::size_t equals = kind.find('=');
    if (equals != std::string::npos) {
        value = kind.substr(equals + 1);
        kind.erase(equals);
    }
    for (const KindName& known : kKinds) {
        if (kind != known.name) {
            continue;
        }
        parsed.fault = known.fault;
        if (known.takesValue != (equals != std::string::npos) ||
            (known.takesValue && !ParseField(value, &parsed.value))) {
            *error = std::string(known.name) +
                     (known.takesValue ? " needs =N with N from 0 to 65535" : " takes no value");
            return false;
        }
        *fault = parsed;
        return true;
    }
    *error = "no such misbehaviour: " + kind;
    return false;
}

std::string FaultyAnswerText(const FaultyAnswer& fault) {
    std::string text = (fault.inRead ? "data" : "ack") + std::to_string(fault.block) + ":";
    for (const KindName& known : kKinds) {
        if (known.fault == fault.fault) {
            text += known.name;
            if (known.takesValue) {
                text += "=" + std::to_string(fault.value);
            }
        }
    }
    return text;
}
