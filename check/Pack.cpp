#include "check/Pack.h"

#include <windows.h>

#include <cstring>

#include "check/Lznt1.h"
#include "config/Package.h"
#include "framework/Handles.h"
#include "resources/resource.h"

namespace {

unsigned long Read32(const std::vector<char>& image, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(image.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned long>(p[3]) << 24);
}

void Write32(std::vector<char>& image, size_t at, unsigned long value) {
    for (int i = 0; i < 4; ++i) image[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Append32(std::vector<char>& bytes, unsigned long value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Removes an Authenticode signature, which would no longer match once the resources change: the
// certificate table's directory entry, and the table itself where it ends the file (as signing
// tools place it). False when the image is no Windows program.
bool DropSignature(std::vector<char>& image, bool& dropped) {
    dropped = false;
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') return false;
    const size_t pe = Read32(image, 0x3C);
    if (pe > image.size() || image.size() - pe < 24 + 2 || std::memcmp(&image[pe], "PE\0\0", 4) != 0) return false;
    const size_t optional = pe + 24;
    const unsigned magic = static_cast<unsigned char>(image[optional]) | (static_cast<unsigned char>(image[optional + 1]) << 8);
    if (magic != 0x10B && magic != 0x20B) return false;
    // The number of data directories, then the directories; the certificate table is the fifth.
    const size_t countAt = optional + (magic == 0x20B ? 108 : 92);
    const size_t entry = countAt + 4 + 4 * 8;
    if (image.size() < entry + 8) return false;
    if (Read32(image, countAt) <= 4) return true;
    const unsigned long offset = Read32(image, entry), length = Read32(image, entry + 4);
    if (length == 0) return true;
    if (offset < entry || offset > image.size()) return false;
    if (offset + ((length + 7) & ~7ul) >= image.size()) image.resize(offset);
    Write32(image, entry, 0);
    Write32(image, entry + 4, 0);
    dropped = true;
    return true;
}

bool StoredAsIs(const std::wstring& name) {
    return name.size() > 4 && ::lstrcmpiW(name.c_str() + name.size() - 4, L".ini") == 0;
}

// The resource's bytes: how the file is stored, its size, then the stored bytes.
std::vector<char> ResourceData(const PackedFile& file) {
    std::vector<char> compressed;
    if (!StoredAsIs(file.name) && !file.bytes.empty()) compressed = CompressLznt1(file.bytes);
    const bool useCompressed = !compressed.empty() && compressed.size() < file.bytes.size();
    const std::vector<char>& stored = useCompressed ? compressed : file.bytes;
    std::vector<char> data;
    data.reserve(kPackageHeaderSize + stored.size());
    Append32(data, useCompressed ? kStoredLznt1 : kStoredAsIs);
    Append32(data, static_cast<unsigned long>(file.bytes.size()));
    data.insert(data.end(), stored.begin(), stored.end());
    return data;
}

std::wstring UpperCase(std::wstring name) {
    for (wchar_t& c : name)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return name;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 2] = {};
    DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(full) : path;
}

bool WriteWhole(const std::wstring& path, const std::vector<char>& bytes) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A resource's type or name: a number or a string.
struct ResourceId {
    ULONG_PTR number = 0;
    std::wstring text;
    explicit ResourceId(LPCWSTR id) {
        if (IS_INTRESOURCE(id))
            number = reinterpret_cast<ULONG_PTR>(id);
        else
            text = id;
    }
    LPCWSTR Get() const { return number ? MAKEINTRESOURCEW(number) : text.c_str(); }
    bool operator==(const ResourceId& other) const { return number == other.number && text == other.text; }
};

struct Resource {
    ResourceId type, name;
    WORD language;
    std::vector<char> data;
    bool operator==(const Resource& other) const {
        return type == other.type && name == other.name && language == other.language && data == other.data;
    }
};

// Every resource of the module but its package: the dialogs, cursor, manifest and version.
std::vector<Resource> ProgramResources(HMODULE module) {
    struct Walk {
        HMODULE module;
        std::vector<Resource> found;
        std::vector<ResourceId> types, names;
        static BOOL CALLBACK Type(HMODULE, LPWSTR type, LONG_PTR self) {
            reinterpret_cast<Walk*>(self)->types.emplace_back(type);
            return TRUE;
        }
        static BOOL CALLBACK Name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR self) {
            reinterpret_cast<Walk*>(self)->names.emplace_back(name);
            return TRUE;
        }
        static BOOL CALLBACK Language(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR self) {
            HRSRC found = ::FindResourceExW(module, type, name, language);
            const char* data = found ? static_cast<const char*>(::LockResource(::LoadResource(module, found))) : nullptr;
            if (data)
                reinterpret_cast<Walk*>(self)->found.push_back(
                    Resource{ResourceId(type), ResourceId(name), language,
                             std::vector<char>(data, data + ::SizeofResource(module, found))});
            return TRUE;
        }
    } walk{module, {}, {}, {}};
    const LONG_PTR self = reinterpret_cast<LONG_PTR>(&walk);
    ::EnumResourceTypesW(module, &Walk::Type, self);
    for (const ResourceId& type : walk.types) {
        if (type.text == kPackageResourceType) continue;
        walk.names.clear();
        ::EnumResourceNamesW(module, type.Get(), &Walk::Name, self);
        for (const ResourceId& name : walk.names) ::EnumResourceLanguagesW(module, type.Get(), name.Get(), &Walk::Language, self);
    }
    return walk.found;
}

// The written file's resources: the program's own, as they were, and the package. They are all
// written afresh, since the system's functions cannot be trusted to delete a resource (Wine's
// leave it in place).
std::wstring Embed(const std::wstring& out, const std::vector<Resource>& program, std::vector<PackedFile>& files) {
    HANDLE update = ::BeginUpdateResourceW(out.c_str(), TRUE);
    if (!update) return L"cannot update its resources (error " + std::to_wstring(::GetLastError()) + L")";
    bool ok = true;
    for (const Resource& resource : program)
        ok = ok && ::UpdateResourceW(update, resource.type.Get(), resource.name.Get(), resource.language,
                                     const_cast<char*>(resource.data.data()), static_cast<DWORD>(resource.data.size()));
    for (PackedFile& file : files) {
        std::vector<char> data = ResourceData(file);
        file.storedSize = data.size() - kPackageHeaderSize;
        ok = ok && ::UpdateResourceW(update, kPackageResourceType, UpperCase(file.name).c_str(), 0, data.data(),
                                     static_cast<DWORD>(data.size()));
    }
    if (!ok) {
        DWORD error = ::GetLastError();
        ::EndUpdateResourceW(update, TRUE);
        return L"cannot add the files as resources (error " + std::to_wstring(error) + L")";
    }
    if (!::EndUpdateResourceW(update, FALSE))
        return L"cannot write its resources (error " + std::to_wstring(::GetLastError()) + L")";
    return std::wstring();
}

// Every file reads back from the written executable exactly, nothing else is in its package,
// and the program's own resources are all there as they were.
bool ReadsBack(const std::wstring& out, const std::vector<Resource>& program, const std::vector<PackedFile>& files) {
    LibraryModule module(::LoadLibraryExW(out.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return false;
    PackageSource package = PackageSource::Inside(module.Get());
    if (package.EmbeddedNames().size() != files.size() || !(ProgramResources(module.Get()) == program)) return false;
    for (const PackedFile& file : files) {
        std::vector<char> bytes;
        if (!package.File(file.name).Read(bytes) || bytes != file.bytes) return false;
    }
    return true;
}

}  // namespace

PackOutcome WritePackedInstaller(const std::wstring& installer, const std::wstring& out, std::vector<PackedFile>& files) {
    PackOutcome outcome;
    if (::lstrcmpiW(FullPath(installer).c_str(), FullPath(out).c_str()) == 0) {
        outcome.error = L"would overwrite the installer it is made from: name another file";
        return outcome;
    }
    std::vector<char> image;
    if (!PackageFile(installer).Read(image)) {
        outcome.error = L"cannot read the installer " + installer;
        return outcome;
    }
    if (!DropSignature(image, outcome.droppedSignature)) {
        outcome.error = installer + L" is no Windows program";
        return outcome;
    }
    std::vector<Resource> program;
    {
        LibraryModule module(::LoadLibraryExW(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        // The wizard's own dialog tells the installer from any other program.
        if (!module || !::FindResourceW(module.Get(), MAKEINTRESOURCEW(IDD_WIZARD), MAKEINTRESOURCEW(5))) {
            outcome.error = installer + L" is not Wendrake's installer";
            return outcome;
        }
        program = ProgramResources(module.Get());
    }
    if (!WriteWhole(out, image)) {
        outcome.error = L"cannot write it (error " + std::to_wstring(::GetLastError()) + L")";
        ::DeleteFileW(out.c_str());
        return outcome;
    }
    outcome.error = Embed(out, program, files);
    if (outcome.error.empty() && !ReadsBack(out, program, files))
        outcome.error = L"its package does not read back as it was written";
    if (!outcome.error.empty()) ::DeleteFileW(out.c_str());
    return outcome;
}
