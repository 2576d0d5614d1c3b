#include "core/PieceFetcher.h"

#include "core/HttpTransport.h"
#include "platform/Socket.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
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
    bool statusChecked = false;
    bool rangeIgnored = false;
    bool stream = false;
    bool errorBody = false; // the answer is an error: its body is thrown away
    uint64_t id = 0; // of the running transfer
    uint64_t transferBytes = 0; // body bytes of the running transfer
    size_t errorBytes = 0;
    int retryAfterMs = -1;
    PieceRequest request;
    StreamRequest streamRequest;
    uint32_t streamIndex = 0; // piece of the file being received
    std::vector<FetchDone> ready; // finished stream pieces
    std::vector<uint8_t> buffer;
    uint32_t received = 0;
    uint64_t receivedTotal = 0; // counted for the bandwidth figure
    char curlError[CURL_ERROR_SIZE] = {};
};

static uint32_t StreamPieceLength(const StreamRequest& r, uint32_t index)
{
    uint64_t start = uint64_t(index) * r.pieceSize;
    uint64_t left = r.fileSize - start;
    return static_cast<uint32_t>(left < r.pieceSize ? left : r.pieceSize);
}

// Cuts a stream's bytes into pieces; false when the body is longer than the
// file.
static bool TakeStreamBytes(PieceFetcher::Slot* slot, const char* data, size_t bytes)
{
    StreamRequest& r = slot->streamRequest;
    while (bytes > 0) {
        if (uint64_t(slot->streamIndex) * r.pieceSize >= r.fileSize)
            return false;
        uint32_t length = StreamPieceLength(r, slot->streamIndex);
        size_t take = length - slot->received;
        if (take > bytes)
            take = bytes;
        bool wanted = r.wanted[slot->streamIndex];
        if (wanted) {
            if (slot->buffer.size() < length)
                slot->buffer.resize(length);
            std::memcpy(slot->buffer.data() + slot->received, data, take);
        }
        slot->received += static_cast<uint32_t>(take);
        data += take;
        bytes -= take;
        if (slot->received == length) {
            if (wanted) {
                FetchDone d;
                d.transfer = slot->id;
                d.piece = r.firstPiece + slot->streamIndex;
                d.ok = true;
                d.httpStatus = 200;
                d.data = std::move(slot->buffer);
                slot->buffer = std::vector<uint8_t>();
                slot->ready.push_back(std::move(d));
                r.wanted[slot->streamIndex] = false;
            }
            ++slot->streamIndex;
            slot->received = 0;
        }
    }
    return true;
}

static size_t WriteBody(char* data, size_t size, size_t n, void* user)
{
    auto* slot = static_cast<PieceFetcher::Slot*>(user);
    size_t bytes = size * n;
    if (!slot->statusChecked) {
        slot->statusChecked = true;
        long status = 0;
        curl_easy_getinfo(slot->easy, CURLINFO_RESPONSE_CODE, &status);
        const PieceRequest& r = slot->request;
        if (!slot->stream && status == 200 && !(r.offset == 0 && r.length == r.fileSize)) {
            // The whole file instead of the range: stop before its body.
            slot->rangeIgnored = true;
            return 0;
        }
        slot->errorBody = status < 200 || status > 299;
    }
    if (slot->errorBody) {
        slot->errorBytes += bytes;
        return slot->errorBytes <= kMaxErrorBodyBytes ? bytes : 0;
    }
    uint64_t now = NowMicros();
    RateLimiter& limiter = *slot->limiter;
    if (!limiter.MayReceive(now) || (slot->stream && slot->ready.size() >= kStreamAhead)) {
        slot->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    limiter.Consume(bytes, now);
    slot->transferBytes += bytes;
    if (slot->stream) {
        slot->receivedTotal += bytes;
        if (!TakeStreamBytes(slot, data, bytes)) {
            slot->overflow = true;
            return 0;
        }
        return bytes;
    }
    if (slot->received + bytes > slot->request.length) {
        slot->overflow = true;
        return 0; // aborts the transfer
    }
    std::memcpy(slot->buffer.data() + slot->received, data, bytes);
    slot->received += static_cast<uint32_t>(bytes);
    slot->receivedTotal += bytes;
    return bytes;
}

// "Retry-After: <seconds>" or "Retry-After: <HTTP date>".
static size_t ReadHeader(char* data, size_t size, size_t n, void* user)
{
    auto* slot = static_cast<PieceFetcher::Slot*>(user);
    size_t bytes = size * n;
    static const char kName[] = "retry-after:";
    const size_t nameLength = sizeof kName - 1;
    if (bytes > nameLength && bytes < 200 && curl_strnequal(data, kName, nameLength)) {
        std::string value(data + nameLength, bytes - nameLength);
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
            value.pop_back();
        value.erase(0, value.find_first_not_of(' '));
        constexpr long kMaxSeconds = INT_MAX / 1000;
        long seconds = -1;
        if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos) {
            seconds = value.size() > 7 ? kMaxSeconds : std::atol(value.c_str());
        } else if (!value.empty()) {
            time_t at = curl_getdate(value.c_str(), nullptr);
            time_t now = std::time(nullptr);
            if (at > 0)
                seconds = at <= now ? 0 : (at - now > kMaxSeconds ? kMaxSeconds : static_cast<long>(at - now));
        }
        if (seconds >= 0)
            slot->retryAfterMs = static_cast<int>(seconds > kMaxSeconds ? kMaxSeconds * 1000 : seconds * 1000);
    }
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

PieceFetcher::Slot* PieceFetcher::IdleSlot()
{
    for (Slot* s : slots_)
        if (!s->busy) {
            s->paused = false;
            s->overflow = false;
            s->statusChecked = false;
            s->rangeIgnored = false;
            s->stream = false;
            s->errorBody = false;
            s->errorBytes = 0;
            s->transferBytes = 0;
            s->retryAfterMs = -1;
            s->received = 0;
            s->curlError[0] = '\0';
            return s;
        }
    return nullptr;
}

// Options of every transfer on `slot`.
static void ApplyTransferOptions(CURL* h, PieceFetcher::Slot* slot, const std::string& url)
{
    curl_easy_reset(h);
    ApplyCommonOptions(h, url);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, slot);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, slot);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, slot->curlError);
    curl_easy_setopt(h, CURLOPT_PRIVATE, slot);
}

