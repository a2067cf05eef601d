#include "program_start.h"

#include "host_path.h"

std::optional<ProgramStart> ReadProgramStart(const Arguments& arguments, std::string& error) {
    const auto app = arguments.Value(L"app");
    if (!app) {
        error = "say which program: --app PATH";
        return std::nullopt;
    }
    const std::wstring path = WindowsPathFromHost(*app);
    return ProgramStart{path, arguments.Value(L"cmdline").value_or(L"\"" + path + L"\"")};
}

PROCESS_INFORMATION StartProgram(const ProgramStart& program, std::string& error, bool suspended) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = program.commandLine;  // CreateProcessW may write to it
    if (!CreateProcessW(program.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        suspended ? CREATE_SUSPENDED : 0, nullptr, nullptr, &startup, &process)) {
        error = "could not start the program (error " + std::to_string(GetLastError()) + ")";
        return PROCESS_INFORMATION{};
    }
    if (!suspended) {
        CloseHandle(process.hThread);
        process.hThread = nullptr;
    }
    return process;
}
