#include "wizard/ContentBrowser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>

#include "download/Answer.h"
#include "download/LinkOpener.h"
#include "wizard/EventArguments.h"

namespace {

const wchar_t kWindowClass[] = L"WendrakeContentBrowser";

// NewWindow3's flags (shobjidl.h declares them only for IE 6 SP2 headers): the user asked for
// the window, by a click or a key.
const long kNewWindowUserInitiated = 0x2;   // NWMF_USERINITED
const long kNewWindowUserRequested = 0x80;  // NWMF_USERREQUESTED

// Two interface pointers belong to one COM object: the frame an event names is the pane itself.
bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b) return false;
    ComPtr<IUnknown> first, second;
    if (FAILED(a->QueryInterface(__uuidof(IUnknown), first.PutVoid())) ||
        FAILED(b->QueryInterface(__uuidof(IUnknown), second.PutVoid())))
        return false;
    return first.Get() == second.Get();
}

// The address as one command-line argument for the browser: a page's link may hold blanks or
// quotes, which would end the address there and pass the rest to the browser as options.
std::wstring AsOneArgument(const std::wstring& url) {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring safe;
    for (wchar_t c : url) {
        if (c <= L' ' || c == L'"' || c == 0x7F) {
            safe += L'%';
            safe += kHex[(c >> 4) & 0xF];
            safe += kHex[c & 0xF];
        } else {
            safe += c;
        }
    }
    return safe;
}

// An address handed to the control as a BSTR, freed on scope exit.
class Bstr {
public:
    explicit Bstr(const std::wstring& text)
        : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Text() const { return value_; }

private:
    BSTR value_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The container's one COM identity. Each site interface lives in a small part of its own,
// so that the same-named methods of the interfaces do not clash; every part forwards
// IUnknown to the site, which keeps the one reference count.

template <class Interface>
struct SitePart : Interface {
    explicit SitePart(BrowserSite* owner) : site(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    BrowserSite* site;
};

struct ClientSitePart : SitePart<IOleClientSite> {
    using SitePart::SitePart;
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
};

struct InPlaceSitePart : SitePart<IOleInPlaceSite> {
    using SitePart::SitePart;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
};

struct InPlaceFramePart : SitePart<IOleInPlaceFrame> {
    using SitePart::SitePart;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

// The DWebBrowserEvents2 sink: the control calls Invoke with the event's number.
struct EventSinkPart : SitePart<IDispatch> {
    using SitePart::SitePart;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
};

class BrowserSite {
public:
    BrowserSite(ContentBrowser* owner, HWND window)
        : owner_(owner), window_(window), clientSite_(this), inPlaceSite_(this), frame_(this), events_(this) {}
    BrowserSite(const BrowserSite&) = delete;
    BrowserSite& operator=(const BrowserSite&) = delete;

    ULONG AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&references_)); }
    ULONG Release() {
        LONG left = ::InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT QueryInterface(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IOleClientSite))
            *out = static_cast<IOleClientSite*>(&clientSite_);
        else if (iid == __uuidof(IOleWindow) || iid == __uuidof(IOleInPlaceSite))
            *out = static_cast<IOleInPlaceSite*>(&inPlaceSite_);
        else if (iid == __uuidof(IOleInPlaceUIWindow) || iid == __uuidof(IOleInPlaceFrame))
            *out = static_cast<IOleInPlaceFrame*>(&frame_);
        else if (iid == __uuidof(IDispatch) || iid == __uuidof(DWebBrowserEvents2))
            *out = static_cast<IDispatch*>(&events_);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    IOleClientSite* ClientSite() { return &clientSite_; }
    IDispatch* Events() { return &events_; }
    HWND Window() const { return window_; }
    // After this, events that still arrive go nowhere.
    void Disconnect() { owner_ = nullptr; }
    void OnEvent(DISPID id, DISPPARAMS* params) {
        DISPPARAMS none = {};
        if (owner_) owner_->OnEvent(id, params ? *params : none);
    }

private:
    ~BrowserSite() = default;

    LONG references_ = 1;
    ContentBrowser* owner_;
    HWND window_;
    ClientSitePart clientSite_;
    InPlaceSitePart inPlaceSite_;
    InPlaceFramePart frame_;
    EventSinkPart events_;
};

template <class Interface>
HRESULT SitePart<Interface>::QueryInterface(REFIID iid, void** out) {
    return site->QueryInterface(iid, out);
}
template <class Interface>
ULONG SitePart<Interface>::AddRef() {
    return site->AddRef();
}
template <class Interface>
ULONG SitePart<Interface>::Release() {
    return site->Release();
}

