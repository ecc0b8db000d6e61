#include "check/SettingsCheck.h"

#include "check/Suggest.h"
#include "download/DownloadEngine.h"
#include "download/Registry.h"
#include "download/Verify.h"

namespace {

bool StartsWith(const std::vector<char>& bytes, const char* mark, size_t length) {
    return bytes.size() >= length && std::equal(mark, mark + length, bytes.begin());
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring NoParamsMessage(const std::vector<char>& bytes) {
    std::wstring why;
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3))
        why = L": the file starts with a UTF-8 byte-order mark, which Windows reads as ANSI text ("
              L"\"\u00EF\u00BB\u00BF\" before the first line) and which hides a header on that line; save it as ANSI "
              L"text, or as UTF-16 (\"Unicode\" in Notepad)";
    else if (StartsWith(bytes, "\xFE\xFF", 2))
        why = L": the file is big-endian UTF-16, which Windows reads as ANSI text; save it as little-endian UTF-16 "
              L"(\"Unicode\" in Notepad)";
    return L"no [Params] section: every setting reads as empty" + why;
}

// Windows reads an INI file without a UTF-16 byte-order mark in the ANSI code page: a value
// written in UTF-8 reaches the user garbled (unless that code page is UTF-8).
void CheckEncoding(const CheckedPackage& package, Report& report) {
    const std::vector<char>& bytes = package.configBytes;
    if (StartsWith(bytes, "\xFF\xFE", 2) || bytes.empty()) return;
    const size_t skip = StartsWith(bytes, "\xEF\xBB\xBF", 3) ? 3 : 0;
    const int length = static_cast<int>(bytes.size() - skip);
    int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + skip, length, nullptr, 0);
    if (size <= 0) return;  // not UTF-8: ANSI text, read as written
    std::wstring text(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + skip, length, &text[0], size);
    // The same lines, read as they were meant; a line's number is the same either way.
    const std::vector<IniLine> meant = ReadIniLines(text);
    for (const IniLine& shown : package.configLines) {
        if (!shown.read || !SameIniName(shown.section, L"Params")) continue;
        for (const IniLine& line : meant) {
            if (line.number != shown.number || line.value == shown.value) continue;
            report.Error(kConfigName, shown.number,
                         shown.key + L" is saved as UTF-8, but Windows reads this file in the ANSI code page (" +
                             std::to_wstring(::GetACP()) + L" here): users see " + Quoted(shown.value) + L" for " +
                             Quoted(line.value) + L"; save the file as ANSI text, or as UTF-16 (\"Unicode\" in Notepad)");
        }
    }
}

void CheckSections(const CheckedPackage& package, Report& report) {
    bool params = false;
    for (const IniLine& line : package.configLines) {
        if (!line.header) continue;
        if (!SameIniName(line.section, L"Params"))
            report.Warning(kConfigName, line.number, L"section [" + line.section + L"] is never read: only [Params] is");
        else if (params)
            report.Warning(kConfigName, line.number, L"section [" + line.section + L"] is there twice: only the first is read");
        params = params || SameIniName(line.section, L"Params");
    }
    if (!params) report.Error(kConfigName, 0, NoParamsMessage(package.configBytes));
}

std::wstring KnownAddressPlaceholders() {
    std::wstring known;
    for (size_t i = 0; AddressPlaceholder(i); ++i) known += std::wstring(AddressPlaceholder(i)) + L", ";
    return known + kStagePlaceholder;
}

// An address as the wizard uses it: what its placeholders leave, whether it can be asked for,
// and the download's file name.
void CheckAddress(const CheckedPackage& package, const AddressKey& key, Report& report) {
    const int line = package.ConfigLine(key.name);
    const std::wstring name = key.name;
    const std::wstring address = ExpandedAddress(key);
    for (const std::wstring& left : MarkedWords(address, L'$')) {
        if (left == kStagePlaceholder)
            report.Error(kConfigName, line, name + L": " + left + L" is replaced only in OmnitureLink");
        else
            report.Error(kConfigName, line,
                         name + L": unknown placeholder " + left + L" (known: " + KnownAddressPlaceholders() + L")");
    }
    if (!IsWebAddress(address)) return report.Error(kConfigName, line, name + L" is not an http or https address: " + address);
    // Mirrors are saved under the download address's file name.
    if (key.use != AddressUse::Download) return;
    const std::wstring file = FileNameFromUrl(address);
    if (file.empty())
        report.Error(kConfigName, line,
                     L"InstallerDownloadURL does not end in a file name, which the download is saved under: " + address);
    else if (!NamesAProgram(file))
        report.Warning(kConfigName, line,
                       L"InstallerDownloadURL's file, " + Quoted(file) +
                           L", is no program (.exe): the wizard saves it under that name and opens it as Windows "
                           L"opens that kind of file; where Windows has no program for it, the installer cannot be "
                           L"started, and every Retry deletes the file and downloads it again");
}

