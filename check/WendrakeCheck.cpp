// WendrakeCheck [--online] [folder | packed.exe]: checks a distributor's package (default: the
// program's own folder), or the one inside a packed installer, with the installer's own readers,
// layout and picture loader, so that it can never disagree with the installer.
// WendrakeCheck --pack OUT.exe [--online] [folder]: checks the folder, then writes OUT.exe, the
// installer with the package inside it, unless the check found errors.
// Exit status 0 clean, 1 warnings, 2 errors.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "check/Check.h"
#include "check/Pack.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/TextFileReader.h"
#include "config/Texts.h"
#include "download/DownloadEngine.h"
#include "download/Verify.h"
#include "framework/SystemLibraries.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/DensityPicture.h"
#include "wizard/Layout.h"
#include "wizard/Picture.h"

namespace {

const wchar_t kConfig[] = L"ConfigParams.ini";
const wchar_t kLanguage[] = L"Language.ini";
struct AddressKey {
    const wchar_t* name;
    std::wstring Settings::*value;
};
const AddressKey kAddressKeys[] = {{L"InstallerDownloadURL", &Settings::InstallerDownloadURL},
                                   {L"TnCLink", &Settings::TnCLink},
                                   {L"OmnitureLink", &Settings::OmnitureLink},
                                   {L"ContentLink", &Settings::ContentLink},
                                   {L"InstallAnywhereURL", &Settings::InstallAnywhereURL}};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::string ReadBytes(const PackageFile& file) {
    std::vector<char> bytes;
    file.Read(bytes);
    return std::string(bytes.begin(), bytes.end());
}

// Case-insensitive edit distance, for "did you mean".
size_t Distance(const std::wstring& a, const std::wstring& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            bool same = std::towlower(a[i - 1]) == std::towlower(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool IsKnown(const std::wstring& key, const wchar_t* (*names)(size_t), bool ignoreCase) {
    for (size_t i = 0; names(i); ++i)
        if (ignoreCase ? Lower(key) == Lower(names(i)) : key == names(i)) return true;
    return false;
}

std::wstring UnknownKey(const std::wstring& key, const wchar_t* (*names)(size_t)) {
    std::wstring best;
    size_t bestDistance = 3 + key.size() / 4;
    for (size_t i = 0; names(i); ++i) {
        size_t d = Distance(key, names(i));
        if (d < bestDistance) best = names(i), bestDistance = d;
    }
    return L"unknown key " + key + (best.empty() ? L"" : L" (did you mean " + best + L"?)") + L": it is never read";
}

// ConfigParams.ini's lines: UTF-16 after a byte-order mark, otherwise the ANSI code page, as
// Windows' INI reader takes it.
std::vector<std::wstring> ReadIniLines(const PackageFile& file) {
    std::vector<char> bytes;
    file.Read(bytes);
    std::wstring text = DecodeIniText(bytes);
    std::vector<std::wstring> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = std::min(text.find(L'\n', start), text.size());
        lines.push_back(Trim(text.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

bool IsHeader(const std::wstring& trimmed) {
    return trimmed.size() >= 2 && trimmed.front() == L'[' && trimmed.back() == L']';
}

void CheckPlaceholders(const std::wstring& key, const std::wstring& value, int line, Report& report) {
    for (size_t at = value.find(L'$'); at != std::wstring::npos;) {
        size_t end = value.find(L'$', at + 1);
        if (end == std::wstring::npos) break;
        std::wstring name = value.substr(at + 1, end - at - 1);
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](wchar_t c) { return std::iswalnum(c); })) {
            at = end;  // a lone '$': the next one may open a placeholder
            continue;
        }
        if (name == L"StageID" && key != L"OmnitureLink")
            report.Error(kConfig, line, key + L": $StageID$ is replaced only in OmnitureLink");
        else if (name != L"ProductName" && name != L"BrandName" && name != L"LangName" && name != L"SL" &&
                 name != L"StageID")
            report.Error(kConfig, line,
                         key + L": unknown placeholder $" + name +
                             L"$ (known: $ProductName$, $BrandName$, $LangName$, $SL$, $StageID$)");
        at = value.find(L'$', end + 1);
    }
}

void CheckConfig(Package& package, Report& report) {
    if (!package.config.Exists()) {
        report.Error(kConfig, 0, L"missing: the installer says it is incomplete and closes");
        return;
    }
    std::vector<std::wstring> lines = ReadIniLines(package.config);
    bool inParams = false, sawParams = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int line = static_cast<int>(i + 1);
        if (IsHeader(lines[i])) {
            std::wstring name = lines[i].substr(1, lines[i].size() - 2);
            inParams = Lower(Trim(name)) == L"params";
            sawParams = sawParams || inParams;
            if (!inParams) report.Warning(kConfig, line, L"section [" + name + L"] is never read: only [Params] is");
            continue;
        }
        size_t equals = lines[i].find(L'=');
        if (inParams && equals != std::wstring::npos)
            package.configLines.emplace(Lower(Trim(lines[i].substr(0, equals))), line);
    }
    if (!sawParams) report.Error(kConfig, 0, L"no [Params] section: every setting reads as empty");

    LoadSettingsFrom(package.config);
    const Settings& settings = AppSettings();

    // The keys as Windows lists them, so that letter case and duplicates count as it counts them.
    IniFile ini(package.config);
    for (const std::wstring& name : ini.Keys(L"Params")) {
        if (!IsKnown(name, SettingKeyName, true))
            report.Warning(kConfig, package.ConfigLine(name), UnknownKey(name, SettingKeyName));
        size_t length = ini.Value(L"Params", name).size();
        if (length > 199 && !SettingReadWhole(name))
            report.Error(kConfig, package.ConfigLine(name),
                         std::wstring(name) + L" is " + std::to_wstring(length) +
                             L" characters long: Wendrake reads only the first 199");
    }

    if (settings.InstallerDownloadURL.empty())
        report.Error(kConfig, package.ConfigLine(L"InstallerDownloadURL"),
                     L"InstallerDownloadURL is empty: there is nothing to download");

    // Addresses expand with the language the wizard starts in.
    std::wstring start = FindLanguageByShortName(settings.DefaultLanguage, package.language);
    package.startLanguage = start.empty() ? L"English" : start;
    LoadTexts(package.startLanguage, package.language);
    if (start.empty() && package.language.Exists())
        report.Warning(kConfig, package.ConfigLine(L"DefaultLanguage"),
                       L"DefaultLanguage '" + settings.DefaultLanguage +
                           L"' is no language's ShortName: the wizard starts in the first language whose name begins with English");

    std::vector<std::pair<std::wstring, const std::wstring*>> addresses;
    for (const AddressKey& key : kAddressKeys) addresses.emplace_back(key.name, &(settings.*key.value));
    for (int number = 1; number <= kMirrorKeys; ++number)
        addresses.emplace_back(MirrorKeyName(number), &settings.InstallerMirrorURL[number - 1]);
    for (const auto& key : addresses) {
        const std::wstring& name = key.first;
        const std::wstring& value = *key.second;
        if (value.empty()) continue;
        const int line = package.ConfigLine(name);
        CheckPlaceholders(name, value, line, report);
        std::wstring address = ExpandedAddress(name, value);
        if (!IsWebAddress(address))
            report.Error(kConfig, line, name + L" is not an http or https address: " + address);
        else if (name == L"InstallerDownloadURL" && FileNameFromUrl(address).empty())
            report.Error(kConfig, line,
                         L"InstallerDownloadURL does not end in a file name, which the download is saved under: " +
                             address);
    }

    const std::wstring& hash = settings.InstallerSHA256;
    if (!hash.empty() && (hash.size() != 64 || !std::all_of(hash.begin(), hash.end(), iswxdigit)))
        report.Error(kConfig, package.ConfigLine(L"InstallerSHA256"),
                     L"InstallerSHA256 is not 64 hexadecimal digits: " + hash);
    const std::wstring& size = settings.InstallerSize;
    if (!size.empty() && (size.size() > 19 || !std::all_of(size.begin(), size.end(), iswdigit)))
        report.Error(kConfig, package.ConfigLine(L"InstallerSize"),
                     L"InstallerSize is not a number of bytes in decimal digits: " + size);
}

struct Section {
    std::wstring name;
    int line;
    std::vector<std::pair<std::wstring, int>> keys;  // in file order
    int Line(const std::wstring& key) const {
        for (const auto& entry : keys)
            if (entry.first == key) return entry.second;
        return 0;
    }
};

// Language.ini's sections as the program's own reader delivers its lines.
std::vector<Section> ReadSections(const PackageFile& file) {
    std::vector<Section> sections;
    TextFileReader reader;
    if (!reader.Open(file)) return sections;
    reader.SetCodePage(CP_UTF8);
    std::wstring text;
    for (int line = 1; reader.ReadLine(text); ++line) {
        std::wstring trimmed = Trim(text);
        size_t equals = trimmed.find(L'=');
        if (IsHeader(trimmed))
            sections.push_back({trimmed.substr(1, trimmed.size() - 2), line, {}});
        else if (equals != std::wstring::npos && !sections.empty())
            sections.back().keys.emplace_back(Trim(trimmed.substr(0, equals)), line);
    }
    return sections;
}

std::vector<Section> CheckLanguage(const Package& package, Report& report) {
    std::string bytes = ReadBytes(package.language);
    if (!package.language.Exists()) {
        report.Error(kLanguage, 0, L"missing: every text is empty");
        return {};
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        report.Error(kLanguage, 1, L"starts with a byte-order mark, which hides the first section's header: "
                                   L"save it as UTF-8 without one");
    int line = 1;
    for (size_t start = 0; start < bytes.size(); ++line) {
        size_t end = std::min(bytes.find('\n', start), bytes.size());
        int length = static_cast<int>(end - start);
        if (length > 0 && !::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start, length, nullptr, 0))
            report.Error(kLanguage, line, L"is not valid UTF-8: its text shows garbled");
        start = end + 1;
    }

    std::vector<Section> sections = ReadSections(package.language);
    if (sections.empty()) report.Error(kLanguage, 0, L"has no language sections: every text is empty");
    bool english = false;
    for (size_t k = 0; k < sections.size(); ++k) {
        const Section& section = sections[k];
        const std::wstring name = L"[" + section.name + L"]";
        english = english || section.name == L"English";
        for (size_t j = 0; j < k; ++j)
            if (sections[j].name == section.name)
                report.Warning(kLanguage, section.line, name + L" is there twice: the wizard reads the first one");
        for (const auto& key : section.keys)
            if (!IsKnown(key.first, TextKeyName, false))
                report.Warning(kLanguage, key.second, name + L": " + UnknownKey(key.first, TextKeyName));

        // A key the section lacks comes from the next section that has it.
        std::vector<std::wstring> from(sections.size() + 1);  // by source section; last: none
        std::wstring builtIn;                                  // keys no section has, with English of the program's own
        for (size_t i = 0; TextKeyName(i); ++i) {
            const std::wstring key = TextKeyName(i);
            if (section.Line(key)) continue;
            size_t source = k + 1;
            while (source < sections.size() && !sections[source].Line(key)) ++source;
            if (key == L"ShortName" && source < sections.size()) {
                // Read through to the next section, its code makes DefaultLanguage pick this one first.
                std::wstring code = ReadLanguageValue(section.name, key, package.language, true);
                report.Error(kLanguage, section.line,
                             name + L" has no ShortName and reads [" + sections[source].name + L"]'s, '" + code +
                                 L"': DefaultLanguage '" + code + L"' picks " + name + L" first");
            } else if (key == L"ShortName") {
                report.Error(kLanguage, section.line,
                             name + L" has no ShortName: DefaultLanguage never picks it, and its addresses get none");
            } else if (source == sections.size() && BuiltInText(key)) {
                builtIn += (builtIn.empty() ? L"" : L", ") + key;
            } else {
                from[source] += (from[source].empty() ? L"" : L", ") + key;
            }
        }
        for (size_t source = k + 1; source <= sections.size(); ++source)
            if (!from[source].empty())
                report.Warning(kLanguage, section.line,
                               name + L" lacks " + from[source] +
                                   (source < sections.size() ? L": taken from [" + sections[source].name + L"]"
                                                             : std::wstring(L": shown empty")));
        if (!builtIn.empty())
            report.Warning(kLanguage, section.line, name + L" lacks " + builtIn + L": shown in the program's English");
    }
    if (!sections.empty() && !english)
        report.Warning(kLanguage, 0, L"has no [English] section, which a language without a section reads");
    return sections;
}

INT_PTR CALLBACK HiddenDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// One of the installer's own windows, made from its template hidden and laid out at the
// screen's density as the wizard lays it out.
HWND MakeHidden(UINT id, HWND parent) {
    HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));  // RT_DIALOG
    const BYTE* data = resource ? static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, resource))) : nullptr;
    if (!data) return nullptr;
    std::vector<BYTE> copy(data, data + ::SizeofResource(nullptr, resource));
    const bool extended = copy.size() > 4 && copy[2] == 0xFF && copy[3] == 0xFF;
    DWORD style;
    std::copy_n(&copy[extended ? 12 : 0], sizeof style, reinterpret_cast<BYTE*>(&style));
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::copy_n(reinterpret_cast<BYTE*>(&style), sizeof style, &copy[extended ? 12 : 0]);
    HWND window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                               reinterpret_cast<DLGTEMPLATE*>(copy.data()), parent,
                                               HiddenDialogProc, 0);
    if (window) FixDialogLayout(window, id);
    return window;
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    ::GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

