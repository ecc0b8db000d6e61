#include "recorder/LaunchRecord.h"

#include <windows.h>

#include <cwchar>

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

// Line breaks would split a value across lines; the recorder's values never need them.
std::string OneLine(const std::wstring& text) {
    std::string line = ToUtf8(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

}  // namespace

std::wstring RecordFileName(const std::wstring& exeName) {
    std::wstring name = exeName + L".record";
    if (!name.empty()) ::CharLowerBuffW(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

std::wstring ParametersOf(const std::wstring& commandLine) {
    size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring::npos ? commandLine.size() : at + 1;
    } else {
        while (at < commandLine.size() && commandLine[at] != L' ' && commandLine[at] != L'\t') ++at;
    }
    while (at < commandLine.size() && (commandLine[at] == L' ' || commandLine[at] == L'\t')) ++at;
    return commandLine.substr(at);
}

std::string FormatRecord(const LaunchRecord& record) {
    std::string text;
    text += "program=" + OneLine(record.program) + "\r\n";
    text += "commandline=" + OneLine(record.commandLine) + "\r\n";
    text += "parameters=" + OneLine(record.parameters) + "\r\n";
    text += std::string("useshowwindow=") + (record.showWindowSet ? "1" : "0") + "\r\n";
    text += "showwindow=" + std::to_string(record.showWindow) + "\r\n";
    text += "end\r\n";
    return text;
}

std::vector<LaunchRecord> ParseRecords(const std::string& utf8) {
    std::vector<LaunchRecord> records;
    LaunchRecord current;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written
        std::string line = utf8.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "end") {
            records.push_back(current);
            current = LaunchRecord();
            continue;
        }
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        std::wstring value = FromUtf8(line.substr(equals + 1));
        if (key == "program") current.program = value;
        else if (key == "commandline") current.commandLine = value;
        else if (key == "parameters") current.parameters = value;
        else if (key == "useshowwindow") current.showWindowSet = value == L"1";
        else if (key == "showwindow") current.showWindow = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
    }
    return records;
}
