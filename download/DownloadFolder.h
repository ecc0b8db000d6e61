#pragma once
// Where the installer is downloaded: a folder of the product's own under the user's temporary
// folder, which holds nothing but the installer and its stamp. (Older copies saved both in the
// root of the temporary folder, where anything may lie beside them.)

#include <string>

// The last segment of the URL's path, escapes decoded, query left out. Empty when that is
// not a plain file name (empty, "." or "..", or holding a path separator, a drive colon, a
// wildcard or a control character), so the name can never point outside the download folder.
std::wstring FileNameFromUrl(const std::wstring& url);

// The user's temporary folder as GetTempPathW reports it, with its trailing backslash.
std::wstring TempFolder();

// TempFolder() + the product's name + "\", made when missing. The name is `product` (the
// BrandProduct setting) with what a file name may not hold replaced; "Wendrake" when nothing
// is left. Empty when the folder cannot be made.
std::wstring ProductDownloadFolder(const std::wstring& product);

// What an older copy left in the root of the temporary folder for this download: the installer
// `fileName` and LastDownloadDate.txt. With the stamp, both move into `folder` (unless it holds
// its own installer), so that the download resumes there; the installer alone cannot be resumed
// and is removed, and so is whatever the folder's own files make redundant. A stamp without the
// installer beside it may be another product's, and stays.
void AdoptEarlierDownload(const std::wstring& folder, const std::wstring& fileName);