std::wstring Pixels(SIZE size) { return std::to_wstring(size.cx) + L" x " + std::to_wstring(size.cy); }

// A picture against the area it fills. A sharper variant (multiple 2 to 4) is optional: where it
// cannot be read the installer takes another one, so its faults are warnings.
void CheckPicture(const Package& package, const std::wstring& name, SIZE area, bool largerIsCut, int multiple,
                  Report& report) {
    Picture picture;
    const PackageFile file = package.source.File(name);
    int loaded = picture.Load(file);
    if (multiple > 1 && loaded == Picture::kUnreadable && !file.Exists()) return;
    if (multiple > 1 && loaded != Picture::kLoaded)
        return report.Warning(name, 0, L"is no picture Windows can read (BMP, JPEG, GIF): the installer uses another size");
    if (loaded == Picture::kUnreadable) return report.Error(name, 0, L"missing or unreadable: its area stays unpainted");
    if (loaded != Picture::kLoaded)
        return report.Error(name, 0, L"is no picture Windows can read (BMP, JPEG, GIF): its area stays unpainted");
    area = SIZE{area.cx * multiple, area.cy * multiple};
    SIZE size = picture.SizeInPixels(nullptr);
    if (size.cx < area.cx || size.cy < area.cy)
        report.Warning(name, 0, L"is " + Pixels(size) + L" pixels, smaller than the " + Pixels(area) +
                                    L" it fills: the rest stays unpainted");
    else if (largerIsCut && (size.cx > area.cx || size.cy > area.cy))
        report.Warning(name, 0, L"is " + Pixels(size) + L" pixels, larger than the " + Pixels(area) +
                                    L" it fills: it is cut off at the right and bottom");
}

