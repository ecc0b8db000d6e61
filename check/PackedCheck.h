#pragma once
// A packed installer: what Windows says of its signature, files inside that nothing reads, and
// the packing itself.

#include <string>

#include "check/CheckedPackage.h"
#include "check/Report.h"

// Whether the packed installer is signed, and by whom, as Windows sees it when a user starts it.
void CheckSignatureOf(const std::wstring& exe, Report& report);
// Files inside a packed installer that it never reads (made by another version, say).
void CheckEmbeddedNames(const CheckedPackage& package, Report& report);
// Writes `out`: the installer beside this program, with the checked folder's files inside,
// unless the report holds an error.
void Pack(const CheckedPackage& package, const std::wstring& out, Report& report);
