// schedule-floor: the least a Windows program can do to keep to the device's
// schedule, as a floor for EthBoxVup's CPU time. A window with a themed
// progress bar (the same manifest as EthBoxVup), a window timer killed and
// armed again at each tick, and on each tick one plain receive and what it
// calls for: the read of "/info.sys", then a real TFTP write of the firmware
// file, then eleven ticks of 1000 ms while the device writes its flash. The
// ticks, the datagrams and the bar's steps are EthBoxVup's own: 30 ms, 50 ms
// after the write request's acknowledgement, one step of ten when the
// transfer starts and one for every (blocks / 10) + 1 blocks, the bar back to
// 0 and a step each second while the device writes. No dialog manager, no
// status text, no cancel, no wait that keeps the window serviced: the receive
// is a blocking recvfrom, since each acknowledgement has been there for a tick.
//
// The update starts as EthBoxVup's does at the click on 開始: the window is
// made and shown, the first request sent and the timer armed, and the window
// is painted after that. Both read the file and open the socket before their
// first request, which is where the benchmark starts counting.
//
// Usage: schedule-floor FIRMWARE_FILE DEVICE_ADDRESS [START_AFTER_MS]
// It starts START_AFTER_MS (2000) after it was started and exits 0 after the
// eleventh second, or non-zero at the first thing that went wrong (2 usage,
// 3 file, 4 sockets, 5 window, 6 an unexpected or missing reply).

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr UINT_PTR kTimerId = 101;
constexpr UINT kTickMs = 30;
constexpr UINT kAfterWriteAckMs = 50;
constexpr UINT kFlashTickMs = 1000;
constexpr int kFlashSeconds = 10;
constexpr int kBlockSize = 512;
constexpr int kBarId = 1051;

enum class Phase { Starting, Probing, AwaitingWriteAck, Transferring, Writing };

struct Floor {
    std::vector<std::uint8_t> image;
    SOCKET socket = INVALID_SOCKET;
    sockaddr_in device{};
    std::uint16_t transferPort = 0;
    Phase phase = Phase::Starting;
    int block = 0;  // the last DATA block sent
    int lastLength = 0;
    int stepBlocks = 0;
    int ackCount = 0;
    int seconds = 0;
    HWND bar = nullptr;
    int exitCode = 0;
};

Floor floor_;

