// What the engine decides without a network: what an answer means for the bytes on disk, where
// redirects and mirrors lead, and what one attempt's answers and body do to the partial file and
// its stamp. The answers are written out as a server would send them.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "download/Addresses.h"
#include "download/Answer.h"
#include "download/Receiver.h"
#include "tests/support/TestSupport.h"

namespace {

const FileVersion kOld = {L"Tue, 01 Aug 2023 10:00:00 GMT", L"\"old\""};
const FileVersion kNew = {L"Wed, 02 Aug 2023 10:00:00 GMT", L"\"new\""};

HttpAnswer Partial(long long first, long long total, const FileVersion& version) {
    HttpAnswer answer;
    answer.status = 206;
    answer.range = {first, total};
    answer.length = total - first;
    answer.version = version;
    return answer;
}

HttpAnswer Whole(long long length, const FileVersion& version) {
    HttpAnswer answer;
    answer.status = 200;
    answer.length = length;
    answer.version = version;
    answer.type = L"application/octet-stream";
    return answer;
}

// A file request resumed at `from` for the old version, the probe and the stamp agreeing on `total`.
FileRequest Resumed(long long from, long long total) { return {from, kOld, total, kOld, total}; }

// Removes nothing: a scanner holding the stamp, say.
class StampHeld : public FileOps {
public:
    bool Delete(const std::wstring&) override { return false; }
};

// One attempt's receiver on a real folder, with the counts the owner would read.
struct Attempt {
    explicit Attempt(const std::wstring& folder) : receiver(total, received, named, nullptr, nullptr) {
        receiver.Partial().Reset(folder, folder + L"Setup.exe");
        receiver.Partial().ReadStamp();
        receiver.NewAttempt();
    }
    std::atomic<long long> total{0}, received{0};
    std::atomic<bool> named{false};
    Receiver receiver;
};

}  // namespace

TEST(Answer, DecidesWhatAnAnswerDoesToTheBytesOnDisk) {
    // Bytes that do not continue the partial file are never written: asked from 0, a server's
    // fault; asked from 100, the whole file is asked for instead.
    EXPECT_EQ(PlanBody(Partial(50, 1000, kOld), FileRequest{}).kind, BodyPlan::Kind::Foreign);
    EXPECT_EQ(PlanBody(Partial(50, 1000, kOld), Resumed(100, 1000)).kind, BodyPlan::Kind::Refetch);
    // The rest of the same version and size extends them.
    BodyPlan rest = PlanBody(Partial(100, 1000, kOld), Resumed(100, 1000));
    EXPECT_EQ(rest.kind, BodyPlan::Kind::Take);
    EXPECT_FALSE(rest.fromZero);
    EXPECT_EQ(rest.end, 1000);
    // A rest of another version, of no version, or of another size than the stamp's does not.
    EXPECT_EQ(PlanBody(Partial(100, 1000, kNew), Resumed(100, 1000)).kind, BodyPlan::Kind::Refetch);
    EXPECT_EQ(PlanBody(Partial(100, 1000, FileVersion()), Resumed(100, 1000)).kind, BodyPlan::Kind::Refetch);
    EXPECT_EQ(PlanBody(Partial(100, 1200, kOld), {100, kOld, -1, kOld, 1000}).kind, BodyPlan::Kind::Refetch);
    // A whole file in answer to a resumed request replaces the old bytes; its size is the larger
    // of what it and the probe say, unless it names another version than the probe.
    BodyPlan fresh = PlanBody(Whole(-1, kOld), Resumed(100, 1000));
    EXPECT_EQ(fresh.kind, BodyPlan::Kind::Take);
    EXPECT_TRUE(fresh.fromZero);
    EXPECT_EQ(fresh.end, 1000);
    EXPECT_EQ(PlanBody(Whole(-1, kNew), Resumed(100, 1000)).end, -1);

    // A 416 completes the file only when the bytes on disk are exactly the size it names or,
    // naming none (Apache, lighttpd), the probe's size, for the version on disk.
    HttpAnswer refused;
    refused.status = 416;
    refused.range = ParseContentRange(L"bytes */1000");
    EXPECT_EQ(WholeBy416(refused, Resumed(1000, 1000)), 1000);
    EXPECT_EQ(WholeBy416(refused, Resumed(999, 1000)), -1);
    EXPECT_EQ(WholeBy416(refused, Resumed(1000, 2000)), -1);
    EXPECT_EQ(WholeBy416(refused, FileRequest{}), -1);
    refused.range = ContentRange();
    EXPECT_EQ(WholeBy416(refused, Resumed(1000, 1000)), 1000);
    refused.version = kNew;
    EXPECT_EQ(WholeBy416(refused, Resumed(1000, 1000)), -1);

    // The request: one byte for the probe; the rest only while it is still the version on disk.
    EXPECT_EQ(RequestHeaders(true, 0, FileVersion()), L"Range: bytes=0-0\r\nAccept-Encoding: identity\r\n");
    EXPECT_EQ(RequestHeaders(false, 100, kOld),
              L"Range: bytes=100-\r\nIf-Range: \"old\"\r\nAccept-Encoding: identity\r\n");
    EXPECT_EQ(RequestHeaders(false, 0, kOld), L"Range: bytes=0-\r\nAccept-Encoding: identity\r\n");
}

