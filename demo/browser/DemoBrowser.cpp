// The demo's stand-in for IExplore.exe, through which Wendrake opens its tracking address,
// hidden. Wine's own iexplore.exe shows no pages without its Gecko engine, so this one asks for
// the address once, as a browser would, and ends: the demo's web server log shows the request.
#include <windows.h>
#include <wininet.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    std::wstring url = commandLine ? commandLine : L"";
    while (!url.empty() && (url.back() == L' ' || url.back() == L'"')) url.pop_back();
    while (!url.empty() && (url.front() == L' ' || url.front() == L'"')) url.erase(0, 1);
    if (url.empty()) return 1;

    HINTERNET internet = ::InternetOpenW(L"DemoBrowser", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!internet) return 1;
    HINTERNET page = ::InternetOpenUrlW(internet, url.c_str(), nullptr, 0,
                                        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buffer[4096];
    DWORD read = 0;
    while (page && ::InternetReadFile(page, buffer, sizeof buffer, &read) && read > 0) {
    }
    if (page) ::InternetCloseHandle(page);
    ::InternetCloseHandle(internet);
    return page ? 0 : 1;
}