// Headings in their large font: the texts whose length a test can tell.
struct Heading {
    const wchar_t* key;
    std::wstring Texts::*text;
    UINT page;
    int control;
};
const Heading kHeadings[] = {
    {L"WelcomeTitle", &Texts::WelcomeTitle, IDD_WELCOME, IDC_WELCOME_TITLE},
    {L"SetupContinued", &Texts::SetupContinued, IDD_INSTALL_LOCATION, IDC_SETUP_CONTINUED},
    {L"DontMiss", &Texts::DontMiss, IDD_FEATURES, IDC_DONT_MISS},
};

void CheckHeading(const Heading& heading, HWND frame, const Package& package, const std::vector<Section>& sections,
                  Report& report) {
    HWND page = MakeHidden(heading.page, frame);
    HWND control = ::GetDlgItem(page, heading.control);
    if (!control) return;
    Font font = MakeControlFont(page, {heading.control}, 140, 0);  // as the pages make it
    SIZE place = ClientSize(control);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, font.Get());
    for (const Section& section : sections) {
        LoadTexts(section.name, package.language);
        const std::wstring& text = AppTexts().*heading.text;
        // A static control's rule: words wrap at its width, lines past its height are lost;
        // "&" is drawn as written.
        RECT need = {0, 0, place.cx, 0};
        ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        if (need.right > place.cx || need.bottom > place.cy) {
            int line = section.Line(heading.key);
            report.Warning(kLanguage, line ? line : section.line,
                           L"[" + section.name + L"] " + heading.key + L" is cut off: it needs " +
                               Pixels({need.right, need.bottom}) + L" pixels, its place has " + Pixels(place));
        }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    ::DestroyWindow(page);
}

