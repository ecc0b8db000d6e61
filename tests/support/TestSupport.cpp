#include "TestSupport.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[64];
        swprintf(name, 64, L"wendrake-test-%lu-%u\\", ::GetCurrentProcessId(), ++counter);
        path_ = std::wstring(base) + name;
        if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((base + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = base + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(base.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
    return bytes;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::wstring FromUnixPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + Wide(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring BuildDir() { return FromUnixPath(WENDRAKE_BUILD_DIR) + L"\\"; }
std::wstring SourceDir() { return FromUnixPath(WENDRAKE_SOURCE_DIR) + L"\\"; }

void PumpMessages(DWORD ms) {
    DWORD start = ::GetTickCount();
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    } while (::GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        PumpMessages(20);
    }
}

Process::~Process() {
    if (info_.hProcess) {
        if (Running()) ::TerminateProcess(info_.hProcess, 99);
        ::CloseHandle(info_.hProcess);
        ::CloseHandle(info_.hThread);
    }
}

bool Process::Start(const std::wstring& exe, const std::wstring& args, const std::wstring& folder) {
    std::wstring commandLine = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &info_) != FALSE;
}

long Process::Wait(DWORD timeoutMs) {
    if (::WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<long>(code);
}

bool Process::Running() const { return ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

namespace {
struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};
}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    WindowSearch search = {processId, className, nullptr};
    // A named function: on 32-bit Windows a callback must use the system's calling convention.
    struct Visit {
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
            auto* s = reinterpret_cast<WindowSearch*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid != s->processId || !::IsWindowVisible(window)) return TRUE;
            if (s->className) {
                wchar_t name[256] = {};
                ::GetClassNameW(window, name, 256);
                if (lstrcmpiW(name, s->className) != 0) return TRUE;
            }
            s->found = window;
            return FALSE;
        }
    };
    ::EnumWindows(&Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindControl(HWND parent, int id) {
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
            return !::IsWindowVisible(child);
        }
    };
    ::EnumChildWindows(parent, &Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND window) {
    wchar_t text[4096] = {};
    ::SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    return text;
}

namespace {

// Deletes a key that has no keys of its own, in the given registry view: RegDeleteKeyExW, which
// names the view, is newer than the XP headers these tests are built with.
void DeleteLeafKey(HKEY root, const std::wstring& key, REGSAM view) {
    if (view == 0) {
        ::RegDeleteKeyW(root, key.c_str());
        return;
    }
    size_t slash = key.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    HKEY parent = nullptr;
    if (::RegOpenKeyExW(root, key.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    ::RegDeleteKeyW(parent, key.substr(slash + 1).c_str());
    ::RegCloseKey(parent);
}

}  // namespace

RegistryOverride::RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& value,
                                   const std::wstring* text, REGSAM view)
    : root_(root), key_(key), value_(value), view_(view) {
    Apply(REG_SZ, text ? reinterpret_cast<const BYTE*>(text->c_str()) : nullptr,
          text ? static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t)) : 0);
}

