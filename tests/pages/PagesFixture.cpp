#include "PagesFixture.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <iterator>

#include "config/Settings.h"
#include "config/Texts.h"
#include "resources/resource.h"

namespace {

const wchar_t* const kTextKeys[] = {
    L"ApplicationTitle", L"WelcomeTitle", L"InstallerShortCutString", L"WelcomeMsg1", L"WelcomeMsg2",
    L"WelcomeSelectLng", L"SetupContinued", L"RequiredspaceLabel", L"RequiredspaceValue", L"AvailablespaceLabel",
    L"DownloadingLabel", L"ButtonBack", L"ButtonNext", L"ButtonIAgree", L"ButtonCancel", L"TermsNConditions",
    L"TermsTxt", L"ChooseFolder", L"BrowseButton", L"DontMiss", L"NonStopPoker", L"ThousandsOfPlayers",
    L"LearnPoker", L"TakeAdvantage", L"SafeSecure", L"CVFeatures", L"NoThanks", L"ContinueInstall",
    L"ApplicationOpenMsg", L"VistaProtectedFolderMsg", L"MBLiteral", L"OtherInstallerOpenMsg",
    L"SelectInstallFolder", L"Ok", L"Cancel", L"CreateFolder", L"TryingToConnect"};

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// What the program's start-up prepares before the wizard opens.
class PagesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        ::OleInitialize(nullptr);
    }
    void TearDown() override { ::OleUninitialize(); }
};

::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PagesEnvironment);

std::string LanguageFile(const std::vector<Language>& languages) {
    std::wstring text;
    for (const Language& language : languages) {
        text += L"[" + language.name + L"]\r\nShortName=" + language.shortName + L"\r\n";
        for (const wchar_t* key : kTextKeys) text += std::wstring(key) + L"=" + LanguageText(language, key) + L"\r\n";
        for (const auto& own : language.own)
            if (std::find(std::begin(kTextKeys), std::end(kTextKeys), own.first) == std::end(kTextKeys))
                text += own.first + L"=" + own.second + L"\r\n";
    }
    return Utf8(text);
}

void RunQueued() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (RouteMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace

const Language kEnglish = {L"English", L"en", L"EN"};
const Language kGerman = {L"Deutsch", L"de", L"DE"};

std::wstring LanguageText(const Language& language, const std::wstring& key) {
    auto own = language.own.find(key);
    return own != language.own.end() ? own->second : language.tag + L" " + key;
}

bool RunLoopUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        RunQueued();
        if (condition()) return true;
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
}

void RunLoopFor(DWORD ms) {
    RunLoopUntil([] { return false; }, ms);
}

void PressKey(HWND target, WPARAM key) {
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    RunLoopFor(100);
}

void Click(HWND button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
    RunLoopFor(50);
}

DialogWatcher::DialogWatcher(std::wstring caption, std::function<void(HWND)> handler)
    : caption_(std::move(caption)), handler_(std::move(handler)), thread_([this] {
        while (!stop_) {
            HWND dialog = ::FindWindowW(L"#32770", caption_.c_str());
            if (dialog && ::IsWindowVisible(dialog)) {
                ++seen_;
                handler_(dialog);
                // One answer per dialog: wait until it has gone.
                for (int i = 0; i < 500 && ::IsWindow(dialog) && !stop_; ++i) ::Sleep(10);
            }
            ::Sleep(20);
        }
    }) {}

// Members go after this body, the thread (declared last) first: it has stopped before the
// caption and the handler it reads are gone.
DialogWatcher::~DialogWatcher() { stop_ = true; }

