// The engine's helpers and the engine's behaviour that needs no server. Downloads from
// real servers are tested through WendrakeFetch.exe by fetch_tests.py.

#include <gtest/gtest.h>

#include <vector>

#include "download/Answer.h"
#include "download/DownloadEngine.h"
#include "tests/support/TestSupport.h"

namespace {

// Points TMP and TEMP (and so TempFolder) at a folder for the life of the object.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& folder) : tmp_(Get(L"TMP")), temp_(Get(L"TEMP")) {
        ::SetEnvironmentVariableW(L"TMP", folder.c_str());
        ::SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    ~TempFolderOverride() {
        ::SetEnvironmentVariableW(L"TMP", tmp_.c_str());
        ::SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    }

private:
    static std::wstring Get(const wchar_t* name) {
        wchar_t value[MAX_PATH + 1] = {};
        ::GetEnvironmentVariableW(name, value, MAX_PATH + 1);
        return value;
    }
    std::wstring tmp_, temp_;
};

// Collects notifications, which arrive on WinINet's threads.
class Notifications {
public:
    static void Record(unsigned long code, void* context) {
        auto* self = static_cast<Notifications*>(context);
        TestLock::Hold hold(self->lock_);
        self->codes_.push_back(code);
    }
    std::vector<unsigned long> Codes() {
        TestLock::Hold hold(lock_);
        return codes_;
    }
    size_t Count(unsigned long code) {
        size_t n = 0;
        for (unsigned long c : Codes()) n += c == code;
        return n;
    }

private:
    TestLock lock_;
    std::vector<unsigned long> codes_;
};

std::vector<std::wstring> FolderContents(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return names;
}

// Nothing listens on port 1 of the loopback: connections to it are refused.
const wchar_t kRefusedUrl[] = L"http://127.0.0.1:1/dl/Setup.exe";

}  // namespace

TEST(FileNameFromUrl, TakesTheLastSegmentOfThePathDecoded) {
    EXPECT_EQ(FileNameFromUrl(L"http://example.test/a/b/Setup.exe"), L"Setup.exe");
    EXPECT_EQ(FileNameFromUrl(L"http://example.test:8080/Setup.exe?lang=en&next=/x.exe"), L"Setup.exe");
    EXPECT_EQ(FileNameFromUrl(L"http://example.test/dl/My%20Poker%20Setup.exe"), L"My Poker Setup.exe");
    EXPECT_EQ(FileNameFromUrl(L"http://example.test/dl/"), L"");
    EXPECT_EQ(FileNameFromUrl(L"http://example.test"), L"");
    EXPECT_EQ(FileNameFromUrl(L"Setup.exe"), L"");
    EXPECT_EQ(FileNameFromUrl(L""), L"");
}

TEST(FileNameFromUrl, RefusesNamesThatCouldPointOutsideTheFolder) {
    const wchar_t* urls[] = {
        L"http://example.test/dl/..",          L"http://example.test/dl/%2E%2E",
        L"http://example.test/dl/%2e",         L"http://example.test/dl/%5C..%5CSetup.exe",
        L"http://example.test/dl/..%5CSetup.exe", L"http://example.test/dl/C%3ASetup.exe",
        L"http://example.test/dl/Set%01up.exe", L"http://example.test/dl/Set%09up.exe",
        L"http://example.test/dl/Set%2Aup.exe",
    };
    for (const wchar_t* url : urls) EXPECT_EQ(FileNameFromUrl(url), L"") << Utf8(url);
}