HRESULT InPlaceSitePart::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = site->Window();
    return S_OK;
}

HRESULT InPlaceSitePart::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                          LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    site->QueryInterface(__uuidof(IOleInPlaceFrame), reinterpret_cast<void**>(frame));
    *document = nullptr;
    ::GetClientRect(site->Window(), position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = ::GetAncestor(site->Window(), GA_ROOT);
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT InPlaceFramePart::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = ::GetAncestor(site->Window(), GA_ROOT);
    return S_OK;
}

HRESULT EventSinkPart::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    site->OnEvent(id, params);
    return S_OK;
}

// ---------------------------------------------------------------------------------------------

ContentBrowser::ContentBrowser() = default;

ContentBrowser::~ContentBrowser() {
    // Destroying the window tears the control down first.
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    Teardown();
}

IDispatch* ContentBrowser::EventSink() const { return site_ ? site_->Events() : nullptr; }

bool ContentBrowser::Create(UINT id, const RECT& rect, HWND parent) {
    if (hwnd_) return true;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (!::GetClassInfoExW(instance, kWindowClass, &windowClass)) {
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&windowClass)) return false;
    }
    // The page scrolls inside the control; the host window itself never has scroll bars.
    HWND window = ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect.left, rect.top,
                                    rect.right - rect.left, rect.bottom - rect.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance, this);
    if (!window) return false;
    *site_.Put() = new BrowserSite(this, window);
    if (!Embed()) {
        ::DestroyWindow(window);
        return false;
    }
    return true;
}

bool ContentBrowser::Embed() {
    if (FAILED(::CoCreateInstance(__uuidof(WebBrowser), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IOleObject),
                                  control_.PutVoid())))
        return false;
    IOleClientSite* clientSite = site_->ClientSite();
    if (FAILED(control_->SetClientSite(clientSite))) return false;
    RECT client;
    ::GetClientRect(hwnd_, &client);
    if (FAILED(control_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, clientSite, 0, hwnd_, &client))) return false;
    control_.As(inPlace_);
    if (FAILED(control_.As(browser_))) return false;
    control_.As(identity_);
    browser_->put_Offline(VARIANT_FALSE);
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
    // No box of any kind over the wizard: script errors, security prompts and the like.
    browser_->put_Silent(VARIANT_TRUE);

    // The control reports its events only once it is active in place.
    ComPtr<IConnectionPointContainer> points;
    if (FAILED(control_.As(points)) ||
        FAILED(points->FindConnectionPoint(__uuidof(DWebBrowserEvents2), eventPoint_.Put())))
        return false;
    if (FAILED(eventPoint_->Advise(site_->Events(), &eventCookie_))) {
        eventPoint_.Reset();
        return false;
    }
    return true;
}

void ContentBrowser::Teardown() {
    if (inPlace_) inPlace_->InPlaceDeactivate();
    if (eventPoint_) eventPoint_->Unadvise(eventCookie_);
    if (control_) {
        control_->SetClientSite(nullptr);
        control_->Close(OLECLOSE_NOSAVE);
    }
    htmlDocument_.Reset();
    document_.Reset();
    browser_.Reset();
    identity_.Reset();
    eventPoint_.Reset();
    inPlace_.Reset();
    control_.Reset();
    if (site_) site_->Disconnect();
    site_.Reset();
}

LRESULT CALLBACK ContentBrowser::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ContentBrowser* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<ContentBrowser*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->Attach(window);
    } else {
        self = static_cast<ContentBrowser*>(FromHandle(window));
    }
    LRESULT result = 0;
    if (self && self->OnMessage(message, wParam, lParam, result)) return result;
    if (self && message == WM_NCDESTROY) self->Detach();
    return ::DefWindowProcW(window, message, wParam, lParam);
}

bool ContentBrowser::OnMessage(UINT message, WPARAM, LPARAM, LRESULT&) {
    if (message == WM_SIZE && inPlace_) {
        RECT client;
        ::GetClientRect(hwnd_, &client);
        inPlace_->SetObjectRects(&client, &client);
    } else if (message == WM_DESTROY) {
        // The control goes before the window it lives in.
        Teardown();
    }
    return false;
}

