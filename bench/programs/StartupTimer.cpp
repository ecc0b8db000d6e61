// Times programs from process start to their first painted window:
//   StartupTimer <runs> <program> [<program>...]
// Runs the programs in turn, `runs` times each, and for each run measures from CreateProcess to
// the moment a visible top-level window of the process has no part left to paint. Prints every
// time, then each program's median. Each program is closed (WM_CLOSE, then killed) before the
// next starts.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != search->processId || !::IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Seconds to the first painted window, or a negative value when none came within a minute.
double TimeOneStart(const wchar_t* program) {
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<wchar_t> commandLine(program, program + lstrlenW(program) + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return -1;
    double seconds = -1;
    for (;;) {
        Search search = {process.dwProcessId, nullptr};
        ::EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        ::QueryPerformanceCounter(&now);
        if (search.found && !::GetUpdateRect(search.found, nullptr, FALSE)) {
            seconds = Seconds(start, now, frequency);
            ::PostMessageW(search.found, WM_CLOSE, 0, 0);
            break;
        }
        if (Seconds(start, now, frequency) > 60 || ::WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
        ::Sleep(1);
    }
    if (::WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 1);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: StartupTimer <runs> <program> [<program>...]\n");
        return 2;
    }
    int runs = _wtoi(argv[1]);
    int programs = argc - 2;
    std::vector<std::vector<double>> times(programs);
    for (int run = 0; run < runs; ++run) {
        for (int p = 0; p < programs; ++p) {
            double seconds = TimeOneStart(argv[2 + p]);
            if (seconds < 0) {
                std::fprintf(stderr, "%ls showed no painted window\n", argv[2 + p]);
                return 1;
            }
            times[p].push_back(seconds);
            std::printf("run %d  %-60ls %7.3f s\n", run + 1, argv[2 + p], seconds);
            std::fflush(stdout);
        }
    }
    for (int p = 0; p < programs; ++p) {
        std::sort(times[p].begin(), times[p].end());
        std::printf("median %ls %.3f\n", argv[2 + p], times[p][times[p].size() / 2]);
    }
    return 0;
}