TEST(Stamp, KeepsTheDateAloneOnTheFirstLineAndTheRestBelow) {
    TempDir dir;
    Stamp stamp;
    stamp.version = {L"Tue, 01 Aug 2023 10:00:00 GMT", L"\"5f-a1\""};
    stamp.url = L"http://example.test/dl/%s Setup.exe?x=\u00e9";
    stamp.size = 5LL << 32;
    ASSERT_TRUE(WriteStamp(dir.Path(), stamp));
    std::string bytes = ReadBytes(dir / L"LastDownloadDate.txt");
    // Older copies read the first line only, up to its line end: the date alone.
    EXPECT_EQ(bytes.substr(0, bytes.find("\r\n")), "Tue, 01 Aug 2023 10:00:00 GMT");
    Stamp read = ReadStamp(dir.Path());
    EXPECT_EQ(read.version.date, stamp.version.date);
    EXPECT_EQ(read.version.etag, stamp.version.etag);
    EXPECT_EQ(read.url, stamp.url);
    EXPECT_EQ(read.size, stamp.size);

    // A value with a line end cannot shift the lines after it.
    stamp.version.date = L"Tue,\r\n01 Aug";
    stamp.size = -1;
    ASSERT_TRUE(WriteStamp(dir.Path(), stamp));
    read = ReadStamp(dir.Path());
    EXPECT_EQ(read.version.date, L"Tue,01 Aug");
    EXPECT_EQ(read.url, stamp.url);
    EXPECT_EQ(read.size, -1);
}

TEST(Stamp, OfOlderCopiesIsReadAsTheyMeantIt) {
    TempDir dir;
    EXPECT_FALSE(ReadStamp(dir.Path()).version.Named());
    // The date alone, without a line end, as older copies wrote it: nothing else is known.
    WriteBytes(dir / L"LastDownloadDate.txt", "Wed, 02 Aug 2023 08:00:00 GMT");
    Stamp read = ReadStamp(dir.Path());
    EXPECT_EQ(read.version.date, L"Wed, 02 Aug 2023 08:00:00 GMT");
    EXPECT_EQ(read.version.etag, L"");
    EXPECT_EQ(read.url, L"");
    EXPECT_EQ(read.size, -1);
    WriteBytes(dir / L"LastDownloadDate.txt", std::string(3000, 'x'));
    EXPECT_EQ(ReadStamp(dir.Path()).version.date, std::wstring(2047, L'x'));
}

TEST(FileVersion, MatchesOnlyTheSameFile) {
    const FileVersion dated{L"Tue, 01 Aug 2023 10:00:00 GMT", L""};
    const FileVersion tagged{L"Tue, 01 Aug 2023 10:00:00 GMT", L"\"5f-a1\""};
    EXPECT_TRUE(dated.Matches(tagged));  // a stamp of an older copy knows no ETag
    EXPECT_TRUE(tagged.Matches({L"TUE, 01 AUG 2023 10:00:00 GMT", L"W/\"5f-a1\""}));
    EXPECT_FALSE(tagged.Matches({L"Tue, 01 Aug 2023 10:00:00 GMT", L"\"60-b2\""}));
    EXPECT_FALSE(dated.Matches({L"Wed, 02 Aug 2023 08:00:00 GMT", L""}));
    // A server that stops sending its date has changed how it names its files.
    EXPECT_FALSE(tagged.Matches({L"", L"\"5f-a1\""}));
    EXPECT_TRUE(FileVersion({L"", L"\"5f-a1\""}).Matches({L"", L"\"5f-a1\""}));
    EXPECT_FALSE(FileVersion().Matches(FileVersion()));
    // If-Range takes a strong ETag, else the date.
    EXPECT_EQ(tagged.IfRange(), L"\"5f-a1\"");
    EXPECT_EQ(FileVersion({L"Tue, 01 Aug 2023 10:00:00 GMT", L"W/\"5f-a1\""}).IfRange(), dated.date);
}

TEST(Answer, AFirstByteThatCannotBeTheInstallerIsTold) {
    const std::string page = "\xEF\xBB\xBF\r\n  <!DOCTYPE html><html><body>Sign in</body></html>";
    const std::string program = "MZ\x90\x00\x03";
    // A program starts with MZ, whatever its type says.
    EXPECT_FALSE(CannotBeInstaller(L"C:\\t\\Setup.EXE", L"text/html", program.data(), program.size()));
    EXPECT_TRUE(CannotBeInstaller(L"C:\\t\\Setup.exe", L"application/octet-stream", page.data(), page.size()));
    EXPECT_TRUE(CannotBeInstaller(L"C:\\t\\Setup.exe", L"", "M", 1));
    // Anything else must not be a web page.
    EXPECT_TRUE(CannotBeInstaller(L"C:\\t\\Setup.msi", L"application/octet-stream", page.data(), page.size()));
    EXPECT_TRUE(CannotBeInstaller(L"C:\\t\\Setup.msi", L"text/html; charset=utf-8", "<p>Hotel", 8));
    EXPECT_FALSE(CannotBeInstaller(L"C:\\t\\Setup.msi", L"text/html", "\xD0\xCF\x11\xE0", 4));
    EXPECT_FALSE(CannotBeInstaller(L"C:\\t\\Setup.zip", L"application/zip", "PK\x03\x04", 4));
}

