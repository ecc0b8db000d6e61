#pragma once
// The packer: a copy of the installer executable with a package's files embedded as resources
// (see config/Package.h), written with the system's own resource-update functions.

#include <string>
#include <vector>

struct PackedFile {
    std::wstring name;
    std::vector<char> bytes;
    size_t storedSize = 0;  // set by WritePackedInstaller: its size inside the executable
};

struct PackOutcome {
    std::wstring error;              // empty when the file was written
    bool droppedSignature = false;   // the installer was signed: the copy is not, until signed again
};

// Writes `out` from the installer executable and the files, which replace any package the
// installer held. The ".ini" files are stored as they are, so that they can be read in the
// executable; the others (the pictures) LZNT1-compressed where that makes them smaller. The
// written file is read back before this returns; on any failure nothing is left at `out`.
PackOutcome WritePackedInstaller(const std::wstring& installer, const std::wstring& out, std::vector<PackedFile>& files);
