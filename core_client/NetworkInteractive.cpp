#include "core_client/NetworkInteractive.h"

#include "core_client/CrtRandom.h"

#include <atomic>
#include <ctime>

namespace zdl {

static uint32_t CurrentSecond()
{
    return static_cast<uint32_t>(std::time(nullptr));
}

static std::atomic<NetworkInteractive::SeedSource> seedSource { CurrentSecond };

void NetworkInteractive::SetSeedSource(SeedSource source)
{
    seedSource = source ? source : CurrentSecond;
}

NetworkInteractive::NetworkInteractive(uint16_t port)
    : port_(port)
{
}

NetworkInteractive::~NetworkInteractive()
{
    Close();
}

bool NetworkInteractive::Open()
{
    if (port_ != 0)
        return Connect(port_);
    CrtSeed(seedSource.load()());
    return Listen();
}

bool NetworkInteractive::Connect(uint16_t port)
{
    SocketHandle s = CreateTcpSocket();
    if (s == kInvalidSocket)
        return false;
    if (!ConnectLoopback(s, port)) {
        CloseSocket(s);
        return false;
    }
    SetNonBlocking(s);
    connSocket_ = s;
    return true;
}

bool NetworkInteractive::Listen()
{
    SocketHandle s = CreateTcpSocket();
    if (s == kInvalidSocket)
        return false;
    // Only the loopback address: nothing outside this machine may connect
    // first and feed the installer false status.
    uint16_t port = 0;
    bool bound = false;
    for (int attempt = 0; attempt < kMaxBindAttempts && !bound; ++attempt) {
        port = static_cast<uint16_t>(CrtRandom() % kPortRange + kFirstPort);
        bound = BindLoopback(s, port);
    }
    if (!bound || !ListenOn(s, 1)) {
        CloseSocket(s);
        return false;
    }
    listenSocket_ = s;
    port_ = port;
    return true;
}

bool NetworkInteractive::AcceptPending()
{
    if (connSocket_ != kInvalidSocket)
        return true;
    if (listenSocket_ == kInvalidSocket || !IsReadable(listenSocket_))
        return false;
    SocketHandle s = AcceptConnection(listenSocket_);
    if (s == kInvalidSocket)
        return false;
    SetNonBlocking(s);
    connSocket_ = s;
    Flush(); // what was kept for the peer
    return true;
}

void NetworkInteractive::Flush()
{
    while (connSocket_ != kInvalidSocket && !broken_ && !outgoing_.empty()) {
        size_t sent = 0;
        SendResult r = SendSome(connSocket_, outgoing_.data(), outgoing_.size(), &sent);
        if (r == SendResult::kFailed) {
            broken_ = true;
            outgoing_.clear();
        } else if (r == SendResult::kWouldBlock || sent == 0) {
            return; // the system's buffer is full; the rest goes later
        } else {
            outgoing_.erase(0, sent);
        }
    }
}

bool NetworkInteractive::ReceiveLine(std::string& line)
{
    if (!AcceptPending())
        return false;
    Flush();
    return ReceiveChunk(line);
}

// A line already buffered goes out without asking the system; otherwise one
// chunk of at most kReceiveChunk bytes is taken if it is waiting.
bool NetworkInteractive::ReceiveChunk(std::string& line)
{
    if (TakeBufferedLine(line))
        return true;
    if (IsReadable(connSocket_)) {
        char buffer[kReceiveChunk];
        int n = ReceiveSome(connSocket_, buffer, sizeof buffer);
        if (n > 0)
            pending_.append(buffer, static_cast<size_t>(n));
        else if (n == 0)
            peerClosed_ = true;
    }
    return TakeBufferedLine(line);
}

bool NetworkInteractive::TakeBufferedLine(std::string& line)
{
    for (;;) {
        size_t eol = pending_.find('\n');
        if (eol == std::string::npos) {
            if (pending_.size() > kMaxPendingBytes) {
                // Too long to be a status line: drop it through its end.
                pending_.clear();
                discarding_ = true;
            }
            return false;
        }
        if (discarding_) {
            pending_.erase(0, eol + 1);
            discarding_ = false;
            continue;
        }
        line.assign(pending_, 0, eol);
        pending_.erase(0, eol + 1);
        return true;
    }
}

bool NetworkInteractive::Queue(const std::string& data)
{
    if (broken_ || outgoing_.size() + data.size() > kMaxOutgoingBytes)
        return false; // broken, or a peer that does not read
    outgoing_ += data;
    Flush();
    return !broken_;
}

bool NetworkInteractive::Send(const std::string& data)
{
    if (!AcceptPending())
        return false;
    Flush();
    return Queue(data);
}

bool NetworkInteractive::SendWhenConnected(const std::string& data)
{
    if (!AcceptPending() && listenSocket_ == kInvalidSocket)
        return false;
    return Queue(data);
}

void NetworkInteractive::Close()
{
    CloseSocket(listenSocket_);
    listenSocket_ = kInvalidSocket;
    CloseSocket(connSocket_);
    connSocket_ = kInvalidSocket;
}

} // namespace zdl
