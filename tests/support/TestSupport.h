#pragma once
// Helpers shared by the tests: temporary folders, files, processes and windows.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A thread running a function, joined on destruction. (The 32-bit build's thread model has
// no std::thread or std::mutex.)
class TestThread {
public:
    explicit TestThread(std::function<void()> body);
    ~TestThread();
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

private:
    static DWORD WINAPI Run(void* self);
    std::function<void()> body_;
    HANDLE thread_;
};

// A lock for data that tests share with other threads; Hold keeps it for a scope.
class TestLock {
public:
    TestLock() { ::InitializeCriticalSection(&section_); }
    ~TestLock() { ::DeleteCriticalSection(&section_); }
    TestLock(const TestLock&) = delete;
    TestLock& operator=(const TestLock&) = delete;

    class Hold {
    public:
        explicit Hold(TestLock& lock) : lock_(lock) { ::EnterCriticalSection(&lock_.section_); }
        ~Hold() { ::LeaveCriticalSection(&lock_.section_); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        TestLock& lock_;
    };

private:
    CRITICAL_SECTION section_;
};

// A fresh folder under the temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder with a trailing backslash.
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
void RemoveTree(const std::wstring& folder);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

// A path of the build machine (under "/") as Wine sees it.
std::wstring FromUnixPath(const std::string& unixPath);
// The build folder and the source folder, as Windows paths with a trailing backslash.
std::wstring BuildDir();
std::wstring SourceDir();

// Polls until the condition holds or the time runs out; pumps this thread's messages meanwhile.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);
// Pumps this thread's messages for a while.
void PumpMessages(DWORD ms);

// A started program; killed on destruction if it still runs.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool Start(const std::wstring& exe, const std::wstring& args, const std::wstring& folder = std::wstring());
    // Waits for the end; returns the exit code, or -1 when it did not end in time.
    long Wait(DWORD timeoutMs);
    DWORD Id() const { return info_.dwProcessId; }
    bool Running() const;

private:
    PROCESS_INFORMATION info_ = {};
};

// The first visible top-level window of the process with the given class name (null: any).
HWND FindProcessWindow(DWORD processId, const wchar_t* className);
std::wstring TextOf(HWND window);
// A control anywhere below the window. Ids repeat across the wizard's pages (113 is both
// Browse and "No Thanks"), so a visible one wins over a hidden one.
HWND FindControl(HWND parent, int id);

// Sets a registry text value for the life of the object, restoring the old state afterwards
// (a key it had to create is deleted again when nothing else was put in it). `view` may name a
// registry view (KEY_WOW64_64KEY or KEY_WOW64_32KEY); 0 is the one this program sees.
class RegistryOverride {
public:
    RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring* text,
                     REGSAM view = 0);
    // The same for a number (REG_DWORD).
    RegistryOverride(HKEY root, const std::wstring& key, const std::wstring& value, DWORD number, REGSAM view = 0);
    ~RegistryOverride();
    RegistryOverride(const RegistryOverride&) = delete;
    RegistryOverride& operator=(const RegistryOverride&) = delete;

private:
    // Keeps the old state, then sets the value (null data removes it).
    void Apply(DWORD type, const BYTE* data, DWORD size);

    HKEY root_;
    std::wstring key_, value_;
    REGSAM view_;
    bool hadValue_ = false;
    bool createdKey_ = false;
    DWORD oldType_ = 0;
    std::string oldData_;
};

// Sets an environment variable of this process (and so of the programs it starts) for the
// life of the object; null removes it. The old value comes back on destruction.
class EnvironmentOverride {
public:
    EnvironmentOverride(const std::wstring& name, const wchar_t* value);
    ~EnvironmentOverride();
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::wstring name_;
    bool hadValue_ = false;
    std::wstring oldValue_;
};
// The value of an environment variable of this process, or empty text.
std::wstring EnvironmentValue(const std::wstring& name);

// One request of the access log of nginx run by tests/support/with_nginx.py (the fields of
// tests/download/nginx_peer.py), in the order nginx finished them.
struct NginxRequest {
    std::string uri;  // with its query
    int status = 0;
    long long bytesSent = 0;
    std::string range, agent, cookie;  // "-" when the request had none
};
std::vector<NginxRequest> NginxRequests();
// The URIs of the requests whose URI begins with the prefix, sorted: requests that may arrive
// in any order are compared as a set with repeats.
std::vector<std::string> NginxUris(const std::string& prefix);

// A registry key of the test's own name, deleted with everything under it before use (a run
// cut short may have left it) and on destruction. In a named view (KEY_WOW64_64KEY,
// KEY_WOW64_32KEY) it may hold values but no keys of its own.
class ScratchRegistryKey {
public:
    ScratchRegistryKey(HKEY root, const std::wstring& key, REGSAM view = 0);
    ~ScratchRegistryKey();
    ScratchRegistryKey(const ScratchRegistryKey&) = delete;
    ScratchRegistryKey& operator=(const ScratchRegistryKey&) = delete;
    const std::wstring& Path() const { return key_; }

private:
    void Delete();
    HKEY root_;
    std::wstring key_;
    REGSAM view_;
};

// Runs this test program's tests that match `filter` (disabled ones included) in a copy of it:
// a process of its own, for what a process reads once at its start, such as the screen
// density. The exit code is -1 when the copy did not end within two minutes.
struct ChildRun {
    long exitCode;
    std::string report;  // gtest's XML report
};
ChildRun RunTestsInChild(const std::wstring& filter);
// Whether this is 64-bit Windows (a 64-bit program, or a 32-bit one under WoW64), which keeps
// a 64-bit and a 32-bit registry view.
bool RunsOn64BitWindows();

// Sets the prefix's screen density for programs started from now on (LogPixels).
bool SetLogPixels(DWORD dotsPerInch);
