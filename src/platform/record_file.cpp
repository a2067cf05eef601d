#include "platform/record_file.h"

#include <chrono>
#include <thread>
#include <vector>

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

RecordAside AsideFor(const std::string& contents, std::int64_t size, WhenFull whenFull) {
    if (size > 0 && !BeginsWithMark(contents)) {
        return RecordAside::Kept;
    }
    if (size <= kRecordRotationBytes) {
        return RecordAside::None;
    }
    return whenFull == WhenFull::Rotate ? RecordAside::Rotated : RecordAside::Kept;
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

NativePath PendingLinesOf(const NativePath& record) {
    return RecordSibling(record, ".pending");
}

namespace {

// Waiting lines are kept aside once past kRecordRotationBytes, at the next
// line that joins them, so those that can be taken hold that and the lines of
// one delivery at most; larger ones are not read, and so kept aside next.
constexpr std::size_t kMaxPendingBytes = 2 * static_cast<std::size_t>(kRecordRotationBytes);

// A record that another program holds for a moment (a backup, a virus
// scanner) is tried again this often, for about a second in all, each try
// under the lock and none of the waiting inside it.
constexpr int kHeldRetries = 10;
constexpr std::chrono::milliseconds kHeldRetryPause{100};

// The lines waiting in `pending`, taken out of it: true with them (none when
// there is no such file), false when it is there but cannot be taken whole
// (held by another program, saved again by a spreadsheet in its own
// encoding, or too large), so that nothing may go ahead of it.
bool TakePendingLines(const NativePath& pending, const std::string& header, std::string& lines) {
    lines.clear();
    if (!RecordFileExists(pending)) {
        return true;
    }
    std::string contents;
    if (!ReadSmallFile(pending.c_str(), kMaxPendingBytes, contents) ||
        (!contents.empty() && !BeginsWithMark(contents)) || !RemoveRecordFile(pending)) {
        return false;
    }
    lines = LinesOf(contents, header);
    return true;
}

// `lines` put behind those that wait for `record`; true when they are.
bool LeaveWaiting(const NativePath& record, const std::string& header, const std::string& lines) {
    return lines.empty() || AppendRecordLines(PendingLinesOf(record), header, lines,
                                              WhenFull::KeepAside) == RecordWrite::Written;
}

enum class Offer : std::uint8_t {
    Written,     // the record has every line
    Waiting,     // they wait for it, behind its waiting lines
    NotWritten,  // `lines` holds every line, for the next place
};

// Offers `lines` (none, or the new line after any that another record could
// not take) to `record`, whose own waiting lines go first.
Offer OfferLines(const NativePath& record, const std::string& header, std::string& lines) {
    // Only looked at first, so that waiting lines are not taken out and put
    // back each time a spreadsheet still holds the record.
    if (RecordHeldByAnother(record)) {
        return LeaveWaiting(record, header, lines) ? Offer::Waiting : Offer::NotWritten;
    }
    std::string waiting;
    if (!TakePendingLines(PendingLinesOf(record), header, waiting) &&
        LeaveWaiting(record, header, lines)) {
        return Offer::Waiting;
    }
    // (Waiting lines that can neither be taken nor joined let the new ones go
    // ahead of them: out of order, rather than not at all.)
    lines = waiting + lines;
    if (lines.empty()) {
        return Offer::Written;
    }
    const RecordWrite result = AppendRecordLines(record, header, lines);
    if (result == RecordWrite::Written) {
        return Offer::Written;
    }
    // Held since it was looked at: the lines wait for it after all.
    if (result == RecordWrite::Locked && LeaveWaiting(record, header, lines)) {
        return Offer::Waiting;
    }
    return Offer::NotWritten;
}

// Delivers `lines` to the first of `records`, from `first` on, that takes
// them; the index of the record they wait for, or records.size() when none.
std::size_t DeliverFrom(const std::vector<NativePath>& records, std::size_t first,
                        const std::string& header, std::string lines) {
    const NativePath* last = nullptr;
    for (std::size_t index = first; index < records.size(); ++index) {
        if (records[index].empty()) {
            continue;
        }
        last = &records[index];
        switch (OfferLines(records[index], header, lines)) {
            case Offer::Written:
                return records.size();
            case Offer::Waiting:
                return index;
            case Offer::NotWritten:
                break;  // on to the next place, every line with them
        }
    }
    // Written nowhere (a full disk, say): every line waits for the last
    // record, for the next time it can be written.
    if (last != nullptr && !lines.empty() && LeaveWaiting(*last, header, lines)) {
        return static_cast<std::size_t>(last - records.data());
    }
    return records.size();
}

}  // namespace

void DeliverRecordLine(const RecordPlaces& places, const std::string& header,
                       const std::string& line) {
    const std::vector<NativePath> records{places.beside, places.fallback};
    std::size_t waitingAt = [&] {
        const RecordDeliveryLock oneAtATime;
        return DeliverFrom(records, 0, header, line);
    }();
    for (int retry = 0; retry < kHeldRetries && waitingAt < records.size(); ++retry) {
        std::this_thread::sleep_for(kHeldRetryPause);
        const RecordDeliveryLock oneAtATime;
        waitingAt = DeliverFrom(records, waitingAt, header, {});
    }
}
