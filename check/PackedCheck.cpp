#include "check/PackedCheck.h"

#include <vector>

#include "check/Pack.h"
#include "download/Verify.h"

namespace {

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Whether the packed installer is signed, and by whom, as Windows sees it when a user starts it.
void CheckSignatureOf(const std::wstring& exe, Report& report) {
    const std::wstring name = FileNameOf(exe);
    std::wstring signer;
    switch (CheckSignature(exe, signer)) {
    case SignatureState::Unsigned:
        report.Warning(name, 0, L"is not signed: Windows warns everyone who starts it (\"Unknown publisher\"); "
                                L"sign it before you ship it");
        break;
    case SignatureState::Altered:
        report.Error(name, 0, L"was changed after it was signed" + (signer.empty() ? L"" : L" by " + signer) +
                                  L": the signature no longer matches it, and Windows warns or refuses to start it; "
                                  L"sign it again");
        break;
    case SignatureState::Untrusted:
        report.Warning(name, 0, L"is signed by " + (signer.empty() ? std::wstring(L"an unnamed signer") : signer) +
                                    L", but its certificate does not lead to a root this machine trusts: Windows "
                                    L"warns as for an unsigned file");
        break;
    case SignatureState::Trusted:
        report.Note(name, 0, L"is signed by " + signer);
        break;
    }
}

// Files inside a packed installer that it never reads (made by another version, say).
void CheckEmbeddedNames(const CheckedPackage& package, Report& report) {
    for (const std::wstring& stored : package.source.EmbeddedNames()) {
        bool known = false;
        for (size_t i = 0; PackageFileName(i); ++i) known = known || ::lstrcmpiW(stored.c_str(), PackageFileName(i)) == 0;
        if (!known) report.Warning(FileNameOf(package.where), 0, L"holds " + stored + L", which the installer never reads");
    }
}

// Writes `out`: the installer beside this program, with the checked folder's files inside.
void Pack(const CheckedPackage& package, const std::wstring& out, Report& report) {
    const std::wstring name = FileNameOf(out);
    if (report.Errors()) {
        report.Error(name, 0, L"not written: mend the errors above first");
        return;
    }
    std::vector<PackedFile> files;
    for (size_t i = 0; PackageFileName(i); ++i) {
        PackageFile file = package.source.File(PackageFileName(i));
        if (!file.Exists()) continue;
        PackedFile packed;
        packed.name = PackageFileName(i);
        if (!file.Read(packed.bytes)) return report.Error(packed.name, 0, L"cannot be read: " + name + L" not written");
        files.push_back(std::move(packed));
    }
    PackOutcome outcome = WritePackedInstaller(ProgramFolder() + L"Wendrake.exe", out, files);
    if (!outcome.error.empty()) return report.Error(name, 0, L"not written: " + outcome.error);
    std::wstring contents;
    for (const PackedFile& file : files) {
        contents += (contents.empty() ? L"" : L", ") + file.name + L" (" + Grouped(file.bytes.size()) + L" bytes";
        if (file.storedSize != file.bytes.size()) contents += L", compressed to " + Grouped(file.storedSize);
        contents += L")";
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(out.c_str(), GetFileExInfoStandard, &data);
    report.Note(name, 0, L"written: " + Grouped(data.nFileSizeLow) + L" bytes, holding " + contents);
    report.Note(name, 0, outcome.droppedSignature
                             ? L"is not signed: Wendrake.exe's signature was dropped, since it could not match the "
                               L"new file; sign it before you ship it"
                             : L"is not signed yet: sign it before you ship it");
}
