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
//   older one, and a new one begun;
// - otherwise its last line is ended first (EndOfLastLine).
// The text reaches the file in one write, and a write that falls short (a
// full disk) is taken back. Locked where another program holds the file (a
// sharing violation on Windows, an exclusive flock elsewhere). On Windows
// every path is taken in its "\\?\" form when it is long.
RecordWrite AppendRecordLines(const NativePath& path, const std::string& header,
                              const std::string& lines);

// What must be written after `contents` (a record as read, its byte-order
// mark included) so that a line appended to it starts a record of its own:
// nothing after a line break, "\n" after a lone CR, "\"\r\n" inside an open
// quote (which would swallow every later line), "\r\n" otherwise.
std::string EndOfLastLine(const std::string& contents);

// "DIR/NAME.csv" as "DIR/NAME<suffix>.csv", and as "DIR".
NativePath RecordSibling(const NativePath& path, const char* suffix);
NativePath RecordFolder(const NativePath& path);

// Where one attempt's line may go: the record beside the program, the one in
// the user's own folder for when the former cannot be written at all, and
// the pending lines (in the user's folder too) for when it is held by
// another program. Any of them may be empty: not available.
struct RecordPlaces {
    NativePath beside;
    NativePath fallback;
    NativePath pending;
};

// Held around a whole delivery, so that the processes of a run of several
// boxes, which may end at the same moment, take the record, its rotation
// and the pending lines one at a time. Waits at most a minute for the
// others; without it (it could not be had in that time, or not at all) the
// delivery goes ahead as it would alone.
class RecordDeliveryLock {
  public:
    RecordDeliveryLock();
    ~RecordDeliveryLock();
    RecordDeliveryLock(const RecordDeliveryLock&) = delete;
    RecordDeliveryLock& operator=(const RecordDeliveryLock&) = delete;

  private:
    void* mutex_ = nullptr;
    bool held_ = false;
};

// Delivers `line` to the first record that can be written, beside before
// fallback, the pending lines before it, in their order (the pending file is
// taken out of the way first, so that its lines never reach a record twice).
// Where that record is held by another program, or none can be written, the
// lines go to the pending file instead, to reach the record the next time it
// can be written. A pending file that cannot be taken whole (held, or saved
// again in another encoding) keeps the new line behind its own.
void DeliverRecordLine(const RecordPlaces& places, const std::string& header,
                       const std::string& line);

// For the platform bodies of AppendRecordLines: what is done with a file of
// `size` bytes that begins with `contents` (all of it, up to
// kRecordRotationBytes) before anything is appended to it, ...
enum class RecordAside : std::uint8_t { None, Kept, Rotated };
RecordAside AsideFor(const std::string& contents, std::int64_t size);
// ... and the text appended to a file that holds `contents` and stays.
std::string TextToAppend(const std::string& contents, const std::string& header,
                         const std::string& lines);

// Platform bodies the above use. ReadRecordFile: the whole file, false when
// it is missing or cannot be read. RemoveRecordFile: false when it stays.
// RecordFileExists: something of that name is there, readable or not.
bool ReadRecordFile(const NativePath& path, std::string& contents);
bool RemoveRecordFile(const NativePath& path);
bool RecordFileExists(const NativePath& path);
