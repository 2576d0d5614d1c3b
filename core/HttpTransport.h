// HTTP through libcurl: the settings every request shares (timeouts,
// redirects, keep-alive, proxy, TLS) and a blocking fetch of small files
// (the description and its digest). Piece transfers are in PieceFetcher.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

typedef void CURL;

namespace zdl::core {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kLowSpeedSeconds = 30; // a connection that moves no byte this long is dropped
// Small files (the description and its digest) are read at once up to this
// size; the rest grows as it arrives.
constexpr size_t kMaxSmallReserveBytes = 64u << 20;
constexpr long kMaxRedirects = 5;

// Once per process, before any other call. Reads CURL_CA_BUNDLE: a file of
// PEM certificates that then replaces the trusted authorities (for servers
// with their own authority, e.g. a test server).
bool HttpGlobalInit();

// Options common to every request on `handle` for `url`.
void ApplyCommonOptions(CURL* handle, const std::string& url);

enum class FetchOutcome { Ok, HttpError, NetworkError, Timeout, TooLarge, Cancelled };

// GET `url` into `body`, at most `maxBytes`: the transfer ends as soon as
// the body would grow beyond that (TooLarge); room for `maxBytes` is taken
// at once, so the body is never copied while it grows. A transfer that
// stays below the trickle floor for a trickle window ends (Timeout). Gives
// up when `stop` is set.
// `detail` describes a failure (status code or curl's message);
// `httpStatus` (if given) receives the server's status, 0 without answer.
FetchOutcome FetchSmallFile(const std::string& url, size_t maxBytes, const std::atomic<bool>& stop, std::string* body,
    std::string* detail, long* httpStatus = nullptr);

} // namespace zdl::core
