// The peer server over real sockets on 127.0.0.1: what it answers to the
// addresses and ranges peers (or hostile programs) ask for, and the bounds
// it keeps on connections, uploads and rate.
#include "core/PeerServer.h"

#include "platform/FileSystem.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

using namespace zdl;
using namespace zdl::core;

namespace {

constexpr uint32_t kPiece = 64u << 10;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

uint8_t ByteAt(uint32_t file, uint64_t offset)
{
    return static_cast<uint8_t>((offset * 7 + (offset >> 9) + file * 31) & 0xff);
}

// client/data/a.bin: 5 pieces and 100 bytes; client/data/my file.bin;
// client/big.bin: 48 pieces for the rate.
DownloadDescription MakeDescription()
{
    DownloadDescription d;
    d.root = "client";
    d.serverNames = ServerNames::Utf8;
    d.pieceSize = kPiece;
    auto add = [&d](const char* path, uint64_t size) {
        DescribedFile f;
        f.path = path;
        f.size = size;
        d.files.push_back(f);
        d.totalSize += size;
    };
    add("data/a.bin", 5 * kPiece + 100);
    add("data/my file.bin", 1000);
    add("big.bin", 48 * kPiece);
    uint32_t pieces = 0;
    for (const auto& f : d.files)
        pieces += PiecesOf(f.size, kPiece);
    d.pieceHashes.resize(pieces);
    EXPECT_TRUE(d.Layout());
    return d;
}

// Every piece verified unless taken away; a read of an unverified piece is
// a fault of the server.
class FakePieces : public PeerPieceSource {
public:
    explicit FakePieces(const DownloadDescription& d)
        : desc_(d)
    {
    }
    void Unverify(uint32_t piece)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        missing_.insert(piece);
    }
    bool IsVerified(uint32_t piece) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return missing_.count(piece) == 0;
    }
    bool IsComing(uint32_t piece) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return coming_.count(piece) != 0;
    }
    void Coming(uint32_t piece)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        coming_.insert(piece);
    }
    bool ReadVerified(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* out) override
    {
        PieceLocation loc = desc_.Locate(piece);
        if (!IsVerified(piece) || offset + length > loc.length) {
            ++badReads;
            return false;
        }
        for (uint32_t i = 0; i < length; ++i)
            out[i] = ByteAt(loc.file, loc.offset + offset + i);
        return true;
    }
    std::atomic<int> badReads { 0 };

private:
    const DownloadDescription& desc_;
    std::mutex mutex_;
    std::set<uint32_t> missing_;
    std::set<uint32_t> coming_;
};

struct Answer {
    int status = 0; // 0: no answer (connection closed or timed out)
    std::string head;
    std::string body;
    std::string Header(const std::string& name) const
    {
        size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos)
            return "";
        at += name.size() + 4;
        return head.substr(at, head.find("\r\n", at) - at);
    }
};

SocketHandle Connect(uint16_t port)
{
    SocketHandle s = CreateTcpSocket();
    EXPECT_TRUE(ConnectLoopback(s, port));
    return s;
}

// Reads an answer until the server closes, at most `timeoutMs` of silence.
Answer Read(SocketHandle s, int timeoutMs = 5000)
{
    std::string all;
    char buf[65536];
    while (IsReadable(s, timeoutMs)) {
        int n = ReceiveSome(s, buf, sizeof buf);
        if (n <= 0)
            break;
        all.append(buf, static_cast<size_t>(n));
    }
    Answer a;
    size_t end = all.find("\r\n\r\n");
    if (all.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos)
        return a;
    a.status = std::stoi(all.substr(9, 3));
    a.head = all.substr(0, end + 2);
    a.body = all.substr(end + 4);
    return a;
}

std::string Request(const std::string& target, const std::string& range = "", const char* method = "GET")
{
    std::string r = std::string(method) + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!range.empty())
        r += "Range: " + range + "\r\n";
    return r + "\r\n";
}

Answer Get(uint16_t port, const std::string& target, const std::string& range = "", const char* method = "GET")
{
    SocketHandle s = Connect(port);
    std::string r = Request(target, range, method);
    EXPECT_TRUE(SendAll(s, r.data(), r.size()));
    Answer a = Read(s);
    CloseSocket(s);
    return a;
}

