#pragma once
// The settings of ConfigParams.ini: read once at start-up, read-only afterwards.

#include <cstddef>
#include <string>
#include <vector>

#include "config/Package.h"

// How many mirror addresses the settings can name.
constexpr int kMirrorKeys = 9;

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
    // InstallerMirrorURL1 to InstallerMirrorURL9, at 0 to 8: optional further addresses of the same
    // installer, tried in order when the one before fails for good. Read whole, however long (the
    // keys above keep at most 199 characters).
    std::wstring InstallerMirrorURL[kMirrorKeys];

    // The mirror addresses that are set, in the order of their numbers.
    std::vector<std::wstring> MirrorURLs() const;
};

// The process-wide settings; empty until LoadSettings.
const Settings& AppSettings();

// The program's own ConfigParams.ini: in its package (see OwnPackage).
PackageFile SettingsFile();
// Fills the settings from SettingsFile().
void LoadSettings();
// Fills the settings from the given file (tests and tools point it elsewhere). Each value keeps
// at most 199 characters, as a 200-character buffer holds them; the mirror addresses are read
// whole.
void LoadSettingsFrom(const PackageFile& file);

// The index-th key of [Params] that the program reads, or null past the last (for tools).
const wchar_t* SettingKeyName(size_t index);
// Whether the program reads the key's value whole, however long (for tools); the others keep
// 199 characters.
bool SettingReadWhole(const std::wstring& key);
// The key of the mirror address with this number (1 to kMirrorKeys): "InstallerMirrorURL<number>".
std::wstring MirrorKeyName(int number);
