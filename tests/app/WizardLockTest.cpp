// The product's lock within this process: holders on threads of their own (a mutex belongs to a
// thread), and a holder that is this process, for the copies of Wendrake.exe it refuses.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "app/WizardLock.h"
#include "tests/support/TestSupport.h"

namespace {

// An event the test sets and waits for.
class Signal {
public:
    Signal() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Signal() { ::CloseHandle(event_); }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void Set() { ::SetEvent(event_); }
    bool Wait(DWORD ms = 10000) { return ::WaitForSingleObject(event_, ms) == WAIT_OBJECT_0; }

private:
    HANDLE event_;
};

// Holds the product's lock on a thread of its own until Release; `letGo` false ends the thread
// without letting go, as a copy that crashed does.
class Holder {
public:
    explicit Holder(const std::wstring& product, bool letGo = true)
        : thread_([this, product, letGo] {
              lock_.reset(new WizardLock);
              acquired_ = lock_->Acquire(product);
              held_.Set();
              release_.Wait(INFINITE);
              if (letGo) lock_.reset();
          }) {
        held_.Wait();
    }
    ~Holder() { Release(); }
    bool Acquired() const { return acquired_; }
    void Release() { release_.Set(); }

private:
    Signal held_, release_;
    bool acquired_ = false;
    std::unique_ptr<WizardLock> lock_;
    TestThread thread_;  // last, so that it is joined before the members it uses go
};

class RefusedCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"Wendrake.exe").c_str(), (dir / L"Wendrake.exe").c_str(), FALSE));
        WriteBytes(dir / L"Language.ini",
                   "[English]\r\nApplicationTitle=Wendrake Lock Test\r\nOtherInstallerOpenMsg=Already open.\r\n");
        WriteBytes(dir / L"ConfigParams.ini", "[Params]\r\nBrandProduct=Wendrake Lock Test\r\n");
    }
    // Starts a copy and answers its refusal.
    void StartRefusedCopy() {
        ASSERT_TRUE(copy.Start(dir / L"Wendrake.exe", L"", dir.Path()));
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            HWND w = FindProcessWindow(copy.Id(), L"#32770");
            if (w && ::GetDlgItem(w, 0xFFFF)) box = w;
            return box != nullptr;
        }));
        EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"Already open.");
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
    }

    TempDir dir;
    Process copy;
};

}  // namespace

TEST(WizardLockName, OneNamePerProductWhateverItsLetterCase) {
    EXPECT_EQ(WizardLockName(L"Corvana Poker"), WizardLockName(L"CORVANA poker"));
    // Names that differ only where the readable part has to replace a character, or beyond it.
    const std::wstring longName(60, L'A');
    const std::wstring products[] = {L"Corvana Poker",  L"Corvana_Poker", L"Corvana\\Poker", L"Corvana/Poker",
                                     L"Corvana P\u00f6ker", L"",            L"Corvana Poker ", longName + L"1",
                                     longName + L"2"};
    std::set<std::wstring> names;
    for (const std::wstring& product : products) names.insert(WizardLockName(product));
    EXPECT_EQ(names.size(), sizeof products / sizeof products[0]);
}

TEST(WizardLockName, AnyProductNameGivesAValidObjectName) {
    const std::wstring products[] = {L"", L"Global\\Corvana", std::wstring(199, L'\\'), std::wstring(199, L'\u0416'),
                                     L"Corvana\tPoker\r\n:*?\"<>|"};
    for (const std::wstring& product : products) {
        const std::wstring name = WizardLockName(product);
        SCOPED_TRACE(Utf8(name));
        EXPECT_EQ(name.rfind(L"Local\\", 0), 0u) << "one session's copies only";
        EXPECT_EQ(name.find(L'\\', 6), std::wstring::npos);
        EXPECT_LT(name.size(), static_cast<size_t>(MAX_PATH));
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
        EXPECT_NE(mutex, nullptr) << ::GetLastError();
        if (mutex) ::CloseHandle(mutex);
    }
}

TEST(WizardLock, OneHolderPerProductUntilItLetsGoOrEnds) {
    {
        Holder first(L"Corvana Poker");
        ASSERT_TRUE(first.Acquired());
        WizardLock sameProduct, otherProduct;
        EXPECT_FALSE(sameProduct.Acquire(L"corvana POKER"));
        EXPECT_TRUE(otherProduct.Acquire(L"Corvana Casino"));
    }
    {
        // Let go: the next one takes it. Then ended without letting go: taken all the same.
        Holder second(L"Corvana Poker", false);
        EXPECT_TRUE(second.Acquired());
    }
    WizardLock third;
    EXPECT_TRUE(third.Acquire(L"Corvana Poker"));
}

TEST_F(RefusedCopyTest, HolderWindowShownAfterTheRefusalIsBroughtToTheFront) {
    // This process holds the lock, as a copy that has not yet made its wizard does.
    Holder holder(L"Wendrake Lock Test");
    ASSERT_TRUE(holder.Acquired());
    StartRefusedCopy();

    // Made only now that the refusal has been answered: the copy has to wait for it.
    // Minimized from the start: the copy may see it at once.
    HWND window = ::CreateWindowW(L"Static", L"Holder", WS_OVERLAPPEDWINDOW | WS_MINIMIZE | WS_VISIBLE, 0, 0, 200,
                                  100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return !::IsIconic(window) && ::GetForegroundWindow() == window; }, 30000));
    EXPECT_EQ(copy.Wait(30000), 0);
    ::DestroyWindow(window);
}
