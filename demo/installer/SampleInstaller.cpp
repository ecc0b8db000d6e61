// A stand-in for the product's full installer, served by the demo's web server: it says which
// folder it would install to and records its command line beside itself.
#include <windows.h>

#include <cstdio>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    std::wstring folder = commandLine ? commandLine : L"";

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring record = self;
    record = record.substr(0, record.rfind(L'\\') + 1) + L"SampleInstaller-record.txt";
    if (FILE* f = _wfopen(record.c_str(), L"w, ccs=UTF-8")) {
        fwprintf(f, L"%ls\n", folder.c_str());
        fclose(f);
    }

    std::wstring text = L"This is where the full installer would now install the product.\n\nInstall folder:\n" +
                        (folder.empty() ? std::wstring(L"(none given)") : folder);
    ::MessageBoxW(nullptr, text.c_str(), L"Sample full installer", MB_OK | MB_ICONINFORMATION);
    return 0;
}
