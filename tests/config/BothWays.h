#pragma once
// The settings, texts and text-reader cases run twice: once with their files on disk, as a
// package beside the program is read, and once with the same files packed into a copy of
// Wendrake.exe and read from inside it. The same cases with the same expectations show that the
// readers of embedded files give exactly what the readers of files on disk give.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/Package.h"
#include "framework/Handles.h"
#include "tests/support/TestSupport.h"

enum class Where { Beside, Inside };

class BothWays : public ::testing::TestWithParam<Where> {
protected:
    // Writes a file of the package and hands it out as the readers are to get it: the file on
    // disk, or the file inside a freshly packed copy of Wendrake.exe that holds every file put so far.
    PackageFile Put(const std::wstring& name, const std::string& bytes);
    // A file of the same package that it does not hold.
    PackageFile Missing(const std::wstring& name);

    TempDir dir;

private:
    PackageFile Packed(const std::wstring& name);

    std::map<std::wstring, std::string> files_;
    // Every packed copy stays loaded to the end: files handed out before may still be read.
    std::vector<LibraryModule> copies_;
};

std::string WhereName(const ::testing::TestParamInfo<Where>& info);

#define RUN_BOTH_WAYS(Fixture) \
    INSTANTIATE_TEST_SUITE_P(Package, Fixture, ::testing::Values(Where::Beside, Where::Inside), WhereName)
