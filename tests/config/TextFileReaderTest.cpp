#include <gtest/gtest.h>

#include <vector>

#include "config/TextFileReader.h"
#include "tests/config/BothWays.h"

namespace {

std::vector<std::wstring> ReadLines(const PackageFile& file) {
    TextFileReader reader;
    std::vector<std::wstring> lines;
    if (!reader.Open(file)) return lines;
    reader.SetCodePage(65001);
    std::wstring line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return lines;
}

using TextFileReaderTest = BothWays;
RUN_BOTH_WAYS(TextFileReaderTest);

}  // namespace

TEST_P(TextFileReaderTest, LineEndsAreRemovedWhateverTheirForm) {
    EXPECT_EQ(ReadLines(Put(L"crlf.txt", "one\r\n\r\nthree\r\nlast")),
              (std::vector<std::wstring>{L"one", L"", L"three", L"last"}));
    EXPECT_EQ(ReadLines(Put(L"lf.txt", "a\nb\n")), (std::vector<std::wstring>{L"a", L"b"}));
    // A lone CR at the end of a line is a line end too.
    EXPECT_EQ(ReadLines(Put(L"cr.txt", "x\r")), (std::vector<std::wstring>{L"x"}));
    EXPECT_TRUE(ReadLines(Put(L"empty.txt", "")).empty());
}

TEST_P(TextFileReaderTest, LongLinesArriveInPiecesOf4095Bytes) {
    std::vector<std::wstring> lines = ReadLines(Put(L"long.txt", std::string(5000, 'x') + "\nend\n"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[1].size(), 5000u - 4095u);
    EXPECT_EQ(lines[2], L"end");
    // CR LF counts as the one byte the runtime makes of it: this line fits one piece.
    lines = ReadLines(Put(L"crlf-long.txt", std::string(4094, 'y') + "\r\nnext"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::wstring(4094, L'y'));
    EXPECT_EQ(lines[1], L"next");
}

TEST_P(TextFileReaderTest, DecodesUtf8AndKeepsAByteOrderMark) {
    std::vector<std::wstring> lines =
        ReadLines(Put(L"bom.txt", "\xEF\xBB\xBF[\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9]\n"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], L"\xFEFF[\x0420\x0443\x0441\x0441\x043A\x0438\x0439]");
}

TEST_P(TextFileReaderTest, ZeroBytesAndInvalidUtf8NeverBreakTheReader) {
    // A line whose first byte is zero keeps the previous line's text; a zero inside a
    // line ends its text; invalid bytes still give a line.
    std::vector<std::wstring> lines = ReadLines(Put(L"odd.txt", std::string("first\n") + std::string("\0second\n", 8) +
                                                                    std::string("th\0ird\n", 7) + "bad\xFF\xFE tail\n"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"first");
    EXPECT_EQ(lines[1], L"first");
    EXPECT_EQ(lines[2], L"th");
    EXPECT_EQ(lines[3].substr(0, 3), L"bad");
    EXPECT_EQ(lines[3].substr(lines[3].size() - 4), L"tail");
}

TEST_P(TextFileReaderTest, MissingFileDoesNotOpen) {
    TextFileReader reader;
    EXPECT_FALSE(reader.Open(Missing(L"file.txt")));
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
