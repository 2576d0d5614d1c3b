// The browser platform on Windows: "CSHtmlWindow" popups and the system's
// WebBrowser control embedded through OLE (BrowserHost_win.h), and WinINet
// for the connection test.
#include "platform/WebBrowser.h"
#include "platform/win32/BrowserHost_win.h"

#include <wininet.h>

#include <new>

namespace zdl {

namespace {

    const char kBrowserWindowClass[] = "CSHtmlWindow";

    HWND H(NativeWindow w)
    {
        return static_cast<HWND>(w);
    }

    bool RegisterBrowserClass(HINSTANCE instance)
    {
        WNDCLASSA existing;
        if (GetClassInfoA(instance, kBrowserWindowClass, &existing))
            return true;
        WNDCLASSA wc = {};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
        wc.lpszClassName = kBrowserWindowClass;
        return RegisterClassA(&wc) != 0;
    }

    class OleBrowser : public BrowserPlatform {
    public:
        NativeWindow CreateBrowserWindow(NativeWindow owner, int width, int height) override
        {
            HINSTANCE instance = GetModuleHandleA(nullptr);
            if (!RegisterBrowserClass(instance))
                return nullptr;
            return CreateWindowExA(
                0, kBrowserWindowClass, "", WS_POPUP, 0, 0, width, height, H(owner), nullptr, instance, nullptr);
        }
        void DestroyBrowserWindow(NativeWindow window) override
        {
            // An owned popup may already be gone with its owner.
            if (IsWindow(H(window)))
                DestroyWindow(H(window));
        }
        void ShowBrowserWindow(NativeWindow window, bool show) override
        {
            ShowWindow(H(window), show ? SW_SHOWNOACTIVATE : SW_HIDE);
        }
        void PlaceBrowserWindow(
            NativeWindow window, int x, int y, int width, int height, int clipWidth, int clipHeight) override
        {
            HRGN region = CreateRectRgn(0, 0, clipWidth, clipHeight);
            // After a successful SetWindowRgn the region belongs to the system.
            if (region && !SetWindowRgn(H(window), region, TRUE))
                DeleteObject(region);
            MoveWindow(H(window), x, y, width, height, TRUE);
        }
        void UpdateBrowserWindow(NativeWindow window) override { UpdateWindow(H(window)); }
        BrowserHost* CreateHost() override { return new (std::nothrow) BrowserHost; }
        int32_t EmbedBrowser(BrowserHost* host, NativeWindow window) override
        {
            return zdl::EmbedBrowser(host, H(window));
        }
        int32_t NavigateTo(BrowserHost* host, const char* url) override { return zdl::NavigateTo(host, url); }
        bool IsPageComplete(BrowserHost* host) override { return zdl::IsPageComplete(host); }
        bool ClickAt(BrowserHost* host, int x, int y) override { return ClickPageAt(host, x, y); }
        void DestroyHost(BrowserHost* host) override { DestroyBrowserHost(host); }
        bool IsOnline() override
        {
            DWORD flags = 0;
            return InternetGetConnectedState(&flags, 0) != FALSE;
        }
    };

} // namespace

BrowserPlatform& SystemBrowserPlatform()
{
    static OleBrowser browser;
    return browser;
}

} // namespace zdl
