#include "PagesFixture.h"

#include <commctrl.h>
#include <shlobj.h>

#include "BrowseTestDialogs.h"
#include "pages/FolderBrowser.h"
#include "tests/support/LayoutChecks.h"

namespace {

// What the browse callback asked of the dialog: (message, wParam, text).
struct BrowseRequest {
    UINT message;
    WPARAM wParam;
    std::wstring text;
};
std::vector<BrowseRequest> g_requests;

// A test dialog from this program's resources, shown modelessly and destroyed with the object.
// It records the browse dialog's own messages that it receives.
class TestDialog {
public:
    explicit TestDialog(UINT templateId)
        : window_(::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr, Proc, 0)) {
        ::ShowWindow(window_, SW_SHOW);
    }
    ~TestDialog() { ::DestroyWindow(window_); }
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;
    HWND Handle() const { return window_; }
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == BFFM_SETSELECTIONW || message == BFFM_SETSTATUSTEXTW)
            g_requests.push_back({message, wParam, reinterpret_cast<const wchar_t*>(lParam)});
        return message == WM_INITDIALOG;
    }
    HWND window_;
};

RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }
SIZE SizeOf(const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; }
RECT WindowRect(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    return rect;
}
SIZE ClientSize(HWND window) {
    RECT rect;
    ::GetClientRect(window, &rect);
    return SIZE{rect.right, rect.bottom};
}
// Items of a tree, read from any thread of this process.
HTREEITEM SelectedItem(HWND tree) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}
std::wstring ItemName(HWND tree, HTREEITEM handle) {
    wchar_t name[MAX_PATH] = {};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = handle;
    item.pszText = name;
    item.cchTextMax = MAX_PATH;
    if (handle) ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return name;
}
std::wstring SelectedName(HWND tree) { return ItemName(tree, SelectedItem(tree)); }

bool Shown(HWND window) { return (::GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

void ExpectRect(const RECT& actual, const RECT& expected, const char* what) {
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

// OK and Cancel of Cancel's size in the bottom-right corner, 10 apart, the tree above them.
void ExpectButtonsAndTree(HWND dialog, SIZE cancel, HWND tree) {
    SIZE client = ClientSize(dialog);
    const int w = client.cx, h = client.cy;
    ExpectRect(RectInParent(::GetDlgItem(dialog, IDCANCEL)), Rect(w - 10 - cancel.cx, h - 10 - cancel.cy, w - 10, h - 10),
               "Cancel");
    ExpectRect(RectInParent(::GetDlgItem(dialog, IDOK)),
               Rect(w - 20 - 2 * cancel.cx, h - 10 - cancel.cy, w - 20 - cancel.cx, h - 10), "OK");
    ExpectRect(RectInParent(tree), Rect(10, 10, w - 10, h - 20 - cancel.cy), "tree");
}

class FolderBrowserTest : public PagesTest {
protected:
    void SetUp() override { LoadFiles(); }
};

}  // namespace

TEST_F(FolderBrowserTest, ArrangesTheSystemsChildrenToTheExactLayout) {
    TestDialog dialog(IDD_BROWSE_LIKE_SYSTEM);
    HWND d = dialog.Handle();
    ASSERT_NE(d, nullptr);
    RECT frame = WindowRect(d);
    SIZE cancel = SizeOf(RectInParent(dialog.Item(IDCANCEL)));
    SIZE newFolder = SizeOf(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)));
    RECT label = RectInParent(dialog.Item(IDC_TEST_FOLDER_LABEL));
    ASSERT_NE(SizeOf(RectInParent(dialog.Item(IDOK))).cx, cancel.cx);

    ArrangeBrowseDialog(d);

    ExpectRect(WindowRect(d), Rect(frame.left, frame.top, frame.right + 40, frame.bottom + 30), "dialog");
    ExpectButtonsAndTree(d, cancel, dialog.Item(IDC_TEST_TREE));
    SIZE client = ClientSize(d);
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)),
               Rect(10, client.cy - 10 - newFolder.cy, newFolder.cx + 20, client.cy - 10), "new folder");
    EXPECT_EQ(TextOf(dialog.Item(IDC_TEST_NEW_FOLDER)), LanguageText(kEnglish, L"CreateFolder"));
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_EDIT)), Rect(20000, 20000, 20010, 20010), "edit");
    EXPECT_FALSE(Shown(dialog.Item(IDC_TEST_EDIT)));
    EXPECT_FALSE(Shown(dialog.Item(IDC_TEST_INSTRUCTION)));
    // What is not named keeps the system's place.
    EXPECT_TRUE(Shown(dialog.Item(IDC_TEST_FOLDER_LABEL)));
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_FOLDER_LABEL)), label, "folder label");

    // The layout follows the dialog's size; the new-folder button is widened only once.
    ::SetWindowPos(d, nullptr, 0, 0, frame.right - frame.left + 90, frame.bottom - frame.top + 50,
                   SWP_NOMOVE | SWP_NOZORDER);
    ExpectButtonsAndTree(d, cancel, dialog.Item(IDC_TEST_TREE));
    client = ClientSize(d);
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)),
               Rect(10, client.cy - 10 - newFolder.cy, newFolder.cx + 20, client.cy - 10), "new folder resized");
}

