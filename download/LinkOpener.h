#pragma once
// Handing work to other programs through the shell: web addresses to the browser, and the
// downloaded installer to its own process.

#include <windows.h>

#include <string>

// Opens the address in the user's browser, shown: the browser registered for ".htm", else
// IExplore.exe, and the address's own default action as the last resort. Failures are silent.
void OpenLink(const std::wstring& url);

// The program path of the browser registered for ".htm", upper case and without quotes, or
// empty when its command line names no ".EXE".
std::wstring BrowserPath();

// Removes trailing "/" then trailing "\" characters in place, but keeps a drive root whole:
// "D:\" stays "D:\" ("D:" alone would mean the drive's current folder).
void TrimInstallFolder(std::wstring& folder);

// Starts the downloaded installer with the trimmed install folder (trimmed in place) as its
// whole, unquoted command line. Once started, waits two seconds, then asks the wizard window to
// close. Returns ShellExecuteW's result: above 32 when the installer started; otherwise the
// wizard is left as it was.
int StartInstaller(const std::wstring& installerPath, std::wstring& installPath, HWND wizard);

// Whether a failed start (a StartInstaller result of 32 or less) blames the file itself: not a
// program, damaged, or gone. Only a fresh download can mend those.
bool InstallerFileUnusable(int startResult);
