#include "platform/record_file.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/file_access.h"

namespace {

// "/", and on Windows "\\" too (no name here holds one elsewhere).
constexpr PathChar kSeparators[] = {PathChar{'/'}, PathChar{'\\'}, PathChar{}};

constexpr std::size_t kMarkLength = sizeof kUtf8ByteOrderMark - 1;

bool BeginsWithMark(const std::string& contents) {
    return contents.compare(0, kMarkLength, kUtf8ByteOrderMark) == 0;
}

// The lines of a pending file, without its mark and header, the last one ended.
std::string LinesOf(const std::string& pending, const std::string& header) {
    std::string lines = pending;
    if (BeginsWithMark(lines)) {
        lines.erase(0, kMarkLength);
    }
    if (lines.compare(0, header.size(), header) == 0) {
        lines.erase(0, header.size());
    }
    return lines.empty() ? lines : lines + EndOfLastLine(lines);
}

}  // namespace

std::string EndOfLastLine(const std::string& contents) {
    // Read as a spreadsheet reads CSV: a double quote opens a quoted field
    // only at the field's start; in one, a doubled one stands for itself.
    enum class State { FieldStart, Plain, Quoted, QuoteInQuoted } state = State::FieldStart;
    for (const char c : contents) {
        const bool fieldEnd = c == ',' || c == '\n';
        switch (state) {
            case State::FieldStart:
                state = c == '"' ? State::Quoted : fieldEnd ? State::FieldStart : State::Plain;
                break;
            case State::Plain:
            case State::QuoteInQuoted:
                state = c == '"' && state == State::QuoteInQuoted ? State::Quoted
                        : fieldEnd                                ? State::FieldStart
                                                                  : State::Plain;
                break;
            case State::Quoted:
                state = c == '"' ? State::QuoteInQuoted : State::Quoted;
                break;
        }
    }
    if (state == State::Quoted) {
        return "\"\r\n";
    }
    if (contents.empty() || contents.back() == '\n') {
        return {};
    }
    return contents.back() == '\r' ? "\n" : "\r\n";
}

RecordAside AsideFor(const std::string& contents, std::int64_t size) {
    if (size > 0 && !BeginsWithMark(contents)) {
        return RecordAside::Kept;
    }
    return size > kRecordRotationBytes ? RecordAside::Rotated : RecordAside::None;
}

std::string TextToAppend(const std::string& contents, const std::string& header,
                         const std::string& lines) {
    if (contents.size() <= kMarkLength) {  // new, or the mark alone
        return (contents.empty() ? kUtf8ByteOrderMark : "") + header + lines;
    }
    return EndOfLastLine(contents.substr(kMarkLength)) + lines;
}

NativePath RecordSibling(const NativePath& path, const char* suffix) {
    const std::size_t dot = path.rfind(PathChar{'.'});
    NativePath sibling = path.substr(0, dot);
    for (const char* c = suffix; *c != '\0'; ++c) {
        sibling += static_cast<PathChar>(*c);
    }
    return sibling + (dot == NativePath::npos ? NativePath() : path.substr(dot));
}

NativePath RecordFolder(const NativePath& path) {
    const std::size_t separator = path.find_last_of(kSeparators);
    return separator == NativePath::npos ? NativePath() : path.substr(0, separator);
}

bool ReadRecordFile(const NativePath& path, std::string& contents) {
    contents.clear();
    std::FILE* file = OpenRegularFileForReading(path.c_str());
    if (file == nullptr) {
        return false;
    }
    const std::int64_t size = MeasureOpenFile(file);
    bool read = size >= 0;
    if (read && size > 0) {
        contents.resize(static_cast<std::size_t>(size));
        read = std::fread(&contents[0], 1, contents.size(), file) == contents.size();
    }
    static_cast<void>(std::fclose(file));  // only read
    return read;
}

namespace {

// A record held by another program for a moment (a backup, a virus scanner,
// an EthBoxVup that could not have the delivery lock) is waited out; one
// that keeps the file open (a spreadsheet) is waited for no longer than this.
constexpr int kLockedRetries = 40;
constexpr std::chrono::milliseconds kLockedRetryPause{25};

RecordWrite AppendWaitingOutBriefHolds(const NativePath& path, const std::string& header,
                                       const std::string& lines) {
    for (int retry = 0;; ++retry) {
        const RecordWrite result = AppendRecordLines(path, header, lines);
        if (result != RecordWrite::Locked || retry == kLockedRetries) {
            return result;
        }
        std::this_thread::sleep_for(kLockedRetryPause);
    }
}

// The lines waiting in the pending file, taken out of it: true with them
// (none when there is no such file), false when it is there but cannot be
// taken whole, read and removed (held by another program, or saved again by
// a spreadsheet in its own encoding), so that nothing may go ahead of it.
bool TakePendingLines(const NativePath& pending, const std::string& header, std::string& lines) {
    lines.clear();
    if (pending.empty() || !RecordFileExists(pending)) {
        return true;
    }
    std::string contents;
    if (!ReadRecordFile(pending, contents) || (!contents.empty() && !BeginsWithMark(contents)) ||
        !RemoveRecordFile(pending)) {
        return false;
    }
    lines = LinesOf(contents, header);
    return true;
}

}  // namespace

void DeliverRecordLine(const RecordPlaces& places, const std::string& header,
                       const std::string& line) {
    const RecordDeliveryLock oneAtATime;
    std::string waiting;
    if (!TakePendingLines(places.pending, header, waiting) &&
        AppendWaitingOutBriefHolds(places.pending, header, line) == RecordWrite::Written) {
        return;
    }
    const std::string lines = waiting + line;
    for (const NativePath* record : {&places.beside, &places.fallback}) {
        if (record->empty()) {
            continue;
        }
        const RecordWrite result = AppendWaitingOutBriefHolds(*record, header, lines);
        if (result == RecordWrite::Written) {
            return;
        }
        if (result == RecordWrite::Locked) {
            break;  // held by another program: the lines wait for it
        }
    }
    // Not written anywhere: every line waits in the pending file, in order,
    // for the next time a record can be written.
    if (!places.pending.empty()) {
        static_cast<void>(AppendWaitingOutBriefHolds(places.pending, header, lines));
    }
}