uint64_t PieceFetcher::StartStream(StreamRequest request)
{
    Slot* slot = IdleSlot();
    if (!slot || request.pieceSize == 0)
        return 0;
    slot->stream = true;
    slot->streamRequest = std::move(request);
    slot->streamIndex = 0;
    slot->ready.clear();
    slot->buffer.clear();
    slot->request = PieceRequest();
    CURL* h = slot->easy;
    ApplyTransferOptions(h, slot, slot->streamRequest.url);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, limiter_.Rate() ? kLimitedBufferBytes : kUnlimitedBufferBytes);
    if (curl_multi_add_handle(multi_, h) != CURLM_OK)
        return 0;
    slot->busy = true;
    slot->id = nextId_++;
    return slot->id;
}

void PieceFetcher::Progress(std::vector<TransferBytes>* out) const
{
    for (const Slot* s : slots_)
        if (s->busy)
            out->push_back({ s->id, s->transferBytes });
}

void PieceFetcher::Drop(uint64_t transfer)
{
    for (Slot* s : slots_)
        if (s->busy && s->id == transfer)
            Finish(*s, CURLE_OPERATION_TIMEDOUT, "too slow, dropped", &dropped_);
}

uint64_t PieceFetcher::Start(const PieceRequest& request, std::vector<uint8_t> buffer)
{
    Slot* slot = IdleSlot();
    if (!slot)
        return 0;
    slot->busy = true;
    slot->request = request;
    slot->buffer = std::move(buffer);
    if (slot->buffer.size() < request.length)
        slot->buffer.resize(request.length);
    CURL* h = slot->easy;
    ApplyTransferOptions(h, slot, request.url);
    char range[64];
    std::snprintf(range, sizeof range, "%llu-%llu", static_cast<unsigned long long>(request.offset),
        static_cast<unsigned long long>(request.offset + request.length - 1));
    curl_easy_setopt(h, CURLOPT_RANGE, range);
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
        return 0;
    }
    slot->id = nextId_++;
    return slot->id;
}

void PieceFetcher::FinishStream(
    Slot& s, FetchCause cause, const std::string& error, long status, std::vector<FetchDone>* done)
{
    for (FetchDone& d : s.ready)
        done->push_back(std::move(d));
    s.ready.clear();
    // Wanted pieces the stream never reached go back to the engine; the
    // first carries the failure.
    const StreamRequest& r = s.streamRequest;
    bool first = true;
    for (uint32_t i = 0; i < r.wanted.size(); ++i) {
        if (!r.wanted[i])
            continue;
        FetchDone d;
        d.transfer = s.id;
        d.piece = r.firstPiece + i;
        d.error = error.empty() ? "not in the stream" : error;
        d.cause = cause == FetchCause::None ? FetchCause::ShortBody : cause;
        d.httpStatus = status;
        d.retryAfterMs = s.retryAfterMs;
        d.streamTail = !first;
        first = false;
        done->push_back(std::move(d));
    }
    s.buffer.clear();
    s.busy = false;
    s.paused = false;
    s.stream = false;
}

