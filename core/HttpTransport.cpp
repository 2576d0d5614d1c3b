#include "core/HttpTransport.h"

#include "core/DownloadScheduler.h"
#include "platform/SystemProxy.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdlib>

namespace zdl::core {

namespace {

    // The certificate authorities named by CURL_CA_BUNDLE, as the curl
    // program reads it; empty: the system's (or libcurl's built-in) trust.
    std::string& CaBundle()
    {
        static std::string path;
        return path;
    }

} // namespace

bool HttpGlobalInit()
{
    if (const char* ca = std::getenv("CURL_CA_BUNDLE"))
        CaBundle() = ca;
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void ApplyCommonOptions(CURL* h, const std::string& url)
{
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    // Parallel ranges need parallel connections, not one multiplexed one.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "zdl-core/1");
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, nullptr);
    if (!CaBundle().empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, CaBundle().c_str());
#ifdef _WIN32
    // Schannel: the system's certificate store; an unreachable revocation
    // server must not stop the download.
    curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
    std::string proxy = SystemProxyFor(url);
    if (!proxy.empty())
        curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
#endif
}

namespace {

    struct SmallBody {
        std::string* out;
        size_t max;
        bool tooLarge;
    };

    size_t WriteSmall(char* data, size_t size, size_t n, void* user)
    {
        auto* b = static_cast<SmallBody*>(user);
        size_t bytes = size * n;
        if (bytes > b->max - b->out->size()) {
            b->tooLarge = true;
            return 0;
        }
        b->out->append(data, bytes);
        return bytes;
    }

    struct SmallProgress {
        const std::atomic<bool>* stop;
        TrickleGuard guard;
        bool tooSlow;
    };

    Millis NowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    int Progress(void* user, curl_off_t, curl_off_t now, curl_off_t, curl_off_t)
    {
        auto* p = static_cast<SmallProgress*>(user);
        if (p->guard.TooSlow(NowMs(), static_cast<uint64_t>(now), kTrickleFloorBytesPerSecond))
            p->tooSlow = true;
        return p->stop->load() || p->tooSlow ? 1 : 0;
    }

} // namespace

FetchOutcome FetchSmallFile(const std::string& url, size_t maxBytes, const std::atomic<bool>& stop, std::string* body,
    std::string* detail, long* httpStatus)
{
    body->clear();
    CURL* h = curl_easy_init();
    if (!h) {
        *detail = "curl_easy_init failed";
        return FetchOutcome::NetworkError;
    }
    body->reserve(maxBytes < kMaxSmallReserveBytes ? maxBytes : kMaxSmallReserveBytes);
    SmallBody sink { body, maxBytes, false };
    SmallProgress progress { &stop, TrickleGuard(), false };
    progress.guard.Start(NowMs());
    // An announced length beyond the limit ends the transfer before the body.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    char why[CURL_ERROR_SIZE] = "";
    ApplyCommonOptions(h, url);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, why);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteSmall);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
    CURLcode rc = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(h);
    if (httpStatus)
        *httpStatus = status;
    if (stop.load())
        return FetchOutcome::Cancelled;
    if (progress.tooSlow || rc == CURLE_OPERATION_TIMEDOUT) {
        *detail = "too slow: less than " + std::to_string(kTrickleFloorBytesPerSecond) + " bytes/s";
        return FetchOutcome::Timeout;
    }
    if (sink.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        *detail = "larger than " + std::to_string(maxBytes) + " bytes";
        return FetchOutcome::TooLarge;
    }
    if (rc != CURLE_OK) {
        // curl's own words name the cause (e.g. which certificate check
        // failed); the code's text is the fallback.
        *detail = why[0] ? why : curl_easy_strerror(rc);
        return FetchOutcome::NetworkError;
    }
    if (status != 200) {
        *detail = "HTTP " + std::to_string(status);
        return FetchOutcome::HttpError;
    }
    return FetchOutcome::Ok;
}

} // namespace zdl::core
