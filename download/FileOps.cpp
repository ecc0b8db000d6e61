#include "download/FileOps.h"

bool FileOps::Delete(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool FileOps::Truncate(HANDLE file) {
    LARGE_INTEGER zero = {};
    return ::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
}

FileOps& FileOps::System() {
    static FileOps system;
    return system;
}
