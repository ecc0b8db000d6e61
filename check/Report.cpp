#include "check/Report.h"

#include <vector>

#include "config/TextFileReader.h"

void Print(const std::wstring& text) {
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode, written;
    if (::GetConsoleMode(output, &mode)) {
        ::WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        std::vector<char> bytes = WideToCodePageBytes(text, CP_UTF8);
        ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

void Report::Add(const wchar_t* kind, const std::wstring& file, int line, const std::wstring& text) {
    Print(std::wstring(kind) + L": " + file + (line > 0 ? L":" + std::to_wstring(line) : L"") + L": " + text + L"\n");
}

void Report::Summary(const std::wstring& folder) const {
    Print(folder + L": " + std::to_wstring(errors_) + (errors_ == 1 ? L" error, " : L" errors, ") +
          std::to_wstring(warnings_) + (warnings_ == 1 ? L" warning\n" : L" warnings\n"));
}

std::wstring Grouped(unsigned long long n) {
    std::wstring digits = std::to_wstring(n), grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += L',';
        grouped += digits[i];
    }
    return grouped;
}

std::wstring Pixels(SIZE size) { return std::to_wstring(size.cx) + L" x " + std::to_wstring(size.cy); }

std::wstring Listed(const std::wstring& list) {
    size_t last = list.rfind(L", ");
    return last == std::wstring::npos ? list : list.substr(0, last) + L" and " + list.substr(last + 2);
}
