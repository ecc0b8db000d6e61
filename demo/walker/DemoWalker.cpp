// Walks the demo wizard the way a person would, for the headless demo: starts Wendrake.exe,
// finds its windows by process id and control id and presses its buttons. Before each picture
// it prints "SHOT <name> <geometry>" (the area to keep, as WxH+X+Y) and waits until
// <shots>\<name>.png exists; demo/session.sh takes the pictures.
//
//   DemoWalker.exe walk   <Wendrake.exe> <temp folder> <shots folder>
//   DemoWalker.exe person <Wendrake.exe> <temp folder>
//
// "person" only starts the wizard and waits for it to end. Either way the wizard gets the temp
// folder as TMP and TEMP: Wine replaces the values a Unix shell would hand on.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "resources/resource.h"

namespace {

const DWORD kStepTimeoutMs = 30000;
const DWORD kDownloadTimeoutMs = 120000;
const wchar_t kInstallerTitle[] = L"Sample full installer";

PROCESS_INFORMATION wizard = {};
std::wstring shotsFolder;

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

[[noreturn]] void GiveUp(const char* what) {
    std::printf("walker: gave up waiting for %s\n", what);
    std::fflush(stdout);
    if (wizard.hProcess) ::TerminateProcess(wizard.hProcess, 1);
    std::exit(1);
}

void Expect(const char* what, const std::function<bool()>& condition, DWORD timeoutMs = kStepTimeoutMs) {
    DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs) GiveUp(what);
        ::Sleep(100);
    }
}

