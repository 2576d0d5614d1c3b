// Peer discovery: the announcement's form, whom it accepts, and instances
// finding each other by multicast pinned to 127.0.0.1 (nothing leaves the
// machine).
#include "core/PeerDiscovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>

using namespace zdl;
using namespace zdl::core;

namespace {

constexpr uint16_t kTestPort = 18461;
constexpr uint32_t kLoopback = 0x7f000001;

using Clock = std::chrono::steady_clock;

PeerDiscoverySettings OnLoopback()
{
    PeerDiscoverySettings s;
    s.interfaceAddress = kLoopback;
    s.port = kTestPort;
    return s;
}

// A release of this test run: the same test running in another process at
// the same time (announcing on the same group and port) is another release.
Sha256Digest Release(uint8_t fill)
{
    static const uint64_t run = std::random_device {}();
    std::string seed = std::to_string(run) + "/" + std::to_string(fill);
    return Sha256::Of(seed.data(), seed.size());
}

uint32_t Ip(const char* text)
{
    uint32_t a = 0;
    EXPECT_TRUE(ParseIpv4(text, &a)) << text;
    return a;
}

bool Handle(PeerDiscovery& d, const std::string& datagram, const char* from)
{
    return d.HandleDatagram(reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size(), Ip(from));
}

// Waits up to `seconds` for `d` to know exactly the peers in `want`.
bool Knows(PeerDiscovery& d, const std::vector<PeerEndpoint>& want, double seconds)
{
    Clock::time_point end
        = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        if (d.Peers() == want)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return d.Peers() == want;
}

TEST(PeerDiscovery, LocalAddressesAndAddressText)
{
    const char* local[] = { "127.0.0.1", "127.255.255.254", "10.0.0.0", "10.255.255.255", "172.16.0.0",
        "172.31.255.255", "192.168.0.1", "192.168.255.255", "169.254.0.1", "169.254.255.255" };
    const char* remote[] = { "9.255.255.255", "11.0.0.0", "172.15.255.255", "172.32.0.0", "192.167.255.255",
        "192.169.0.0", "169.253.255.255", "169.255.0.0", "100.64.0.1", "8.8.8.8", "0.0.0.0", "239.192.72.68",
        "255.255.255.255", "128.0.0.1", "126.255.255.255" };
    for (const char* a : local)
        EXPECT_TRUE(IsLocalNetworkAddress(Ip(a))) << a;
    for (const char* a : remote)
        EXPECT_FALSE(IsLocalNetworkAddress(Ip(a))) << a;
    EXPECT_EQ(Ip("192.168.1.20"), 0xc0a80114u);
    uint32_t x = 0;
    for (const char* bad : { "", "1.2.3", "1.2.3.4.5", "256.1.1.1", "01.2.3.4", "1.2.3.4 ", " 1.2.3.4", "1..2.3",
             "1.2.3.-4", "1.2.3.4x", "0x7f.0.0.1", "1234.1.1.1" })
        EXPECT_FALSE(ParseIpv4(bad, &x)) << bad;
}

TEST(PeerDiscovery, AnnouncementRoundTripAndMalformedDatagrams)
{
    Announcement a;
    a.release.fill(0x5c);
    a.port = 18402;
    a.cookie = 0x0123456789abcdefull;
    const std::string text = FormatAnnouncement(a);
    EXPECT_EQ(
        text, "ZDL-PEER 1\r\nRelease: " + ToHex(a.release) + "\r\nPort: 18402\r\nCookie: 0123456789abcdef\r\n\r\n");
    Announcement back;
    ASSERT_TRUE(ParseAnnouncement(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &back));
    EXPECT_EQ(back.release, a.release);
    EXPECT_EQ(back.port, a.port);
    EXPECT_EQ(back.cookie, a.cookie);

    auto replace = [&text](const std::string& from, const std::string& to) {
        std::string s = text;
        s.replace(s.find(from), from.size(), to);
        return s;
    };
    const std::string malformed[] = {
        "",
        text.substr(0, text.size() - 2), // no blank line
        text.substr(0, text.size() - 1),
        text + "x",
        text + "\r\n",
        replace("ZDL-PEER 1", "ZDL-PEER 2"),
        replace("ZDL-PEER 1", "BT-SEARCH * HTTP/1.1"),
        replace("\r\n", "\n"),
        replace("Port: 18402", "Port: 0"),
        replace("Port: 18402", "Port: 65536"),
        replace("Port: 18402", "Port: 018402"),
        replace("Port: 18402", "Port: 18402 "),
        replace("Port: 18402", "Port: -1"),
        replace("Port: 18402", "Port:18402"),
        replace("Cookie: 0123456789abcdef", "Cookie: 0123456789ABCDEF"),
        replace("Cookie: 0123456789abcdef", "Cookie: 0123456789abcde"),
        replace("Release: 5c", "Release: 5C"),
        replace("Release: 5c", "Release: 5"),
        replace("Release: 5c", "release: 5c"),
        replace("Port: 18402\r\n", "Port: 18402\r\nHost: 10.0.0.9\r\n"), // an extra field
        replace("Port: 18402\r\nCookie: 0123456789abcdef", "Cookie: 0123456789abcdef\r\nPort: 18402"),
        replace("Port: 18402",
            std::string("Port: 18\0"
                        "402",
                9)),
        text + std::string(300, 'x'),
    };
    for (const auto& m : malformed)
        EXPECT_FALSE(ParseAnnouncement(reinterpret_cast<const uint8_t*>(m.data()), m.size(), &back)) << m;
}

TEST(PeerDiscovery, AcceptsOnlyLocalSourcesOfTheSameReleaseAndNotItself)
{
    PeerDiscovery d(Release(0x11), 18400); // not started: datagrams are fed in
    Announcement peer { Release(0x11), 18401, d.Cookie() ^ 1 };
    const std::string good = FormatAnnouncement(peer);
    EXPECT_FALSE(Handle(d, good, "8.8.8.8"));
    EXPECT_FALSE(Handle(d, good, "100.64.0.7"));
    EXPECT_FALSE(Handle(d, good, "172.32.0.1"));
    EXPECT_TRUE(d.Peers().empty());

    Announcement other = peer;
    other.release = Release(0x12);
    EXPECT_FALSE(Handle(d, FormatAnnouncement(other), "192.168.1.5"));
    Announcement self = peer;
    self.cookie = d.Cookie();
    EXPECT_FALSE(Handle(d, FormatAnnouncement(self), "192.168.1.5"));
    EXPECT_FALSE(Handle(d, good.substr(0, good.size() - 1), "192.168.1.5"));
    EXPECT_TRUE(d.Peers().empty());

    EXPECT_TRUE(Handle(d, good, "192.168.1.5"));
    EXPECT_FALSE(Handle(d, good, "192.168.1.5")); // known already
    EXPECT_TRUE(Handle(d, good, "169.254.3.4"));
    std::vector<PeerEndpoint> want = { { Ip("169.254.3.4"), 18401 }, { Ip("192.168.1.5"), 18401 } };
    EXPECT_EQ(d.Peers(), want); // the sources, with the announced port
}

TEST(PeerDiscovery, InstancesOnLoopbackFindEachOtherAndNoOneElse)
{
    PeerDiscovery a(Release(0x21), 18410);
    PeerDiscovery stranger(Release(0x22), 18411); // another release
    ASSERT_TRUE(a.Start(OnLoopback()));
    ASSERT_TRUE(stranger.Start(OnLoopback()));
    // Alone (with a stranger), `a` hears its own announcements only: it
    // knows no one, past its second announcement.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_TRUE(a.Peers().empty());
    EXPECT_TRUE(stranger.Peers().empty());

    // `a` will not announce again for 30 s: `b` learns of it from the
    // answer to its own first announcement, well within a second.
    PeerDiscovery b(Release(0x21), 18412);
    Clock::time_point start = Clock::now();
    ASSERT_TRUE(b.Start(OnLoopback()));
    EXPECT_TRUE(Knows(b, { { kLoopback, 18410 } }, 2.0));
    EXPECT_TRUE(Knows(a, { { kLoopback, 18412 } }, 2.0));
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
    EXPECT_TRUE(stranger.Peers().empty());
    b.Stop();
    a.Stop();
    stranger.Stop();
}

} // namespace
