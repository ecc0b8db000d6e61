#include "config/Package.h"

#include "framework/Handles.h"

const wchar_t kPackageResourceType[] = L"WENDRAKEPACKAGE";

namespace {

// The pictures' sharper variants for dense screens (wizard/DensityPicture.h) are optional.
const wchar_t* const kFileNames[] = {
    L"ConfigParams.ini",  L"Language.ini",      L"BackGround.bmp",    L"Preloader.jpg",
    L"BackGround@2x.bmp", L"BackGround@3x.bmp", L"BackGround@4x.bmp", L"Preloader@2x.jpg",
    L"Preloader@3x.jpg",  L"Preloader@4x.jpg"};

// Resource names are found without regard to letter case; the packer stores them in upper case,
// as the resource compiler does.
std::wstring ResourceName(const std::wstring& name) {
    std::wstring upper = name;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return upper;
}

unsigned long LittleEndian32(const unsigned char* bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<unsigned long>(bytes[3]) << 24);
}

// Windows' own LZNT1 decompression (ntdll, from Windows XP on; not in XP's headers).
bool DecompressLznt1(const unsigned char* stored, DWORD storedSize, unsigned long fileSize, std::vector<char>& bytes) {
    using DecompressBuffer = LONG(NTAPI*)(USHORT, PUCHAR, ULONG, PUCHAR, ULONG, PULONG);
    static const auto decompress = reinterpret_cast<DecompressBuffer>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlDecompressBuffer")));
    bytes.assign(fileSize, '\0');
    if (fileSize == 0) return true;
    ULONG produced = 0;
    LONG status = decompress ? decompress(kStoredLznt1, reinterpret_cast<PUCHAR>(bytes.data()), fileSize,
                                          const_cast<PUCHAR>(stored), storedSize, &produced)
                             : -1;
    // A damaged stream that decodes to fewer bytes than were packed is no file.
    if (status < 0 || produced != fileSize) {
        bytes.clear();
        return false;
    }
    return true;
}

bool ReadEmbedded(HMODULE module, const std::wstring& name, std::vector<char>& bytes) {
    HRSRC found = ::FindResourceW(module, ResourceName(name).c_str(), kPackageResourceType);
    if (!found) return false;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* data = loaded ? static_cast<const unsigned char*>(::LockResource(loaded)) : nullptr;
    if (!data || size < kPackageHeaderSize) return false;
    const unsigned long storage = LittleEndian32(data), fileSize = LittleEndian32(data + 4);
    const unsigned char* stored = data + kPackageHeaderSize;
    const DWORD storedSize = size - kPackageHeaderSize;
    if (fileSize > kLargestPackageFile) return false;
    if (storage == kStoredAsIs && storedSize == fileSize) {
        bytes.assign(stored, stored + storedSize);
        return true;
    }
    if (storage == kStoredLznt1) return DecompressLznt1(stored, storedSize, fileSize, bytes);
    return false;
}

FileHandle OpenForReading(const std::wstring& path) {
    return FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadFromDisk(const std::wstring& path, std::vector<char>& bytes) {
    FileHandle file = OpenForReading(path);
    // A second try rides out a file that another program is just closing.
    if (!file) file = OpenForReading(path);
    if (!file) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > static_cast<LONGLONG>(kLargestPackageFile))
        return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return false;
    bytes.resize(read);
    return true;
}

struct NameList {
    std::vector<std::wstring>* names;
    static BOOL CALLBACK Add(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR data) {
        // Numbered resources of our type are none of ours.
        if (!IS_INTRESOURCE(name)) reinterpret_cast<NameList*>(data)->names->push_back(name);
        return TRUE;
    }
};

}  // namespace

const wchar_t* PackageFileName(size_t index) {
    return index < sizeof kFileNames / sizeof kFileNames[0] ? kFileNames[index] : nullptr;
}

bool PackageFile::Exists() const {
    if (Embedded()) return ::FindResourceW(module_, ResourceName(path_).c_str(), kPackageResourceType) != nullptr;
    return ::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PackageFile::Read(std::vector<char>& bytes) const {
    bytes.clear();
    return Embedded() ? ReadEmbedded(module_, path_, bytes) : ReadFromDisk(path_, bytes);
}

PackageSource PackageSource::Folder(const std::wstring& folder) {
    PackageSource source;
    source.folder_ = folder;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') source.folder_ += L'\\';
    return source;
}

PackageSource PackageSource::Inside(HMODULE module) {
    PackageSource source;
    source.module_ = module;
    return source;
}

PackageFile PackageSource::File(const std::wstring& name) const {
    return Embedded() ? PackageFile(module_, name) : PackageFile(folder_ + name);
}

std::vector<std::wstring> PackageSource::EmbeddedNames() const {
    std::vector<std::wstring> names;
    if (!Embedded()) return names;
    NameList list = {&names};
    ::EnumResourceNamesW(module_, kPackageResourceType, &NameList::Add, reinterpret_cast<LONG_PTR>(&list));
    return names;
}

bool HoldsPackage(HMODULE module) { return !PackageSource::Inside(module).EmbeddedNames().empty(); }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    size_t slash = folder.rfind(L'\\');
    if (slash != std::wstring::npos) folder.resize(slash);
    return folder + L'\\';
}

const PackageSource& OwnPackage() {
    static const PackageSource own = HoldsPackage(::GetModuleHandleW(nullptr))
                                         ? PackageSource::Inside(::GetModuleHandleW(nullptr))
                                         : PackageSource::Folder(ProgramFolder());
    return own;
}