HRESULT ContentBrowser::Navigate(const std::wstring& address) {
    if (!browser_) return S_FALSE;
    Bstr url(address);
    if (!url.Text()) return E_OUTOFMEMORY;
    VARIANT flags;
    ::VariantInit(&flags);
    V_VT(&flags) = VT_I4;
    V_I4(&flags) = 0;
    VARIANT none;
    ::VariantInit(&none);
    HRESULT hr = browser_->Navigate(url.Text(), &flags, &none, &none, &none);
    HRESULT cleared = ::VariantClear(&flags);
    return FAILED(cleared) ? cleared : hr;
}

void ContentBrowser::OnEvent(DISPID id, const DISPPARAMS& params) {
    switch (id) {
    case DISPID_NAVIGATEERROR:
        // The browser goes on to show its own error page; that page must not appear.
        navigationFailed_ = true;
        break;
    case DISPID_DOCUMENTCOMPLETE:
        // Frames complete first, the page itself last; only a click after that counts.
        if (IsTopLevel(DispatchArgument(params, 0))) {
            loaded_ = true;
            gesture_ = false;
        }
        OnDocumentComplete();
        break;
    case DISPID_BEFORENAVIGATE2:
        OnBeforeNavigate(params);
        break;
    case DISPID_NEWWINDOW2:
        // NewWindow3 comes instead on every system we run on; this one cannot name the page.
        if (VARIANT_BOOL* cancel = CancelArgument(params, 1)) *cancel = VARIANT_TRUE;
        break;
    case DISPID_NEWWINDOW3:
        OnNewWindow(params);
        break;
    default:
        break;
    }
}

bool ContentBrowser::IsTopLevel(IDispatch* frame) const { return SameObject(frame, identity_.Get()); }

bool ContentBrowser::TakeUserGesture() {
    bool recent = gesture_ && Now() - gestureAt_ <= kGestureLifetimeMs;
    gesture_ = false;
    return recent;
}

void ContentBrowser::OnBeforeNavigate(const DISPPARAMS& params) {
    // pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel
    // A click leads to one navigation at most, whichever frame it takes place in.
    const bool clicked = TakeUserGesture();
    VARIANT_BOOL* cancel = CancelArgument(params, 6);
    if (params.cArgs != 7 || !cancel || !loaded_ || !clicked || !IsTopLevel(DispatchArgument(params, 0))) return;
    const std::wstring url = TextArgument(params, 1);
    if (!IsHttpAddress(url) || HasPostData(params, 4)) return;
    *cancel = VARIANT_TRUE;
    OpenLink(AsOneArgument(url));
}

void ContentBrowser::OnNewWindow(const DISPPARAMS& params) {
    // ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl
    VARIANT_BOOL* cancel = CancelArgument(params, 1);
    if (params.cArgs != 5 || !cancel) return;
    // The control never opens a window of its own: a pop-up the page opens by itself is
    // dropped, one the user asked for opens in the user's browser.
    *cancel = VARIANT_TRUE;
    const std::wstring url = TextArgument(params, 4);
    if ((LongArgument(params, 2) & (kNewWindowUserInitiated | kNewWindowUserRequested)) && IsHttpAddress(url))
        OpenLink(AsOneArgument(url));
}

void ContentBrowser::NoteUserGesture() {
    gesture_ = true;
    gestureAt_ = Now();
}

bool ContentBrowser::RefreshDocument() {
    if (!browser_) return false;
    document_.Reset();
    if (FAILED(browser_->get_Document(document_.Put())) || !document_) return false;
    htmlDocument_.Reset();
    return SUCCEEDED(document_.As(htmlDocument_)) && htmlDocument_;
}

void ContentBrowser::OnDocumentComplete() {
    if (!hwnd_ || !RefreshDocument()) return;
    LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    style = navigationFailed_ ? style & ~static_cast<LONG_PTR>(WS_VISIBLE) : style | WS_VISIBLE;
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
    // Hiding and showing the page redraws it with the browser's new visibility.
    HWND parent = ::GetParent(hwnd_);
    if (parent && ::IsWindowVisible(parent)) {
        ::ShowWindow(parent, SW_HIDE);
        ::ShowWindow(parent, SW_SHOW);
    }
}

bool ContentBrowser::PreTranslateMessage(MSG& msg) {
    switch (msg.message) {
    case WM_LBUTTONUP:
        NoteUserGesture();
        return false;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        // Enter and Space follow the link or press the button that has the focus.
        if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_SPACE)) NoteUserGesture();
        // F5 would reload the page and Ctrl+N open it in a browser window of its own.
        return msg.wParam == VK_F5 || (msg.wParam == 'N' && ::GetKeyState(VK_CONTROL) < 0);
    default:
        return false;
    }
}
