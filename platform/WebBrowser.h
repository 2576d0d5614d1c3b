// The embedded web browser as the web view control (skin/HtmlCtrl.h) uses
// it: a borderless popup window of class "CSHtmlWindow" that floats over the
// skinned window, and a browser embedded in it that navigates, reports when
// its page is complete and takes clicks.
//
// One implementation is current per process (GetBrowserPlatform). On
// Windows it hosts the system's WebBrowser control through OLE
// (platform/win32/BrowserHost_win.cpp); natively there is no browser engine:
// popups are simulated windows and embedding fails, as on a system without
// one. Tests install their own with SetBrowserPlatform.
// User-interface thread only.
#pragma once

#include "platform/UiPlatform.h"

#include <cstdint>

namespace zdl {

// One embedded browser; defined by the backend, owned by whoever created it
// and freed only through DestroyHost.
struct BrowserHost;

// Status of EmbedBrowser and NavigateTo.
constexpr int32_t kBrowserCreateFailed = -2; // the browser object could not be made
constexpr int32_t kBrowserShowFailed = -3; // it could not be shown in the window
constexpr int32_t kBrowserNoInterface = -5; // no navigation interface
constexpr int32_t kBrowserNoUrlMemory = -6; // the address could not be allocated

// Extra width and height of the popup beyond the control: the browser's
// scroll bar and lower edge lie there, outside the popup's visible region.
constexpr int kBrowserOverhangX = 26;
constexpr int kBrowserOverhangY = 10;

class BrowserPlatform {
public:
    virtual ~BrowserPlatform() = default;
    // The hidden "CSHtmlWindow" popup owned by |owner|, at (0, 0), |width|
    // x |height|; registers the class on first use. Null on failure.
    virtual NativeWindow CreateBrowserWindow(NativeWindow owner, int width, int height) = 0;
    virtual void DestroyBrowserWindow(NativeWindow window) = 0;
    virtual void ShowBrowserWindow(NativeWindow window, bool show) = 0;
    // Limits the popup's visible part to (0, 0, clipWidth, clipHeight) and
    // moves it to screen position (x, y) with size |width| x |height|.
    virtual void PlaceBrowserWindow(
        NativeWindow window, int x, int y, int width, int height, int clipWidth, int clipHeight)
        = 0;
    virtual void UpdateBrowserWindow(NativeWindow window) = 0;

    // A new host, nothing embedded yet; null without memory.
    virtual BrowserHost* CreateHost() = 0;
    // Embeds a browser filling |window|: 0, kBrowserCreateFailed or
    // kBrowserShowFailed (nothing is left embedded then).
    virtual int32_t EmbedBrowser(BrowserHost* host, NativeWindow window) = 0;
    // Starts navigating to the GBK |url|: 0, kBrowserNoInterface,
    // kBrowserNoUrlMemory, or the browser's failure status.
    virtual int32_t NavigateTo(BrowserHost* host, const char* url) = 0;
    // The last navigation succeeded and the page has loaded completely.
    virtual bool IsPageComplete(BrowserHost* host) = 0;
    // Clicks the page element at (x, y) of the browser's client area; false
    // when there is no page or element there.
    virtual bool ClickAt(BrowserHost* host, int x, int y) = 0;
    // Closes the browser and frees |host| (null is ignored).
    virtual void DestroyHost(BrowserHost* host) = 0;
    // The computer has a network connection.
    virtual bool IsOnline() = 0;
};

// The current implementation: the system's unless SetBrowserPlatform
// installed another. Never null.
BrowserPlatform& GetBrowserPlatform();
// Installs |platform| (not owned); null restores the system's. Returns the
// previous one.
BrowserPlatform* SetBrowserPlatform(BrowserPlatform* platform);
BrowserPlatform& SystemBrowserPlatform();

} // namespace zdl
