#include "platform/SystemProxy.h"

namespace zdl {

// libcurl reads http_proxy, https_proxy and no_proxy by itself here.
std::string SystemProxyFor(const std::string&)
{
    return std::string();
}

} // namespace zdl
