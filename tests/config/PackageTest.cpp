// The package format both ways round: written by the packer (our LZNT1 compressor, the system's
// resource functions), read by the program (the system's decompressor), and damaged resources
// read as missing files.
#include <gtest/gtest.h>

#include "check/Pack.h"
#include "config/IniFile.h"
#include "config/Package.h"
#include "download/Verify.h"
#include "framework/Handles.h"
#include "tests/support/LayoutChecks.h"
#include "tests/support/TestSupport.h"
#include "wizard/Density.h"
#include "wizard/DensityPicture.h"
#include "wizard/Picture.h"

namespace {

std::vector<char> Pattern(size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// A picture's rows: each a colour repeated across it, the colour changing every few rows, with
// a band of noise, as a drawn background has them.
std::vector<char> Rows(size_t rows, size_t rowBytes) {
    std::vector<char> bytes;
    std::vector<char> noise = Pattern(rowBytes, 7);
    for (size_t row = 0; row < rows; ++row) {
        if (row % 50 == 20) {
            bytes.insert(bytes.end(), noise.begin(), noise.end());
            continue;
        }
        const char colour[3] = {static_cast<char>(row / 7), static_cast<char>(0x52 - row / 9), 0x3d};
        for (size_t i = 0; i < rowBytes; ++i) bytes.push_back(colour[i % 3]);
    }
    return bytes;
}

// Matches at every distance a chunk allows, lengths long and short, across odd chunk ends.
std::vector<char> Mixed(size_t size) {
    std::vector<char> bytes = Pattern(64, 3);
    for (unsigned seed = 11; bytes.size() < size; seed = seed * 69069u + 1u) {
        const size_t distance = 1 + (seed >> 8) % std::min<size_t>(bytes.size(), 4000);
        const size_t length = 1 + (seed >> 20) % 300;
        for (size_t i = 0; i < length && bytes.size() < size; ++i) bytes.push_back(bytes[bytes.size() - distance]);
        bytes.push_back(static_cast<char>(seed));
    }
    bytes.resize(size);
    return bytes;
}

std::vector<char> Bytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class PackageTest : public ::testing::Test {
protected:
    std::wstring Pack(std::vector<PackedFile>& files, const std::wstring& from = BuildDir() + L"Wendrake.exe") {
        std::wstring out = dir / (L"Packed" + std::to_wstring(++count) + L".exe");
        PackOutcome outcome = WritePackedInstaller(from, out, files);
        EXPECT_EQ(outcome.error, L"");
        droppedSignature = outcome.droppedSignature;
        return out;
    }
    HMODULE Load(const std::wstring& path) {
        modules.emplace_back(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        return modules.back().Get();
    }
    // Adds a resource of the package's type with the given bytes, as a damaged packer might.
    void AddRaw(const std::wstring& exe, const wchar_t* name, const std::string& data) {
        HANDLE update = ::BeginUpdateResourceW(exe.c_str(), FALSE);
        ASSERT_NE(update, nullptr);
        ASSERT_TRUE(::UpdateResourceW(update, kPackageResourceType, name, 0, const_cast<char*>(data.data()),
                                      static_cast<DWORD>(data.size())));
        ASSERT_TRUE(::EndUpdateResourceW(update, FALSE));
    }

    TempDir dir;
    std::vector<LibraryModule> modules;
    int count = 0;
    bool droppedSignature = false;
};

std::string Header(unsigned long storage, unsigned long size) {
    std::string header(8, '\0');
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<char>(storage >> (8 * i));
        header[4 + i] = static_cast<char>(size >> (8 * i));
    }
    return header;
}

}  // namespace

TEST_F(PackageTest, FilesComeBackByteForByteCompressedWhereItPays) {
    std::vector<PackedFile> files = {
        {L"BackGround.bmp", Rows(422, 1308)},
        {L"Noise.jpg", Pattern(100 * 1024, 5)},
        {L"Mixed.bmp", Mixed(3 * 4096 + 17)},
        {L"Tiny.bmp", Bytes("BM\x01\x02\x03")},
        {L"ConfigParams.ini", Bytes(std::string(5000, 'x'))},
        {L"Empty.gif", {}},
    };
    std::wstring packed = Pack(files);
    EXPECT_LT(files[0].storedSize, files[0].bytes.size() / 10) << "rows of one colour shrink";
    EXPECT_EQ(files[1].storedSize, files[1].bytes.size()) << "noise is stored as it is";
    EXPECT_LT(files[2].storedSize, files[2].bytes.size());
    EXPECT_EQ(files[3].storedSize, 5u);
    EXPECT_EQ(files[4].storedSize, 5000u) << "settings stay readable in the executable";

    PackageSource package = PackageSource::Inside(Load(packed));
    EXPECT_EQ(package.EmbeddedNames().size(), files.size());
    for (const PackedFile& file : files) {
        std::vector<char> bytes;
        EXPECT_TRUE(package.File(file.name).Read(bytes)) << Utf8(file.name);
        EXPECT_TRUE(bytes == file.bytes) << Utf8(file.name);
    }
    // Names are found in any letter case, as on disk; other names are not there.
    std::vector<char> bytes;
    EXPECT_TRUE(package.File(L"BACKGROUND.BMP").Read(bytes));
    EXPECT_FALSE(package.File(L"Preloader.jpg").Exists());
    EXPECT_FALSE(package.File(L"Preloader.jpg").Read(bytes));
}

TEST_F(PackageTest, DamagedResourcesReadAsMissingFiles) {
    std::vector<PackedFile> none;
    std::wstring packed = Pack(none);
    const std::string valid = Header(kStoredAsIs, 3) + "abc";
    std::vector<PackedFile> compressible = {{L"Rows.bmp", Rows(40, 1308)}};
    std::wstring rows = Pack(compressible);
    std::vector<char> stream;
    {
        HMODULE module = Load(rows);
        HRSRC found = ::FindResourceW(module, L"ROWS.BMP", kPackageResourceType);
        ASSERT_NE(found, nullptr);
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
        stream.assign(data + 8, data + ::SizeofResource(module, found));
    }
    const std::string lznt1(stream.begin(), stream.end());
    const unsigned long size = 40 * 1308;
    AddRaw(packed, L"VALID.BMP", valid);
    AddRaw(packed, L"SHORT.BMP", valid.substr(0, 6));
    AddRaw(packed, L"UNKNOWN.BMP", Header(7, 3) + "abc");
    AddRaw(packed, L"LONGER.INI", Header(kStoredAsIs, 2) + "abc");
    AddRaw(packed, L"HUGE.BMP", Header(kStoredLznt1, 0xFFFFFFF0ul) + lznt1);
    AddRaw(packed, L"CUT.BMP", Header(kStoredLznt1, size) + lznt1.substr(0, lznt1.size() / 2));
    AddRaw(packed, L"SHORTER.BMP", Header(kStoredLznt1, size + 1) + lznt1);
    AddRaw(packed, L"RIGHT.BMP", Header(kStoredLznt1, size) + lznt1);

    PackageSource package = PackageSource::Inside(Load(packed));
    std::vector<char> bytes;
    EXPECT_TRUE(package.File(L"VALID.BMP").Read(bytes));
    EXPECT_TRUE(package.File(L"RIGHT.BMP").Read(bytes));
    EXPECT_EQ(bytes.size(), size);
    for (const wchar_t* name : {L"SHORT.BMP", L"UNKNOWN.BMP", L"LONGER.INI", L"HUGE.BMP", L"CUT.BMP", L"SHORTER.BMP"}) {
        EXPECT_FALSE(package.File(name).Read(bytes)) << Utf8(name);
        EXPECT_TRUE(bytes.empty()) << Utf8(name);
        Picture picture;
        EXPECT_EQ(picture.Load(package.File(name)), Picture::kUnreadable) << Utf8(name);
    }
    EXPECT_EQ(IniFile(package.File(L"LONGER.INI")).Value(L"Params", L"BrandName"), L"");
}

TEST_F(PackageTest, PackingReplacesAnEarlierPackageAndDropsASignature) {
    std::vector<PackedFile> first = {{L"ConfigParams.ini", Bytes("[Params]\r\nBrandName=One\r\n")},
                                     {L"Preloader.jpg", Pattern(1000, 1)}};
    std::wstring once = Pack(first);
    EXPECT_FALSE(droppedSignature);
    std::vector<PackedFile> second = {{L"ConfigParams.ini", Bytes("[Params]\r\nBrandName=Two\r\n")}};
    std::wstring twice = Pack(second, once);
    PackageSource package = PackageSource::Inside(Load(twice));
    EXPECT_EQ(package.EmbeddedNames(), std::vector<std::wstring>{L"CONFIGPARAMS.INI"});
    EXPECT_EQ(IniFile(package.File(L"ConfigParams.ini")).Value(L"Params", L"BrandName"), L"Two");

    // A signed program: its signature could not match the new file, so it goes.
    const std::wstring signedProgram = BuildDir() + L"signed\\SignedWendrake.exe";
    std::wstring signer;
    ASSERT_NE(CheckSignature(signedProgram, signer), SignatureState::Unsigned);
    std::wstring repacked = Pack(second, signedProgram);
    EXPECT_TRUE(droppedSignature);
    EXPECT_EQ(CheckSignature(repacked, signer), SignatureState::Unsigned);
    EXPECT_LT(FileSize(repacked), FileSize(signedProgram) + 4096) << "the certificates are gone from its end";
}

TEST_F(PackageTest, WhatCannotBePackedLeavesNothingBehind) {
    std::vector<PackedFile> files = {{L"ConfigParams.ini", Bytes("[Params]\r\n")}};
    std::wstring installer = dir / L"Wendrake.exe";
    ASSERT_TRUE(::CopyFileW((BuildDir() + L"Wendrake.exe").c_str(), installer.c_str(), FALSE));
    const std::string original = ReadBytes(installer);
    EXPECT_NE(WritePackedInstaller(installer, installer, files).error, L"");
    EXPECT_TRUE(ReadBytes(installer) == original) << "the installer is never overwritten";

    WriteBytes(dir / L"notes.txt", "not a program");
    EXPECT_NE(WritePackedInstaller(dir / L"notes.txt", dir / L"out.exe", files).error, L"");
    EXPECT_FALSE(FileExists(dir / L"out.exe"));
    EXPECT_NE(WritePackedInstaller(installer, dir / L"no such folder\\out.exe", files).error, L"");
    EXPECT_NE(WritePackedInstaller(dir / L"missing.exe", dir / L"out.exe", files).error, L"");
    EXPECT_FALSE(FileExists(dir / L"out.exe"));
}

namespace {

// A bitmap file of one colour.
std::vector<char> PlainBitmap(int width, int height, COLORREF colour) {
    const int rowSize = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + rowSize * height;
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<char> bytes(reinterpret_cast<const char*>(&file), reinterpret_cast<const char*>(&file) + sizeof file);
    bytes.insert(bytes.end(), reinterpret_cast<const char*>(&info), reinterpret_cast<const char*>(&info) + sizeof info);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < rowSize; ++x)
            bytes.push_back(x >= width * 3 ? 0 : static_cast<char>(x % 3 == 0 ? GetBValue(colour) : x % 3 == 1 ? GetGValue(colour) : GetRValue(colour)));
    return bytes;
}

}  // namespace

