#pragma once
// The engine's changes to files that it may not take for granted: removing a file and cutting
// one back to nothing. Where a scanner holds the file (sharing no delete) or the folder's rights
// forbid it they fail, and the engine must then stop instead of writing onto the old bytes.
// Wine running as root is never refused, so tests put in operations of their own that fail.

#include <windows.h>

#include <string>

class FileOps {
public:
    virtual ~FileOps() = default;
    // Removes the file; true also when there was none.
    virtual bool Delete(const std::wstring& path);
    // Cuts the open file to no bytes, its position at the start.
    virtual bool Truncate(HANDLE file);

    // The operations of the system, as the engine uses them unless told otherwise.
    static FileOps& System();
};
