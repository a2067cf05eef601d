#include "update_record.h"

#include <windows.h>

#include <string>
#include <vector>

#include "app/record_line.h"
#include "common/launch_options.h"
#include "common/typed_address.h"
#include "ethbox_version.h"
#include "platform/ansi_text.h"
#include "platform/executable_path.h"
#include "platform/record_file.h"
#include "platform/sha256.h"
#include "transfer/firmware_image.h"
#include "update_attempt.h"
#include "window_text.h"

namespace {

constexpr wchar_t kRecordName[] = L"EthBoxVup-log.csv";
constexpr wchar_t kFallbackFolder[] = L"EthBoxVup";

std::string Version() {
    return std::string(ETHBOX_VERSION_TEXT) + (sizeof(void*) == 8 ? " win64" : " win32");
}

std::string ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) {
        return {};
    }
    return Utf8FromWide(std::wstring_view(name, length));
}

}  // namespace

std::string FirmwareNameUtf8() {
    NativePath wide;
    if (AnsiTextToPath(launchOptions.firmwareName, wide)) {
        return Utf8FromWide(wide);
    }
    std::string ascii;
    for (const char* c = launchOptions.firmwareName; *c != '\0'; ++c) {
        ascii += static_cast<unsigned char>(*c) < 0x80 ? *c : '?';
    }
    return ascii;
}

namespace {

// What every line of this run says alike: the options and the program.
UpdateRecord RecordOfThisRun() {
    UpdateRecord record;
    record.typedAddress = typedAddress;
    record.deviceKind = launchOptions.deviceKind;
    record.probeEnabled = launchOptions.probeEnabled;
    record.firmwareName = FirmwareNameUtf8();
    record.version = Version();
    record.computerName = ComputerName();
    return record;
}

UpdateRecord RecordOfAttempt() {
    const UpdateAttempt& attempt = updateAttempt;
    UpdateRecord record = RecordOfThisRun();
    record.endedAt = attempt.endedLocal;
    record.outcome = attempt.outcome;
    if (attempt.outcome.imageLength > 0) {
        record.imageSha256 =
            Sha256Hex(firmwareImage.data, static_cast<std::size_t>(attempt.outcome.imageLength));
    }
    record.tenthsFromStart = static_cast<std::int64_t>((attempt.endedAt - attempt.startedAt) / 100);
    return record;
}

// %LOCALAPPDATA%\EthBoxVup\, which the first line written there makes.
std::wstring FallbackFolder() {
    wchar_t base[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return {};
    }
    return std::wstring(base) + L"\\" + kFallbackFolder + L"\\";
}

// The one way a line reaches this program's record: beside the program, or
// in the user's folder when that cannot be written, each record's waiting
// lines before it (DeliverRecordLine).
void DeliverToRecord(const std::string& line) {
    const std::wstring beside = ExecutableFolder();
    const std::wstring fallback = FallbackFolder();
    RecordPlaces places;
    if (!beside.empty()) {
        places.beside = beside + kRecordName;
    }
    if (!fallback.empty()) {
        places.fallback = fallback + kRecordName;
    }
    DeliverRecordLine(places, RecordHeaderLine(), line);
}

}  // namespace

std::wstring ExecutableFolder() {
    NativePath path;
    if (!GetExecutablePath(path)) {
        return {};
    }
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == NativePath::npos ? std::wstring() : path.substr(0, separator + 1);
}

std::vector<std::wstring> RecordFolders() {
    std::vector<std::wstring> folders;
    for (const std::wstring& folder : {ExecutableFolder(), FallbackFolder()}) {
        if (!folder.empty()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

void RecordAttempt() {
    if (!updateAttempt.ended || updateAttempt.recorded) {
        return;  // no window opened, so no attempt; or recorded already
    }
    updateAttempt.recorded = true;
    DeliverToRecord(RecordLine(RecordOfAttempt()));
}

void RecordBoxWithoutOutcome(const char* address, std::uint32_t exitStatus,
                             std::int64_t tenthsFromStart) {
    UpdateRecord record = RecordOfThisRun();
    record.endedAt = LocalTimeNow();
    record.typedAddress = address;
    record.outcomeKnown = false;
    record.exitStatus = exitStatus;
    record.tenthsFromStart = tenthsFromStart;
    DeliverToRecord(RecordLine(record));
}
