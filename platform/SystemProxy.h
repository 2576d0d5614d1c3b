// The proxy the user configured for the whole system, for HTTP libraries
// that do not look it up themselves. Any thread.
#pragma once

#include <string>

namespace zdl {

// The system-wide proxy for `url` as "host:port" (or "scheme://host:port"),
// or empty when none is set or the platform's HTTP library reads the proxy
// settings by itself (the environment variables on Linux).
std::string SystemProxyFor(const std::string& url);

} // namespace zdl
