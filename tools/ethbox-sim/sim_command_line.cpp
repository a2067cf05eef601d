#include "sim_command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "sim_faults.h"

namespace {

bool ParseNumber(const std::string& text, long minimum, long maximum, int* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < minimum || number > maximum) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

std::string NotANumberFrom(const std::string& name, long minimum, long maximum,
                           const std::string& value) {
    return name + ": not a number from " + std::to_string(minimum) + " to " +
           std::to_string(maximum) + ": " + value;
}

bool ReadFile(const std::string& path, std::string* content) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    content->clear();
    char chunk[4096];
    std::size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        content->append(chunk, count);
    }
    bool ok = std::ferror(file) == 0;
    static_cast<void>(std::fclose(file));  // only read: a failed close loses nothing
    return ok;
}

// A switch that sets a field of the options: a flag, or a number read from its
// value; or one that is another spelling of --fault, N in its fault standing
// for the number.
struct Switch {
    const char* name;
    bool SimulatorOptions::*flag = nullptr;
    int SimulatorOptions::*number = nullptr;
    long minimum = 0;
    long maximum = 0;
    const char* fault = nullptr;
};

constexpr Switch kSwitches[] = {
    {"--allow-any-address", &SimulatorOptions::allowAnyAddress},
    {"--silent", &SimulatorOptions::silent},
    {"--read-block2-first", &SimulatorOptions::probeBlock2First},
    {"--answer-from-other-port", &SimulatorOptions::answerFromOtherPort},
    {"--time-limit", nullptr, &SimulatorOptions::timeLimitSeconds, 0, 86400},
    {"--retransmit-ms", nullptr, &SimulatorOptions::retransmitMs, 1, 60000},
    {"--retries", nullptr, &SimulatorOptions::maxRetransmits, 0, 100},
    {"--write-idle-ms", nullptr, &SimulatorOptions::writeIdleMs, 1, 600000},
    {"--empty-replies", nullptr, &SimulatorOptions::emptyReplies, 0, 1000000},
    {"--late-ms", nullptr, &SimulatorOptions::lateAckMs, 0, 600000},
    {"--drop-ack", nullptr, nullptr, 0, 65535, "ackN:drop"},
    {"--duplicate-ack", nullptr, nullptr, 0, 65535, "ackN:duplicate"},
    {"--late-ack", nullptr, nullptr, 0, 65535, "ackN:late"},
    {"--wrong-ack", nullptr, nullptr, 0, 65535, "ackN:wrong-block"},
    // An ACK that carries the DATA opcode is the empty DATA packet of that number.
    {"--data-instead-of-ack", nullptr, nullptr, 0, 65535, "ackN:opcode=3"},
    {"--read-error", nullptr, nullptr, 0, 65535, "data1:error=N"},
};

const Switch* FindSwitch(const std::string& name) {
    for (const Switch& known : kSwitches) {
        if (name == known.name) {
            return &known;
        }
    }
    return nullptr;
}

std::string Spelled(const std::string& fault, int number) {
    std::string text = fault;
    return text.replace(text.find('N'), 1, std::to_string(number));
}

bool AddFault(const std::string& name, const std::string& text, SimulatorOptions* options,
              std::string* error) {
    FaultyAnswer fault;
    if (!ParseFaultyAnswer(text, &fault, error)) {
        *error = name + ": " + *error;
        return false;
    }
    options->faults.push_back(fault);
    return true;
}

}  // namespace

