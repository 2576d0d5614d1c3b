// The browser natively: no engine. Popups are simulated windows of class
// "CSHtmlWindow"; embedding always fails, so web views keep their
// placeholder, as on a Windows system without a browser.
#include "platform/WebBrowser.h"
#include "platform/WindowSystem.h"

namespace zdl {

namespace {

    const char kBrowserWindowClass[] = "CSHtmlWindow";

    class NoEngineBrowser : public BrowserPlatform {
    public:
        NativeWindow CreateBrowserWindow(NativeWindow owner, int width, int height) override
        {
            if (!WsClassRegistered(nullptr, kBrowserWindowClass)
                && !WsRegisterClass(nullptr, kBrowserWindowClass, WsDefWindowProc, WsArrowCursor(),
                    WsSysColorBrush(COLOR_WINDOW + 1), nullptr))
                return nullptr;
            WindowCreateParams p;
            p.className = kBrowserWindowClass;
            p.windowName = "";
            p.style = WS_POPUP;
            p.width = width;
            p.height = height;
            p.parent = owner;
            return WsCreateWindow(p);
        }
        void DestroyBrowserWindow(NativeWindow window) override { WsDestroyWindow(window); }
        void ShowBrowserWindow(NativeWindow window, bool show) override
        {
            WsShowWindow(window, show ? SW_SHOW : SW_HIDE);
        }
        void PlaceBrowserWindow(NativeWindow, int, int, int, int, int, int) override { }
        void UpdateBrowserWindow(NativeWindow) override { }
        BrowserHost* CreateHost() override { return nullptr; }
        int32_t EmbedBrowser(BrowserHost*, NativeWindow) override { return kBrowserCreateFailed; }
        int32_t NavigateTo(BrowserHost*, const char*) override { return kBrowserNoInterface; }
        bool IsPageComplete(BrowserHost*) override { return false; }
        bool ClickAt(BrowserHost*, int, int) override { return false; }
        void DestroyHost(BrowserHost*) override { }
        bool IsOnline() override { return false; }
    };

} // namespace

BrowserPlatform& SystemBrowserPlatform()
{
    static NoEngineBrowser browser;
    return browser;
}

} // namespace zdl
