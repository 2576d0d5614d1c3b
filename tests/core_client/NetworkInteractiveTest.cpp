// The TCP line channel on 127.0.0.1: line framing across and within TCP
// pieces, the accept on first use, data kept for a late peer, the port
// choice and its bounded retries.
#include "core_client/NetworkInteractive.h"
#include "core_client/CrtRandom.h"
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace zdl {
namespace {

    using Clock = std::chrono::steady_clock;

    class NetworkInteractiveTest : public ::testing::Test {
    protected:
        void SetUp() override { ASSERT_TRUE(StartSocketLayer()); }
        void TearDown() override
        {
            for (SocketHandle s : peers_)
                CloseSocket(s);
        }

        // A raw peer standing in for the core.
        SocketHandle ConnectPeer(uint16_t port)
        {
            SocketHandle s = CreateTcpSocket();
            EXPECT_NE(s, kInvalidSocket);
            EXPECT_TRUE(ConnectLoopback(s, port));
            peers_.push_back(s);
            return s;
        }

        static void PeerSend(SocketHandle s, const std::string& data)
        {
            ASSERT_TRUE(SendAll(s, data.data(), data.size()));
        }

        // Calls ReceiveLine until it hands out a line or |ms| pass.
        // How long a line that was sent may take to arrive: long, since a
        // loaded machine (or Wine) can be slow, and only a fault waits it out.
        static constexpr int kArrives = 10000;

        static bool ReceiveWithin(NetworkInteractive& ch, int ms, std::string& line)
        {
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            do {
                if (ch.ReceiveLine(line))
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            } while (Clock::now() < end);
            return false;
        }

        // What the peer has received within |ms|.
        static std::string PeerReceive(SocketHandle s, int ms)
        {
            std::string got;
            const auto end = Clock::now() + std::chrono::milliseconds(ms);
            while (Clock::now() < end) {
                if (IsReadable(s)) {
                    char buf[256];
                    int n = ReceiveSome(s, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    got.append(buf, static_cast<size_t>(n));
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
            }
            return got;
        }

        std::vector<SocketHandle> peers_;
    };

    TEST_F(NetworkInteractiveTest, ListeningPortLiesInTheRange)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        EXPECT_GE(ch.Port(), 10000);
        EXPECT_LE(ch.Port(), 42767);
    }

    TEST_F(NetworkInteractiveTest, LineInTwoPiecesComesOnlyAfterItsLineFeed)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle peer = ConnectPeer(ch.Port());
        PeerSend(peer, "[s] Perc");
        std::string line;
        EXPECT_FALSE(ReceiveWithin(ch, 100, line));
        PeerSend(peer, "entage=5\n");
        ASSERT_TRUE(ReceiveWithin(ch, kArrives, line));
        EXPECT_EQ(line, "[s] Percentage=5");
    }

    TEST_F(NetworkInteractiveTest, JoinedLinesComeOneByOneFromTheBuffer)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle peer = ConnectPeer(ch.Port());
        PeerSend(peer, "a\r\n\nb\ntail");
        std::string line;
        ASSERT_TRUE(ReceiveWithin(ch, kArrives, line));
        EXPECT_EQ(line, "a\r"); // the carriage return stays
        ASSERT_TRUE(ch.ReceiveLine(line)); // no new data needed
        EXPECT_EQ(line, "");
        ASSERT_TRUE(ch.ReceiveLine(line));
        EXPECT_EQ(line, "b");
        EXPECT_FALSE(ReceiveWithin(ch, 100, line)) << "bytes without a line feed are never handed out";
    }

    TEST_F(NetworkInteractiveTest, OverlongLineIsDroppedUpToItsEnd)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle peer = ConnectPeer(ch.Port());
        PeerSend(peer, std::string(NetworkInteractive::kMaxPendingBytes + 5000, 'x'));
        std::string line;
        EXPECT_FALSE(ReceiveWithin(ch, 300, line));
        PeerSend(peer, "xxxx\n[s] Key=1\n");
        ASSERT_TRUE(ReceiveWithin(ch, kArrives, line));
        EXPECT_EQ(line, "[s] Key=1");
    }

    TEST_F(NetworkInteractiveTest, SendBeforeThePeerConnectsFails)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        EXPECT_FALSE(ch.Send("stat\n"));
        SocketHandle peer = ConnectPeer(ch.Port());
        // Once the peer waits, Send takes the connection itself.
        ASSERT_TRUE(ch.Send("get tb\n"));
        EXPECT_EQ(PeerReceive(peer, 300), "get tb\n") << "the earlier stat is lost";
    }

    TEST_F(NetworkInteractiveTest, KeptDataReachesALatePeer)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        ASSERT_TRUE(ch.SendWhenConnected("quit\n"));
        EXPECT_TRUE(ch.HasHeldData());
        SocketHandle peer = ConnectPeer(ch.Port());
        std::string line;
        ch.ReceiveLine(line); // accepts
        EXPECT_FALSE(ch.HasHeldData());
        EXPECT_EQ(PeerReceive(peer, 300), "quit\n");
    }

    TEST_F(NetworkInteractiveTest, OnlyTheFirstConnectionIsServed)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle first = ConnectPeer(ch.Port());
        std::string line;
        EXPECT_FALSE(ReceiveWithin(ch, 50, line)); // accepts the first
        SocketHandle second = CreateTcpSocket();
        ConnectLoopback(second, ch.Port()); // may complete in the backlog
        peers_.push_back(second);
        PeerSend(second, "[x] From=second\n");
        PeerSend(first, "[x] From=first\n");
        ASSERT_TRUE(ReceiveWithin(ch, kArrives, line));
        EXPECT_EQ(line, "[x] From=first");
        EXPECT_FALSE(ReceiveWithin(ch, 200, line));
    }

    TEST_F(NetworkInteractiveTest, SendNeverWaitsForAPeerThatDoesNotRead)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle peer = ConnectPeer(ch.Port());
        (void)peer; // never reads
        const std::string chunk(1024, 'x');
        auto slowest = Clock::duration::zero();
        bool refused = false;
        for (int i = 0; i < 200000 && !refused; ++i) {
            const auto t0 = Clock::now();
            refused = !ch.Send(chunk);
            slowest = std::max(slowest, Clock::now() - t0);
        }
        EXPECT_TRUE(refused) << "a full buffer ends in a refusal, not a wait";
        // A send that waited for this peer would wait for ever; the bound
        // only leaves room for a slow (emulated, loaded) machine.
        EXPECT_LT(slowest, std::chrono::seconds(3));
    }

    TEST_F(NetworkInteractiveTest, ConnectingSideTalksToListeningSide)
    {
        NetworkInteractive listener(0);
        ASSERT_TRUE(listener.Open());
        NetworkInteractive core(listener.Port());
        ASSERT_TRUE(core.Open());
        std::string line;
        EXPECT_FALSE(ReceiveWithin(listener, 50, line));
        ASSERT_TRUE(listener.Send("stat\n"));
        ASSERT_TRUE(ReceiveWithin(core, kArrives, line));
        EXPECT_EQ(line, "stat");
        ASSERT_TRUE(core.Send("[stat] P2PState=14\n"));
        ASSERT_TRUE(ReceiveWithin(listener, kArrives, line));
        EXPECT_EQ(line, "[stat] P2PState=14");
    }

    TEST_F(NetworkInteractiveTest, ConnectToAClosedPortFails)
    {
        NetworkInteractive listener(0);
        ASSERT_TRUE(listener.Open());
        uint16_t port = listener.Port();
        listener.Close();
        NetworkInteractive core(port);
        EXPECT_FALSE(core.Open());
    }

    TEST_F(NetworkInteractiveTest, SendFailsOnceThePeerHasGone)
    {
        NetworkInteractive ch(0);
        ASSERT_TRUE(ch.Open());
        SocketHandle peer = ConnectPeer(ch.Port());
        std::string line;
        EXPECT_FALSE(ReceiveWithin(ch, 50, line));
        CloseSocket(peer);
        peers_.clear();
        bool failed = false;
        const auto end = Clock::now() + std::chrono::seconds(3);
        while (!failed && Clock::now() < end) {
            failed = !ch.Send("stat\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(failed);
        EXPECT_FALSE(ch.ReceiveLine(line));
    }

    // The port sequence the generator yields for |seed|.
    std::vector<uint16_t> PortsForSeed(uint32_t seed, int count)
    {
        CrtSeed(seed);
        std::vector<uint16_t> ports;
        for (int i = 0; i < count; ++i)
            ports.push_back(static_cast<uint16_t>(CrtRandom() % 55536 + 10000));
        return ports;
    }

    // Seeds far from the clock (the seed is the current second), so the ports
    // used here are not the ones channels opening right now try; different
    // in every run of this program, so two runs side by side (the native and
    // the Wine tree, or repeated runs) do not hold each other's ports.
    uint32_t RunSeed(uint32_t base)
    {
        static const uint32_t offset = std::random_device {}() & 0xFFFFu;
        return base + offset;
    }

    uint32_t SameSecondSeed()
    {
        return RunSeed(0x5EE00000u);
    }

    TEST_F(NetworkInteractiveTest, TwoChannelsInOneSecondTakeSuccessivePorts)
    {
        NetworkInteractive::SetSeedSource(SameSecondSeed);
        NetworkInteractive a(0), b(0);
        const bool opened = a.Open() && b.Open();
        NetworkInteractive::SetSeedSource(nullptr);
        ASSERT_TRUE(opened);
        // Both draw the same sequence; the second finds the first's port taken
        // and moves on along it (a port busy on this machine is passed over
        // too, so only the order is certain).
        std::vector<uint16_t> seq = PortsForSeed(SameSecondSeed(), NetworkInteractive::kMaxBindAttempts);
        auto atA = std::find(seq.begin(), seq.end(), a.Port());
        auto atB = std::find(seq.begin(), seq.end(), b.Port());
        ASSERT_NE(atA, seq.end()) << "port " << a.Port() << " is not from the generator's sequence";
        ASSERT_NE(atB, seq.end()) << "port " << b.Port() << " is not from the generator's sequence";
        EXPECT_GT(atB - atA, 0);
    }

    uint32_t FixedSeed()
    {
        return RunSeed(0x5EED0000u);
    }

    TEST_F(NetworkInteractiveTest, GivesUpAfterTheBoundedNumberOfBinds)
    {
        NetworkInteractive::SetSeedSource(FixedSeed);
        // Hold every port the sequence would try.
        std::vector<SocketHandle> held;
        std::vector<uint16_t> heldPorts;
        for (uint16_t port : PortsForSeed(FixedSeed(), NetworkInteractive::kMaxBindAttempts)) {
            SocketHandle s = CreateTcpSocket();
            if (BindLoopback(s, port) && ListenOn(s, 1)) {
                held.push_back(s);
                heldPorts.push_back(port);
            } else {
                CloseSocket(s); // taken already, which serves as well
            }
        }
        NetworkInteractive blocked(0);
        EXPECT_FALSE(blocked.Open());
        // Free one port of the sequence: the channel finds it.
        ASSERT_FALSE(held.empty());
        const uint16_t freed = heldPorts.back();
        CloseSocket(held.back());
        held.pop_back();
        NetworkInteractive open(0);
        const bool opened = open.Open();
        NetworkInteractive::SetSeedSource(nullptr);
        for (SocketHandle s : held)
            CloseSocket(s);
        EXPECT_TRUE(opened);
        EXPECT_EQ(open.Port(), freed);
    }

} // namespace
} // namespace zdl