TEST(Addresses, FollowRedirectsWithinBoundsAndMirrorsInOrder) {
    Addresses addresses;
    addresses.SetMirrors({L"http://b.test/Setup.exe", L"http://c.test/Setup.exe"});
    addresses.Reset(L"http://a.test/dl/Setup.exe");
    addresses.NewRequest();
    // A relative Location is read against the address that gave it.
    EXPECT_EQ(addresses.Redirect(L"../files/Setup.exe"), DownloadError::None);
    EXPECT_EQ(addresses.RequestUrl(), L"http://a.test/files/Setup.exe");
    // Back to an address already asked, in any letter case: a loop.
    EXPECT_EQ(addresses.Redirect(L"HTTP://A.TEST/dl/Setup.exe"), DownloadError::TooManyRedirects);
    // Somewhere that is no web address, or nowhere.
    addresses.NewRequest();
    EXPECT_EQ(addresses.Redirect(L"file:///C:/Windows/notepad.exe"), DownloadError::ServerError);
    EXPECT_EQ(addresses.Redirect(L""), DownloadError::ServerError);
    // Ten redirects are followed, the eleventh is not.
    addresses.NewRequest();
    for (int i = 1; i <= 10; ++i)
        ASSERT_EQ(addresses.Redirect(L"/hop" + std::to_wstring(i)), DownloadError::None) << i;
    EXPECT_EQ(addresses.Redirect(L"/hop11"), DownloadError::TooManyRedirects);

    // The file's address is where a new request starts, whatever the last one was sent to.
    EXPECT_TRUE(addresses.IsFirst());
    ASSERT_TRUE(addresses.NextMirror());
    addresses.NewRequest();
    EXPECT_EQ(addresses.RequestUrl(), L"http://b.test/Setup.exe");
    EXPECT_FALSE(addresses.IsFirst());
    ASSERT_TRUE(addresses.NextMirror());
    EXPECT_EQ(addresses.Url(), L"http://c.test/Setup.exe");
    EXPECT_FALSE(addresses.NextMirror());
}

