// A DLL that must never run: the test copies it beside the program under the names a web page
// could have saved into a download folder (wininet.dll, crypt32.dll, ...). When a process loads
// it, it writes one line to "planted-loads.txt" in its own folder, "<its path>\t<the process's
// executable>", and refuses to stay loaded.
#include <windows.h>

namespace {

int Utf8(const wchar_t* text, char* out, int room) {
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out, room, nullptr, nullptr);
    return n > 0 ? n - 1 : 0;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t dll[MAX_PATH] = {}, exe[MAX_PATH] = {}, log[MAX_PATH] = {};
    ::GetModuleFileNameW(self, dll, MAX_PATH);
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    lstrcpynW(log, dll, MAX_PATH);
    wchar_t* name = log;
    for (wchar_t* c = log; *c; ++c)
        if (*c == L'\\') name = c + 1;
    lstrcpynW(name, L"planted-loads.txt", static_cast<int>(MAX_PATH - (name - log)));
    char line[3 * 2 * MAX_PATH + 2];
    int length = Utf8(dll, line, MAX_PATH * 3);
    line[length++] = '\t';
    length += Utf8(exe, line + length, MAX_PATH * 3);
    line[length++] = '\n';
    HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                                nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
        ::CloseHandle(file);
    }
    return FALSE;
}