// What ended a transfer that did not deliver.
static FetchCause CauseOf(int curlCode, long status, bool statusOk)
{
    if (curlCode == CURLE_OPERATION_TIMEDOUT)
        return FetchCause::Timeout;
    if (curlCode != CURLE_OK && status == 0)
        return FetchCause::NoConnection;
    if (!statusOk)
        return FetchCause::HttpStatus;
    return FetchCause::ShortBody;
}

void PieceFetcher::Finish(Slot& s, int curlCode, const std::string& curlError, std::vector<FetchDone>* done)
{
    curl_multi_remove_handle(multi_, s.easy);
    long status = 0;
    curl_easy_getinfo(s.easy, CURLINFO_RESPONSE_CODE, &status);
    const bool transferOk = curlCode == CURLE_OK;
    if (s.stream) {
        const StreamRequest& r = s.streamRequest;
        bool whole = uint64_t(s.streamIndex) * r.pieceSize >= r.fileSize;
        std::string error;
        FetchCause cause = FetchCause::None;
        if (s.overflow) {
            error = "server sent more than the whole file";
            cause = FetchCause::ShortBody;
        } else if (!transferOk || status != 200) {
            error = !transferOk ? curlError : "HTTP " + std::to_string(status) + " to a request for the whole file";
            cause = CauseOf(curlCode, status, status == 200);
        } else if (!whole) {
            error = "whole file ended early";
            cause = FetchCause::ShortBody;
        }
        FinishStream(s, cause, error, status, done);
        return;
    }
    FetchDone d;
    d.transfer = s.id;
    d.piece = s.request.piece;
    d.httpStatus = status;
    d.retryAfterMs = s.retryAfterMs;
    d.rangeIgnored = s.rangeIgnored;
    bool statusOk = status == 206 || (status == 200 && s.request.offset == 0 && s.request.length == s.request.fileSize);
    d.ok = transferOk && statusOk && !s.overflow && s.received == s.request.length;
    if (!d.ok) {
        d.cause = s.overflow ? FetchCause::ShortBody : CauseOf(curlCode, status, statusOk);
        if (s.rangeIgnored)
            d.error = "server ignores Range (HTTP 200 with the whole file)";
        else if (s.overflow)
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

void PieceFetcher::Pump(int waitMs, std::vector<FetchDone>* done, size_t streamRoom)
{
    for (FetchDone& d : dropped_)
        done->push_back(std::move(d));
    dropped_.clear();
    // Finished stream pieces the engine has room for; a stream that had to
    // pause for lack of room goes on below.
    for (Slot* s : slots_) {
        size_t i = 0;
        for (; i < s->ready.size() && streamRoom > 0; ++i, --streamRoom)
            done->push_back(std::move(s->ready[i]));
        s->ready.erase(s->ready.begin(), s->ready.begin() + static_cast<std::ptrdiff_t>(i));
    }
    uint64_t now = NowMicros();
    bool anyPaused = false;
    if (limiter_.MayReceive(now)) {
        // Resuming delivers the held data at once, so the first resumed
        // slot may take all tokens; start with a different slot each time
        // so no connection starves.
        size_t n = slots_.size();
        for (size_t i = 0; i < n; ++i) {
            Slot* s = slots_[(resumeFrom_ + i) % n];
            if (s->busy && s->paused && s->ready.size() < kStreamAhead) {
                s->paused = false;
                curl_easy_pause(s->easy, CURLPAUSE_CONT);
            }
        }
        resumeFrom_ = (resumeFrom_ + 1) % (n ? n : 1);
    }
    for (Slot* s : slots_)
        anyPaused = anyPaused || (s->busy && s->paused && s->ready.size() < kStreamAhead);
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
        Finish(*slot, rc, err, done);
    }
}

void PieceFetcher::CancelAll(std::vector<FetchDone>* done)
{
    for (FetchDone& d : dropped_)
        done->push_back(std::move(d));
    dropped_.clear();
    size_t from = done->size();
    for (Slot* s : slots_)
        if (s->busy)
            Finish(*s, CURLE_ABORTED_BY_CALLBACK, "cancelled", done);
    for (size_t i = from; i < done->size(); ++i)
        (*done)[i].cause = FetchCause::Cancelled;
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
