// Finding the other cores of the same release on the local network, in the
// manner of BitTorrent's local service discovery: every core sends a small
// text datagram to a multicast group of our own,
//
//   ZDL-PEER 1\r\n
//   Release: <digest of the description, 64 lower-case hex digits>\r\n
//   Port: <the peer server's TCP port, 1-65535>\r\n
//   Cookie: <16 lower-case hex digits, random for each instance>\r\n
//   \r\n
//
// at start, a second later, and then every announce interval; a core that
// hears a peer it did not know answers with its own announcement at once
// (at most one answer per kMinAnswerGapMs), so cores find each other within
// a second. The group 239.192.72.68 lies in the organisation-local scope
// (239.192.0.0/14, never routed to the internet) and the TTL is 1.
//
// A datagram counts only when it is exactly that form, names this core's
// release, carries another instance's cookie, and comes from a loopback,
// private (10/8, 172.16/12, 192.168/16) or link-local (169.254/16) address.
// The peer is that source address and the announced port: nothing in the
// datagram names an address. Peers not heard for three intervals are
// forgotten; at most kMaxPeers are kept.
//
// Threads: Start and Stop on one thread; Peers and HandleDatagram from any
// thread. The discovery runs a thread of its own between Start and Stop.
#pragma once

#include "platform/Sha256.h"
#include "platform/Socket.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zdl::core {

constexpr uint32_t kPeerGroup = 0xefc04844; // 239.192.72.68
constexpr uint16_t kPeerDiscoveryPort = 7882;
constexpr size_t kMaxAnnouncementBytes = 256;
constexpr size_t kMaxPeers = 256;
constexpr int kAnnounceIntervalMs = 30000;
constexpr int kMinAnswerGapMs = 500;

// Loopback, private and link-local IPv4 addresses (host byte order).
bool IsLocalNetworkAddress(uint32_t address);
// "a.b.c.d" to a host-order address; false for anything else.
bool ParseIpv4(const std::string& text, uint32_t* address);

struct Announcement {
    Sha256Digest release {};
    uint16_t port = 0;
    uint64_t cookie = 0;
};

std::string FormatAnnouncement(const Announcement& a);
// Strict: the exact form above, nothing before, between or after.
bool ParseAnnouncement(const uint8_t* data, size_t size, Announcement* out);

struct PeerEndpoint {
    uint32_t address = 0; // host byte order
    uint16_t port = 0;
    bool operator==(const PeerEndpoint& o) const { return address == o.address && port == o.port; }
};

struct PeerDiscoverySettings {
    // The address of the interface to announce on and listen at (0: the
    // system's choice). Tests pin it to 127.0.0.1 so that nothing leaves
    // the machine.
    uint32_t interfaceAddress = 0;
    uint32_t group = kPeerGroup;
    uint16_t port = kPeerDiscoveryPort;
    int announceIntervalMs = kAnnounceIntervalMs;
};

class PeerDiscovery {
public:
    // `httpPort` is this core's PeerServer port, announced to the others.
    PeerDiscovery(const Sha256Digest& release, uint16_t httpPort);
    ~PeerDiscovery();
    PeerDiscovery(const PeerDiscovery&) = delete;
    PeerDiscovery& operator=(const PeerDiscovery&) = delete;

    // Opens the multicast socket and starts announcing; false when the
    // socket cannot be opened (no multicast on that interface).
    bool Start(const PeerDiscoverySettings& settings);
    void Stop();

    // The peers heard within the last three intervals.
    std::vector<PeerEndpoint> Peers();
    // Judges one received datagram from `from` (host byte order); true when
    // it named a peer not known before.
    bool HandleDatagram(const uint8_t* data, size_t size, uint32_t from);
    uint64_t Cookie() const { return cookie_; }

private:
    void Run();
    void Announce();
    void Forget(uint64_t nowMs);

    Sha256Digest release_;
    uint16_t httpPort_;
    uint64_t cookie_;
    PeerDiscoverySettings settings_;
    SocketHandle socket_ = kInvalidSocket; // owned
    std::thread thread_;
    std::atomic<bool> stopping_ { false };
    std::atomic<bool> answerWanted_ { false };

    std::mutex mutex_; // guards peers_
    std::map<std::pair<uint32_t, uint16_t>, uint64_t> peers_; // endpoint -> last heard (ms)
};

} // namespace zdl::core
