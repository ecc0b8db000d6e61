#include "config/Texts.h"

#include <cwctype>

#include "config/Settings.h"
#include "config/TextFileReader.h"

namespace {

constexpr int kUtf8 = 65001;

Texts g_texts;

struct TextKey {
    const wchar_t* name;
    std::wstring Texts::*field;
    bool substitute;
};

const TextKey kKeys[] = {
    {L"ApplicationTitle", &Texts::ApplicationTitle, true},
    {L"WelcomeTitle", &Texts::WelcomeTitle, true},
    {L"InstallerShortCutString", &Texts::InstallerShortCutString, false},
    {L"WelcomeMsg1", &Texts::WelcomeMsg1, true},
    {L"WelcomeMsg2", &Texts::WelcomeMsg2, true},
    {L"WelcomeSelectLng", &Texts::WelcomeSelectLng, true},
    {L"SetupContinued", &Texts::SetupContinued, true},
    {L"RequiredspaceLabel", &Texts::RequiredspaceLabel, true},
    {L"RequiredspaceValue", &Texts::RequiredspaceValue, true},
    {L"AvailablespaceLabel", &Texts::AvailablespaceLabel, true},
    {L"DownloadingLabel", &Texts::DownloadingLabel, true},
    {L"ButtonBack", &Texts::ButtonBack, true},
    {L"ButtonNext", &Texts::ButtonNext, true},
    {L"ButtonIAgree", &Texts::ButtonIAgree, true},
    {L"ButtonCancel", &Texts::ButtonCancel, true},
    {L"TermsNConditions", &Texts::TermsNConditions, true},
    {L"TermsTxt", &Texts::TermsTxt, true},
    {L"ShortName", &Texts::ShortName, true},
    {L"ChooseFolder", &Texts::ChooseFolder, true},
    {L"BrowseButton", &Texts::BrowseButton, true},
    {L"DontMiss", &Texts::DontMiss, true},
    {L"NonStopPoker", &Texts::NonStopPoker, true},
    {L"ThousandsOfPlayers", &Texts::ThousandsOfPlayers, true},
    {L"LearnPoker", &Texts::LearnPoker, true},
    {L"TakeAdvantage", &Texts::TakeAdvantage, true},
    {L"SafeSecure", &Texts::SafeSecure, true},
    {L"CVFeatures", &Texts::CVFeatures, true},
    {L"NoThanks", &Texts::NoThanks, true},
    {L"ContinueInstall", &Texts::ContinueInstall, true},
    {L"ApplicationOpenMsg", &Texts::ApplicationOpenMsg, true},
    {L"VistaProtectedFolderMsg", &Texts::VistaProtectedFolderMsg, true},
    {L"MBLiteral", &Texts::MBLiteral, true},
    {L"OtherInstallerOpenMsg", &Texts::OtherInstallerOpenMsg, true},
    {L"SelectInstallFolder", &Texts::SelectInstallFolder, true},
    {L"Ok", &Texts::Ok, true},
    {L"Cancel", &Texts::Cancel, true},
    {L"CreateFolder", &Texts::CreateFolder, true},
    {L"TryingToConnect", &Texts::TryingToConnect, true},
    {L"DownloadFailedMsg", &Texts::DownloadFailedMsg, true},
    {L"DownloadCorruptMsg", &Texts::DownloadCorruptMsg, true},
    {L"InstallerStartFailedMsg", &Texts::InstallerStartFailedMsg, true},
    {L"ButtonRetry", &Texts::ButtonRetry, true},
    {L"DownloadNotFoundMsg", &Texts::DownloadNotFoundMsg, true},
    {L"DownloadServerErrorMsg", &Texts::DownloadServerErrorMsg, true},
    {L"DownloadSignInMsg", &Texts::DownloadSignInMsg, true},
    {L"DownloadDiskFullMsg", &Texts::DownloadDiskFullMsg, true},
    {L"DownloadFileInUseMsg", &Texts::DownloadFileInUseMsg, true},
    {L"DownloadMisconfiguredMsg", &Texts::DownloadMisconfiguredMsg, true},
    {L"DownloadSecureMsg", &Texts::DownloadSecureMsg, true},
    {L"DownloadRedirectMsg", &Texts::DownloadRedirectMsg, true},
    {L"DownloadProxyMsg", &Texts::DownloadProxyMsg, true},
};

// The only texts that live in the program: for keys that language files written before them
// lack, so that a failure is never shown as an empty line or an empty button.
const struct {
    std::wstring Texts::*field;
    const wchar_t* english;
} kFallbacks[] = {
    {&Texts::DownloadFailedMsg, L"Download failed. Check your connection, then retry."},
    {&Texts::DownloadCorruptMsg, L"The downloaded file was damaged. Please retry."},
    {&Texts::InstallerStartFailedMsg, L"The installer could not be started. Please retry."},
    {&Texts::ButtonRetry, L"Retry"},
    {&Texts::DownloadNotFoundMsg, L"The file is not on the server. Please retry later."},
    {&Texts::DownloadServerErrorMsg, L"The server has a problem. Please retry later."},
    {&Texts::DownloadSignInMsg, L"The network may need you to sign in, then retry."},
    {&Texts::DownloadDiskFullMsg, L"The disk is full. Free some space, then retry."},
    {&Texts::DownloadFileInUseMsg, L"Another program is using the file. Please retry."},
    {&Texts::DownloadMisconfiguredMsg, L"The installer's download settings are wrong."},
    {&Texts::DownloadSecureMsg, L"The secure connection failed. Please retry."},
    {&Texts::DownloadRedirectMsg, L"The server redirects in circles. Retry later."},
    {&Texts::DownloadProxyMsg, L"The proxy needs your user name and password. Retry."},
};

// Where the section's keys start: after the header that names it exactly; failing that,
// after the first line that holds the name past its first character (files written for
// that looser rule still read alike). npos when neither exists.
size_t FindSectionStart(const std::vector<std::wstring>& lines, const std::wstring& section) {
    if (section.empty()) return std::wstring::npos;
    const std::wstring header = L"[" + section + L"]";
    for (size_t i = 0; i < lines.size(); ++i)
        if (Trim(lines[i]) == header) return i + 1;
    for (size_t i = 0; i < lines.size(); ++i) {
        size_t at = lines[i].find(section);
        if (at != std::wstring::npos && at > 0) return i + 1;
    }
    return std::wstring::npos;
}

// What texts and addresses have replaced, in this order.
const wchar_t* const kTextPlaceholders[] = {L"%AppName%", L"%Brand%"};
const wchar_t* const kAddressPlaceholders[] = {L"$ProductName$", L"$BrandName$", L"$LangName$", L"$SL$"};

void SubstituteTextPlaceholders(std::wstring& value) {
    const std::wstring values[] = {AppSettings().BrandProductDisplayName, AppSettings().BrandName};
    for (size_t i = 0; i < 2; ++i) ReplaceAll(value, kTextPlaceholders[i], values[i]);
}

const TextKey* KeyNamed(const std::wstring& name) {
    for (const TextKey& key : kKeys)
        if (name == key.name) return &key;
    return nullptr;
}

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

const Texts& AppTexts() { return g_texts; }

const wchar_t* BuiltInText(const std::wstring& key) {
    const TextKey* text = KeyNamed(key);
    for (const auto& fallback : kFallbacks)
        if (text && fallback.field == text->field) return fallback.english;
    return nullptr;
}

const wchar_t* TextPlaceholder(size_t index) { return index < 2 ? kTextPlaceholders[index] : nullptr; }

const wchar_t* AddressPlaceholder(size_t index) { return index < 4 ? kAddressPlaceholders[index] : nullptr; }

const wchar_t kStagePlaceholder[] = L"$StageID$";

bool ReadLanguageLines(const PackageFile& file, std::vector<std::wstring>& lines) {
    TextFileReader reader;
    if (!reader.Open(file)) return false;
    reader.SetCodePage(kUtf8);
    std::wstring line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return true;
}

bool LanguageHeader(const std::wstring& line, std::wstring& name) {
    std::wstring trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != L'[' || trimmed.back() != L']') return false;
    name = trimmed.substr(1, trimmed.size() - 2);
    return true;
}

