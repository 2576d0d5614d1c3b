#include "core/PeerServer.h"

#include "core/PeerDiscovery.h"
#include "platform/Socket.h"

#include <microhttpd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace zdl::core {

namespace {

    // At most this many connections whatever "P2PUploadListSize" says: each
    // has a thread of kThreadStackBytes, which a 32-bit core must reserve.
    constexpr int kMaxPeerConnections = 256;
    constexpr size_t kThreadStackBytes = 256u << 10;
    constexpr size_t kConnectionMemoryBytes = 32u << 10;
    constexpr int kListenBacklog = 16;
    constexpr uint64_t kMeterBucketMs = 250;
    constexpr uint64_t kMeterBuckets = 8; // two seconds
    constexpr size_t kMaxRangeDigits = 19; // below 2^63
    constexpr uint64_t kMinLimitedRead = 1024;

    uint64_t NowMicros()
    {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
    }

    enum class RangeKind { None, Satisfiable, Malformed, Unsatisfiable };

    bool ParseNumber(const std::string& text, uint64_t* value)
    {
        if (text.empty() || text.size() > kMaxRangeDigits)
            return false;
        uint64_t v = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + static_cast<uint64_t>(c - '0');
        }
        *value = v;
        return true;
    }

    // One byte range of a file of `size` bytes: "bytes=a-b", "bytes=a-" or
    // "bytes=-n" (the last n bytes), as [*first, *last].
    RangeKind ParseRange(const char* header, uint64_t size, uint64_t* first, uint64_t* last)
    {
        if (header == nullptr)
            return RangeKind::None;
        std::string spec(header);
        const std::string unit = "bytes=";
        if (spec.compare(0, unit.size(), unit) != 0)
            return RangeKind::Malformed;
        spec.erase(0, unit.size());
        size_t dash = spec.find('-');
        if (dash == std::string::npos)
            return RangeKind::Malformed;
        std::string from = spec.substr(0, dash);
        std::string to = spec.substr(dash + 1);
        uint64_t a = 0;
        uint64_t b = 0;
        if (from.empty()) {
            if (!ParseNumber(to, &b))
                return RangeKind::Malformed;
            if (b == 0 || size == 0)
                return RangeKind::Unsatisfiable;
            *first = size - std::min(b, size);
            *last = size - 1;
            return RangeKind::Satisfiable;
        }
        if (!ParseNumber(from, &a) || (!to.empty() && !ParseNumber(to, &b)))
            return RangeKind::Malformed;
        if (!to.empty() && b < a)
            return RangeKind::Malformed;
        if (a >= size)
            return RangeKind::Unsatisfiable;
        *first = a;
        *last = to.empty() ? size - 1 : std::min(b, size - 1);
        return RangeKind::Satisfiable;
    }

    MHD_Result Reply(MHD_Connection* c, unsigned status, const char* header = nullptr, const char* value = nullptr)
    {
        MHD_Response* r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (r == nullptr)
            return MHD_NO;
        if (header != nullptr)
            MHD_add_response_header(r, header, value);
        MHD_Result result = MHD_queue_response(c, status, r);
        MHD_destroy_response(r);
        return result;
    }

} // namespace

struct PeerServer::Transfer {
    PeerServer* server;
    uint32_t file;
    uint64_t first; // file offset of the answer's first byte
    uint64_t length;
};

struct PeerServer::Glue {
    static MHD_Result OnRequest(
        void* self, MHD_Connection* c, const char* url, const char* method, const char*, const char*, size_t*, void**)
    {
        return static_cast<MHD_Result>(static_cast<PeerServer*>(self)->Answer(c, url, method));
    }

    static ssize_t OnRead(void* transfer, uint64_t pos, char* buf, size_t max)
    {
        auto* t = static_cast<Transfer*>(transfer);
        PeerServer& s = *t->server;
        if (pos >= t->length)
            return MHD_CONTENT_READER_END_OF_STREAM;
        if (!s.WaitForRate())
            return MHD_CONTENT_READER_END_WITH_ERROR;
        const DescribedFile& f = s.desc_.files[t->file];
        uint64_t at = t->first + pos;
        uint32_t piece = f.firstPiece + static_cast<uint32_t>(at / s.desc_.pieceSize);
        uint32_t inPiece = static_cast<uint32_t>(at % s.desc_.pieceSize);
        uint64_t n = std::min<uint64_t>({ max, t->length - pos, kPeerReadChunk, s.desc_.pieceSize - inPiece });
        // Under a low limit, small reads (a twentieth of a second's worth)
        // keep the rate even over any second instead of in chunk-sized steps.
        if (uint64_t rate = s.limiter_.Rate())
            n = std::min(n, std::max<uint64_t>(kMinLimitedRead, rate / 20));
        if (!s.pieces_.ReadVerified(piece, inPiece, static_cast<uint32_t>(n), reinterpret_cast<uint8_t*>(buf)))
            return MHD_CONTENT_READER_END_WITH_ERROR;
        s.limiter_.Consume(n, NowMicros());
        s.CountSent(n);
        return static_cast<ssize_t>(n);
    }

