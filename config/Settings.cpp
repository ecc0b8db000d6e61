#include "config/Settings.h"

#include <windows.h>

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

void LoadSettingsFrom(const std::wstring& path) {
    for (const SettingKey& key : kKeys) {
        wchar_t value[200] = {};
        ::GetPrivateProfileStringW(L"Params", key.name, L"", value, 200, path.c_str());
        g_settings.*key.field = value;
    }
}

const wchar_t* SettingKeyName(size_t index) {
    return index < sizeof kKeys / sizeof kKeys[0] ? kKeys[index].name : nullptr;
}

void LoadSettings() { LoadSettingsFrom(ProgramFolder() + L"ConfigParams.ini"); }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    size_t slash = folder.rfind(L'\\');
    if (slash != std::wstring::npos) folder.resize(slash);
    return folder + L'\\';
}
