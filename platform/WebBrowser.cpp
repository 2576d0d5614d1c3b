#include "platform/WebBrowser.h"

namespace zdl {

namespace {
    BrowserPlatform* installedBrowser = nullptr;
}

BrowserPlatform& GetBrowserPlatform()
{
    return installedBrowser ? *installedBrowser : SystemBrowserPlatform();
}

BrowserPlatform* SetBrowserPlatform(BrowserPlatform* platform)
{
    BrowserPlatform* previous = installedBrowser;
    installedBrowser = platform;
    return previous;
}

} // namespace zdl
