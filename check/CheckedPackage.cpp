#include "check/CheckedPackage.h"

#include <wininet.h>

const wchar_t kConfigName[] = L"ConfigParams.ini";
const wchar_t kLanguageName[] = L"Language.ini";

std::vector<AddressKey> AddressKeys() {
    const Settings& settings = AppSettings();
    std::vector<AddressKey> keys = {{L"InstallerDownloadURL", &settings.InstallerDownloadURL, AddressUse::Download}};
    for (int number = 1; number <= kMirrorKeys; ++number)
        keys.push_back({MirrorKeyName(number), &settings.InstallerMirrorURL[number - 1], AddressUse::Mirror});
    keys.push_back({L"TnCLink", &settings.TnCLink, AddressUse::Page});
    keys.push_back({L"OmnitureLink", &settings.OmnitureLink, AddressUse::Tracking});
    keys.push_back({L"ContentLink", &settings.ContentLink, AddressUse::Page});
    keys.push_back({L"InstallAnywhereURL", &settings.InstallAnywhereURL, AddressUse::Page});
    return keys;
}

int LanguageSection::Line(const std::wstring& key) const {
    for (const auto& entry : keys)
        if (entry.first == key) return entry.second;
    return 0;
}

CheckedPackage::CheckedPackage(const PackageSource& source, const std::wstring& where)
    : source(source), where(where), config(source.File(kConfigName)), language(source.File(kLanguageName)) {
    if (config.Read(configBytes)) configLines = ReadIniLines(DecodeIniText(configBytes));
    if (!ReadLanguageLines(language, languageLines)) return;
    std::wstring name, key, value;
    for (size_t i = 0; i < languageLines.size(); ++i) {
        const int line = static_cast<int>(i + 1);
        if (LanguageHeader(languageLines[i], name)) {
            LanguageSection section;
            section.name = name;
            section.line = line;
            section.index = i;
            for (const LanguageSection& earlier : sections) section.duplicate = section.duplicate || earlier.name == name;
            sections.push_back(section);
        } else if (!sections.empty() && LanguageEntry(languageLines[i], key, value)) {
            sections.back().keys.emplace_back(key, line);
        }
    }
}

int CheckedPackage::ConfigLine(const std::wstring& key) const {
    for (const IniLine& line : configLines)
        if (line.read && SameIniName(line.section, L"Params") && SameIniName(line.key, key)) return line.number;
    return 0;
}

FoundText CheckedPackage::Text(const std::wstring& language, const std::wstring& key) const {
    return FindText(languageLines, language, key);
}

int CheckedPackage::LineOf(const FoundText& text) const {
    return text.line == std::wstring::npos ? 0 : static_cast<int>(text.line + 1);
}

const LanguageSection* CheckedPackage::SectionAt(size_t line) const {
    const LanguageSection* found = nullptr;
    if (line == std::wstring::npos) return found;
    for (const LanguageSection& section : sections)
        if (section.index <= line) found = &section;
    return found;
}

std::wstring ExpandedAddress(const AddressKey& key, int stage) {
    if (key.use == AddressUse::Tracking) return TrackingAddress(stage);
    std::wstring address = *key.value;
    ExpandUrlPlaceholders(address);
    return address;
}

bool IsWebAddress(const std::wstring& url) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    return ::InternetCrackUrlW(url.c_str(), 0, 0, &parts) && parts.dwHostNameLength > 0 &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS);
}
