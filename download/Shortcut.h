#pragma once
// The desktop shortcut to the running installer. Its name is a language text, so every
// creation first removes the names that any language would have produced.

#include <windows.h>

#include <string>

#include "config/Texts.h"

// The shortcut's file name for an InstallerShortCutString text: "%AppName%" replaced by the
// BrandProduct setting, and ".lnk"; empty when that cannot name a file.
std::wstring ShortcutFileName(std::wstring text);

// Deletes the desktop shortcut named by every language's InstallerShortCutString text and
// tells the shell that the desktop changed. Nothing happens without a desktop folder.
void RemoveOldShortcuts(const PackageFile& languageFile = LanguageFile());

// Removes the old shortcuts, then writes one to the running executable, named by the current
// language's InstallerShortCutString text. True when the shortcut was written; false without
// a desktop folder, or when the name cannot be a file name (too long, or with characters a
// file name cannot hold).
bool CreateDesktopShortcut(const PackageFile& languageFile = LanguageFile());

// Writes a shell link to the target with the description; returns the result of the save.
HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkPath, const std::wstring& description);