// Each picture and its sharper variants against the places they fill at 96 dots per inch (the
// installer scales them to the screen's density), and the headings against theirs.
void CheckLayout(const Package& package, const std::vector<Section>& sections, Report& report) {
    HWND frame = MakeHidden(IDD_WIZARD, nullptr);
    for (int multiple = 1; multiple <= DensityPicture::kLargestMultiple; ++multiple) {
        CheckPicture(package, DensityPicture::VariantName(L"BackGround.bmp", multiple), DesignClientSize(IDD_WIZARD),
                     false, multiple, report);
        CheckPicture(package, DensityPicture::VariantName(L"Preloader.jpg", multiple),
                     DesignClientSize(IDD_PRELOADER), true, multiple, report);
    }
    if (frame)
        for (const Heading& heading : kHeadings) CheckHeading(heading, frame, package, sections, report);
    else
        report.Warning(L"WendrakeCheck", 0, L"cannot make the wizard's windows here: sizes and headings are unchecked");
    if (frame) ::DestroyWindow(frame);
}

std::wstring Grouped(unsigned long long n) {
    std::wstring digits = std::to_wstring(n), grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += L',';
        grouped += digits[i];
    }
    return grouped;
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

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
void CheckEmbeddedNames(const Package& package, Report& report) {
    for (const std::wstring& stored : package.source.EmbeddedNames()) {
        bool known = false;
        for (size_t i = 0; PackageFileName(i); ++i) known = known || ::lstrcmpiW(stored.c_str(), PackageFileName(i)) == 0;
        if (!known) report.Warning(FileNameOf(package.where), 0, L"holds " + stored + L", which the installer never reads");
    }
}

