// The line channel over one TCP connection on 127.0.0.1.
//
// Listening side (constructed with port 0): Open seeds the run-time
// generator with the current second and binds a random port in
// 10000..42767 on the loopback address (a bounded number of tries), then
// listens for one connection; |Port()| is then the port to hand to the core.
// The waiting connection is accepted by ReceiveLine, Send or
// SendWhenConnected, whichever comes first; no second one is ever accepted.
//
// Connecting side (constructed with the port): Open connects to it.
//
// No thread of its own: every call works on the calling thread and never
// waits for the peer (readiness is polled with a zero timeout). One thread
// at a time; the installer serialises callers with the core session lock.
#pragma once

#include "core_client/IInteractive.h"
#include "platform/Socket.h"

#include <cstdint>
#include <string>

namespace zdl {

class NetworkInteractive : public IInteractive {
public:
    // Bind attempts before Open of a listening channel gives up.
    static constexpr int kMaxBindAttempts = 100;
    // Bytes taken by one receive call.
    static constexpr size_t kReceiveChunk = 1024;
    // A line longer than this without a line feed is discarded: the peer is
    // not speaking the protocol.
    static constexpr size_t kMaxPendingBytes = 64 * 1024;
    // The first port and the number of ports the listening side draws from.
    static constexpr int kFirstPort = 10000;
    static constexpr int kPortRange = 55536;
    // Bytes accepted for sending that the system has not taken yet; beyond
    // this the peer is not reading and further sends fail.
    static constexpr size_t kMaxOutgoingBytes = 64 * 1024;

    // Where a listening Open takes its seed: the current second unless a
    // test fixes it (null restores the clock). Process-wide.
    using SeedSource = uint32_t (*)();
    static void SetSeedSource(SeedSource source);

    explicit NetworkInteractive(uint16_t port);
    ~NetworkInteractive() override;
    NetworkInteractive(const NetworkInteractive&) = delete;
    NetworkInteractive& operator=(const NetworkInteractive&) = delete;

    bool Open() override;
    bool ReceiveLine(std::string& line) override;
    // Sends if the peer is connected (accepting it first if it waits);
    // false, with the data dropped, when no connection exists or it broke.
    // Never waits: bytes the system cannot take at once are kept and go
    // out with the next call.
    bool Send(const std::string& data) override;
    void Close() override;

    // Like Send, but when the peer has not connected yet the data is kept
    // and sent right after the connection is accepted. True when sent or
    // kept.
    bool SendWhenConnected(const std::string& data);

    // Takes a waiting connection if there is one; true when connected.
    bool AcceptPending();
    bool IsConnected() const { return connSocket_ != kInvalidSocket; }
    // True once a receive found the connection closed by the peer.
    bool PeerClosed() const { return peerClosed_; }
    bool HasHeldData() const { return !outgoing_.empty(); }
    uint16_t Port() const { return port_; }

private:
    bool Connect(uint16_t port);
    bool Listen();
    bool ReceiveChunk(std::string& line);
    bool TakeBufferedLine(std::string& line);
    bool Queue(const std::string& data);
    void Flush();

    SocketHandle listenSocket_ = kInvalidSocket; // owned
    SocketHandle connSocket_ = kInvalidSocket; // owned
    uint16_t port_;
    std::string pending_; // received bytes not yet handed out as a line
    std::string outgoing_; // data kept until the peer connects or can take it
    bool broken_ = false; // a send failed: the connection is gone
    bool discarding_ = false;
    bool peerClosed_ = false; // inside an over-long line, up to its end
};

} // namespace zdl