    static void OnTransferEnd(void* transfer)
    {
        auto* t = static_cast<Transfer*>(transfer);
        t->server->ReleaseUploadSlot();
        delete t;
    }

    static MHD_Result OnAccept(void*, const sockaddr* addr, socklen_t)
    {
        uint32_t from = 0;
        return Ipv4OfSocketAddress(addr, &from) && IsLocalNetworkAddress(from) ? MHD_YES : MHD_NO;
    }

    // Hands the path over as it came: it is compared, still encoded, with
    // the addresses of the file table.
    static size_t KeepEscaped(void*, MHD_Connection*, char* s) { return std::strlen(s); }
};

PeerServer::PeerServer(const DownloadDescription& desc, const Sha256Digest& release, PeerPieceSource& pieces)
    : desc_(desc)
    , pieces_(pieces)
{
    for (uint32_t i = 0; i < desc.files.size(); ++i)
        paths_.emplace(PathOf(desc, release, i), i);
}

PeerServer::~PeerServer()
{
    Stop();
}

std::string PeerServer::PathOf(const DownloadDescription& desc, const Sha256Digest& release, uint32_t file)
{
    return FileAddress("/" + ToHex(release), desc, file);
}

bool PeerServer::Start(const PeerServerSettings& settings, std::string* error)
{
    Stop();
    // Never every interface, never a public address: the pieces are for
    // the local network only.
    if (!IsLocalNetworkAddress(settings.address)) {
        *error = "peer server: not a loopback, private or link-local address";
        return false;
    }
    SocketHandle s = CreateTcpSocket();
    if (s == kInvalidSocket || !BindIpv4(s, settings.address, settings.port) || !ListenOn(s, kListenBacklog)
        || !SetNonBlocking(s)) {
        *error = "peer server: cannot listen on port " + std::to_string(settings.port) + " (error "
            + std::to_string(LastSocketError()) + ")";
        CloseSocket(s);
        return false;
    }
    port_ = LocalPort(s);
    limiter_.SetRate(settings.rateLimit);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        freeSlots_ = std::max(1, settings.maxUploads);
        meterStartMs_ = NowMicros() / 1000;
        meterLastBucket_ = meterStartMs_ / kMeterBucketMs;
        std::fill(std::begin(meterBuckets_), std::end(meterBuckets_), 0);
    }
    unsigned connections = static_cast<unsigned>(std::clamp(settings.maxConnections, 1, kMaxPeerConnections));
    daemon_ = MHD_start_daemon(MHD_USE_THREAD_PER_CONNECTION | MHD_USE_AUTO_INTERNAL_THREAD, 0, &Glue::OnAccept, this,
        &Glue::OnRequest, this, MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(s), MHD_OPTION_CONNECTION_LIMIT,
        connections, MHD_OPTION_CONNECTION_TIMEOUT, std::max(1u, settings.idleTimeoutS),
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemoryBytes, MHD_OPTION_THREAD_STACK_SIZE, kThreadStackBytes,
        MHD_OPTION_UNESCAPE_CALLBACK, &Glue::KeepEscaped, nullptr, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        *error = "peer server: the HTTP server did not start";
        CloseSocket(s);
        port_ = 0;
        return false;
    }
    return true;
}

