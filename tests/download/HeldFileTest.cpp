// The finished download between its checks and the installer's start, against nginx: the engine
// holds the file open for reading alone, so that nobody can rename, replace, write or delete
// it, while Windows can still start a program from it; and a file that another program holds
// is a failure of its own, never touched. Wine's server enforces the sharing rules of every
// open, for root as for anyone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/Texts.h"
#include "download/DownloadEngine.h"
#include "download/LinkOpener.h"
#include "recorder/RecorderClient.h"
#include "tests/support/TestSupport.h"

namespace {

// The engine's notifications, which arrive on WinINet's threads.
class Outcomes {
public:
    static void Record(unsigned long code, void* context) {
        auto* self = static_cast<Outcomes*>(context);
        TestLock::Hold hold(self->lock_);
        self->codes_.push_back(code);
    }
    bool Ended() {
        TestLock::Hold hold(lock_);
        for (unsigned long code : codes_)
            if (code == DownloadComplete || code == DownloadFailed || code == DownloadCorrupt) return true;
        return false;
    }
    unsigned long Last() {
        TestLock::Hold hold(lock_);
        return codes_.empty() ? 0 : codes_.back();
    }

private:
    TestLock lock_;
    std::vector<unsigned long> codes_;
};

class HeldFile : public ::testing::Test {
protected:
    void SetUp() override {
        url_ = EnvironmentValue(L"WENDRAKE_NGINX_URL");
        root_ = EnvironmentValue(L"WENDRAKE_NGINX_ROOT");
        ASSERT_FALSE(url_.empty()) << "run under tests/support/with_nginx.py";
    }
    // Downloads the file nginx serves under `name` into the test's folder; the last notification.
    unsigned long Download(DownloadEngine& engine, const std::wstring& name) {
        Outcomes outcomes;
        engine.Start(url_ + L"/" + name, Outcomes::Record, folder_.Path(), &outcomes);
        EXPECT_TRUE(WaitFor([&] { return outcomes.Ended(); }, 60000));
        return outcomes.Last();
    }

    std::wstring url_, root_;
    TempDir folder_;
};

}  // namespace

TEST_F(HeldFile, CannotBeRenamedWrittenOrDeletedBetweenItsChecksAndItsStart) {
    std::string served = WritePaddedRecorder(root_ + L"\\HeldSetup.exe", 2 * 1024 * 1024);
    ASSERT_FALSE(served.empty());
    LaunchLog launches;
    DownloadEngine engine;
    engine.SetChecks(L"", DecimalText(static_cast<long long>(served.size())), L"");
    ASSERT_EQ(Download(engine, L"HeldSetup.exe"), DownloadComplete);
    const std::wstring path = engine.FilePath();
    ASSERT_EQ(path, folder_ / L"HeldSetup.exe");
    ASSERT_NE(engine.HeldFile(), nullptr);

    // What another program of the user's would do to swap the installer: each is refused.
    EXPECT_FALSE(::MoveFileW(path.c_str(), (folder_ / L"Moved.exe").c_str()));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    WriteBytes(folder_ / L"Impostor.exe", "MZ impostor");
    EXPECT_FALSE(::MoveFileExW((folder_ / L"Impostor.exe").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    FileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    // Reading it stays possible (a scanner may look), and the bytes are the checked ones.
    EXPECT_EQ(ReadBytes(path), served);

    // The held file still starts: process creation opens it for reading and running.
    std::wstring folder = L"C:\\Games\\Held";
    ASSERT_GT(StartInstaller(path, folder, nullptr), 32);
    ASSERT_TRUE(launches.WaitForRecords(L"HeldSetup.exe", 1, 30000));
    EXPECT_EQ(launches.Records(L"HeldSetup.exe")[0].parameters, L"C:\\Games\\Held");

    // Let go once started: now it is an ordinary file again.
    engine.ReleaseFile();
    EXPECT_EQ(engine.HeldFile(), nullptr);
    EXPECT_TRUE(::MoveFileW(path.c_str(), (folder_ / L"Moved.exe").c_str()));
}

TEST_F(HeldFile, IsLetGoAndRemovedWithItsStampWhenDiscarded) {
    WritePaddedRecorder(root_ + L"\\DiscardedSetup.exe", 512 * 1024);
    DownloadEngine engine;
    ASSERT_EQ(Download(engine, L"DiscardedSetup.exe"), DownloadComplete);
    ASSERT_TRUE(FileExists(folder_ / L"LastDownloadDate.txt"));
    EXPECT_TRUE(engine.DiscardFile());
    EXPECT_FALSE(FileExists(folder_ / L"DiscardedSetup.exe"));
    EXPECT_FALSE(FileExists(folder_ / L"LastDownloadDate.txt"));
    EXPECT_EQ(engine.HeldFile(), nullptr);
}

TEST_F(HeldFile, HeldByAnotherProgramTheFileIsInUseAndUntouched) {
    WritePaddedRecorder(root_ + L"\\BusySetup.exe", 512 * 1024);
    WriteBytes(folder_ / L"BusySetup.exe", "MZ partial of another run");
    // Another program has it open and shares nothing, as a scanner may.
    FileHandle other(::CreateFileW((folder_ / L"BusySetup.exe").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other);
    DownloadEngine engine;
    ASSERT_EQ(Download(engine, L"BusySetup.exe"), DownloadFailed);
    EXPECT_EQ(engine.Failure(), DownloadError::FileInUse);
    other.Reset();
    EXPECT_EQ(ReadBytes(folder_ / L"BusySetup.exe"), "MZ partial of another run");
}