DWORD ProcessOf(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The first visible top-level window of the wizard's process, in z order, for which `accept` holds.
HWND FindTopLevel(const std::function<bool(HWND)>& accept) {
    struct Search {
        const std::function<bool(HWND)>* accept;
        HWND found;
    } search = {&accept, nullptr};
    // A named function: on 32-bit Windows the callback must use the system's calling convention.
    struct Visit {
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
                auto* s = reinterpret_cast<Search*>(data);
                if (ProcessOf(window) != wizard.dwProcessId || !::IsWindowVisible(window) || !(*s->accept)(window))
                    return TRUE;
                s->found = window;
                return FALSE;
        }
    };
    ::EnumWindows(&Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Descendant(HWND parent, int id) {
    struct Search {
        int id;
        HWND found;
    } search = {id, nullptr};
    // A named function: on 32-bit Windows a callback must use the system's calling convention.
    struct Visit {
        static BOOL CALLBACK Window(HWND child, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            if (::GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        }
    };
    ::EnumChildWindows(parent, &Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A page is known by a control that only it has; its other controls are its children.
HWND PageWith(HWND frame, int id) {
    HWND control = Descendant(frame, id);
    return control ? ::GetParent(control) : nullptr;
}

// The page on show: the visible child dialog of the frame.
HWND ShownPage(HWND frame) {
    for (HWND child = ::GetWindow(frame, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {};
        ::GetClassNameW(child, name, 16);
        if (::IsWindowVisible(child) && std::wcscmp(name, L"#32770") == 0) return child;
    }
    return nullptr;
}

bool Shown(HWND frame, int id) {
    HWND control = Descendant(frame, id);
    return control && ::IsWindowVisible(control);
}

// A button press as the mouse makes it, delivered on the wizard's own thread.
void Press(HWND button, const char* what) {
    if (!button) GiveUp(what);
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

// The area of every visible window of the wizard (and of `extra`), with a margin, on screen.
std::string Geometry(HWND extra) {
    RECT area = {};
    struct Visit {
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
                RECT r;
                if (ProcessOf(window) == wizard.dwProcessId && ::IsWindowVisible(window) && ::GetWindowRect(window, &r) &&
                    r.right - r.left > 1 && r.bottom - r.top > 1)
                    ::UnionRect(reinterpret_cast<RECT*>(data), reinterpret_cast<RECT*>(data), &r);
                return TRUE;
        }
    };
    ::EnumWindows(&Visit::Window, reinterpret_cast<LPARAM>(&area));
    RECT r;
    if (extra && ::GetWindowRect(extra, &r)) ::UnionRect(&area, &area, &r);
    const int margin = 12;
    RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    RECT grown = {area.left - margin, area.top - margin, area.right + margin, area.bottom + margin};
    ::IntersectRect(&area, &grown, &screen);
    char text[64];
    std::snprintf(text, sizeof text, "%ldx%ld+%ld+%ld", area.right - area.left, area.bottom - area.top, area.left,
                  area.top);
    return text;
}

// Lets the windows finish painting, then asks for the picture and waits until it is taken.
void Shot(const char* name, HWND extra = nullptr) {
    ::Sleep(1200);
    std::printf("SHOT %s %s\n", name, Geometry(extra).c_str());
    std::fflush(stdout);
    std::wstring file = shotsFolder + L"\\" + std::wstring(name, name + std::strlen(name)) + L".png";
    Expect("the picture to be taken", [&] { return ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

// Where the wizard's parts sit in its client area, for whoever draws the two pictures to fit.
void ReportPlace(HWND frame, const char* name, HWND part) {
    RECT r;
    if (!part || !::GetWindowRect(part, &r)) return;
    ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&r), 2);
    std::printf("walker: %-16s x %3ld..%3ld  y %3ld..%3ld  (%ld x %ld)\n", name, r.left, r.right, r.top, r.bottom,
                r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
}

void ReportLayout(HWND frame) {
    RECT client;
    ::GetClientRect(frame, &client);
    std::printf("walker: the wizard's client area is %ld x %ld pixels\n", client.right, client.bottom);
    ReportPlace(frame, "welcome page", PageWith(frame, IDC_LANGUAGE));
    ReportPlace(frame, "status line", ::GetDlgItem(frame, IDC_STATUS));
    ReportPlace(frame, "progress bar", ::GetDlgItem(frame, IDC_PROGRESS));
    ReportPlace(frame, "Cancel button", ::GetDlgItem(frame, IDC_CANCEL_SETUP));
    ReportPlace(frame, "Continue button", ::GetDlgItem(frame, IDC_CONTINUE));
}

int ProgressPercent(HWND frame) {
    HWND bar = ::GetDlgItem(frame, IDC_PROGRESS);
    return bar ? static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0)) : 0;
}

void ChooseLanguage(HWND frame, const wchar_t* name) {
    HWND combo = Descendant(frame, IDC_LANGUAGE);
    LRESULT index = ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(name));
    if (index == CB_ERR) GiveUp("the language in the list");
    ::SendMessageW(combo, CB_SETCURSEL, index, 0);
    // Choosing from the list tells the page the same way.
    ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
}

void Walk() {
    HWND frame = nullptr;
    Expect("the wizard window", [&] {
        frame = FindTopLevel([](HWND w) { return ::GetDlgItem(w, IDC_CONTINUE) && ::GetDlgItem(w, IDC_BACK); });
        return frame && Shown(frame, IDC_LANGUAGE);
    });
    ReportLayout(frame);
    Shot("01-welcome");

    ChooseLanguage(frame, L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439");  // Russian, in Russian
    Shot("02-language-russian");
    ChooseLanguage(frame, L"English");

    Press(::GetDlgItem(frame, IDC_CONTINUE), "Continue on the welcome page");
    Expect("the install-location page", [&] { return Shown(frame, IDC_INSTALL_PATH); });
    Shot("03-install-location");

    Press(::GetDlgItem(PageWith(frame, IDC_INSTALL_PATH), IDC_BROWSE), "the Browse button");
    HWND browser = nullptr;
    Expect("the folder browser", [&] {
        browser = FindTopLevel(
            [frame](HWND w) { return w != frame && ::GetDlgItem(w, IDOK) && ::GetDlgItem(w, IDCANCEL); });
        return browser != nullptr;
    });
    ::Sleep(1000);  // the folder tree fills in
    Shot("04-folder-browser");
    Press(::GetDlgItem(browser, IDCANCEL), "Cancel in the folder browser");
    Expect("the folder browser to close", [&] { return !::IsWindow(browser) || !::IsWindowVisible(browser); });

    Press(::GetDlgItem(frame, IDC_CONTINUE), "Continue on the install-location page");
    Expect("the download page", [&] { return Shown(frame, IDC_PROGRESS); });
    ReportPlace(frame, "download page", ShownPage(frame));
    // The server answers the first request with 404: the failure is said, with a Retry button.
    Expect("the download to fail", [&] { return Shown(frame, IDC_CONTINUE); }, kDownloadTimeoutMs);
    Shot("05-download-failed");

    Press(::GetDlgItem(frame, IDC_CONTINUE), "Retry");
    Expect("the retry to get going", [&] { return ProgressPercent(frame) >= 25; }, kDownloadTimeoutMs);
    Shot("06-retry");

    Press(::GetDlgItem(frame, IDC_CANCEL_SETUP), "Cancel during the download");
    Expect("the features page", [&] { return Shown(frame, IDC_CONTINUE_INSTALL); });
    Shot("07-features");

    Press(::GetDlgItem(PageWith(frame, IDC_CONTINUE_INSTALL), IDC_CONTINUE_INSTALL), "Continue Installation");
    Expect("the download page again", [&] { return Shown(frame, IDC_PROGRESS) || !::IsWindow(frame); });
    if (::IsWindow(frame)) Shot("08-continue");

    HWND installer = nullptr;
    Expect(
        "the installer's window",
        [&] {
            installer = ::FindWindowW(nullptr, kInstallerTitle);
            return installer && ::IsWindowVisible(installer);
        },
        kDownloadTimeoutMs);
    Shot("09-installer-started", installer);

    if (::WaitForSingleObject(wizard.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) GiveUp("the wizard to close");
    ::PostMessageW(installer, WM_COMMAND, IDOK, 0);
    Expect("the installer's window to close", [&] { return !::IsWindow(installer); });
    Say("walker: the walk is complete");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (argc < 4 || (mode == L"walk" && argc < 5) || (mode != L"walk" && mode != L"person")) {
        std::fprintf(stderr, "usage: DemoWalker.exe walk|person <Wendrake.exe> <temp folder> [<shots folder>]\n");
        return 2;
    }
    std::wstring exe = argv[2];
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    ::SetEnvironmentVariableW(L"TMP", argv[3]);
    ::SetEnvironmentVariableW(L"TEMP", argv[3]);
    if (mode == L"walk") shotsFolder = argv[4];
    // Neither the wizard nor the installer it starts may keep this program's output open: the
    // demo script reads it to its end.
    for (DWORD id : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        ::SetHandleInformation(::GetStdHandle(id), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &wizard)) {
        std::fprintf(stderr, "walker: cannot start %ls (error %lu)\n", exe.c_str(), ::GetLastError());
        return 1;
    }
    if (mode == L"walk") {
        Walk();
    } else {
        ::WaitForSingleObject(wizard.hProcess, INFINITE);
    }
    ::CloseHandle(wizard.hThread);
    ::CloseHandle(wizard.hProcess);
    return 0;
}