TEST(Answer, ContentRangeAndCountsAreReadAsServersWriteThem) {
    EXPECT_EQ(ParseContentRange(L"bytes 100-199/300").first, 100);
    EXPECT_EQ(ParseContentRange(L"bytes 100-199/300").total, 300);
    EXPECT_EQ(ParseContentRange(L"BYTES 100-199/300").last, 199);  // the unit in any letter case
    EXPECT_EQ(ParseContentRange(L"bytes */300").last, -1);
    EXPECT_EQ(ParseContentRange(L"bytes */5368721234").total, 5368721234LL);
    EXPECT_EQ(ParseContentRange(L"bytes 0-9/*").total, -1);
    EXPECT_EQ(ParseContentRange(L"items 0-9/10").first, -1);
    EXPECT_EQ(ParseCount(L"99999999999999999999"), -1);
}

// The pause before each new attempt: never measured, only its schedule.
TEST(Retry, PausesGrowWhileAttemptsBringNothing) {
    std::vector<DWORD> pauses;
    for (int fruitless = 1; fruitless <= 10; ++fruitless) pauses.push_back(RetryDelayMs(fruitless));
    EXPECT_EQ(pauses, (std::vector<DWORD>{1000, 1000, 1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    EXPECT_EQ(RetryDelayMs(1000000), 30000u);
}

TEST(DownloadFolder, IsTheProductsOwnUnderTheTemporaryFolder) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    EXPECT_EQ(TempFolder(), dir.Path());
    EXPECT_EQ(ProductDownloadFolder(L"Corvana Poker"), dir / L"Corvana Poker\\");
    EXPECT_EQ(::GetFileAttributesW((dir / L"Corvana Poker").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(ProductDownloadFolder(L"Corvana Poker"), dir / L"Corvana Poker\\");  // there already
    // What a folder name cannot hold is replaced; nothing at all is our own name.
    EXPECT_EQ(ProductDownloadFolder(L"..\\A:B*?. "), dir / L".._A_B__\\");
    EXPECT_EQ(ProductDownloadFolder(L" . "), dir / L"Wendrake\\");
    // A file in the way: no folder.
    WriteBytes(dir / L"Taken", "x");
    EXPECT_EQ(ProductDownloadFolder(L"Taken"), L"");
}

TEST(DownloadFolder, TakesOverWhatOlderCopiesLeftInTheTemporaryFolder) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    std::wstring folder = ProductDownloadFolder(L"Product");
    // A partial file with its stamp moves along, to be resumed.
    WriteBytes(dir / L"Setup.exe", "partial");
    WriteBytes(dir / L"LastDownloadDate.txt", "Wed, 02 Aug 2023 08:00:00 GMT");
    AdoptEarlierDownload(folder, L"Setup.exe");
    EXPECT_EQ(ReadBytes(folder + L"Setup.exe"), "partial");
    EXPECT_EQ(ReadStamp(folder).version.date, L"Wed, 02 Aug 2023 08:00:00 GMT");
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::wstring>{L"Product"});

    // The folder's own download wins; without a stamp nothing can be resumed. Either way the
    // old files go.
    for (bool oldStamp : {true, false}) {
        WriteBytes(dir / L"Setup.exe", "older");
        if (oldStamp) WriteBytes(dir / L"LastDownloadDate.txt", "Mon, 01 Jan 2001 00:00:00 GMT");
        AdoptEarlierDownload(folder, L"Setup.exe");
        EXPECT_EQ(ReadBytes(folder + L"Setup.exe"), "partial");
        EXPECT_EQ(ReadStamp(folder).version.date, L"Wed, 02 Aug 2023 08:00:00 GMT");
        EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::wstring>{L"Product"});
    }
    ASSERT_TRUE(::DeleteFileW((folder + L"Setup.exe").c_str()));
    WriteBytes(dir / L"Setup.exe", "unstamped");
    AdoptEarlierDownload(folder, L"Setup.exe");
    EXPECT_FALSE(FileExists(folder + L"Setup.exe"));
    EXPECT_FALSE(FileExists(dir / L"Setup.exe"));

    // A stamp with no installer of ours beside it may be another product's: it stays.
    WriteBytes(dir / L"LastDownloadDate.txt", "Mon, 01 Jan 2001 00:00:00 GMT");
    AdoptEarlierDownload(folder, L"Setup.exe");
    EXPECT_TRUE(FileExists(dir / L"LastDownloadDate.txt"));
}

TEST(DownloadEngine, RefusesAFileNameOutsideTheFolderBeforeAnyRequest) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    std::wstring target = dir / L"dl\\";
    ASSERT_TRUE(::CreateDirectoryW(target.c_str(), nullptr));
    const wchar_t* urls[] = {L"http://127.0.0.1:1/dl/", L"http://127.0.0.1:1/dl/%2E%2E",
                             L"http://127.0.0.1:1/dl/%5C..%5CSetup.exe", L"http://127.0.0.1:1/dl/C%3ASetup.exe"};
    for (const wchar_t* url : urls) {
        Notifications seen;
        DownloadEngine engine;
        // Port 1 refuses: a request that went out anyway would bring DownloadRetrying.
        EXPECT_FALSE(engine.Start(url, Notifications::Record, target, &seen)) << Utf8(url);
        PumpMessages(100);
        EXPECT_EQ(seen.Codes(), std::vector<unsigned long>{DownloadFailed}) << Utf8(url);
        EXPECT_EQ(engine.Failure(), DownloadError::Misconfigured) << Utf8(url);
    }
    EXPECT_EQ(FolderContents(dir.Path()), std::vector<std::wstring>{L"dl"});
    EXPECT_TRUE(FolderContents(target).empty());
}

