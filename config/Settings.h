#pragma once
// The settings of ConfigParams.ini: read once at start-up, read-only afterwards.

#include <cstddef>
#include <string>

#include "config/Package.h"

struct Settings {
    std::wstring InstallerDownloadURL;
    std::wstring TnCLink;
    std::wstring OmnitureLink;
    std::wstring ContentLink;
    std::wstring BrandProduct;
    std::wstring BrandProductDisplayName;
    std::wstring BrandName;
    std::wstring ProductName;
    std::wstring DefaultLanguage;
    std::wstring RegPath;
    std::wstring InstallAnywhereURL;
    std::wstring WindowsGroup;
    std::wstring InstallFolderName;
    std::wstring OtherProductForCommonInstall;
    std::wstring VistaDefaultInstallPath;
    // Optional checks of the downloaded installer; empty means no check.
    std::wstring InstallerSHA256;
    std::wstring InstallerSize;
    std::wstring InstallerSigner;
};

// The process-wide settings; empty until LoadSettings.
const Settings& AppSettings();

// The program's own ConfigParams.ini: in its package (see OwnPackage).
PackageFile SettingsFile();
// Fills the settings from SettingsFile().
void LoadSettings();
// Fills the settings from the given file (tests and tools point it elsewhere). Each value keeps
// at most 199 characters, as a 200-character buffer holds them.
void LoadSettingsFrom(const PackageFile& file);

// The index-th key of [Params] that the program reads, or null past the last (for tools).
const wchar_t* SettingKeyName(size_t index);

// The running executable's folder, with a trailing backslash.
std::wstring ProgramFolder();
