#pragma once
// The Browse button's folder picker: the system's folder-browse dialog, re-laid out in place
// when it opens and captioned from the language texts.

#include <windows.h>

#include <string>

// Runs the dialog modally, opening on startFolder. True, with the chosen folder's path in
// result, when the user confirms a folder that has one; false otherwise (on Cancel result is
// emptied).
bool BrowseForFolder(std::wstring& result, const std::wstring& title, HWND owner, const std::wstring& startFolder);

// The dialog's callback: sets it up when it opens (data: the start folder, a const
// std::wstring*, or 0) and shows the selected path as it changes.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data);

// Moves the dialog's parts: no edit box or instruction text, OK and Cancel of one size in the
// bottom-right corner, the new-folder button bottom-left, the folder tree over the rest, and
// the whole dialog 40 x 30 pixels larger. Parts it cannot find keep the system's layout.
void ArrangeBrowseDialog(HWND dialog);
