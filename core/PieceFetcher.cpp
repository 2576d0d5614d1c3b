#include "core/PieceFetcher.h"

#include "core/HttpTransport.h"
#include "platform/Socket.h"

#include <chrono>
#include <cstring>
#include <curl/curl.h>

namespace zdl::core {

namespace {

    uint64_t NowMicros()
    {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    }

    // Receive chunk sizes: small under a limit so the bucket meters finely,
    // larger without one to save calls.
    constexpr long kLimitedBufferBytes = 16 * 1024;
    constexpr long kUnlimitedBufferBytes = 256 * 1024;

} // namespace

struct PieceFetcher::Slot {
    RateLimiter* limiter = nullptr;
    CURL* easy = nullptr;
    bool busy = false;
    bool paused = false;
    bool overflow = false;
    PieceRequest request;
    std::vector<uint8_t> buffer;
    uint32_t received = 0;
    uint64_t receivedTotal = 0; // counted for the bandwidth figure
    char curlError[CURL_ERROR_SIZE] = {};
};

static size_t WriteBody(char* data, size_t size, size_t n, void* user)
{
    auto* slot = static_cast<PieceFetcher::Slot*>(user);
    size_t bytes = size * n;
    uint64_t now = NowMicros();
    RateLimiter& limiter = *slot->limiter;
    if (!limiter.MayReceive(now)) {
        slot->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    limiter.Consume(bytes, now);
    if (slot->received + bytes > slot->request.length) {
        slot->overflow = true;
        return 0; // aborts the transfer
    }
    std::memcpy(slot->buffer.data() + slot->received, data, bytes);
    slot->received += static_cast<uint32_t>(bytes);
    slot->receivedTotal += bytes;
    return bytes;
}

static int SmallReceiveBuffer(void* user, curl_socket_t fd, curlsocktype purpose)
{
    if (purpose == CURLSOCKTYPE_IPCXN) {
        int bytes = static_cast<int>(reinterpret_cast<intptr_t>(user));
        if (bytes > 0)
            SetReceiveBufferSize(static_cast<SocketHandle>(fd), bytes);
    }
    return CURL_SOCKOPT_OK;
}

PieceFetcher::PieceFetcher(int connections, RateLimiter& limiter)
    : connections_(connections)
    , limiter_(limiter)
{
}

PieceFetcher::~PieceFetcher()
{
    for (Slot* s : slots_) {
        if (s->easy) {
            if (s->busy)
                curl_multi_remove_handle(multi_, s->easy);
            curl_easy_cleanup(s->easy);
        }
        delete s;
    }
    if (multi_)
        curl_multi_cleanup(multi_);
}

bool PieceFetcher::Init()
{
    multi_ = curl_multi_init();
    if (!multi_)
        return false;
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(connections_));
    curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, static_cast<long>(connections_ + 2));
    for (int i = 0; i < connections_; ++i) {
        Slot* s = new Slot;
        s->limiter = &limiter_;
        s->easy = curl_easy_init();
        slots_.push_back(s);
        if (!s->easy)
            return false;
    }
    return true;
}

int PieceFetcher::IdleSlots() const
{
    int n = 0;
    for (const Slot* s : slots_)
        n += s->busy ? 0 : 1;
    return n;
}

int PieceFetcher::BusySlots() const
{
    return connections_ - IdleSlots();
}

