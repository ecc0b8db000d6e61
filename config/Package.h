#pragma once
// The distributor's package: ConfigParams.ini, Language.ini and the two pictures. A packed
// installer carries it inside itself, as resources that its signature covers; otherwise its files
// lie beside the executable. Everything the program reads of its package comes through here, so
// that a packed installer reads nothing a web page's download could put beside it.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// The resources of a package: one of this type per file, named by the file's name in upper case.
// Each holds an 8-byte header (how it is stored, then the file's size, both 32-bit little-endian)
// and the stored bytes.
extern const wchar_t kPackageResourceType[];
constexpr unsigned long kStoredAsIs = 0;
constexpr unsigned long kStoredLznt1 = 2;  // COMPRESSION_FORMAT_LZNT1, which Windows decompresses itself
constexpr size_t kPackageHeaderSize = 8;
// Larger files are refused: far beyond any package, and a damaged header cannot ask for more.
constexpr unsigned long kLargestPackageFile = 64ul * 1024 * 1024;

// The index-th file name the program reads from its package, or null past the last. The packer
// embeds exactly the files of this list that the folder holds.
const wchar_t* PackageFileName(size_t index);

// One file of a package: a file on disk, or one embedded in an executable.
class PackageFile {
public:
    // A file on disk. Explicit: a file read beside the program must be asked for on purpose.
    explicit PackageFile(const std::wstring& path) : path_(path) {}
    // The file `name` embedded in `module`, which must stay loaded while this is used.
    PackageFile(HMODULE module, const std::wstring& name) : path_(name), module_(module) {}

    bool Embedded() const { return module_ != nullptr; }
    // The path on disk, or the embedded file's name.
    const std::wstring& Path() const { return path_; }
    HMODULE Module() const { return module_; }

    bool Exists() const;
    // The file's bytes; false when it is missing or cannot be read (an embedded one that does
    // not decompress to its recorded size included).
    bool Read(std::vector<char>& bytes) const;

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
};

// Where a package's files come from: a folder, or an executable that holds them.
class PackageSource {
public:
    static PackageSource Folder(const std::wstring& folder);
    static PackageSource Inside(HMODULE module);

    bool Embedded() const { return module_ != nullptr; }
    PackageFile File(const std::wstring& name) const;
    // The names of the files embedded in the module, as stored (upper case); empty for a folder.
    std::vector<std::wstring> EmbeddedNames() const;

private:
    std::wstring folder_;  // with a trailing backslash
    HMODULE module_ = nullptr;
};

// True when the module carries at least one file of a package.
bool HoldsPackage(HMODULE module);

// The running executable's folder, with a trailing backslash: where a package that is not
// inside it lies.
std::wstring ProgramFolder();

// The running program's package: inside it when it holds one, else the folder beside it.
// Decided at the first call; the answer does not change while the program runs.
const PackageSource& OwnPackage();
