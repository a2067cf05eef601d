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
           "Misbehaviours (BLOCK: number of the write's ACK, 0 = the ACK of the WRQ):\n"
           "  --silent                answer nothing at all\n"
           "  --empty-replies N       answer the first N requests with an empty datagram\n"
           "  --read-block2-first     answer a read with DATA block 2 instead of block 1\n"
           "  --read-error CODE       answer a read with ERROR CODE\n"
           "  --duplicate-ack BLOCK   send the ACK of BLOCK twice\n"
           "  --drop-ack BLOCK        do not send the ACK of BLOCK (a lost packet: a\n"
           "                          resent DATA block is still acknowledged)\n"
           "  --late-ack BLOCK        send the ACK of BLOCK late\n"
           "  --late-ms MS            how late (default 1500)\n"
           "  --wrong-ack BLOCK       acknowledge BLOCK with the number BLOCK+1\n"
           "  --data-instead-of-ack BLOCK\n"
           "                          send an empty DATA packet numbered BLOCK instead of\n"
           "                          its ACK\n"
           "  --answer-from-other-port\n"
           "                          after its first answer, a transfer answers from a\n"
           "                          second port (DATA is accepted at both)\n"
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
           "                          The per-block switches above are shorthands:\n"
           "                          --drop-ack 3 is --fault ack3:drop, and\n"
           "                          --data-instead-of-ack 3 is --fault ack3:opcode=3.\n"
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
        if (name == "--help" || name == "-h") {
            commandLine->help = true;
        } else if (name == "--quiet") {
            commandLine->quiet = true;
        } else if (name == "--timestamps") {
            commandLine->timestamps = true;
        } else if (name == "--bind") {
            ok = takeValue();
            options.bindAddress = value;
        } else if (name == "--allow-any-address") {
            options.allowAnyAddress = true;
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
        } else if (name == "--time-limit") {
            ok = takeNumber(0, 86400, &options.timeLimitSeconds);
        } else if (name == "--retransmit-ms") {
            ok = takeNumber(1, 60000, &options.retransmitMs);
        } else if (name == "--retries") {
            ok = takeNumber(0, 100, &options.maxRetransmits);
        } else if (name == "--write-idle-ms") {
            ok = takeNumber(1, 600000, &options.writeIdleMs);
        } else if (name == "--silent") {
            options.silent = true;
        } else if (name == "--empty-replies") {
            ok = takeNumber(0, 1000000, &options.emptyReplies);
        } else if (name == "--read-block2-first") {
            options.probeBlock2First = true;
        } else if (name == "--read-error") {
            ok = takeNumber(0, 65535, &options.probeErrorCode);
        } else if (name == "--duplicate-ack") {
            ok = takeNumber(0, 65535, &options.duplicateAckAt);
        } else if (name == "--drop-ack") {
            ok = takeNumber(0, 65535, &options.dropAckAt);
        } else if (name == "--late-ack") {
            ok = takeNumber(0, 65535, &options.lateAckAt);
        } else if (name == "--late-ms") {
            ok = takeNumber(0, 600000, &options.lateAckMs);
        } else if (name == "--wrong-ack") {
            ok = takeNumber(0, 65535, &options.wrongAckAt);
        } else if (name == "--data-instead-of-ack") {
            ok = takeNumber(0, 65535, &options.dataInsteadOfAckAt);
        } else if (name == "--answer-from-other-port") {
            options.answerFromOtherPort = true;
        } else if (name == "--fault") {
            FaultyAnswer fault;
            ok = takeValue();
            if (ok && !ParseFaultyAnswer(value, &fault, error)) {
                *error = "--fault: " + *error;
                ok = false;
            }
            if (ok) {
                options.faults.push_back(fault);
            }
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
