#include "platform/SystemProxy.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>
#include <winhttp.h>

namespace zdl {

// Proxy names are host names and ports; as GBK like every other text, never
// through the ANSI code page.
static std::string Narrow(const wchar_t* w)
{
    return w ? GbkFromWide(w) : std::string();
}

// The user's Internet Options proxy. The list is either one "host:port"
// for every scheme or entries like "http=host:port;https=host:port".
std::string SystemProxyFor(const std::string& url)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG cfg {};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&cfg))
        return std::string();
    std::string list = Narrow(cfg.lpszProxy);
    std::string bypass = Narrow(cfg.lpszProxyBypass);
    if (cfg.lpszProxy)
        GlobalFree(cfg.lpszProxy);
    if (cfg.lpszProxyBypass)
        GlobalFree(cfg.lpszProxyBypass);
    if (cfg.lpszAutoConfigUrl)
        GlobalFree(cfg.lpszAutoConfigUrl);
    if (list.empty())
        return std::string();
    bool loopback = url.find("://127.0.0.1") != std::string::npos || url.find("://localhost") != std::string::npos;
    if (loopback && bypass.find("<local>") != std::string::npos)
        return std::string();
    std::string scheme = url.compare(0, 8, "https://") == 0 ? "https" : "http";
    std::string fallback;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find_first_of("; ", pos);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(pos, end - pos);
        pos = end + 1;
        if (entry.empty())
            continue;
        size_t eq = entry.find('=');
        if (eq == std::string::npos) {
            if (fallback.empty())
                fallback = entry;
        } else if (entry.compare(0, eq, scheme) == 0) {
            return entry.substr(eq + 1);
        }
    }
    return fallback;
}

} // namespace zdl
