#include "core_client/NetworkInteractive.h"

#include "core_client/CrtRandom.h"

#include <ctime>

namespace zdl {

NetworkInteractive::NetworkInteractive(uint16_t port) : port_(port) {}

NetworkInteractive::~NetworkInteractive()
{
    Close();
}

bool NetworkInteractive::Open()
{
    if (port_ != 0)
        return Connect(port_);
    CrtSeed(static_cast<uint32_t>(std::time(nullptr)));
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
    connSocket_ = s;
    if (!held_.empty()) {
        SendAll(connSocket_, held_.data(), held_.size());
        held_.clear();
    }
    return true;
}

bool NetworkInteractive::ReceiveLine(std::string& line)
{
    return AcceptPending() && ReceiveChunk(line);
}

bool NetworkInteractive::ReceiveChunk(std::string& line)
{
    if (IsReadable(connSocket_)) {
        char buffer[kReceiveChunk];
        int n = ReceiveSome(connSocket_, buffer, sizeof buffer);
        if (n > 0)
            pending_.append(buffer, static_cast<size_t>(n));
    }
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

bool NetworkInteractive::Send(const std::string& data)
{
    AcceptPending();
    if (connSocket_ == kInvalidSocket)
        return false;
    return SendAll(connSocket_, data.data(), data.size());
}

bool NetworkInteractive::SendWhenConnected(const std::string& data)
{
    if (AcceptPending())
        return SendAll(connSocket_, data.data(), data.size());
    if (listenSocket_ == kInvalidSocket)
        return false;
    held_ += data;
    return true;
}

void NetworkInteractive::Close()
{
    CloseSocket(listenSocket_);
    listenSocket_ = kInvalidSocket;
    CloseSocket(connSocket_);
    connSocket_ = kInvalidSocket;
}

}  // namespace zdl