// Asks until the answer is 200, for up to `seconds`: a connection past the
// bound is closed at once, or waits until the server takes it, while the
// threads of connections that just ended still count.
Answer GetWhenServed(uint16_t port, const std::string& target, double seconds)
{
    Clock::time_point start = Clock::now();
    Answer a;
    while (a.status != 200 && SecondsSince(start) < seconds) {
        a = Get(port, target);
        if (a.status != 200)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return a;
}

std::string Expected(uint32_t file, uint64_t first, uint64_t last)
{
    std::string s;
    for (uint64_t i = first; i <= last; ++i)
        s += static_cast<char>(ByteAt(file, i));
    return s;
}

// The process's threads as Linux counts them; -1 elsewhere (Wine), where
// the flood test checks the answers only.
int ThreadCount()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 8, "Threads:") == 0)
            return std::stoi(line.substr(8));
    return -1;
}

class PeerServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(StartSocketLayer()); }
    void StartServer(PeerServerSettings settings = {})
    {
        std::string error;
        ASSERT_TRUE(server_.Start(settings, &error)) << error;
        ASSERT_NE(server_.Port(), 0);
    }
    std::string PathOf(uint32_t file) { return PeerServer::PathOf(desc_, release_, file); }

    DownloadDescription desc_ = MakeDescription();
    Sha256Digest release_ = Sha256::Of("release", 7);
    FakePieces pieces_ { desc_ };
    PeerServer server_ { desc_, release_, pieces_ };
};

TEST_F(PeerServerTest, ServesOnlyTheExactAddressesOfTheFileTable)
{
    StartServer();
    const std::string hex = ToHex(release_);
    std::string other = hex;
    other[0] = 'c';
    std::string upper = hex;
    upper[63] = 'B';
    EXPECT_EQ(PathOf(0), "/" + hex + "/client/data/a.bin");
    EXPECT_EQ(PathOf(1), "/" + hex + "/client/data/my%20file.bin");
    EXPECT_EQ(Get(server_.Port(), PathOf(0)).status, 200);
    Answer named = Get(server_.Port(), PathOf(1));
    EXPECT_EQ(named.status, 200);
    EXPECT_TRUE(named.body == Expected(1, 0, 999));

    const std::string refused[] = {
        "/" + hex + "/client/data/../data/a.bin",
        "/" + hex + "/client/./data/a.bin",
        "/" + hex + "/client%2Fdata%2Fa.bin",
        "/" + hex + "/client/data%2fa.bin",
        "/" + hex + "/client/data/%61.bin", // "a" encoded
        "/" + hex + "//client/data/a.bin",
        "//" + hex + "/client/data/a.bin",
        "/" + hex + "/client/data/a.bin/",
        "/" + hex + "/client/data/a.bin?x=1",
        "/" + hex + "/client/data/a.bin%00",
        "/" + hex + "/client/data/c.bin", // not in the table
        "/" + hex + "/client/data/",
        "/" + hex + "/client",
        "/" + hex + "/",
        "/" + hex,
        "/" + other + "/client/data/a.bin", // another release
        "/" + upper + "/client/data/a.bin",
        "/client/data/a.bin",
        "/etc/passwd",
        "/" + hex + "/../../etc/passwd",
        "/" + hex + "/%2e%2e/%2e%2e/etc/passwd",
        "/" + hex + "/..%5c..%5cwindows%5cwin.ini",
        "/" + hex + "/C:/windows/win.ini",
        "/",
    };
    for (const auto& target : refused)
        EXPECT_EQ(Get(server_.Port(), target).status, 404) << target;
    EXPECT_EQ(Get(server_.Port(), PathOf(0), "", "POST").status, 405);
    EXPECT_EQ(Get(server_.Port(), PathOf(0), "", "PUT").status, 405);
    EXPECT_EQ(pieces_.badReads, 0);
}