// Writes `out`: the installer beside this program, with the checked folder's files inside.
void Pack(const Package& package, const std::wstring& out, Report& report) {
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

bool IsWebAddress(const std::wstring& url) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    return ::InternetCrackUrlW(url.c_str(), 0, 0, &parts) && parts.dwHostNameLength > 0 &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
}

int Package::ConfigLine(const std::wstring& key) const {
    auto found = configLines.find(Lower(key));
    return found == configLines.end() ? 0 : found->second;
}

std::wstring ExpandedAddress(const std::wstring& key, const std::wstring& value) {
    std::wstring address = value;
    if (key == L"OmnitureLink") ReplaceAll(address, L"$StageID$", L"1");
    ExpandUrlPlaceholders(address);
    return address;
}

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
    // The wizard's own windows are laid out for the screen's density as the installer does it;
    // without this a checker run at 120 dpi would measure them scaled and warn of sizes wrongly.
    RecordScreenDensity();

    Package package(source, where);
    Report report;
    if (!folder) {
        CheckSignatureOf(target, report);
        CheckEmbeddedNames(package, report);
    }
    CheckConfig(package, report);
    std::vector<Section> sections = CheckLanguage(package, report);
    CheckLayout(package, sections, report);
    if (online) {
        LoadTexts(package.startLanguage, package.language);  // the layout check loaded every language
        CheckOnline(package, report);
    }
    if (!packOut.empty()) Pack(package, packOut, report);
    report.Summary(where);
    return report.ExitCode();
}
