#include "config/Settings.h"

#include <windows.h>

#include "config/IniFile.h"

namespace {

Settings g_settings;

// Windows' reader fills a 200-character buffer for each key read since the first release; the
// mirror addresses came later and are read whole.
const size_t kCut = 199;
const size_t kWhole = 0;

struct SettingKey {
    const wchar_t* name;
    std::wstring Settings::*field;
    size_t limit;
};

const SettingKey kKeys[] = {
    {L"InstallerDownloadURL", &Settings::InstallerDownloadURL, kCut},
    {L"TnCLink", &Settings::TnCLink, kCut},
    {L"OmnitureLink", &Settings::OmnitureLink, kCut},
    {L"ContentLink", &Settings::ContentLink, kCut},
    {L"BrandProduct", &Settings::BrandProduct, kCut},
    {L"BrandProductDisplayName", &Settings::BrandProductDisplayName, kCut},
    {L"BrandName", &Settings::BrandName, kCut},
    {L"ProductName", &Settings::ProductName, kCut},
    {L"DefaultLanguage", &Settings::DefaultLanguage, kCut},
    {L"RegPath", &Settings::RegPath, kCut},
    {L"InstallAnywhereURL", &Settings::InstallAnywhereURL, kCut},
    {L"WindowsGroup", &Settings::WindowsGroup, kCut},
    {L"InstallFolderName", &Settings::InstallFolderName, kCut},
    {L"OtherProductForCommonInstall", &Settings::OtherProductForCommonInstall, kCut},
    {L"VistaDefaultInstallPath", &Settings::VistaDefaultInstallPath, kCut},
    {L"InstallerSHA256", &Settings::InstallerSHA256, kCut},
    {L"InstallerSize", &Settings::InstallerSize, kCut},
    {L"InstallerSigner", &Settings::InstallerSigner, kCut},
    {L"InstallerMirrorURL1", &Settings::InstallerMirrorURL1, kWhole},
    {L"InstallerMirrorURL2", &Settings::InstallerMirrorURL2, kWhole},
    {L"InstallerMirrorURL3", &Settings::InstallerMirrorURL3, kWhole},
    {L"InstallerMirrorURL4", &Settings::InstallerMirrorURL4, kWhole},
    {L"InstallerMirrorURL5", &Settings::InstallerMirrorURL5, kWhole},
    {L"InstallerMirrorURL6", &Settings::InstallerMirrorURL6, kWhole},
    {L"InstallerMirrorURL7", &Settings::InstallerMirrorURL7, kWhole},
    {L"InstallerMirrorURL8", &Settings::InstallerMirrorURL8, kWhole},
    {L"InstallerMirrorURL9", &Settings::InstallerMirrorURL9, kWhole},
};

}  // namespace

const Settings& AppSettings() { return g_settings; }

std::vector<std::wstring> Settings::MirrorURLs() const {
    std::vector<std::wstring> urls;
    for (const std::wstring* url : {&InstallerMirrorURL1, &InstallerMirrorURL2, &InstallerMirrorURL3,
                                    &InstallerMirrorURL4, &InstallerMirrorURL5, &InstallerMirrorURL6,
                                    &InstallerMirrorURL7, &InstallerMirrorURL8, &InstallerMirrorURL9})
        if (!url->empty()) urls.push_back(*url);
    return urls;
}

void LoadSettingsFrom(const PackageFile& file) {
    IniFile ini(file);
    for (const SettingKey& key : kKeys) g_settings.*key.field = ini.Value(L"Params", key.name, key.limit);
}

const wchar_t* SettingKeyName(size_t index) {
    return index < sizeof kKeys / sizeof kKeys[0] ? kKeys[index].name : nullptr;
}

bool SettingReadWhole(const std::wstring& key) {
    for (const SettingKey& known : kKeys)
        if (_wcsicmp(known.name, key.c_str()) == 0) return known.limit == kWhole;
    return false;
}

PackageFile SettingsFile() { return OwnPackage().File(L"ConfigParams.ini"); }

void LoadSettings() { LoadSettingsFrom(SettingsFile()); }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    size_t slash = folder.rfind(L'\\');
    if (slash != std::wstring::npos) folder.resize(slash);
    return folder + L'\\';
}