// A packed installer carries the pictures' sharper variants too, and takes them from inside
// itself on a dense screen as it takes them from its folder.
TEST_F(PackageTest, ASharperPictureInsideIsTakenOnADenseScreen) {
    ::OleInitialize(nullptr);
    {
        std::vector<PackedFile> files = {{L"BackGround.bmp", PlainBitmap(20, 10, RGB(200, 0, 0))},
                                         {L"BackGround@2x.bmp", PlainBitmap(40, 20, RGB(0, 200, 0))}};
        PackageSource package = PackageSource::Inside(Load(Pack(files)));
        DensityOverride at(144);
        DensityPicture picture;
        ASSERT_EQ(Picture::kLoaded, picture.Load(package, L"BackGround.bmp"));
        EXPECT_EQ(picture.Multiple(), 2);
        EXPECT_EQ(picture.ShownSize().cx, 30);
        SetScreenDensity(96);
        ASSERT_EQ(Picture::kLoaded, picture.Load(package, L"BackGround.bmp"));
        EXPECT_EQ(picture.Multiple(), 1);
    }
    ::OleUninitialize();
    // The packer takes them from a folder: they are files of the package.
    bool listed = false;
    for (size_t i = 0; PackageFileName(i); ++i) listed = listed || std::wstring(PackageFileName(i)) == L"Preloader@2x.jpg";
    EXPECT_TRUE(listed);
}
