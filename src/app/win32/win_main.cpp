// The entry point of EthBoxVup.exe.

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>

#include "address_dialog.h"
#include "ansi_command_line.h"
#include "app/command_line.h"
#include "app/outcome_detail.h"
#include "box_channel.h"
#include "box_guard.h"
#include "common/launch_options.h"
#include "common/typed_address.h"
#include "common/ui_texts.h"
#include "dll_search.h"
#include "process_handles.h"
#include "progress_dialog.h"
#include "resource.h"
#include "side_by_side.h"
#include "single_instance.h"
#include "update_attempt.h"

namespace {

// The run of /ip:: the update at once, and the process ends with it. The
// exit code is the outcome's; a window that could not be created at all
// tried nothing. A box of several tells the process that started it, once
// its record line is written (a box that shows its outcome in place has told
// already, as it showed it): a box that ends before it could tell is then the
// starter's to record.
int RunUnattended() {
    const bool boxOfSeveral = launchOptions.boxCount > 0;
    updateAttempt.showMessages = !launchOptions.quiet && !boxOfSeveral;
    updateAttempt.showInPlace = !launchOptions.quiet && boxOfSeveral;
    RunUpdate(nullptr);
    if (!updateAttempt.ended) {
        TellStarter({kExitIncomplete, DetailTextOf(DetailText::NoProgressWindow)});
        return kExitIncomplete;
    }
    TellStarter({OutcomeCode(updateAttempt.outcome), DescribeOutcome(updateAttempt.outcome)});
    return OutcomeCode(updateAttempt.outcome);
}

// The first line of a message, as a cause.
std::string FirstLineOf(const char* message) {
    const std::string whole = message;
    return whole.substr(0, whole.find('\n'));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    KeepProgramFolderOutOfDllSearch();
    appInstance = instance;

    // Registers the progress bar class that the progress window's template names.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // The command line is cut from the process's full line here, not taken from
    // WinMain's argument: each C runtime's start-up code cuts off the program
    // name by rules of its own (where a quoted name ends, whether double-byte
    // characters are stepped over), and the options must be read after exactly
    // SkipProgramName's rule. MinGW's, for one, runs a quoted name on past its
    // closing quote to the next blank, so "C:\x\EthBoxVup.exe"/type_e2 would
    // lose its first option. The line is the UTF-16 one converted without
    // best fit (see AnsiCommandLine), never GetCommandLineA's; one that cannot
    // be converted is refused like an incomplete one.
    const std::optional<std::string> fullCommandLine = AnsiCommandLine(GetCommandLineW(), GetACP());
    if (!fullCommandLine) {
        return kExitIncomplete;
    }
    std::string commandLine = SkipProgramName(fullCommandLine->c_str());
    const std::string givenLine = commandLine;  // before it is lower-cased
    const StartupVerdict verdict = ReadCommandLine(commandLine.data(), launchOptions);
    if (verdict == StartupVerdict::Incomplete) {
        return kExitIncomplete;
    }
    if (verdict == StartupVerdict::AddressRefused) {
        return kExitAddressRefused;
    }

    // Runs of /ip: go beside any other EthBoxVup, attended or not; what they
    // may never do is update a box that another one is updating.
    appIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_ETHBOX));
    if (verdict == StartupVerdict::UnattendedList) {
        return RunBoxesSideBySide(launchOptions.boxAddresses, givenLine);
    }
    if (verdict == StartupVerdict::Unattended) {
        if (!ClaimBoxGuard(typedAddress)) {
            TellStarter({kExitIncomplete, FirstLineOf(kBoxBusyMessage)});
            return kExitIncomplete;
        }
        return RunUnattended();
    }

    // At most one address dialog at a time.
    if (!ClaimSingleInstance()) {
        BringRunningInstanceForward();
        return kExitIncomplete;
    }
    // An address dialog that could not be made (no desktop to show it on) was
    // never seen: the run ends as one that showed nothing, not as a quit.
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ADDRESS_DIALOG), nullptr, AddressDialogProc,
                        0) == -1) {
        return kExitIncomplete;
    }
    return 0;
}