bool LanguageEntry(const std::wstring& line, std::wstring& key, std::wstring& value) {
    std::wstring trimmed = Trim(line);
    size_t equals = trimmed.find(L'=');
    if (equals == std::wstring::npos) return false;
    key = Trim(trimmed.substr(0, equals));
    value = Trim(trimmed.substr(equals + 1));
    return true;
}

const wchar_t* TextKeyName(size_t index) {
    return index < sizeof kKeys / sizeof kKeys[0] ? kKeys[index].name : nullptr;
}

PackageFile LanguageFile() { return OwnPackage().File(L"Language.ini"); }

std::wstring Trim(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(text[begin])) ++begin;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::wstring DecimalText(long long value) {
    wchar_t digits[24];
    wchar_t* at = digits + 24;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
    do {
        *--at = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--at = L'-';
    return std::wstring(at, digits + 24);
}

std::vector<std::wstring> ListLanguages(const PackageFile& file) {
    std::vector<std::wstring> lines, names;
    if (!ReadLanguageLines(file, lines)) return names;
    std::wstring name;
    for (const std::wstring& line : lines)
        if (LanguageHeader(line, name)) names.push_back(name);
    return names;
}

namespace {

// A value from the lines of a language file (see ReadLanguageValue); `found` gets the line that
// gives it, npos when none does.
std::wstring LanguageValue(const std::vector<std::wstring>& lines, const std::wstring& section,
                           const std::wstring& key, bool substitute, size_t& found) {
    found = std::wstring::npos;
    size_t start = FindSectionStart(lines, section);
    if (start == std::wstring::npos) {
        // "English" stands in for a missing language, but only once.
        if (section == L"English") return std::wstring();
        return LanguageValue(lines, L"English", key, substitute, found);
    }
    // The scan runs on past the next header: a key the section lacks comes from a later one.
    std::wstring name, value;
    for (size_t i = start; i < lines.size(); ++i) {
        if (!LanguageEntry(lines[i], name, value) || name != key) continue;
        if (substitute) SubstituteTextPlaceholders(value);
        found = i;
        return value;
    }
    return std::wstring();
}

}  // namespace

std::wstring ReadLanguageValue(const std::wstring& section, const std::wstring& key, const PackageFile& file,
                               bool substitute) {
    std::vector<std::wstring> lines;
    if (!ReadLanguageLines(file, lines)) return std::wstring();
    size_t found;
    return LanguageValue(lines, section, key, substitute, found);
}

FoundText FindText(const std::vector<std::wstring>& lines, const std::wstring& language, const std::wstring& key) {
    FoundText text;
    const TextKey* known = KeyNamed(key);
    text.value = LanguageValue(lines, language, key, !known || known->substitute, text.line);
    // An empty text that the program has in English shows that instead.
    const wchar_t* english = BuiltInText(key);
    if (text.value.empty() && english) {
        text.value = english;
        text.builtIn = true;
    }
    return text;
}

void LoadTexts(const std::wstring& language, const PackageFile& file) {
    // One read of the file for all the keys (it was read once per key).
    std::vector<std::wstring> lines;
    if (!ReadLanguageLines(file, lines)) lines.clear();
    for (const TextKey& key : kKeys) g_texts.*key.field = FindText(lines, language, key.name).value;
}

std::wstring FindLanguageByShortName(const std::wstring& shortName, const PackageFile& file) {
    for (const std::wstring& section : ListLanguages(file))
        if (EqualsIgnoringAsciiCase(ReadLanguageValue(section, L"ShortName", file, true), shortName)) return section;
    return std::wstring();
}

std::wstring LanguageAt(int index, const PackageFile& file) {
    std::vector<std::wstring> names = ListLanguages(file);
    if (index < 0 || static_cast<size_t>(index) >= names.size()) return std::wstring();
    return names[static_cast<size_t>(index)];
}

void ExpandUrlPlaceholders(std::wstring& url) {
    const std::wstring values[] = {AppSettings().ProductName, AppSettings().BrandName, g_texts.ShortName,
                                   g_texts.ShortName};
    for (size_t i = 0; i < 4; ++i) ReplaceAll(url, kAddressPlaceholders[i], values[i]);
}

std::wstring TrackingAddress(int stage) {
    std::wstring url = AppSettings().OmnitureLink;
    ExpandUrlPlaceholders(url);
    ReplaceAll(url, kStagePlaceholder, DecimalText(stage));
    return url;
}