bool PieceFetcher::Start(const PieceRequest& request, std::vector<uint8_t> buffer)
{
    Slot* slot = nullptr;
    for (Slot* s : slots_)
        if (!s->busy) {
            slot = s;
            break;
        }
    if (!slot)
        return false;
    slot->busy = true;
    slot->paused = false;
    slot->overflow = false;
    slot->request = request;
    slot->buffer = std::move(buffer);
    if (slot->buffer.size() < request.length)
        slot->buffer.resize(request.length);
    slot->received = 0;
    slot->curlError[0] = '\0';
    CURL* h = slot->easy;
    curl_easy_reset(h);
    ApplyCommonOptions(h, request.url);
    char range[64];
    std::snprintf(range, sizeof range, "%llu-%llu", static_cast<unsigned long long>(request.offset),
        static_cast<unsigned long long>(request.offset + request.length - 1));
    curl_easy_setopt(h, CURLOPT_RANGE, range);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, slot);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, slot->curlError);
    curl_easy_setopt(h, CURLOPT_PRIVATE, slot);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    uint64_t rate = limiter_.Rate();
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, rate ? kLimitedBufferBytes : kUnlimitedBufferBytes);
    if (rate) {
        // About a tenth of a second of this connection's share in flight.
        uint64_t window = rate / 10 / static_cast<uint64_t>(connections_);
        if (window < 16 * 1024)
            window = 16 * 1024;
        if (window > 1024 * 1024)
            window = 1024 * 1024;
        curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, SmallReceiveBuffer);
        curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, reinterpret_cast<void*>(static_cast<intptr_t>(window)));
    }
    if (curl_multi_add_handle(multi_, h) != CURLM_OK) {
        slot->busy = false;
        return false;
    }
    return true;
}

void PieceFetcher::Finish(Slot& s, bool transferOk, const std::string& curlError, std::vector<FetchDone>* done)
{
    curl_multi_remove_handle(multi_, s.easy);
    FetchDone d;
    d.piece = s.request.piece;
    long status = 0;
    curl_easy_getinfo(s.easy, CURLINFO_RESPONSE_CODE, &status);
    bool statusOk = status == 206 || (status == 200 && s.request.offset == 0 && s.request.length == s.request.fileSize);
    d.ok = transferOk && statusOk && !s.overflow && s.received == s.request.length;
    if (!d.ok) {
        if (s.overflow)
            d.error = "server sent more than the requested range (HTTP " + std::to_string(status) + ")";
        else if (!transferOk)
            d.error = curlError;
        else if (!statusOk)
            d.error = "HTTP " + std::to_string(status);
        else
            d.error = "short body: " + std::to_string(s.received) + " of " + std::to_string(s.request.length);
    }
    d.data = std::move(s.buffer);
    s.buffer.clear();
    s.busy = false;
    s.paused = false;
    done->push_back(std::move(d));
}

void PieceFetcher::Pump(int waitMs, std::vector<FetchDone>* done)
{
    uint64_t now = NowMicros();
    bool anyPaused = false;
    if (limiter_.MayReceive(now)) {
        // Resuming delivers the held data at once, so the first resumed
        // slot may take all tokens; start with a different slot each time
        // so no connection starves.
        size_t n = slots_.size();
        for (size_t i = 0; i < n; ++i) {
            Slot* s = slots_[(resumeFrom_ + i) % n];
            if (s->busy && s->paused) {
                s->paused = false;
                curl_easy_pause(s->easy, CURLPAUSE_CONT);
            }
        }
        resumeFrom_ = (resumeFrom_ + 1) % (n ? n : 1);
    }
    for (Slot* s : slots_)
        anyPaused = anyPaused || (s->busy && s->paused);
    if (anyPaused) {
        uint64_t wait = limiter_.WaitMicros(NowMicros()) / 1000 + 1;
        if (wait < static_cast<uint64_t>(waitMs))
            waitMs = static_cast<int>(wait);
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    curl_multi_poll(multi_, nullptr, 0, waitMs, nullptr);
    curl_multi_perform(multi_, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        Slot* slot = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&slot));
        if (!slot)
            continue;
        CURLcode rc = msg->data.result;
        std::string err = rc == CURLE_OK ? "" : (slot->curlError[0] ? slot->curlError : curl_easy_strerror(rc));
        Finish(*slot, rc == CURLE_OK, err, done);
    }
}

void PieceFetcher::CancelAll(std::vector<FetchDone>* done)
{
    for (Slot* s : slots_)
        if (s->busy)
            Finish(*s, false, "cancelled", done);
}

void PieceFetcher::Wakeup()
{
    if (multi_)
        curl_multi_wakeup(multi_);
}

uint64_t PieceFetcher::TakeReceivedBytes()
{
    uint64_t n = 0;
    for (Slot* s : slots_) {
        n += s->receivedTotal;
        s->receivedTotal = 0;
    }
    return n;
}

} // namespace zdl::core