TEST(DownloadEngine, DoesNothingOnceCancelled) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    Notifications seen;
    DownloadEngine engine;
    engine.CancelDownload();
    EXPECT_FALSE(engine.Start(kRefusedUrl, Notifications::Record, dir.Path(), &seen));
    PumpMessages(500);
    EXPECT_TRUE(seen.Codes().empty());
    EXPECT_FALSE(FileExists(dir / L"Setup.exe"));
}

// While the server cannot be reached the engine tries again every second, with the owner's
// context, until the owner cancels; after the cancel nothing more arrives.
TEST(DownloadEngine, RetriesUntilCancelledWhileTheServerCannotBeReached) {
    const wchar_t* urls[] = {kRefusedUrl, L"http://wendrake-no-such-host.invalid/dl/Setup.exe"};
    for (const wchar_t* url : urls) {
        TempDir dir;
        TempFolderOverride temp(dir.Path());
        WriteBytes(dir / L"Setup.exe", "partial");
        WriteBytes(dir / L"LastDownloadDate.txt", "Tue, 01 Aug 2023 10:00:00 GMT");
        Notifications seen;
        DownloadEngine engine;
        ASSERT_TRUE(engine.Start(url, Notifications::Record, dir.Path(), &seen));
        ASSERT_TRUE(WaitFor([&] { return seen.Count(DownloadRetrying) >= 2; }, 20000)) << Utf8(url);
        engine.CancelDownload();
        size_t before = seen.Codes().size();
        PumpMessages(1500);  // longer than the pause before a retry
        EXPECT_EQ(seen.Codes().size(), before) << Utf8(url);
        EXPECT_EQ(seen.Codes(), std::vector<unsigned long>(before, DownloadRetrying)) << Utf8(url);
        EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), "partial");
    }
}