void PeerServer::Stop()
{
    if (daemon_ == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    MHD_stop_daemon(daemon_); // closes the listening socket too
    daemon_ = nullptr;
    port_ = 0;
}

int PeerServer::Answer(MHD_Connection* c, const char* url, const char* method)
{
    bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!head && std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
        return Reply(c, MHD_HTTP_METHOD_NOT_ALLOWED, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    auto it = paths_.find(url);
    if (it == paths_.end() || MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, nullptr, nullptr) != 0)
        return Reply(c, MHD_HTTP_NOT_FOUND);
    uint32_t file = it->second;
    uint64_t size = desc_.files[file].size;
    uint64_t first = 0;
    uint64_t last = size == 0 ? 0 : size - 1;
    RangeKind range
        = ParseRange(MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_RANGE), size, &first, &last);
    if (range == RangeKind::Malformed)
        return Reply(c, MHD_HTTP_BAD_REQUEST);
    if (range == RangeKind::Unsatisfiable)
        return Reply(c, MHD_HTTP_RANGE_NOT_SATISFIABLE, MHD_HTTP_HEADER_CONTENT_RANGE,
            ("bytes */" + std::to_string(size)).c_str());
    uint64_t length = size == 0 ? 0 : last - first + 1;
    if (length > 0) {
        uint32_t base = desc_.files[file].firstPiece;
        for (uint64_t p = first / desc_.pieceSize; p <= last / desc_.pieceSize; ++p) {
            const uint32_t piece = base + static_cast<uint32_t>(p);
            if (!pieces_.IsVerified(piece))
                return pieces_.IsComing(piece) ? Reply(c, MHD_HTTP_NOT_FOUND, MHD_HTTP_HEADER_RETRY_AFTER, "1")
                                               : Reply(c, MHD_HTTP_NOT_FOUND);
        }
    }
    if (!TakeUploadSlot())
        return Reply(c, MHD_HTTP_SERVICE_UNAVAILABLE, MHD_HTTP_HEADER_RETRY_AFTER, "5");
    auto* t = new Transfer { this, file, first, length };
    MHD_Response* r = MHD_create_response_from_callback(length, kPeerReadChunk, &Glue::OnRead, t, &Glue::OnTransferEnd);
    if (r == nullptr) {
        Glue::OnTransferEnd(t);
        return MHD_NO;
    }
    MHD_add_response_header(r, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, "application/octet-stream");
    unsigned status = MHD_HTTP_OK;
    if (range == RangeKind::Satisfiable) {
        status = MHD_HTTP_PARTIAL_CONTENT;
        std::string cr = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size);
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_RANGE, cr.c_str());
    }
    MHD_Result result = MHD_queue_response(c, status, r);
    MHD_destroy_response(r); // the connection holds it until sent
    return result;
}

bool PeerServer::TakeUploadSlot()
{
    std::unique_lock<std::mutex> lock(mutex_);
    bool got = changed_.wait_for(
        lock, std::chrono::milliseconds(kUploadSlotWaitMs), [this] { return stopping_ || freeSlots_ > 0; });
    if (!got || stopping_)
        return false;
    --freeSlots_;
    return true;
}

void PeerServer::ReleaseUploadSlot()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++freeSlots_;
    }
    changed_.notify_all();
}

bool PeerServer::WaitForRate()
{
    for (;;) {
        uint64_t now = NowMicros();
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_)
            return false;
        if (limiter_.MayReceive(now))
            return true;
        uint64_t wait = std::min<uint64_t>(limiter_.WaitMicros(now), 100000);
        changed_.wait_for(lock, std::chrono::microseconds(wait), [this] { return stopping_; });
    }
}

void PeerServer::CountSent(uint64_t bytes)
{
    bytesSent_ += bytes;
    uint64_t bucket = NowMicros() / 1000 / kMeterBucketMs;
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint64_t b = meterLastBucket_ + 1; b <= bucket && b <= meterLastBucket_ + kMeterBuckets; ++b)
        meterBuckets_[b % kMeterBuckets] = 0;
    meterLastBucket_ = std::max(meterLastBucket_, bucket);
    meterBuckets_[bucket % kMeterBuckets] += bytes;
}

double PeerServer::UploadRate()
{
    CountSent(0); // clears the buckets that went by without traffic
    uint64_t nowMs = NowMicros() / 1000;
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t sum = 0;
    for (uint64_t b : meterBuckets_)
        sum += b;
    // The window: the current bucket so far and the seven before it, or
    // less while the server is younger than that.
    uint64_t windowStart = std::max(meterStartMs_, (meterLastBucket_ + 1 - kMeterBuckets) * kMeterBucketMs);
    uint64_t spanMs = std::max<uint64_t>(nowMs - windowStart, 1);
    return static_cast<double>(sum) * 1000.0 / static_cast<double>(spanMs);
}

} // namespace zdl::core