// The checks of the downloaded installer, parsed by the engine's own parsers: a value they refuse
// fails every download before it starts.
void CheckInstallerChecks(const CheckedPackage& package, Report& report) {
    const Settings& settings = AppSettings();
    unsigned char digest[Sha256::kSize];
    if (!settings.InstallerSHA256.empty() && !ParseSha256(settings.InstallerSHA256, digest))
        report.Error(kConfigName, package.ConfigLine(L"InstallerSHA256"),
                     L"InstallerSHA256 is not 64 hexadecimal digits: every download fails before it starts: " +
                         settings.InstallerSHA256);
    if (!settings.InstallerSize.empty() && ParseByteCount(settings.InstallerSize) < 0)
        report.Error(kConfigName, package.ConfigLine(L"InstallerSize"),
                     L"InstallerSize is not a number of bytes in decimal digits: every download fails before it "
                     L"starts: " + settings.InstallerSize);
}

// The folder the wizard proposes on Windows Vista and later, by the installer's own rules.
void CheckVistaFolder(const CheckedPackage& package, Report& report) {
    const int line = package.ConfigLine(L"VistaDefaultInstallPath");
    const std::wstring folder = VistaInstallFolder();
    const std::vector<std::wstring> unexpanded = MarkedWords(AppSettings().VistaDefaultInstallPath, L'%');
    if (AppSettings().VistaDefaultInstallPath.empty())
        report.Error(kConfigName, line,
                     L"VistaDefaultInstallPath is empty: on Windows Vista and later the wizard proposes " +
                         Quoted(folder) + L", a folder at the root of whichever drive is current");
    else if (!unexpanded.empty())
        report.Error(kConfigName, line,
                     L"VistaDefaultInstallPath holds " + unexpanded[0] +
                         L", which the installer does not expand: on Windows Vista and later it proposes " +
                         Quoted(folder) + L" as written");
    else if (IsInProgramFiles(folder))
        report.Error(kConfigName, line,
                     L"VistaDefaultInstallPath lies in the program-files folder: on Windows Vista and later the "
                     L"wizard proposes " + Quoted(folder) + L", then refuses it (VistaProtectedFolderMsg)");
}

}  // namespace

void CheckSettings(CheckedPackage& package, Report& report) {
    if (!package.config.Exists()) {
        report.Error(kConfigName, 0, L"missing: the installer says it is incomplete and closes");
        return;
    }
    CheckSections(package, report);
    CheckEncoding(package, report);
    LoadSettingsFrom(package.config);
    const Settings& settings = AppSettings();

    // The keys as Windows lists them, so that letter case and duplicates count as it counts them.
    IniFile ini(package.config);
    const std::vector<std::wstring> known = NamesOf(SettingKeyName);
    for (const std::wstring& name : ini.Keys(L"Params")) {
        bool isKnown = false;
        for (const std::wstring& key : known) isKnown = isKnown || SameIniName(key, name);
        if (!isKnown) report.Warning(kConfigName, package.ConfigLine(name), UnknownKey(name, known));
        size_t length = ini.Value(L"Params", name).size();
        if (length > 199 && !SettingReadWhole(name))
            report.Error(kConfigName, package.ConfigLine(name),
                         name + L" is " + std::to_wstring(length) + L" characters long: Wendrake reads only the first 199");
    }

    if (settings.InstallerDownloadURL.empty())
        report.Error(kConfigName, package.ConfigLine(L"InstallerDownloadURL"),
                     L"InstallerDownloadURL is empty: there is nothing to download");

    // Addresses expand with the language the wizard starts in, chosen as the installer chooses it.
    std::wstring start = FindLanguageByShortName(settings.DefaultLanguage, package.language);
    package.startLanguage = start.empty() ? L"English" : start;
    LoadTexts(package.startLanguage, package.language);
    if (start.empty() && package.language.Exists())
        report.Warning(kConfigName, package.ConfigLine(L"DefaultLanguage"),
                       L"DefaultLanguage '" + settings.DefaultLanguage +
                           L"' is no language's ShortName: the wizard starts in the first language whose name begins with English");

    for (const AddressKey& key : AddressKeys())
        if (!key.value->empty()) CheckAddress(package, key, report);
    CheckInstallerChecks(package, report);
    CheckVistaFolder(package, report);
}
