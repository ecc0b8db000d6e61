#include "config/Settings.h"

#include <windows.h>

#include "config/IniFile.h"

namespace {

Settings g_settings;

struct SettingKey {
    const wchar_t* name;
    std::wstring Settings::*field;
};

const SettingKey kKeys[] = {
    {L"InstallerDownloadURL", &Settings::InstallerDownloadURL},
    {L"TnCLink", &Settings::TnCLink},
    {L"OmnitureLink", &Settings::OmnitureLink},
    {L"ContentLink", &Settings::ContentLink},
    {L"BrandProduct", &Settings::BrandProduct},
    {L"BrandProductDisplayName", &Settings::BrandProductDisplayName},
    {L"BrandName", &Settings::BrandName},
    {L"ProductName", &Settings::ProductName},
    {L"DefaultLanguage", &Settings::DefaultLanguage},
    {L"RegPath", &Settings::RegPath},
    {L"InstallAnywhereURL", &Settings::InstallAnywhereURL},
    {L"WindowsGroup", &Settings::WindowsGroup},
    {L"InstallFolderName", &Settings::InstallFolderName},
    {L"OtherProductForCommonInstall", &Settings::OtherProductForCommonInstall},
    {L"VistaDefaultInstallPath", &Settings::VistaDefaultInstallPath},
    {L"InstallerSHA256", &Settings::InstallerSHA256},
    {L"InstallerSize", &Settings::InstallerSize},
    {L"InstallerSigner", &Settings::InstallerSigner},
};

}  // namespace

const Settings& AppSettings() { return g_settings; }

std::vector<std::wstring> Settings::MirrorURLs() const {
    std::vector<std::wstring> urls;
    for (const std::wstring& url : InstallerMirrorURL)
        if (!url.empty()) urls.push_back(url);
    return urls;
}

std::wstring MirrorKeyName(int number) {
    return L"InstallerMirrorURL" + std::wstring(1, static_cast<wchar_t>(L'0' + number));
}

void LoadSettingsFrom(const PackageFile& file) {
    IniFile ini(file);
    // Windows' reader fills a 200-character buffer for each of these keys, as it always has.
    for (const SettingKey& key : kKeys) g_settings.*key.field = ini.Value(L"Params", key.name, 199);
    // The mirror addresses came later: read whole.
    for (int number = 1; number <= kMirrorKeys; ++number)
        g_settings.InstallerMirrorURL[number - 1] = ini.Value(L"Params", MirrorKeyName(number));
}

const wchar_t* SettingKeyName(size_t index) {
    const size_t count = sizeof kKeys / sizeof kKeys[0];
    if (index < count) return kKeys[index].name;
    if (index >= count + kMirrorKeys) return nullptr;
    // Made at the first call, for tools: the installer itself never lists its keys.
    static std::wstring mirrors[kMirrorKeys];
    std::wstring& name = mirrors[index - count];
    if (name.empty()) name = MirrorKeyName(static_cast<int>(index - count) + 1);
    return name.c_str();
}

bool SettingReadWhole(const std::wstring& key) {
    for (int number = 1; number <= kMirrorKeys; ++number)
        if (_wcsicmp(MirrorKeyName(number).c_str(), key.c_str()) == 0) return true;
    return false;
}

PackageFile SettingsFile() { return OwnPackage().File(L"ConfigParams.ini"); }

void LoadSettings() { LoadSettingsFrom(SettingsFile()); }