void SendTo(std::uint16_t port, const void* data, int length) {
    sockaddr_in to = floor_.device;
    to.sin_port = htons(port);
    sendto(floor_.socket, static_cast<const char*>(data), length, 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// One blocking receive: the opcode and number of what came, or false.
bool Receive(int* opcode, int* number) {
    std::uint8_t reply[kBlockSize + 4];
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int length = recvfrom(floor_.socket, reinterpret_cast<char*>(reply), sizeof reply, 0,
                                reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (length < 4) {
        return false;
    }
    floor_.transferPort = ntohs(from.sin_port);
    *opcode = reply[1];
    *number = reply[2] * 256 + reply[3];
    return true;
}

void SendBlock() {
    std::uint8_t packet[kBlockSize + 4];
    const int offset = floor_.block * kBlockSize;
    const int left = static_cast<int>(floor_.image.size()) - offset;
    floor_.lastLength = left < kBlockSize ? left : kBlockSize;
    floor_.block += 1;
    packet[0] = 0;
    packet[1] = 3;
    packet[2] = static_cast<std::uint8_t>(floor_.block >> 8);
    packet[3] = static_cast<std::uint8_t>(floor_.block);
    std::memcpy(packet + 4, floor_.image.data() + offset,
                static_cast<std::size_t>(floor_.lastLength));
    SendTo(floor_.transferPort, packet, floor_.lastLength + 4);
}

void Step() {
    SendMessageW(floor_.bar, PBM_STEPIT, 0, 0);
}

void Finish(HWND window, int exitCode) {
    floor_.exitCode = exitCode;
    DestroyWindow(window);
}

// One tick; returns the interval of the next one, or 0 when the floor is done.
UINT Tick(HWND window) {
    static const char kReadRequest[] = "\0\1/info.sys\0octet";
    static const char kWriteRequest[] = "\0\2/\0octet";
    int opcode = 0;
    int number = 0;
    switch (floor_.phase) {
        case Phase::Starting:
            SendTo(69, kReadRequest, sizeof kReadRequest);
            floor_.phase = Phase::Probing;
            return kTickMs;
        case Phase::Probing: {
            if (!Receive(&opcode, &number) || opcode != 3 || number != 1) {
                break;
            }
            const std::uint8_t ack[] = {0, 4, 0, 1};
            SendTo(floor_.transferPort, ack, sizeof ack);
            SendTo(69, kWriteRequest, sizeof kWriteRequest);
            floor_.phase = Phase::AwaitingWriteAck;
            return kTickMs;
        }
        case Phase::AwaitingWriteAck:
            if (!Receive(&opcode, &number) || opcode != 4 || number != 0) {
                break;
            }
            SendBlock();
            Step();
            floor_.phase = Phase::Transferring;
            return kAfterWriteAckMs;
        case Phase::Transferring:
            if (!Receive(&opcode, &number) || opcode != 4 || number != (floor_.block & 0xFFFF)) {
                break;
            }
            if (floor_.lastLength < kBlockSize) {
                SendMessageW(floor_.bar, PBM_SETPOS, 0, 0);
                floor_.phase = Phase::Writing;
                return kFlashTickMs;
            }
            SendBlock();
            if (++floor_.ackCount > floor_.stepBlocks) {
                Step();
                floor_.ackCount = 0;
            }
            return kTickMs;
        case Phase::Writing:
            if (++floor_.seconds > kFlashSeconds) {
                Finish(window, 0);
                return 0;
            }
            Step();
            return kFlashTickMs;
    }
    Finish(window, 6);
    return 0;
}

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) {
                KillTimer(window, kTimerId);
                if (const UINT next = Tick(window)) {
                    SetTimer(window, kTimerId, next, nullptr);
                }
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool ReadImage(const wchar_t* path) {
    FILE* file = _wfopen(path, L"rb");
    if (file == nullptr) {
        return false;
    }
    std::uint8_t chunk[4096];
    std::size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        floor_.image.insert(floor_.image.end(), chunk, chunk + read);
    }
    std::fclose(file);
    floor_.stepBlocks = static_cast<int>(floor_.image.size()) / kBlockSize / 10;
    return floor_.stepBlocks > 0;
}

bool OpenSocket(const wchar_t* address) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return false;
    }
    floor_.device.sin_family = AF_INET;
    if (InetPtonW(AF_INET, address, &floor_.device.sin_addr) != 1) {
        return false;
    }
    floor_.socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    // A silent device ends the floor rather than hanging it.
    const DWORD timeoutMs = 1000;
    return floor_.socket != INVALID_SOCKET &&
           bind(floor_.socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
           setsockopt(floor_.socket, SOL_SOCKET, SO_RCVTIMEO,
                      reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs) == 0;
}

HWND CreateFloorWindow(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FloorWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"EthBoxScheduleFloor";
    RegisterClassW(&windowClass);
    // About the size of EthBoxVup's progress window, its bar where that one's is.
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"schedule-floor",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 290, 175, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    floor_.bar =
        CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 23, 65, 236, 18,
                        window, reinterpret_cast<HMENU>(kBarId), instance, nullptr);
    SendMessageW(floor_.bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(floor_.bar, PBM_SETPOS, 0, 0);
    return floor_.bar != nullptr ? window : nullptr;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 3) {
        return 2;
    }
    if (!ReadImage(arguments[1])) {
        return 3;
    }
    if (!OpenSocket(arguments[2])) {
        return 4;
    }
    Sleep(count > 3 ? static_cast<DWORD>(_wtoi(arguments[3])) : 2000);
    HWND window = CreateFloorWindow(instance);
    if (window == nullptr) {
        return 5;
    }
    ShowWindow(window, SW_SHOW);
    SetTimer(window, kTimerId, Tick(window), nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    closesocket(floor_.socket);
    WSACleanup();
    return floor_.exitCode;
}