TEST(Receiver, KeepsTheBytesOnDiskUnlessAnAnswerMayReplaceOrExtendThem) {
    TempDir dir;
    const std::string kept = "MZ" + std::string(298, 'a');
    WriteBytes(dir / L"Setup.exe", kept);
    ASSERT_TRUE(WriteStamp(dir.Path(), {kOld, L"http://a.test/Setup.exe", 1000}));
    HttpAnswer probe = Partial(0, 1000, kOld);

    {
        // A sign-in page in place of the file: the bytes and the stamp stay as they were.
        Attempt attempt(dir.Path());
        ASSERT_EQ(attempt.receiver.Probed(probe), DownloadError::None);
        ASSERT_TRUE(attempt.receiver.AskFile(true, true, L"http://a.test/Setup.exe"));
        HttpAnswer page = Whole(300, FileVersion());
        page.type = L"text/html";
        ASSERT_EQ(attempt.receiver.Answered(page), Receiver::Step::Read);
        std::string html = "<!DOCTYPE html><html>" + std::string(279, ' ');
        EXPECT_EQ(attempt.receiver.Take(html.data(), static_cast<DWORD>(html.size())), Receiver::Step::Fail);
        EXPECT_EQ(attempt.receiver.Error(), DownloadError::SignInNeeded);
    }
    EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), kept);
    EXPECT_EQ(ReadStamp(dir.Path()).version.etag, kOld.etag);

    {
        // A size the distributor did not ask for is refused before any byte is kept.
        Attempt attempt(dir.Path());
        ASSERT_TRUE(attempt.receiver.Checks().Set(L"", L" 999 ", L""));
        ASSERT_EQ(attempt.receiver.Probed(probe), DownloadError::None);
        ASSERT_TRUE(attempt.receiver.AskFile(true, true, L"http://a.test/Setup.exe"));
        EXPECT_EQ(attempt.receiver.Answered(Partial(300, 1000, kOld)), Receiver::Step::Mismatch);
    }
    EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), kept);

    {
        // A stamp that cannot be removed: an answer without a version leaves the old bytes alone.
        StampHeld held;
        Attempt attempt(dir.Path());
        attempt.receiver.Partial().SetOps(&held);
        ASSERT_EQ(attempt.receiver.Probed(probe), DownloadError::None);
        ASSERT_TRUE(attempt.receiver.AskFile(false, true, L"http://a.test/Setup.exe"));
        ASSERT_EQ(attempt.receiver.Answered(Whole(1000, FileVersion())), Receiver::Step::Read);
        std::string bytes = "MZ" + std::string(998, 'n');
        EXPECT_EQ(attempt.receiver.Take(bytes.data(), static_cast<DWORD>(bytes.size())), Receiver::Step::Fail);
        EXPECT_EQ(attempt.receiver.Error(), DownloadError::FileInUse);
    }
    EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), kept);

    {
        // The rest of the same version is added, the file is whole, held and passes its size.
        Attempt attempt(dir.Path());
        ASSERT_TRUE(attempt.receiver.Checks().Set(L"", L"1000", L""));
        ASSERT_EQ(attempt.receiver.Probed(probe), DownloadError::None);
        ASSERT_TRUE(attempt.receiver.AskFile(true, true, L"http://a.test/Setup.exe"));
        EXPECT_EQ(attempt.received.load(), 300);
        ASSERT_EQ(attempt.receiver.Answered(Partial(300, 1000, kOld)), Receiver::Step::Read);
        std::string rest(700, 'r');
        EXPECT_EQ(attempt.receiver.Take(rest.data(), 400), Receiver::Step::Read);
        EXPECT_TRUE(attempt.receiver.Kept());
        EXPECT_EQ(attempt.receiver.Take(rest.data() + 400, 300), Receiver::Step::Whole);
        EXPECT_EQ(attempt.received.load(), 1000);
        EXPECT_EQ(attempt.receiver.CheckWhole(), Receiver::Step::Done);
        EXPECT_NE(attempt.receiver.Partial().Held(), nullptr);
    }
    EXPECT_EQ(ReadBytes(dir / L"Setup.exe"), kept + std::string(700, 'r'));
    Stamp stamp = ReadStamp(dir.Path());
    EXPECT_EQ(stamp.version.etag, kOld.etag);
    EXPECT_EQ(stamp.size, 1000);
}