// The gaps and the growth are design pixels: at 144 dots per inch they are half as large again.
TEST_F(FolderBrowserTest, GapsAndGrowthFollowTheDensity) {
    DensityOverride at(144);
    TestDialog dialog(IDD_BROWSE_LIKE_SYSTEM);
    HWND d = dialog.Handle();
    ASSERT_NE(d, nullptr);
    RECT frame = WindowRect(d);
    SIZE cancel = SizeOf(RectInParent(dialog.Item(IDCANCEL)));
    SIZE newFolder = SizeOf(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)));

    ArrangeBrowseDialog(d);

    ExpectRect(WindowRect(d), Rect(frame.left, frame.top, frame.right + 60, frame.bottom + 45), "dialog");
    SIZE client = ClientSize(d);
    const int w = client.cx, h = client.cy;
    ExpectRect(RectInParent(dialog.Item(IDCANCEL)), Rect(w - 15 - cancel.cx, h - 15 - cancel.cy, w - 15, h - 15),
               "Cancel");
    ExpectRect(RectInParent(dialog.Item(IDOK)), Rect(w - 30 - 2 * cancel.cx, h - 15 - cancel.cy, w - 30 - cancel.cx, h - 15),
               "OK");
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_TREE)), Rect(15, 15, w - 15, h - 30 - cancel.cy), "tree");
    ExpectRect(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)),
               Rect(15, h - 15 - newFolder.cy, newFolder.cx + 30, h - 15), "new folder");
}

TEST_F(FolderBrowserTest, NameSpaceControlOtherButtonOrderAndLabelAndNoTree) {
    WNDCLASSW nameSpace = {};
    nameSpace.lpfnWndProc = ::DefWindowProcW;
    nameSpace.hInstance = ::GetModuleHandleW(nullptr);
    nameSpace.lpszClassName = L"SHBrowseForFolder ShellNameSpace Control";
    ::RegisterClassW(&nameSpace);
    {
        TestDialog dialog(IDD_BROWSE_OTHER_ORDER);
        HWND d = dialog.Handle();
        ASSERT_NE(d, nullptr);
        SIZE cancel = SizeOf(RectInParent(dialog.Item(IDCANCEL)));
        SIZE newFolder = SizeOf(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)));

        ArrangeBrowseDialog(d);

        // OK and Cancel come first in window order, yet are not taken for the new-folder button.
        ExpectButtonsAndTree(d, cancel, dialog.Item(IDC_TEST_TREE));
        SIZE client = ClientSize(d);
        ExpectRect(RectInParent(dialog.Item(IDC_TEST_NEW_FOLDER)),
                   Rect(10, client.cy - 10 - newFolder.cy, newFolder.cx + 20, client.cy - 10), "new folder");
        EXPECT_EQ(TextOf(dialog.Item(IDC_TEST_NEW_FOLDER)), L"New folder");
    }
    {
        TestDialog dialog(IDD_BROWSE_WITHOUT_TREE);
        HWND d = dialog.Handle();
        RECT frame = WindowRect(d);
        RECT edit = RectInParent(dialog.Item(IDC_TEST_EDIT));
        RECT ok = RectInParent(dialog.Item(IDOK));
        ArrangeBrowseDialog(d);
        ExpectRect(WindowRect(d), frame, "dialog");
        ExpectRect(RectInParent(dialog.Item(IDC_TEST_EDIT)), edit, "edit");
        EXPECT_TRUE(Shown(dialog.Item(IDC_TEST_EDIT)));
        ExpectRect(RectInParent(dialog.Item(IDOK)), ok, "OK");
    }
    ::UnregisterClassW(nameSpace.lpszClassName, nameSpace.hInstance);
}

