// The recorder: a program of our own that stands in for whatever Wendrake starts through the
// shell. It appends one record of how it was started (see LaunchRecord.h) and exits.

#include <windows.h>

#include "framework/Handles.h"
#include "recorder/LaunchRecord.h"

namespace {

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

std::wstring RecordFolder(const std::wstring& modulePath) {
    wchar_t folder[32768] = {};
    DWORD n = ::GetEnvironmentVariableW(kRecordFolderVariable, folder, 32768);
    if (n > 0 && n < 32768) {
        std::wstring path = folder;
        if (path.back() != L'\\') path += L'\\';
        return path;
    }
    return modulePath.substr(0, modulePath.rfind(L'\\') + 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);

    LaunchRecord record;
    record.program = ModulePath();
    record.commandLine = ::GetCommandLineW();
    record.parameters = ParametersOf(record.commandLine);
    record.showWindowSet = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
    record.showWindow = startup.wShowWindow;

    std::wstring exeName = record.program.substr(record.program.rfind(L'\\') + 1);
    std::wstring file = RecordFolder(record.program) + RecordFileName(exeName);
    // One write per record, appended: starts that overlap still leave whole records.
    FileHandle out(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return 1;
    std::string text = FormatRecord(record);
    DWORD written = 0;
    ::WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return written == text.size() ? 0 : 1;
}
