#pragma once
// A child window hosting the system's WebBrowser control: a small OLE container of our
// own. The window stays as its owner made it until a page has loaded; it then shows
// itself, unless a navigation error came first.

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
    bool NavigationFailed() const { return navigationFailed_; }

protected:
    // Puts the control into the window; false when it cannot be made or activated.
    virtual bool Embed();
    // Fetches the control's current HTML document; false when there is none.
    virtual bool RefreshDocument();

private:
    friend class BrowserSite;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnEvent(DISPID id);
    void OnDocumentComplete();
    void Teardown();

    ComPtr<BrowserSite> site_;
    ComPtr<IOleObject> control_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPoint> eventPoint_;
    DWORD eventCookie_ = 0;
    ComPtr<IDispatch> document_;
    ComPtr<IHTMLDocument2> htmlDocument_;
    bool navigationFailed_ = false;
};
