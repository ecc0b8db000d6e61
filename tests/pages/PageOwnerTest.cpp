// Each page hosted on its own, without a frame or a download engine: a plain parent window and
// an owner that records the calls the page makes.

#include "PagesFixture.h"

#include "pages/FeaturesPage.h"
#include "pages/InstallLocationPage.h"
#include "pages/WelcomePage.h"

namespace {

class RecordingOwner : public PageOwner {
public:
    void Continue() override { calls.push_back(L"continue"); }
    void LanguageChanged(const std::wstring& name) override { calls.push_back(L"language " + name); }
    void ResumeWizard() override { calls.push_back(L"resume"); }
    void AbandonInstall() override { calls.push_back(L"abandon"); }
    std::vector<std::wstring> calls;
};

// The parent a page is created in; it records the WM_CLOSE a page sends it.
class Host : public Dialog {
public:
    Host() : Dialog(IDD_WIZARD) {}
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_CLOSE) {
            ++closeRequests;
            result = 0;
            return true;
        }
        return Dialog::OnMessage(message, wParam, lParam, result);
    }
    int closeRequests = 0;
};

class PageOwnerTest : public PagesTest {
protected:
    void SetUp() override {
        LoadFiles();
        ASSERT_TRUE(host.Create(nullptr));
    }
    RecordingOwner owner;
    Host host;
};

}  // namespace

TEST_F(PageOwnerTest, FeaturesPageResumesOrAbandonsThroughItsOwner) {
    FeaturesPage page(owner);
    ASSERT_TRUE(page.Create(host.Handle()));
    ::ShowWindow(page.Handle(), SW_SHOW);

    Click(page.Item(IDC_CONTINUE_INSTALL));
    EXPECT_FALSE(::IsWindowVisible(page.Handle()));
    Click(page.Item(IDC_NO_THANKS));
    PressKey(page.Item(IDC_NO_THANKS), VK_ESCAPE);
    EXPECT_EQ(owner.calls, (std::vector<std::wstring>{L"resume", L"abandon"}));
    // Escape is the frame's to decide: the page only asks its parent to close.
    EXPECT_EQ(host.closeRequests, 1);
}

TEST_F(PageOwnerTest, WelcomePageLoadsTheChosenLanguageAndTellsItsOwner) {
    WelcomePage page(owner);
    ASSERT_TRUE(page.Create(host.Handle()));
    ASSERT_EQ(owner.calls, (std::vector<std::wstring>{L"language English"}));

    HWND combo = page.Item(IDC_LANGUAGE);
    ::SendMessageW(combo, CB_SETCURSEL, 1, 0);
    ::SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    EXPECT_EQ(owner.calls.back(), L"language " + kGerman.name);
    EXPECT_EQ(TextOf(page.Item(IDC_WELCOME_TITLE)), LanguageText(kGerman, L"WelcomeTitle"));
}

TEST_F(PageOwnerTest, EnterInTheFolderBoxIsTheOwnersContinue) {
    InstallLocationPage page(owner);
    ASSERT_TRUE(page.Create(host.Handle()));
    ::ShowWindow(host.Handle(), SW_SHOW);
    ::ShowWindow(page.Handle(), SW_SHOW);
    PressKey(page.Item(IDC_INSTALL_PATH), VK_RETURN);
    EXPECT_EQ(owner.calls, (std::vector<std::wstring>{L"continue"}));
}
