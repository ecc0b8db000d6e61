#include <gtest/gtest.h>

#include <vector>

#include "config/TextFileReader.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::wstring> ReadLines(const std::wstring& path) {
    TextFileReader reader;
    std::vector<std::wstring> lines;
    if (!reader.Open(path)) return lines;
    reader.SetCodePage(65001);
    std::wstring line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(TextFileReader, LineEndsAreRemovedWhateverTheirForm) {
    TempDir dir;
    WriteBytes(dir / L"crlf.txt", "one\r\n\r\nthree\r\nlast");
    EXPECT_EQ(ReadLines(dir / L"crlf.txt"), (std::vector<std::wstring>{L"one", L"", L"three", L"last"}));
    WriteBytes(dir / L"lf.txt", "a\nb\n");
    EXPECT_EQ(ReadLines(dir / L"lf.txt"), (std::vector<std::wstring>{L"a", L"b"}));
    // A lone CR at the end of a line is a line end too.
    WriteBytes(dir / L"cr.txt", "x\r");
    EXPECT_EQ(ReadLines(dir / L"cr.txt"), (std::vector<std::wstring>{L"x"}));
}

TEST(TextFileReader, LongLinesArriveInPiecesOf4095Bytes) {
    TempDir dir;
    WriteBytes(dir / L"long.txt", std::string(5000, 'x') + "\nend\n");
    std::vector<std::wstring> lines = ReadLines(dir / L"long.txt");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[1].size(), 5000u - 4095u);
    EXPECT_EQ(lines[2], L"end");
}

TEST(TextFileReader, DecodesUtf8AndKeepsAByteOrderMark) {
    TempDir dir;
    WriteBytes(dir / L"bom.txt", "\xEF\xBB\xBF[\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9]\n");
    std::vector<std::wstring> lines = ReadLines(dir / L"bom.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"\xFEFF[\x0420\x0443\x0441\x0441\x043A\x0438\x0439]");
}

TEST(TextFileReader, ZeroBytesAndInvalidUtf8NeverBreakTheReader) {
    TempDir dir;
    // A line whose first byte is zero keeps the previous line's text; a zero inside a
    // line ends its text; invalid bytes still give a line.
    WriteBytes(dir / L"odd.txt", std::string("first\n") + std::string("\0second\n", 8) +
                                     std::string("th\0ird\n", 7) + "bad\xFF\xFE tail\n");
    std::vector<std::wstring> lines = ReadLines(dir / L"odd.txt");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"first");
    EXPECT_EQ(lines[1], L"first");
    EXPECT_EQ(lines[2], L"th");
    EXPECT_EQ(lines[3].substr(0, 3), L"bad");
    EXPECT_EQ(lines[3].substr(lines[3].size() - 4), L"tail");
}

TEST(TextFileReader, MissingFileDoesNotOpen) {
    TextFileReader reader;
    EXPECT_FALSE(reader.Open(L"Z:\\no\\such\\file.txt"));
    std::wstring line = L"kept";
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_EQ(line, L"kept");
}

TEST(CodePages, WideToCodePageUsesHashForMissingCharacters) {
    char bytes[16];
    EXPECT_EQ(WideToCodePage(L"a\x0416z", bytes, sizeof bytes, 1252), 3);
    EXPECT_STREQ(bytes, "a#z");
    EXPECT_EQ(WideToCodePage(L"a\x0416z", bytes, sizeof bytes, 65001), 4);
    EXPECT_STREQ(bytes, "a\xD0\x96z");
    EXPECT_EQ(WideToCodePageSize(L"a\x0416z", 65001), 5);
    EXPECT_EQ(WideToCodePageSize(L"a\x0416z", 1252), 4);
    EXPECT_EQ(WideToCodePage(L"abc", bytes, 0, 65001), 0);
    EXPECT_EQ(WideToCodePage(nullptr, bytes, 16, 65001), 0);
}

TEST(CodePages, CodePageToWideCountsWithoutTerminator) {
    wchar_t wide[8];
    EXPECT_EQ(CodePageToWide("\xC3\xA9t\xC3\xA9", wide, 8, 65001), 3);
    EXPECT_STREQ(wide, L"\x00E9t\x00E9");
    EXPECT_EQ(CodePageToWide("", wide, 8, 65001), 0);
    EXPECT_EQ(CodePageToWide(nullptr, wide, 8, 65001), 0);
    std::vector<char> bytes = WideToCodePageBytes(L"D\x00FCsseldorf", 65001);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "D\xC3\xBC" "sseldorf");
}
