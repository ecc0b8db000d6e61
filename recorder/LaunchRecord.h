#pragma once
// What the recorder program writes about each start of itself, and how a test reads it back.
// The recorder stands in for programs that Wendrake starts through the shell (the browser,
// IExplore.exe, the downloaded installer); its records show which program was started with
// which parameters, and whether it was asked to show itself.

#include <string>
#include <vector>

struct LaunchRecord {
    std::wstring program;      // the module path the recorder ran from
    std::wstring commandLine;  // GetCommandLineW as it arrived
    std::wstring parameters;   // the command line after the program name
    bool showWindowSet = false;  // STARTF_USESHOWWINDOW was in STARTUPINFO.dwFlags
    int showWindow = -1;         // STARTUPINFO.wShowWindow
};

// The environment variable naming the folder that receives the records. Without it the
// recorder writes beside itself.
constexpr const wchar_t* kRecordFolderVariable = L"WENDRAKE_RECORDS";

// The record file of one program name ("iexplore.exe" -> "iexplore.exe.record"), lower case.
std::wstring RecordFileName(const std::wstring& exeName);

// The parameters of a command line: what follows the program name (quoted or not) and the
// blanks after it, as CreateProcess splits them.
std::wstring ParametersOf(const std::wstring& commandLine);

// One record as UTF-8 lines, ending with "end". Values are single lines.
std::string FormatRecord(const LaunchRecord& record);
// Every complete record of a record file's contents, in the order they were written.
std::vector<LaunchRecord> ParseRecords(const std::string& utf8);
