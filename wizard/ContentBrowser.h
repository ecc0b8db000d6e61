#pragma once
// A child window hosting the system's WebBrowser control: a small OLE container of our
// own. The window stays as its owner made it until a page has loaded; it then shows
// itself, unless a navigation error came first. The control shows no boxes of its own; once
// the page has loaded, a link the user follows opens in the user's browser, as does any new
// window the user asks for, while redirects, frames and the page's own loading stay here.

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>

#include "framework/Handles.h"
#include "framework/Window.h"

struct IWebBrowser2;
struct IHTMLDocument2;
class BrowserSite;

class ContentBrowser : public Window {
public:
    ContentBrowser();
    ~ContentBrowser() override;

    // Creates the window (rect in parent client coordinates) with the control inside it.
    // False when the control cannot be created or activated; nothing is left behind then.
    bool Create(UINT id, const RECT& rect, HWND parent);
    // Starts loading the address. E_OUTOFMEMORY when the address cannot be passed on,
    // S_FALSE without a control, otherwise what the control answers.
    HRESULT Navigate(const std::wstring& address);

    // Right clicks, Ctrl+N and F5 never reach the hosted page.
    bool PreTranslateMessage(MSG& msg) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // The DWebBrowserEvents2 sink the control reports to; null before Create.
    IDispatch* EventSink() const;
    // The hosted control; null before Create.
    IWebBrowser2* Browser() const { return browser_.Get(); }
    bool NavigationFailed() const { return navigationFailed_; }

    // How long after a click (or Enter, or Space) in the pane a navigation counts as the
    // user's: the control starts a link's navigation right after the click that follows it.
    static constexpr DWORD kGestureLifetimeMs = 2000;

protected:
    // Milliseconds, as GetTickCount counts them.
    virtual DWORD Now() const { return ::GetTickCount(); }
    // Puts the control into the window; false when it cannot be made or activated.
    virtual bool Embed();
    // Fetches the control's current HTML document; false when there is none.
    virtual bool RefreshDocument();

private:
    friend class BrowserSite;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnEvent(DISPID id, const DISPPARAMS& params);
    void OnDocumentComplete();
    void OnBeforeNavigate(const DISPPARAMS& params);
    void OnNewWindow(const DISPPARAMS& params);
    // Whether the event names the control itself, not one of the page's frames.
    bool IsTopLevel(IDispatch* frame) const;
    void NoteUserGesture();
    // Whether the user clicked lately; a click counts once.
    bool TakeUserGesture();
    void Teardown();

    ComPtr<BrowserSite> site_;
    ComPtr<IOleObject> control_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IUnknown> identity_;  // the control's own identity: events naming it are top-level
    ComPtr<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
    ComPtr<IDispatch> document_;
    ComPtr<IHTMLDocument2> htmlDocument_;
    bool navigationFailed_ = false;
    bool loaded_ = false;  // the first page has completed
    bool gesture_ = false;
    DWORD gestureAt_ = 0;
};
