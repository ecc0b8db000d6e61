#include "tests/config/BothWays.h"

#include "check/Pack.h"

PackageFile BothWays::Put(const std::wstring& name, const std::string& bytes) {
    WriteBytes(dir / name, bytes);
    files_[name] = bytes;
    return GetParam() == Where::Beside ? PackageFile(dir / name) : Packed(name);
}

PackageFile BothWays::Missing(const std::wstring& name) {
    return GetParam() == Where::Beside ? PackageFile(dir / name) : Packed(name);
}

PackageFile BothWays::Packed(const std::wstring& name) {
    std::vector<PackedFile> files;
    for (const auto& file : files_) files.push_back(PackedFile{file.first, std::vector<char>(file.second.begin(), file.second.end())});
    const std::wstring copy = dir / (L"Packed" + std::to_wstring(copies_.size()) + L".exe");
    PackOutcome outcome = WritePackedInstaller(BuildDir() + L"Wendrake.exe", copy, files);
    EXPECT_EQ(outcome.error, L"");
    copies_.emplace_back(::LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    EXPECT_TRUE(copies_.back());
    return PackageFile(copies_.back().Get(), name);
}

std::string WhereName(const ::testing::TestParamInfo<Where>& info) {
    return info.param == Where::Beside ? "FilesBesideTheProgram" : "PackageInsideIt";
}