TEST_F(FolderBrowserTest, CallbackOpensOnTheStartFolderCaptionsTheDialogAndShowsTheSelectedPath) {
    Start();
    const std::wstring start = L"D:\\Spiele\\Poker";
    TestDialog dialog(IDD_BROWSE_LIKE_SYSTEM);
    HWND d = dialog.Handle();
    g_requests.clear();

    EXPECT_EQ(BrowseCallback(d, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(&start)), 0);
    ASSERT_EQ(g_requests.size(), 1u);
    EXPECT_EQ(g_requests[0].message, static_cast<UINT>(BFFM_SETSELECTIONW));
    EXPECT_EQ(g_requests[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(g_requests[0].text, L"D:\\Spiele\\Poker");
    EXPECT_EQ(::GetWindowLongPtrW(d, GWL_STYLE) & DS_CONTEXTHELP, 0);
    EXPECT_EQ(::GetWindowLongPtrW(d, GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);
    EXPECT_EQ(TextOf(d), LanguageText(kEnglish, L"SelectInstallFolder"));
    EXPECT_EQ(TextOf(dialog.Item(IDOK)), LanguageText(kEnglish, L"Ok"));
    EXPECT_EQ(TextOf(dialog.Item(IDCANCEL)), LanguageText(kEnglish, L"Cancel"));
    EXPECT_FALSE(Shown(dialog.Item(IDC_TEST_EDIT)));

    // A folder shows its path; an item without one (the computer itself) shows nothing.
    std::wstring folder = dir.Path().substr(0, dir.Path().size() - 1);
    PIDLIST_ABSOLUTE item = ::ILCreateFromPathW(folder.c_str());
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(BrowseCallback(d, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), 0), 0);
    ::ILFree(item);
    ASSERT_EQ(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &item), S_OK);
    BrowseCallback(d, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item), 0);
    ::ILFree(item);
    ASSERT_EQ(g_requests.size(), 2u);
    EXPECT_EQ(g_requests[1].message, static_cast<UINT>(BFFM_SETSTATUSTEXTW));
    EXPECT_EQ(g_requests[1].wParam, 0u);
    EXPECT_EQ(g_requests[1].text, folder);
}

// The system's own dialog, through the page's Browse button: whatever children it has, it is
// laid out, captioned, and gives the page the folder the user confirms.
TEST_F(FolderBrowserTest, SystemDialogIsArrangedAndOnlyAConfirmedChoiceIsTaken) {
    Start();
    GoToInstallLocation();
    // Outside the user's profile: Wine's tree does not always find folders under C:\users.
    std::wstring folder = L"C:\\Wendrake pages test " + std::to_wstring(::GetCurrentProcessId());
    std::wstring chosen = folder + L"\\Unterordner";
    RemoveTree(folder);
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(chosen.c_str(), nullptr));
    struct Remove {
        std::wstring path;
        ~Remove() { RemoveTree(path); }
    } removeFolder{folder};
    TypeFolder(folder);

    struct Seen {
        bool shown = false;
        std::wstring opened, picked;
        bool editShown = true;
        SIZE client = {};
        RECT okRect = {}, cancelRect = {}, tree = {};
    } seen;
    auto answer = [&](HWND dialog) {
        if (!seen.shown) {
            seen.shown = true;
            // Answered once the dialog's thread is back in its loop: the dialog is fully shown.
            ::SendMessageW(dialog, WM_NULL, 0, 0);
            HWND tree = ::FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
            HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr);
            seen.editShown = edit && ::IsWindowVisible(edit);
            seen.client = ClientSize(dialog);
            seen.okRect = RectInParent(::GetDlgItem(dialog, IDOK));
            seen.cancelRect = RectInParent(::GetDlgItem(dialog, IDCANCEL));
            seen.tree = RectInParent(tree);
            // It opened on the page's folder; the user opens that in the tree and clicks its
            // sub-folder.
            HTREEITEM item = SelectedItem(tree);
            seen.opened = ItemName(tree, item);
            ::SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
            item = reinterpret_cast<HTREEITEM>(
                ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
            while (item && ItemName(tree, item) != L"Unterordner")
                item = reinterpret_cast<HTREEITEM>(
                    ::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
            ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            seen.picked = SelectedName(tree);
            ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        } else {
            ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    };
    DialogWatcher watcher(LanguageText(kEnglish, L"SelectInstallFolder"), answer);

    Click(PageItem(IDC_INSTALL_PATH, IDC_BROWSE));
    ASSERT_EQ(watcher.Seen(), 1);
    EXPECT_EQ(seen.opened, folder.substr(3));
    ASSERT_EQ(seen.picked, L"Unterordner");
    EXPECT_FALSE(seen.editShown);
    // The system's own resizing when the dialog is shown does not undo the layout.
    const int w = seen.client.cx, h = seen.client.cy;
    const SIZE cancel = SizeOf(seen.cancelRect);
    ExpectRect(seen.cancelRect, Rect(w - 10 - cancel.cx, h - 10 - cancel.cy, w - 10, h - 10), "Cancel");
    ExpectRect(seen.okRect, Rect(w - 20 - 2 * cancel.cx, h - 10 - cancel.cy, w - 20 - cancel.cx, h - 10), "OK");
    ExpectRect(seen.tree, Rect(10, 10, w - 10, h - 20 - cancel.cy), "tree");
    EXPECT_EQ(TextOf(FolderEdit()), chosen);
    EXPECT_EQ(Wizard().InstallLocation().installPath, chosen);

    // Cancel leaves the folder as it was.
    Click(PageItem(IDC_INSTALL_PATH, IDC_BROWSE));
    ASSERT_EQ(watcher.Seen(), 2);
    EXPECT_EQ(TextOf(FolderEdit()), chosen);
    EXPECT_EQ(Wizard().InstallLocation().installPath, chosen);
}
