// WendrakeCheck [--online] [folder | packed.exe]: checks a distributor's package (default: the
// program's own folder), or the one inside a packed installer, with the installer's own readers,
// rules, layout and picture loader, so that it can never disagree with the installer.
// WendrakeCheck --pack OUT.exe [--online] [folder]: checks the folder, then writes OUT.exe, the
// installer with the package inside it, unless the check found errors.
// Exit status 0 clean, 1 warnings, 2 errors.

#include <windows.h>

#include <string>

#include "check/CheckedPackage.h"
#include "check/LayoutCheck.h"
#include "check/Online.h"
#include "check/PackedCheck.h"
#include "check/Report.h"
#include "check/SettingsCheck.h"
#include "check/TextsCheck.h"
#include "framework/Handles.h"
#include "framework/SystemLibraries.h"

namespace {

int Usage() {
    Print(L"usage: WendrakeCheck [--online] [folder | packed installer]\n"
          L"       WendrakeCheck --pack OUT.exe [--online] [folder]\n"
          L"Checks ConfigParams.ini, Language.ini, BackGround.bmp and Preloader.jpg in the folder (default:\n"
          L"this program's own), or inside a packed installer, as Wendrake reads them; --online also asks\n"
          L"the download server. --pack then writes OUT.exe: Wendrake.exe, from beside this program, with\n"
          L"the files inside it, unless the check found errors.\n"
          L"Exit status: 0 clean, 1 warnings, 2 errors.\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Shipped in the same package as the installer, and as careful about its DLLs.
    ProtectDllSearch();
    bool online = false;
    std::wstring target, packOut;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--online")
            online = true;
        else if (arg == L"--pack" && i + 1 < argc && packOut.empty() && argv[i + 1][0] != L'-')
            packOut = argv[++i];
        else if (arg.empty() || arg[0] == L'-' || !target.empty())
            return Usage();
        else
            target = arg;
    }
    // "C:\Package\" ends in a backslash that the command line's rules read as an escaped quote.
    if (!target.empty() && target.back() == L'"') target.back() = L'\\';
    if (target.empty()) target = ProgramFolder();
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        Print(L"error: " + target + L": no such folder or file\n");
        return 2;
    }
    if (!folder && !packOut.empty()) return Usage();

    std::wstring where = target;
    PackageSource source = PackageSource::Folder(target);
    LibraryModule module;
    if (folder) {
        if (where.back() != L'\\' && where.back() != L'/') where += L'\\';
    } else {
        module.Reset(::LoadLibraryExW(target.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!module || !HoldsPackage(module.Get())) {
            Print(L"error: " + target + L": " + (module ? L"holds no package: check the folder of its files, or pack "
                                                         L"them with --pack"
                                                       : L"is no Windows program") +
                  L"\n");
            return 2;
        }
        source = PackageSource::Inside(module.Get());
    }
    ::OleInitialize(nullptr);  // the picture loader needs it

    CheckedPackage package(source, where);
    Report report;
    if (!folder) {
        CheckSignatureOf(target, report);
        CheckEmbeddedNames(package, report);
    }
    CheckSettings(package, report);
    CheckTexts(package, report);
    CheckLayout(package, report);
    if (online) CheckOnline(package, report);
    if (!packOut.empty()) Pack(package, packOut, report);
    report.Summary(where);
    return report.ExitCode();
}
