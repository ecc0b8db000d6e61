#pragma once
// The test side of the recorder: where it is, where its records go, and how it stands in for
// the prefix's own IExplore.exe.

#include <windows.h>

#include <string>
#include <vector>

#include "recorder/LaunchRecord.h"
#include "tests/support/TestSupport.h"

// The recorder program of this build.
std::wstring RecorderExe();
// Copies the recorder to the given path (a stand-in browser, installer, ...).
bool CopyRecorderTo(const std::wstring& path);
// Writes the recorder to the path padded to `size` bytes (a stand-in full installer for a web
// server to send; a large one takes a while on a slow link) and returns the bytes written,
// empty when the recorder cannot be read.
std::string WritePaddedRecorder(const std::wstring& path, size_t size);

// A fresh folder that receives the records of every recorder this process starts from now
// on (through the environment they inherit); the previous folder is restored on destruction.
class LaunchLog {
public:
    LaunchLog() = default;
    LaunchLog(const LaunchLog&) = delete;
    LaunchLog& operator=(const LaunchLog&) = delete;

    const std::wstring& Folder() const { return dir_.Path(); }
    // The records of starts under this program file name ("iexplore.exe"), any letter case.
    std::vector<LaunchRecord> Records(const std::wstring& exeName) const;
    // Waits until the program has at least `count` records; false when the time runs out.
    bool WaitForRecords(const std::wstring& exeName, size_t count = 1, DWORD timeoutMs = 10000) const;

private:
    TempDir dir_;
    EnvironmentOverride variable_{kRecordFolderVariable, dir_.Path().c_str()};
};

// The recorder registered as the browser that web pages open in (through ".htm"), for the
// life of the object; its starts are recorded as "browser.exe".
class RecorderBrowser {
public:
    explicit RecorderBrowser(const TempDir& dir);
    bool Placed() const { return placed_; }
    std::vector<LaunchRecord> Records() const { return log_.Records(L"browser.exe"); }
    bool WaitForRecord(size_t count = 1) const { return log_.WaitForRecords(L"browser.exe", count); }

private:
    std::wstring path_, class_, command_;
    bool placed_;
    ScratchRegistryKey pageClass_;
    RegistryOverride htm_, open_;
    LaunchLog log_;
};

// Puts the recorder in place of the prefix's IExplore.exe for the life of the object: the
// shell finds that name in the system folder (and the browser's own folder) before any
// "App Paths" entry, and Wine runs our file there because of iexplore.exe=n in
// WINEDLLOVERRIDES. The original files come back on destruction.
class IExploreStandIn {
public:
    IExploreStandIn();
    ~IExploreStandIn();
    IExploreStandIn(const IExploreStandIn&) = delete;
    IExploreStandIn& operator=(const IExploreStandIn&) = delete;

    // Whether at least one IExplore.exe was replaced.
    bool Placed() const { return !replaced_.empty(); }
    // Takes the files away altogether, so that starting IExplore.exe fails (until destruction).
    void Remove();

private:
    struct Replaced {
        std::wstring path;
        std::string original;
    };
    std::vector<Replaced> replaced_;
};