TEST_F(PeerServerTest, HonoursRangesExactly)
{
    StartServer();
    const uint64_t size = 5 * kPiece + 100;
    struct Case {
        const char* range;
        int status;
        uint64_t first, last; // for 206
    } cases[] = {
        { "bytes=0-0", 206, 0, 0 },
        { "bytes=65530-65545", 206, 65530, 65545 }, // across a piece boundary
        { "bytes=100-", 206, 100, size - 1 },
        { "bytes=-7", 206, size - 7, size - 1 },
        { "bytes=-999999999", 206, 0, size - 1 },
        { "bytes=327700-999999999", 206, 327700, size - 1 },
        { "bytes=327779-327779", 206, size - 1, size - 1 },
        { "bytes=327780-", 416, 0, 0 }, // starts at the end
        { "bytes=-0", 416, 0, 0 },
        { "bytes=5-4", 400, 0, 0 },
        { "bytes=0-1,3-4", 400, 0, 0 },
        { "bytes=abc", 400, 0, 0 },
        { "bytes= 0-1", 400, 0, 0 },
        { "items=0-1", 400, 0, 0 },
        { "bytes=-", 400, 0, 0 },
        { "bytes=99999999999999999999-", 400, 0, 0 },
    };
    for (const Case& c : cases) {
        Answer a = Get(server_.Port(), PathOf(0), c.range);
        EXPECT_EQ(a.status, c.status) << c.range;
        if (c.status == 206 && a.status == 206) {
            EXPECT_TRUE(a.body == Expected(0, c.first, c.last)) << c.range;
            EXPECT_EQ(a.Header("Content-Range"),
                "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/" + std::to_string(size))
                << c.range;
        }
        if (c.status == 416) {
            EXPECT_EQ(a.Header("Content-Range"), "bytes */" + std::to_string(size)) << c.range;
        }
    }
    Answer whole = Get(server_.Port(), PathOf(0));
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == Expected(0, 0, size - 1));
    Answer head = Get(server_.Port(), PathOf(0), "bytes=10-19", "HEAD");
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.Header("Content-Length"), "10");
    EXPECT_EQ(head.body, "");
}

TEST_F(PeerServerTest, RefusesRangesThatTouchUnverifiedPieces)
{
    pieces_.Unverify(2); // a.bin bytes [131072, 196607]
    StartServer();
    struct Case {
        const char* range;
        int status;
    } cases[] = {
        { "bytes=0-131071", 206 }, // pieces 0 and 1, up to the last byte
        { "bytes=196608-196700", 206 }, // piece 3 from its first byte
        { "bytes=131071-131072", 404 }, // one byte into piece 2
        { "bytes=196607-196608", 404 }, // piece 2's last byte
        { "bytes=150000-150001", 404 }, { "bytes=0-", 404 }, { "bytes=-200000", 404 }, { "", 404 }, // the whole file
    };
    for (const Case& c : cases)
        EXPECT_EQ(Get(server_.Port(), PathOf(0), c.range).status, c.status) << c.range;
    EXPECT_EQ(Get(server_.Port(), PathOf(1)).status, 200); // another file, all verified
    EXPECT_EQ(pieces_.badReads, 0);
    // A piece this core is fetching: still 404, with "come back in a second".
    EXPECT_EQ(Get(server_.Port(), PathOf(0), "bytes=131072-131073").head.find("Retry-After"), std::string::npos);
    pieces_.Coming(2);
    Answer coming = Get(server_.Port(), PathOf(0), "bytes=131072-131073");
    EXPECT_EQ(coming.status, 404);
    EXPECT_NE(coming.head.find("Retry-After: 1\r\n"), std::string::npos) << coming.head;
}

