// The engine's helpers and the engine's behaviour that needs no server. Downloads from
// real servers are tested through WendrakeFetch.exe by fetch_tests.py.

#include <gtest/gtest.h>

#include <vector>

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

TEST(StampFile, LivesInTheTemporaryFolderAndHoldsTheTextVerbatim) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    EXPECT_EQ(TempFolder(), dir.Path());
    EXPECT_EQ(ReadStampFile(), L"");

    ASSERT_TRUE(WriteStampFile(L"Tue, 01 Aug 2023 10:00:00 GMT"));
    EXPECT_EQ(ReadBytes(dir / L"LastDownloadDate.txt"), "Tue, 01 Aug 2023 10:00:00 GMT");
    EXPECT_EQ(ReadStampFile(), L"Tue, 01 Aug 2023 10:00:00 GMT");

    // A shorter text replaces the whole file; a text with % signs is never a format.
    ASSERT_TRUE(WriteStampFile(L"%s %n %d"));
    EXPECT_EQ(ReadBytes(dir / L"LastDownloadDate.txt"), "%s %n %d");
    EXPECT_EQ(ReadStampFile(), L"%s %n %d");
}

TEST(StampFile, ReadsTheFirstLineOfAtMost2047Characters) {
    TempDir dir;
    TempFolderOverride temp(dir.Path());
    WriteBytes(dir / L"LastDownloadDate.txt", "Wed, 02 Aug 2023 08:00:00 GMT\r\nsecond line");
    EXPECT_EQ(ReadStampFile(), L"Wed, 02 Aug 2023 08:00:00 GMT");
    WriteBytes(dir / L"LastDownloadDate.txt", std::string(3000, 'x'));
    EXPECT_EQ(ReadStampFile(), std::wstring(2047, L'x'));
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
        EXPECT_FALSE(engine.Start(url, Notifications::Record, L"", target, &seen, true)) << Utf8(url);
        PumpMessages(100);
        EXPECT_EQ(seen.Codes(), std::vector<unsigned long>{DownloadFailed}) << Utf8(url);
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
    EXPECT_FALSE(engine.Start(kRefusedUrl, Notifications::Record, L"", dir.Path(), &seen, false));
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
        Notifications seen;
        DownloadEngine engine;
        ASSERT_TRUE(engine.Start(url, Notifications::Record, L"Tue, 01 Aug 2023 10:00:00 GMT", dir.Path(), &seen,
                                 true));
        ASSERT_TRUE(WaitFor([&] { return seen.Count(DownloadRetrying) >= 2; }, 20000)) << Utf8(url);
        engine.CancelDownload();
        size_t before = seen.Codes().size();
        PumpMessages(1500);  // longer than the pause before a retry
        EXPECT_EQ(seen.Codes().size(), before) << Utf8(url);
        EXPECT_EQ(seen.Codes(), std::vector<unsigned long>(before, DownloadRetrying)) << Utf8(url);
        EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), "partial");
    }
}
