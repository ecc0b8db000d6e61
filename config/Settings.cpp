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

void LoadSettingsFrom(const PackageFile& file) {
    IniFile ini(file);
    for (const SettingKey& key : kKeys) g_settings.*key.field = ini.Value(L"Params", key.name, 199);
}

const wchar_t* SettingKeyName(size_t index) {
    return index < sizeof kKeys / sizeof kKeys[0] ? kKeys[index].name : nullptr;
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