TEST_F(PeerServerTest, UploadSlotsAreTakenInTurn)
{
    // One slot at 512 KiB/s: the second answer starts only when the first,
    // 256 KiB (about half a second), is sent.
    PeerServerSettings s;
    s.maxUploads = 1;
    s.rateLimit = 512 << 10;
    StartServer(s);
    const std::string range = "bytes=0-262143";
    SocketHandle a = Connect(server_.Port());
    std::string ra = Request(PathOf(2), range);
    ASSERT_TRUE(SendAll(a, ra.data(), ra.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SocketHandle b = Connect(server_.Port());
    std::string rb = Request(PathOf(2), range);
    ASSERT_TRUE(SendAll(b, rb.data(), rb.size()));
    EXPECT_FALSE(IsReadable(b, 200)); // waiting for the slot
    Answer first = Read(a);
    Clock::time_point firstDone = Clock::now();
    ASSERT_TRUE(IsReadable(b, 5000));
    EXPECT_LT(SecondsSince(firstDone), 0.2); // the slot passed on at once
    Answer second = Read(b);
    EXPECT_EQ(first.status, 206);
    EXPECT_EQ(second.status, 206);
    EXPECT_TRUE(second.body == Expected(2, 0, 262143));
    CloseSocket(a);
    CloseSocket(b);
}

TEST_F(PeerServerTest, AFloodStaysWithinTheConnectionBound)
{
    PeerServerSettings s;
    s.maxConnections = 4;
    s.maxUploads = 2;
    int before = ThreadCount();
    StartServer(s);
    // Four idle connections hold the list: a fifth is not served.
    std::vector<SocketHandle> idle;
    for (int i = 0; i < 4; ++i)
        idle.push_back(Connect(server_.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    SocketHandle fifth = Connect(server_.Port());
    std::string r = Request(PathOf(1));
    SendAll(fifth, r.data(), r.size());
    EXPECT_NE(Read(fifth, 500).status, 200);
    CloseSocket(fifth);
    for (SocketHandle h : idle)
        CloseSocket(h);

    // Requests at once on as many connections as the listen queue holds
    // besides the bound (a blocking connect past that would wait for the
    // system's retry): the threads never pass the bound.
    std::vector<SocketHandle> flood;
    int most = 0;
    for (int i = 0; i < 16; ++i) {
        SocketHandle h = CreateTcpSocket();
        if (ConnectLoopback(h, server_.Port())) {
            std::string big = Request(PathOf(2));
            SendAll(h, big.data(), big.size());
        }
        flood.push_back(h);
        most = std::max(most, ThreadCount());
    }
    for (int i = 0; i < 20; ++i) {
        most = std::max(most, ThreadCount());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (before > 0) {
        EXPECT_LE(most - before, 4 + 1); // a thread per connection and the listener
    }
    for (SocketHandle h : flood)
        CloseSocket(h);
    // Still serving afterwards.
    Answer after = GetWhenServed(server_.Port(), PathOf(1), 5);
    EXPECT_EQ(after.status, 200);
    EXPECT_TRUE(after.body == Expected(1, 0, 999));
    server_.Stop();
    if (before > 0) {
        EXPECT_EQ(ThreadCount(), before);
    }
}

TEST_F(PeerServerTest, IdleAndOversizedRequestsLoseTheirConnection)
{
    PeerServerSettings s;
    s.maxConnections = 2;
    s.idleTimeoutS = 1;
    StartServer(s);
    // Two connections that never finish their request hold the list...
    SocketHandle idle[2];
    for (SocketHandle& h : idle) {
        h = Connect(server_.Port());
        ASSERT_TRUE(SendAll(h, "GET /", 5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // ...until the idle timeout closes them and the list serves again (a
    // connection past the bound is closed at once or waits to be taken).
    Clock::time_point start = Clock::now();
    EXPECT_EQ(GetWhenServed(server_.Port(), PathOf(1), 5).status, 200);
    EXPECT_GT(SecondsSince(start), 0.5);
    EXPECT_LT(SecondsSince(start), 4.0);
    for (SocketHandle h : idle) {
        EXPECT_TRUE(IsReadable(h, 0));
        char c;
        EXPECT_LE(ReceiveSome(h, &c, 1), 0); // closed
        CloseSocket(h);
    }
    // A header far past the connection's memory is refused, not stored.
    SocketHandle big = Connect(server_.Port());
    std::string r
        = "GET " + PathOf(1) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " + std::string(256 << 10, 'x') + "\r\n\r\n";
    SendAll(big, r.data(), r.size()); // may fail once the server closes
    Answer refused = Read(big);
    EXPECT_NE(refused.status, 200);
    CloseSocket(big);
    EXPECT_EQ(GetWhenServed(server_.Port(), PathOf(1), 3).status, 200);
}

TEST_F(PeerServerTest, HoldsTheUploadRate)
{
    // 1 MiB/s, and a limit low enough that whole read chunks would show as
    // steps in a two-second window.
    for (uint64_t rate : { uint64_t(1) << 20, uint64_t(64) << 10 }) {
        PeerServerSettings s;
        s.rateLimit = rate;
        StartServer(s);
        // Two connections share the limit. Counted: the bytes that arrive
        // from 0.3 s (past the first tenth of a second's burst) to 2.3 s,
        // over the time from the first arrival in that window to the last,
        // so that a stall of this busy machine at an edge does not count.
        SocketHandle c[2];
        for (SocketHandle& h : c) {
            h = Connect(server_.Port());
            std::string r = Request(PathOf(2));
            ASSERT_TRUE(SendAll(h, r.data(), r.size()));
        }
        Clock::time_point start = Clock::now();
        double firstAt = 0;
        double lastAt = 0;
        uint64_t counted = 0;
        double measuredRate = 0;
        double sentRate = 0; // what the server sent over the two seconds before
        std::vector<std::pair<double, uint64_t>> sent; // (time, bytes sent)
        char buf[65536];
        while (SecondsSince(start) < 2.3) {
            sent.emplace_back(SecondsSince(start), server_.BytesSent());
            for (SocketHandle h : c) {
                while (IsReadable(h, 0)) {
                    int n = ReceiveSome(h, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    double at = SecondsSince(start);
                    if (at < 0.3)
                        continue;
                    if (firstAt == 0) {
                        firstAt = at; // the bytes that end the first interval
                        continue;
                    }
                    counted += static_cast<uint64_t>(n);
                    lastAt = at;
                }
            }
            if (measuredRate == 0 && SecondsSince(start) >= 2.2) {
                measuredRate = server_.UploadRate();
                double now = SecondsSince(start);
                uint64_t bytesNow = server_.BytesSent();
                auto from = std::lower_bound(sent.begin(), sent.end(), std::make_pair(now - 2.0, uint64_t(0)));
                sentRate = static_cast<double>(bytesNow - from->second) / (now - from->first);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_GT(lastAt - firstAt, 1.5);
        double received = static_cast<double>(counted) / (lastAt - firstAt);
        EXPECT_NEAR(received, static_cast<double>(rate), 0.04 * static_cast<double>(rate)) << rate;
        // The server's own figure ("UploadBandWidth"), against what it sent
        // over the same two seconds (lower than the limit when this machine
        // is too busy to keep up).
        EXPECT_NEAR(measuredRate, sentRate, 0.06 * sentRate) << rate;
        EXPECT_LE(sentRate, 1.04 * static_cast<double>(rate)) << rate;
        for (SocketHandle h : c)
            CloseSocket(h);
        server_.Stop();
    }
}

TEST(StorePieceSource, ServesVerifiedPiecesFromTheInstallFolder)
{
    ASSERT_TRUE(StartSocketLayer());
    DownloadDescription desc = MakeDescription();
    std::string dir = std::string(ZDL_BUILD_DIR) + "/tests/core/tmp/peer-store";
    FsStatus st;
    ASSERT_TRUE(CreateDirectories(dir, &st));
    PieceStore store(desc, dir);
    bool existed = false;
    ASSERT_TRUE(store.PrepareFile(0, &existed, &st));
    const DescribedFile& f = desc.files[0];
    for (uint32_t p = f.firstPiece; p < f.firstPiece + f.pieceCount; ++p) {
        PieceLocation loc = desc.Locate(p);
        std::vector<uint8_t> bytes(loc.length);
        for (uint32_t i = 0; i < loc.length; ++i)
            bytes[i] = ByteAt(0, loc.offset + i);
        uint32_t failed = 0;
        ASSERT_TRUE(store.WritePiece(p, bytes.data(), &st, &failed));
    }
    // Reads stay inside their piece: the last one is 100 bytes long.
    uint8_t buf[128];
    EXPECT_TRUE(store.ReadPiecePart(5, 50, 50, buf, &st));
    EXPECT_EQ(buf[49], ByteAt(0, 5 * kPiece + 99));
    EXPECT_FALSE(store.ReadPiecePart(5, 50, 51, buf, &st));
    EXPECT_FALSE(store.ReadPiecePart(5, 101, 0, buf, &st));

    StorePieceSource source(store, desc.PieceCount());
    for (uint32_t p : { 0u, 1u, 3u, 4u, 5u })
        source.Mark(p);
    EXPECT_FALSE(source.IsVerified(desc.PieceCount())); // past the end
    Sha256Digest release = Sha256::Of("release", 7);
    PeerServer server(desc, release, source);
    std::string error;
    PeerServerSettings everywhere;
    everywhere.address = 0; // every interface
    EXPECT_FALSE(server.Start(everywhere, &error));
    PeerServerSettings publicAddress;
    publicAddress.address = 0x08080808;
    EXPECT_FALSE(server.Start(publicAddress, &error));
    ASSERT_TRUE(server.Start({}, &error)) << error;
    const std::string path = PeerServer::PathOf(desc, release, 0);
    Answer a = Get(server.Port(), path, "bytes=65000-131071");
    EXPECT_EQ(a.status, 206);
    EXPECT_TRUE(a.body == Expected(0, 65000, 131071));
    EXPECT_EQ(Get(server.Port(), path, "bytes=65000-131072").status, 404);
    source.Mark(2);
    Answer whole = Get(server.Port(), path);
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == Expected(0, 0, f.size - 1));
    source.Unmark(4);
    EXPECT_EQ(Get(server.Port(), path, "bytes=-100").status, 206);
    EXPECT_EQ(Get(server.Port(), path, "bytes=-101").status, 404);
    EXPECT_EQ(server.BytesSent(), (131071 - 65000 + 1) + f.size + 100);
    server.Stop();
    store.CloseAll();
}

} // namespace
