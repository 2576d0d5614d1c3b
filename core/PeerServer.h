// The core's server for peers: other cores of the same release on the local
// network fetch the pieces this core has verified, over plain HTTP with
// Range requests (libmicrohttpd, one thread per connection).
//
// Addresses: a peer asks for
//   GET /<release digest, 64 lower-case hex digits>/<root>/<path>
// the path exactly as FileAddress writes it (FileAddress with the base
// "http://<peer>:<port>/<digest>"), so a peer is addressed like a mirror.
// The server looks the path up in a table made from the description; it
// never asks the file system. Anything that is not exactly one of those
// addresses ("..", "%2F", "//", an absolute path, another release's digest,
// a query with arguments) is "404 Not Found".
//
// Answers: "206 Partial Content" for one range "bytes=a-b", "bytes=a-" or
// "bytes=-n"; "200 OK" with the whole file when there is no Range; "404 Not
// Found" also when the range touches a piece this core has not verified
// (a peer holds only some pieces), with "Retry-After: 1" when this core is
// fetching such a piece from a server right now (the asking peer had better
// wait for it than fetch it from the server too); "416" for a
// range outside the file; "400" for a malformed or multiple range; "405" for
// methods other than GET and HEAD; "503" with "Retry-After" when no upload
// slot frees in time.
//
// Bounds: at most `maxConnections` open connections (the "list", at most
// 256; further ones wait in the system's listen queue or are closed at
// once), and `maxUploads` answers sending data at once (the others wait for
// a slot, up to kUploadSlotWaitMs), so the server uses at most
// maxConnections + 1 threads and about 64 KiB per connection besides their
// stacks. A connection idle for `idleTimeoutS` is closed. The upload rate
// is shared by all connections; 0 is unlimited. Connections are taken only
// from loopback, private and link-local addresses.
//
// Threads: Start, Stop and the destructor on one thread (the engine's);
// SetRateLimit, UploadRate and the counters from any thread. The piece
// source is called from the connection threads.
#pragma once

#include "core/DownloadDescription.h"
#include "core/PeerPieceSource.h"
#include "core/RateLimiter.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

struct MHD_Daemon;
struct MHD_Connection;

namespace zdl::core {

// How long a request waits for an upload slot before "503".
constexpr int kUploadSlotWaitMs = 10000;
// A connection with no traffic this long is closed (the default).
constexpr unsigned kPeerConnectionTimeoutS = 15;
// The most bytes one read of the piece source fetches.
constexpr uint32_t kPeerReadChunk = 16u << 10;

struct PeerServerSettings {
    // The address to listen on (host order): loopback, private or
    // link-local (the machine's address on the local network); Start
    // refuses any other, and 0.0.0.0 (every interface).
    uint32_t address = 0x7f000001;
    uint16_t port = 0; // 0: the system picks one
    int maxConnections = 12; // "P2PUploadListSize"
    int maxUploads = 6; // "P2PUploadThread"
    uint64_t rateLimit = 0; // bytes per second, 0: unlimited ("UploadLimit")
    unsigned idleTimeoutS = kPeerConnectionTimeoutS; // at least 1
};

class PeerServer {
public:
    // `desc` and `pieces` must outlive the server; `release` is the digest of
    // the description's bytes (the digest file's).
    PeerServer(const DownloadDescription& desc, const Sha256Digest& release, PeerPieceSource& pieces);
    ~PeerServer();
    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;

    // Listens and serves; false with `error` when the address cannot be
    // bound or the server not started.
    bool Start(const PeerServerSettings& settings, std::string* error);
    // Closes every connection and waits for the connection threads.
    void Stop();

    uint16_t Port() const { return port_; }
    void SetRateLimit(uint64_t bytesPerSecond) { limiter_.SetRate(bytesPerSecond); }
    // Bytes per second sent over the last two seconds ("UploadBandWidth").
    double UploadRate();
    uint64_t BytesSent() const { return bytesSent_; }

    // The path a peer asks for file `file`: "/<digest hex>/<root>/<path>".
    static std::string PathOf(const DownloadDescription& desc, const Sha256Digest& release, uint32_t file);

private:
    struct Transfer;
    struct Glue; // the library's callbacks
    int Answer(MHD_Connection* c, const char* url, const char* method);
    bool TakeUploadSlot();
    void ReleaseUploadSlot();
    bool WaitForRate();
    void CountSent(uint64_t bytes);

    const DownloadDescription& desc_;
    PeerPieceSource& pieces_; // not owned
    std::unordered_map<std::string, uint32_t> paths_; // request path -> file
    MHD_Daemon* daemon_ = nullptr; // owned
    uint16_t port_ = 0;
    RateLimiter limiter_;

    std::mutex mutex_; // guards the fields below
    std::condition_variable changed_;
    bool stopping_ = false;
    int freeSlots_ = 0;
    uint64_t meterStartMs_ = 0;
    uint64_t meterBuckets_[8] = {}; // bytes per quarter second, a ring
    uint64_t meterLastBucket_ = 0;

    std::atomic<uint64_t> bytesSent_ { 0 };
};

} // namespace zdl::core
