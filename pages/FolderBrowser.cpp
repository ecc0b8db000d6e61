#include "pages/FolderBrowser.h"

#include <commctrl.h>
#include <shlobj.h>

#include <memory>

#include "config/Texts.h"
#include "framework/Window.h"
#include "wizard/Density.h"

namespace {

// Design pixels, scaled to the density: the gap around the parts, and how much the dialog grows.
constexpr int kMargin = 10;
constexpr int kExtraWidth = 40;
constexpr int kExtraHeight = 30;

// Item lists handed out by the shell are freed with the COM allocator.
struct ItemListDeleter {
    void operator()(ITEMIDLIST* items) const { ::CoTaskMemFree(items); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListDeleter>;

std::wstring PathOfItem(LPCITEMIDLIST item) {
    wchar_t path[MAX_PATH] = {};
    if (!item || !::SHGetPathFromIDListW(item, path)) return std::wstring();
    return path;
}

// A child's rectangle in the dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[200] = {};
    ::GetClassNameW(window, name, 200);
    return name;
}

std::wstring TextOfChild(HWND window, int capacity) {
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    int length = ::GetWindowTextW(window, &text[0], capacity);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

// The new-folder button: the first button in window order after any hidden instruction
// text. OK and Cancel are buttons too; they are never taken for it, whatever their order.
HWND FindNewFolderButton(HWND dialog) {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (::lstrcmpiW(TextOfChild(child, 1024).c_str(), L"Select Folder") == 0) {
            ::ShowWindow(child, SW_HIDE);
            continue;
        }
        int id = ::GetDlgCtrlID(child);
        if (::lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0 && id != IDOK && id != IDCANCEL) return child;
    }
    return nullptr;
}

void RemoveContextHelp(HWND dialog) {
    LONG_PTR style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
    ::SetWindowLongPtrW(dialog, GWL_STYLE, style & ~static_cast<LONG_PTR>(DS_CONTEXTHELP));
    LONG_PTR exStyle = ::GetWindowLongPtrW(dialog, GWL_EXSTYLE);
    ::SetWindowLongPtrW(dialog, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_CONTEXTHELP));
}

HWND FolderView(HWND dialog) {
    HWND tree = ::FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    return tree ? tree : ::FindWindowExW(dialog, nullptr, L"SHBrowseForFolder ShellNameSpace Control", nullptr);
}

// A path can only be chosen in the tree.
void HideEditBox(HWND dialog) {
    if (HWND edit = ::FindWindowExW(dialog, nullptr, L"Edit", nullptr)) {
        ::MoveWindow(edit, 20000, 20000, 10, 10, FALSE);
        ::ShowWindow(edit, SW_HIDE);
    }
}

// OK and Cancel of Cancel's size side by side in the bottom-right corner (without Cancel, OK
// takes the corner with its own size), the folder view above them, the new-folder button in
// the bottom-left corner, 10 pixels wider the first time.
void PlaceParts(HWND dialog, HWND tree, bool widenNewFolder) {
    RECT client;
    ::GetClientRect(dialog, &client);
    const int width = client.right, height = client.bottom;

    const int margin = Scaled(kMargin);
    int buttonsTop = height - margin;
    int right = width - margin;
    SIZE buttonSize = {0, 0};
    if (HWND cancel = ::GetDlgItem(dialog, IDCANCEL)) {
        RECT rect = ChildRect(dialog, cancel);
        buttonSize = {rect.right - rect.left, rect.bottom - rect.top};
        buttonsTop = height - margin - buttonSize.cy;
        ::MoveWindow(cancel, right - buttonSize.cx, buttonsTop, buttonSize.cx, buttonSize.cy, FALSE);
        right -= buttonSize.cx + margin;
    }
    if (HWND ok = ::GetDlgItem(dialog, IDOK)) {
        if (buttonSize.cx == 0) {
            RECT rect = ChildRect(dialog, ok);
            buttonSize = {rect.right - rect.left, rect.bottom - rect.top};
            buttonsTop = height - margin - buttonSize.cy;
        }
        ::MoveWindow(ok, right - buttonSize.cx, buttonsTop, buttonSize.cx, buttonSize.cy, FALSE);
    }

    ::MoveWindow(tree, margin, margin, width - 2 * margin, buttonsTop - margin - margin, FALSE);

    HWND newFolder = FindNewFolderButton(dialog);
    if (!newFolder) return;
    if (TextOfChild(newFolder, 512).find(L"Make New Folder") != std::wstring::npos)
        SetButtonText(newFolder, AppTexts().CreateFolder);
    RECT rect = ChildRect(dialog, newFolder);
    int buttonWidth = rect.right - rect.left + (widenNewFolder ? margin : 0);
    int buttonHeight = rect.bottom - rect.top;
    ::MoveWindow(newFolder, margin, height - margin - buttonHeight, buttonWidth, buttonHeight, FALSE);
}

LRESULT CALLBACK KeepLayout(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    LRESULT result = ::DefSubclassProc(dialog, message, wParam, lParam);
    if (message == WM_SIZE) {
        if (HWND tree = FolderView(dialog)) {
            HideEditBox(dialog);
            PlaceParts(dialog, tree, false);
            ::InvalidateRect(dialog, nullptr, TRUE);
        }
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(dialog, KeepLayout, 0);
    }
    return result;
}

}  // namespace

bool BrowseForFolder(std::wstring& result, const std::wstring& title, HWND owner, const std::wstring& startFolder) {
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&startFolder);
    ItemList chosen(::SHBrowseForFolderW(&info));
    if (!chosen) {
        result.clear();
        return false;
    }
    std::wstring path = PathOfItem(chosen.get());
    if (path.empty()) return false;
    result = path;
    return true;
}

int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        RemoveContextHelp(dialog);
        if (const auto* folder = reinterpret_cast<const std::wstring*>(data))
            ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
        ArrangeBrowseDialog(dialog);
        const Texts& texts = AppTexts();
        ::SetWindowTextW(dialog, texts.SelectInstallFolder.c_str());
        if (HWND ok = ::GetDlgItem(dialog, IDOK)) SetButtonText(ok, texts.Ok);
        if (HWND cancel = ::GetDlgItem(dialog, IDCANCEL)) SetButtonText(cancel, texts.Cancel);
    } else if (message == BFFM_SELCHANGED) {
        std::wstring path = PathOfItem(reinterpret_cast<LPCITEMIDLIST>(lParam));
        if (!path.empty()) ::SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path.c_str()));
    }
    return 0;
}

void ArrangeBrowseDialog(HWND dialog) {
    HWND tree = FolderView(dialog);
    if (!tree) return;
    HideEditBox(dialog);
    RECT frame;
    ::GetWindowRect(dialog, &frame);
    ::MoveWindow(dialog, frame.left, frame.top, frame.right - frame.left + Scaled(kExtraWidth),
                 frame.bottom - frame.top + Scaled(kExtraHeight), TRUE);
    PlaceParts(dialog, tree, true);
    // The system's dialog lays its parts out again whenever its size changes, the first time
    // when it is shown: this layout has to follow each time.
    ::SetWindowSubclass(dialog, KeepLayout, 0, 0);
}
