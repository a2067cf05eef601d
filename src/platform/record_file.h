#pragma once

#include <cstdint>
#include <string>

#include "platform/native_path.h"

// The update record is appended to a few lines at a time. We read it only to
// end its last line before we append.

// A record that has grown past this is begun anew.
constexpr std::int64_t kRecordRotationBytes = std::int64_t{1024} * 1024;

// The byte-order mark that tells a spreadsheet the file is UTF-8.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

enum class RecordWrite : std::uint8_t {
    Written,
    Locked,  // another program holds the file so that it cannot be written now
    Failed,  // anything else: a folder that cannot be written, a full disk, a directory
};

// What becomes of a file past kRecordRotationBytes: a record is rotated, its
// older part kept one generation back; lines that wait for a record are kept
// whole, replacing nothing, as none of them has reached its record yet.
enum class WhenFull : std::uint8_t { Rotate, KeepAside };

// Appends `lines` (whole lines, each ended by CRLF) to the file at `path`,
// whose name ends in ".csv":
// - the file's folder is made when it is missing (not its parent);
// - a file that is created or empty gets the UTF-8 byte-order mark and
//   `header` first;
// - a file that does not begin with the byte-order mark was not written by
//   us as it stands (a spreadsheet saved it again, in its own encoding): it
//   is renamed to the first free name of NAME.kept-1.csv, NAME.kept-2.csv,
//   ... (replacing nothing), and a new one begun;
// - a file past kRecordRotationBytes is renamed to NAME.1.csv, replacing an
//   older one, or with WhenFull::KeepAside kept as above, and a new one begun;
// - otherwise its last line is ended first (EndOfLastLine).
// The text reaches the file in one write, and a write that falls short (a
// full disk) is taken back. Locked where another program holds the file (a
// sharing violation on Windows, an exclusive flock elsewhere). On Windows
// every path is taken in its "\\?\" form when it is long.
RecordWrite AppendRecordLines(const NativePath& path, const std::string& header,
                              const std::string& lines, WhenFull whenFull = WhenFull::Rotate);

// What must be written after `contents` (a record as read, its byte-order
// mark included) so that a line appended to it starts a record of its own:
// nothing after a line break, "\n" after a lone CR, "\"\r\n" inside an open
// quote (which would swallow every later line), "\r\n" otherwise.
std::string EndOfLastLine(const std::string& contents);

// "DIR/NAME.csv" as "DIR/NAME<suffix>.csv", and as "DIR".
NativePath RecordSibling(const NativePath& path, const char* suffix);
NativePath RecordFolder(const NativePath& path);

// Where one attempt's line may go, in this order: the record beside the
// program, and the one in the user's own folder for when the former cannot be
// written at all. Either may be empty: not available.
struct RecordPlaces {
    NativePath beside;
    NativePath fallback;
};

// Where the lines wait that another program kept from the record at
// `record` by holding it open: "DIR/NAME.pending.csv", beside it. Each record
// has its own, so that a waiting line can reach no other record (the record
// on another stick, or the one in the user's folder), and it travels with
// its record on a stick. A held record's folder can still be written; where
// its waiting lines cannot be written all the same, the record is taken for
// one that cannot be written, and they go on to the next place.
NativePath PendingLinesOf(const NativePath& record);

// Held around each step of a delivery, so that the processes of a run of
// several boxes, which may end at the same moment, take the records, their
// rotation and their waiting lines one at a time; nothing inside it waits for
// another program. Waits at most a minute for the others; without it (it
// could not be had in that time, or not at all) the step goes ahead as it
// would alone.
class RecordDeliveryLock {
  public:
    RecordDeliveryLock();
    ~RecordDeliveryLock();
    RecordDeliveryLock(const RecordDeliveryLock&) = delete;
    RecordDeliveryLock& operator=(const RecordDeliveryLock&) = delete;

  private:
    std::intptr_t lock_ = -1;  // a named mutex on Windows, a lock file elsewhere
    bool held_ = false;
};

// Delivers `line` to the first place that can be written, beside before
// fallback, after the lines that wait for that record, in their order (the
// waiting lines are taken out of their file first, so that they never reach
// a record twice). Where the record is held by another program, the line
// waits for it, behind its waiting lines, and reaches it the next time it can
// be written; a record held only for a moment is tried again for about a
// second, with the lock let go in between. Waiting lines that cannot be taken
// whole (held, or saved again in another encoding) keep the new line behind
// them.
void DeliverRecordLine(const RecordPlaces& places, const std::string& header,
                       const std::string& line);

// For the platform bodies of AppendRecordLines: what is done with a file of
// `size` bytes that begins with `contents` (all of it, up to
// kRecordRotationBytes) before anything is appended to it, ...
enum class RecordAside : std::uint8_t { None, Kept, Rotated };
RecordAside AsideFor(const std::string& contents, std::int64_t size, WhenFull whenFull);
// ... and the text appended to a file that holds `contents` and stays.
std::string TextToAppend(const std::string& contents, const std::string& header,
                         const std::string& lines);

// Platform bodies the above use. RemoveRecordFile: false when it stays.
// RecordFileExists: something of that name is there, readable or not.
// RecordHeldByAnother: the file is there and another program holds it so
// that it cannot be written now (as AppendRecordLines would find it Locked);
// it only looks, and changes nothing.
bool RemoveRecordFile(const NativePath& path);
bool RecordFileExists(const NativePath& path);
bool RecordHeldByAnother(const NativePath& path);
