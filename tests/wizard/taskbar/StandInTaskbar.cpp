// A taskbar object of our own for the tests, registered in the test prefix under the system's
// CLSID_TaskbarList: an in-process server that writes every call it gets, one line each, to the
// file named by WENDRAKE_TASKBAR_LOG. Wine's shell has a taskbar object of its own, but it sends
// no "TaskbarButtonCreated" and shows nothing; the tests send that message themselves, as
// Explorer does on Windows 7 and later.
//
// With WENDRAKE_TASKBAR_VISTA set it answers like the taskbar of Windows Vista, whose object
// lacks the Windows 7 interface ITaskbarList3.
#include <windows.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>

namespace {

LONG g_objects = 0;
LONG g_factoryReferences = 0;

// Decimal digits of a 64-bit count (the 32-bit C runtime's printf may not know %llu).
std::string Decimal(ULONGLONG value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
        value /= 10;
    } while (value);
    return digits;
}

void Log(const char* format, ...) {
    wchar_t path[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"WENDRAKE_TASKBAR_LOG", path, MAX_PATH)) return;
    char line[256];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line - 2, format, args);
    va_end(args);
    if (length < 0) return;
    if (length > static_cast<int>(sizeof line) - 3) length = sizeof line - 3;
    line[length++] = '\n';
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(file);
}

bool LikeVista() { return ::GetEnvironmentVariableW(L"WENDRAKE_TASKBAR_VISTA", nullptr, 0) > 0; }

class StandInTaskbar : public ITaskbarList3 {
public:
    StandInTaskbar() { ::InterlockedIncrement(&g_objects); }
    virtual ~StandInTaskbar() { ::InterlockedDecrement(&g_objects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        bool list3 = iid == __uuidof(ITaskbarList3);
        Log("QueryInterface %s", list3 ? "ITaskbarList3" : "other");
        if (iid == __uuidof(IUnknown) || iid == __uuidof(ITaskbarList) || iid == __uuidof(ITaskbarList2) ||
            (list3 && !LikeVista())) {
            *out = static_cast<ITaskbarList3*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE HrInit() override {
        Log("HrInit");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetProgressValue(HWND window, ULONGLONG done, ULONGLONG total) override {
        Log("SetProgressValue %p %s %s", static_cast<void*>(window), Decimal(done).c_str(), Decimal(total).c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProgressState(HWND window, TBPFLAG flags) override {
        Log("SetProgressState %p %d", static_cast<void*>(window), static_cast<int>(flags));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

private:
    LONG references_ = 1;
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IClassFactory)) return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // A static object of the library: counted, so that the library stays while it is held, but
    // never deleted.
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&g_factoryReferences)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(::InterlockedDecrement(&g_factoryReferences)); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        Log("CreateInstance");
        StandInTaskbar* taskbar = new StandInTaskbar;
        HRESULT hr = taskbar->QueryInterface(iid, out);
        taskbar->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(WINBOOL lock) override {
        if (lock)
            AddRef();
        else
            Release();
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID iid, void** out) {
    return g_factory.QueryInterface(iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return g_objects == 0 && g_factoryReferences == 0 ? S_OK : S_FALSE;
}
