#include "recorder/RecorderClient.h"

std::wstring RecorderExe() { return FromUnixPath(RECORDER_EXE); }

bool CopyRecorderTo(const std::wstring& path) { return ::CopyFileW(RecorderExe().c_str(), path.c_str(), FALSE) != FALSE; }

std::string WritePaddedRecorder(const std::wstring& path, size_t size) {
    std::string bytes = ReadBytes(RecorderExe());
    if (bytes.empty()) return bytes;
    // Bytes after the program's image do not stop it from running.
    if (bytes.size() < size) bytes.resize(size, '\x5A');
    WriteBytes(path, bytes);
    return bytes;
}

std::vector<LaunchRecord> LaunchLog::Records(const std::wstring& exeName) const {
    return ParseRecords(ReadBytes(dir_ / RecordFileName(exeName)));
}

bool LaunchLog::WaitForRecords(const std::wstring& exeName, size_t count, DWORD timeoutMs) const {
    return WaitFor([&] { return Records(exeName).size() >= count; }, timeoutMs);
}

RecorderBrowser::RecorderBrowser(const TempDir& dir)
    : path_(dir / L"browser.exe"),
      class_(L"WendrakeTest.RecorderBrowser.htm"),
      command_(L"\"" + path_ + L"\" \"%1\""),
      placed_(CopyRecorderTo(path_)),
      pageClass_(HKEY_CLASSES_ROOT, class_),
      htm_(HKEY_CLASSES_ROOT, L".htm", L"", &class_),
      open_(HKEY_CLASSES_ROOT, class_ + L"\\shell\\open\\command", L"", &command_) {}

namespace {

std::vector<std::wstring> IExplorePaths() {
    std::vector<std::wstring> paths;
    wchar_t folder[MAX_PATH] = {};
    if (::GetSystemDirectoryW(folder, MAX_PATH)) paths.push_back(std::wstring(folder) + L"\\iexplore.exe");
    if (::GetSystemWow64DirectoryW(folder, MAX_PATH)) paths.push_back(std::wstring(folder) + L"\\iexplore.exe");
    // From the environment, not the shell: tests change the registry value the shell reads.
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)"})
        if (::GetEnvironmentVariableW(variable, folder, MAX_PATH))
            paths.push_back(std::wstring(folder) + L"\\Internet Explorer\\iexplore.exe");
    return paths;
}

}  // namespace

IExploreStandIn::IExploreStandIn() {
    for (const std::wstring& path : IExplorePaths()) {
        if (!FileExists(path)) continue;
        bool seen = false;
        for (const Replaced& r : replaced_) seen = seen || lstrcmpiW(r.path.c_str(), path.c_str()) == 0;
        if (seen) continue;
        Replaced entry{path, ReadBytes(path)};
        if (entry.original.empty() || !CopyRecorderTo(path)) continue;
        replaced_.push_back(entry);
    }
}

void IExploreStandIn::Remove() {
    for (const Replaced& r : replaced_) ::DeleteFileW(r.path.c_str());
}

IExploreStandIn::~IExploreStandIn() {
    for (const Replaced& r : replaced_) WriteBytes(r.path, r.original);
}