std::wstring ChildText(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

RECT RectInParent(HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

Drawing DrawingOf(HWND page, UINT ctlColorMessage, HWND control) {
    Drawing drawing;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ original = ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
    drawing.brush = ::SendMessageW(page, ctlColorMessage, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
    drawing.text = ::GetTextColor(dc);
    drawing.mode = ::GetBkMode(dc);
    ::GetObjectW(::GetCurrentObject(dc, OBJ_FONT), sizeof drawing.font, &drawing.font);
    ::SelectObject(dc, original);
    ::DeleteDC(dc);
    return drawing;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

int InkWidth(HWND control, int inset) {
    RECT client;
    ::GetClientRect(control, &client);
    const int width = client.right, height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || width <= 2 * inset || height <= 2 * inset) {
        if (bitmap) ::DeleteObject(bitmap);
        return -1;
    }
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ original = ::SelectObject(dc, bitmap);
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    ::GdiFlush();
    // The background is the colour most of the inside has: black behind a transparent text,
    // the face of a button.
    const DWORD* pixels = static_cast<const DWORD*>(bits);
    std::map<DWORD, int> counts;
    for (int y = inset; y < height - inset; ++y)
        for (int x = inset; x < width - inset; ++x) ++counts[pixels[y * width + x] & 0xFFFFFF];
    DWORD background = 0;
    int most = 0;
    for (const auto& count : counts)
        if (count.second > most) background = count.first, most = count.second;
    int first = -1, last = -1;
    for (int x = inset; x < width - inset; ++x)
        for (int y = inset; y < height - inset; ++y)
            if ((pixels[y * width + x] & 0xFFFFFF) != background) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    ::SelectObject(dc, original);
    ::DeleteDC(dc);
    ::DeleteObject(bitmap);
    return first < 0 ? 0 : last - first + 1;
}

PagesTest::PagesTest() : desktop_(dir / L"Desktop") {
    ::CreateDirectoryW(desktop_.c_str(), nullptr);
    // Wine rewrites "Shell Folders" from "User Shell Folders" whenever the shell looks a
    // folder up, so both point at the test's desktop.
    userDesktop_ = std::make_unique<RegistryOverride>(HKEY_CURRENT_USER, kUserShellFolders, L"Desktop", &desktop_);
    desktopValue_ = std::make_unique<RegistryOverride>(HKEY_CURRENT_USER, kShellFolders, L"Desktop", &desktop_);
    settings = {
        {"BrandProduct", "Wendrake Pages Test Product"},
        {"BrandProductDisplayName", "Corvana Poker"},
        {"BrandName", "Corvana"},
        {"ProductName", "poker"},
        {"DefaultLanguage", "en"},
        {"RegPath", "Wendrake Pages Test"},
        {"InstallFolderName", "Corvana Poker"},
        {"OtherProductForCommonInstall", "Wendrake Pages Test Other"},
        {"VistaDefaultInstallPath", "C:\\Corvana"},
    };
    languages = {kEnglish, kGerman};
}

PagesTest::~PagesTest() {
    Stop();
    ::DeleteFileW((ProgramFolder() + L"Language.ini").c_str());
}

void PagesTest::LoadFiles() {
    std::string ini = "[Params]\r\n";
    for (const auto& setting : settings) ini += setting.first + "=" + setting.second + "\r\n";
    WriteBytes(dir / L"ConfigParams.ini", ini);
    // The welcome page lists the languages of the file beside the program.
    WriteBytes(ProgramFolder() + L"Language.ini", LanguageFile(languages));

    LoadSettingsFrom(PackageFile(dir / L"ConfigParams.ini"));
    std::wstring language = FindLanguageByShortName(AppSettings().DefaultLanguage);
    LoadTexts(language.empty() ? L"English" : language);
}

void PagesTest::Start() {
    LoadFiles();

    wizard = std::make_unique<WizardWindow>();
    ASSERT_TRUE(wizard->Create(nullptr));
    RunLoopFor(50);
}

void PagesTest::Stop() {
    wizard.reset();
    RunLoopFor(20);
}

HWND PagesTest::PageWith(int controlId) const {
    if (!wizard || !Frame()) return nullptr;
    for (HWND child = ::GetWindow(Frame(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::GetDlgItem(child, controlId)) return child;
    return nullptr;
}

bool PagesTest::PageVisible(int controlId) const {
    HWND page = PageWith(controlId);
    return page && ::IsWindowVisible(page);
}

void PagesTest::ExpectTexts(int pageControl, std::initializer_list<std::pair<int, const wchar_t*>> texts,
                            const Language& language) const {
    for (const auto& text : texts)
        EXPECT_EQ(TextOf(PageItem(pageControl, text.first)), LanguageText(language, text.second)) << Utf8(text.second);
}

void PagesTest::GoToInstallLocation() {
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_EQ(Wizard().Stage(), 2);
    ASSERT_TRUE(PageVisible(IDC_INSTALL_PATH));
}
