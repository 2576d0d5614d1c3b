// BrowserHost: one WebBrowser control embedded through OLE in a
// "CSHtmlWindow" popup, with the container objects it was given. Made by
// the Windows browser platform (platform/WebBrowser.h); freed only by
// DestroyBrowserHost, which closes the browser object and lets it drop its
// client site before the site itself is freed. User-interface thread only.
#pragma once

#include "platform/win32/WBClientSite_win.h"

#include <exdisp.h>

#include <cstdint>
#include <memory>

namespace zdl {

struct BrowserHost {
    IWebBrowser2* browser = nullptr; // owned reference; taken on first navigation
    IOleObject* oleObject = nullptr; // owned reference
    int32_t lastResult = 1; // status of the last navigation
    std::unique_ptr<CWBClientSite> site;
    std::unique_ptr<CWBStorage> storage;
};

// Embeds a browser filling |window|'s client area: 0, -2 when the object
// cannot be created, -3 when it cannot be shown (nothing stays embedded).
int32_t EmbedBrowser(BrowserHost* host, HWND window);
// Navigates to the GBK |url|: the browser's HRESULT (also kept in
// lastResult), -5 without a navigation interface, -6 without memory for the
// address.
int32_t NavigateTo(BrowserHost* host, const char* url);
// lastResult is 0 and the browser's ready state is READYSTATE_COMPLETE.
bool IsPageComplete(BrowserHost* host);
// elementFromPoint (x, y) of the page, then its click; every interface on
// the way is checked.
bool ClickPageAt(BrowserHost* host, int x, int y);
// Closes and releases the browser, then frees the host and its site.
void DestroyBrowserHost(BrowserHost* host);

} // namespace zdl