RegistryOverride::RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& value, DWORD number,
                                   REGSAM view)
    : root_(root), key_(key), value_(value), view_(view) {
    Apply(REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

void RegistryOverride::Apply(DWORD type, const BYTE* data, DWORD size) {
    HKEY k = nullptr;
    DWORD disposition = 0;
    if (::RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &k, &disposition) !=
        ERROR_SUCCESS)
        return;
    createdKey_ = disposition == REG_CREATED_NEW_KEY;
    DWORD oldSize = 0;
    if (::RegQueryValueExW(k, value_.c_str(), nullptr, &oldType_, nullptr, &oldSize) == ERROR_SUCCESS) {
        hadValue_ = true;
        oldData_.resize(oldSize);
        ::RegQueryValueExW(k, value_.c_str(), nullptr, &oldType_, reinterpret_cast<BYTE*>(&oldData_[0]), &oldSize);
    }
    if (data)
        ::RegSetValueExW(k, value_.c_str(), 0, type, data, size);
    else
        ::RegDeleteValueW(k, value_.c_str());
    ::RegCloseKey(k);
}

RegistryOverride::~RegistryOverride() {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (hadValue_)
        ::RegSetValueExW(k, value_.c_str(), 0, oldType_, reinterpret_cast<const BYTE*>(oldData_.data()),
                         static_cast<DWORD>(oldData_.size()));
    else
        ::RegDeleteValueW(k, value_.c_str());
    DWORD subkeys = 0, values = 0;
    ::RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
    ::RegCloseKey(k);
    if (createdKey_ && subkeys == 0 && values == 0) DeleteLeafKey(root_, key_, view_);
}

std::vector<NginxRequest> NginxRequests() {
    std::vector<NginxRequest> requests;
    std::string log = ReadBytes(EnvironmentValue(L"WENDRAKE_NGINX_LOG"));
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) break;  // a line nginx is still writing
        std::vector<std::string> fields;
        size_t from = start;
        for (size_t tab; (tab = log.find('\t', from)) != std::string::npos && tab < end; from = tab + 1)
            fields.push_back(log.substr(from, tab - from));
        fields.push_back(log.substr(from, end - from));
        // uri, status, bytes sent, body bytes, range, agent, msec, request time, cookie
        if (fields.size() >= 9) {
            NginxRequest request;
            request.uri = fields[0];
            request.status = atoi(fields[1].c_str());
            request.bytesSent = atoll(fields[2].c_str());
            request.range = fields[4];
            request.agent = fields[5];
            request.cookie = fields[8];
            requests.push_back(request);
        }
        start = end + 1;
    }
    return requests;
}

std::vector<std::string> NginxUris(const std::string& prefix) {
    std::vector<std::string> uris;
    for (const NginxRequest& request : NginxRequests())
        if (request.uri.compare(0, prefix.size(), prefix) == 0) uris.push_back(request.uri);
    std::sort(uris.begin(), uris.end());
    return uris;
}

ScratchRegistryKey::ScratchRegistryKey(HKEY root, const std::wstring& key, REGSAM view)
    : root_(root), key_(key), view_(view) {
    Delete();
}

ScratchRegistryKey::~ScratchRegistryKey() { Delete(); }

void ScratchRegistryKey::Delete() {
    if (view_ == 0)
        ::SHDeleteKeyW(root_, key_.c_str());
    else
        DeleteLeafKey(root_, key_, view_);
}

std::wstring EnvironmentValue(const std::wstring& name) {
    DWORD size = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(name.c_str(), &value[0], size));
    return value;
}

EnvironmentOverride::EnvironmentOverride(const std::wstring& name, const wchar_t* value) : name_(name) {
    hadValue_ = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0) > 0;
    oldValue_ = EnvironmentValue(name);
    ::SetEnvironmentVariableW(name.c_str(), value);
}

EnvironmentOverride::~EnvironmentOverride() {
    ::SetEnvironmentVariableW(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
}

TestThread::TestThread(std::function<void()> body)
    : body_(std::move(body)), thread_(::CreateThread(nullptr, 0, &TestThread::Run, this, 0, nullptr)) {}

TestThread::~TestThread() {
    if (!thread_) return;
    ::WaitForSingleObject(thread_, INFINITE);
    ::CloseHandle(thread_);
}

DWORD WINAPI TestThread::Run(void* self) {
    static_cast<TestThread*>(self)->body_();
    return 0;
}

ChildRun RunTestsInChild(const std::wstring& filter) {
    TempDir temp;
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    Process child;
    if (!child.Start(self, L"--gtest_also_run_disabled_tests --gtest_filter=" + filter + L" --gtest_output=xml:\"" +
                               temp / L"report.xml\""))
        return {-1, std::string()};
    if (!WaitFor([&] { return !child.Running(); }, 120000)) return {-1, std::string()};
    return {child.Wait(0), ReadBytes(temp / L"report.xml")};
}

bool SetLogPixels(DWORD dotsPerInch) {
    HKEY desktop = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop) != ERROR_SUCCESS)
        return false;
    LONG set = ::RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dotsPerInch), 4);
    ::RegCloseKey(desktop);
    return set == ERROR_SUCCESS;
}

bool RunsOn64BitWindows() {
    if (sizeof(void*) == 8) return true;
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}
