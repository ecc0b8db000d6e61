#pragma once
// Every registry read of the installer, its one registry write, and the install-location
// queries built on them. Failures read as empty text, which callers treat as absent.

#include <windows.h>

#include <string>
#include <vector>

#include "config/Settings.h"

// One text value (an empty name reads the key's default value). Values larger than 2048
// bytes, and every failure, read as empty text. The value's type is not checked. `view` may
// name a registry view (KEY_WOW64_64KEY, KEY_WOW64_32KEY); 0 is the one this program sees.
std::wstring ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, REGSAM view = 0);
// Creates the key if needed and stores the text as REG_BINARY: its UTF-8 bytes and one zero
// byte. A failure is silent.
void WriteRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text);

// "ProgramFilesDir" as this program sees it, a backslash and the InstallFolderName setting.
std::wstring DefaultInstallFolder();
// The program-files folders: "ProgramFilesDir" in this program's registry view and in the
// other one. On 64-bit Windows these are C:\Program Files and C:\Program Files (x86),
// whichever build reads them; on 32-bit Windows there is one. A missing value is left out.
std::vector<std::wstring> ProgramFilesFolders();
// "InstallLocation" of the uninstall entry named by the OtherProductForCommonInstall setting,
// in this program's registry view or else in the other one.
std::wstring RecordedInstallLocation();
// Whether the Windows NT "CurrentVersion" is 6.0 (Vista) or later.
bool IsWindows6OrLater();
// Whether the path lies in a program-files folder: it holds that folder followed by a
// backslash (letter case counts), or it is that folder (letter case ignored).
bool IsInProgramFiles(const std::wstring& path);
// The VistaDefaultInstallPath setting, a backslash and the InstallFolderName setting.
std::wstring VistaInstallFolder();
// Whether the uninstall entry named by the BrandProduct setting has a non-empty "UninstallString"
// in either registry view.
bool IsProductInstalled();
// Writes "DownloadPath" under "Software\" + the RegPath setting in HKEY_CURRENT_USER.
void SaveDownloadPath(const std::wstring& folder = ProgramFolder());
// The "Desktop" value of the user's shell folders, or empty text.
std::wstring DesktopFolder();