const char* SimUsage() {
    return "Usage: ethbox-sim [switches]\n"
           "A TFTP server that stands in for the device: serves /info.sys, accepts a\n"
           "write of \"/\" in octet mode, and logs every datagram it receives and sends.\n"
           "\n"
           "  --bind ADDR             address to listen on (default 127.0.0.1). Only\n"
           "                          127.0.0.0/8 is accepted unless --allow-any-address\n"
           "                          is given too.\n"
           "  --allow-any-address     allow a bind address outside 127.0.0.0/8; meant for a\n"
           "                          host inside a test's own network namespace only\n"
           "  --port N                request port (default 69; 0: the system chooses)\n"
           "  --kind ap|e2|none       /info.sys holds \"1\\r\\n\" (ap, the default), \"0\\r\\n\"\n"
           "                          (e2), or does not exist (none: ERROR 1)\n"
           "  --info-content TEXT     the whole /info.sys (overrides --kind)\n"
           "  --info-file FILE        the whole /info.sys, read from FILE\n"
           "  --image-out FILE        write each received image to FILE as well\n"
           "  --time-limit SECONDS    exit after this long (default 60; 0: never)\n"
           "  --retransmit-ms MS      resend a DATA block of a read not acknowledged\n"
           "                          within MS (default 1000)\n"
           "  --retries N             resends before a read is given up (default 3)\n"
           "  --write-idle-ms MS      a write gives up after MS without DATA (default\n"
           "                          10000)\n"
           "  --quiet                 print no line per datagram, only the others\n"
           "  --timestamps            lead each line with the wall-clock time it was\n"
           "                          printed, in seconds since 1970 to the microsecond\n"
           "  --help                  show this text\n"
           "\n"
           "Misbehaviours of the whole device:\n"
           "  --silent                answer nothing at all\n"
           "  --empty-replies N       answer the first N requests with an empty datagram\n"
           "  --read-block2-first     answer a read with DATA block 2 instead of block 1\n"
           "  --answer-from-other-port\n"
           "                          after its first answer, a transfer answers from a\n"
           "                          second port (DATA is accepted at both)\n"
           "\n"
           "Faulty answers:\n"
           "  --fault ANSWER:KIND     spoil one answer; repeat for more. ANSWER is ackN\n"
           "                          (the write's ACK of block N, 0 = of the WRQ) or\n"
           "                          dataN (a read's DATA block N). KIND is one of\n"
           "                            drop          not sent (a resend still is)\n"
           "                            duplicate     sent twice\n"
           "                            late          sent --late-ms late\n"
           "                            wrong-block   numbered N+1\n"
           "                            opcode=OP     with opcode OP instead of its own\n"
           "                            empty         an empty datagram instead\n"
           "                            error=CODE    ERROR CODE instead; the transfer ends\n"
           "                            other-port    sent from a second port of the\n"
           "                                          transfer (which takes DATA too)\n"
           "                          e.g. --fault ack3:drop --fault data1:error=2.\n"
           "  --late-ms MS            how late a late answer comes (default 1500)\n"
           "Other spellings of --fault:\n"
           "  --drop-ack N            ackN:drop (a lost packet: a resent DATA block is\n"
           "                          still acknowledged)\n"
           "  --duplicate-ack N       ackN:duplicate\n"
           "  --late-ack N            ackN:late\n"
           "  --wrong-ack N           ackN:wrong-block\n"
           "  --data-instead-of-ack N ackN:opcode=3, an empty DATA packet numbered N\n"
           "  --read-error CODE       data1:error=CODE, a read of /info.sys gets ERROR CODE\n"
           "\n"
           "Reads of /info.sys (or info.sys) in octet or netascii mode and writes of\n"
           "\"/\" in octet mode are served; any other file gets ERROR 1 for a read and\n"
           "ERROR 2 for a write. Every transfer has its own port, several run at once,\n"
           "and a datagram to a transfer port from anyone but its peer gets ERROR 5.\n"
           "\n"
           "Output: \"ready ADDR:PORT\" once listening; one line per datagram, e.g.\n"
           "  recv 127.0.0.1:54321 -> :69 len=18 RRQ file=/info.sys mode=octet\n"
           "  send :40000 -> 127.0.0.1:54321 len=4 ACK block=0\n"
           "and \"image length=N sha256=HEX\" when the last block of a write arrives.\n";
}

bool ParseSimCommandLine(const std::vector<std::string>& arguments, SimCommandLine* commandLine,
                         std::string* error) {
    SimulatorOptions& options = commandLine->options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        std::string value;
        auto takeValue = [&]() {
            if (i + 1 >= arguments.size()) {
                *error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        auto takeNumber = [&](long minimum, long maximum, int* number) {
            if (!takeValue()) {
                return false;
            }
            if (!ParseNumber(value, minimum, maximum, number)) {
                *error = NotANumberFrom(name, minimum, maximum, value);
                return false;
            }
            return true;
        };
        int number = 0;
        bool ok = true;
        if (const Switch* known = FindSwitch(name)) {
            if (known->flag != nullptr) {
                options.*(known->flag) = true;
            } else if (!takeNumber(known->minimum, known->maximum, &number)) {
                ok = false;
            } else if (known->number != nullptr) {
                options.*(known->number) = number;
            } else {
                ok = AddFault(name, Spelled(known->fault, number), &options, error);
            }
        } else if (name == "--fault") {
            ok = takeValue() && AddFault(name, value, &options, error);
        } else if (name == "--help" || name == "-h") {
            commandLine->help = true;
        } else if (name == "--quiet") {
            commandLine->quiet = true;
        } else if (name == "--timestamps") {
            commandLine->timestamps = true;
        } else if (name == "--bind") {
            ok = takeValue();
            options.bindAddress = value;
        } else if (name == "--port") {
            ok = takeNumber(0, 65535, &number);
            options.port = static_cast<std::uint16_t>(number);
        } else if (name == "--kind") {
            ok = takeValue();
            if (ok && value == "ap") {
                options.infoFile = InfoFile::Ap;
            } else if (ok && value == "e2") {
                options.infoFile = InfoFile::E2;
            } else if (ok && value == "none") {
                options.infoFile = InfoFile::Missing;
            } else if (ok) {
                *error = "--kind: ap, e2 or none, not " + value;
                ok = false;
            }
        } else if (name == "--info-content") {
            ok = takeValue();
            options.infoContent = value;
        } else if (name == "--info-file") {
            ok = takeValue();
            if (ok && !ReadFile(value, &options.infoContent)) {
                *error = "--info-file: cannot read " + value;
                ok = false;
            }
        } else if (name == "--image-out") {
            ok = takeValue();
            options.imagePath = value;
        } else {
            *error = "unknown switch: " + name;
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}
