#include "core/PeerDiscovery.h"

#include <chrono>
#include <cstring>
#include <random>

namespace zdl::core {

namespace {

    constexpr char kFirstLine[] = "ZDL-PEER 1\r\n";
    constexpr int kSecondAnnounceMs = 1000;
    constexpr int kPollMs = 100;
    constexpr int kForgetAfterIntervals = 3;

    uint64_t NowMs()
    {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    bool ParseHexDigits(const std::string& text, size_t digits, uint8_t* out)
    {
        if (text.size() != digits)
            return false;
        for (size_t i = 0; i < digits; i += 2) {
            int v = 0;
            for (size_t k = i; k < i + 2; ++k) {
                char c = text[k];
                int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
                if (d < 0)
                    return false;
                v = v * 16 + d;
            }
            out[i / 2] = static_cast<uint8_t>(v);
        }
        return true;
    }

    std::string Hex64(uint64_t v)
    {
        static const char kHex[] = "0123456789abcdef";
        std::string s(16, '0');
        for (int i = 15; i >= 0; --i, v >>= 4)
            s[static_cast<size_t>(i)] = kHex[v & 15];
        return s;
    }

    // Takes "<name>: <value>\r\n" from the front of `rest`.
    bool TakeField(std::string* rest, const char* name, std::string* value)
    {
        std::string prefix = std::string(name) + ": ";
        size_t end = rest->find("\r\n");
        if (end == std::string::npos || rest->compare(0, prefix.size(), prefix) != 0)
            return false;
        *value = rest->substr(prefix.size(), end - prefix.size());
        rest->erase(0, end + 2);
        return true;
    }

    uint64_t NewCookie(const void* instance)
    {
        std::random_device device;
        uint64_t v = (static_cast<uint64_t>(device()) << 32) ^ device();
        v ^= static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        v ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(instance)) << 16;
        return v;
    }

} // namespace

bool IsLocalNetworkAddress(uint32_t a)
{
    return (a >> 24) == 127 // loopback
        || (a >> 24) == 10 // private
        || (a >> 20) == 0xac1 // 172.16/12, private
        || (a >> 16) == 0xc0a8 // 192.168/16, private
        || (a >> 16) == 0xa9fe; // 169.254/16, link-local
}

bool ParseIpv4(const std::string& text, uint32_t* address)
{
    uint32_t value = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        size_t start = pos;
        uint32_t n = 0;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            n = n * 10 + static_cast<uint32_t>(text[pos++] - '0');
        if (pos == start || n > 255 || (pos - start > 1 && text[start] == '0'))
            return false;
        value = (value << 8) | n;
        if (part < 3 && (pos >= text.size() || text[pos++] != '.'))
            return false;
    }
    if (pos != text.size())
        return false;
    *address = value;
    return true;
}

std::string FormatAnnouncement(const Announcement& a)
{
    return std::string(kFirstLine) + "Release: " + ToHex(a.release) + "\r\nPort: " + std::to_string(a.port)
        + "\r\nCookie: " + Hex64(a.cookie) + "\r\n\r\n";
}

bool ParseAnnouncement(const uint8_t* data, size_t size, Announcement* out)
{
    if (size > kMaxAnnouncementBytes)
        return false;
    std::string rest(reinterpret_cast<const char*>(data), size);
    if (rest.compare(0, std::strlen(kFirstLine), kFirstLine) != 0)
        return false;
    rest.erase(0, std::strlen(kFirstLine));
    std::string release, port, cookie;
    if (!TakeField(&rest, "Release", &release) || !TakeField(&rest, "Port", &port)
        || !TakeField(&rest, "Cookie", &cookie) || rest != "\r\n")
        return false;
    Announcement a;
    if (!ParseHexDigits(release, 64, a.release.data()))
        return false;
    uint32_t p = 0;
    if (port.empty() || port.size() > 5 || port[0] == '0')
        return false;
    for (char c : port) {
        if (c < '0' || c > '9')
            return false;
        p = p * 10 + static_cast<uint32_t>(c - '0');
    }
    if (p > 65535)
        return false;
    a.port = static_cast<uint16_t>(p);
    uint8_t c[8];
    if (!ParseHexDigits(cookie, 16, c))
        return false;
    for (uint8_t b : c)
        a.cookie = (a.cookie << 8) | b;
    *out = a;
    return true;
}

PeerDiscovery::PeerDiscovery(const Sha256Digest& release, uint16_t httpPort)
    : release_(release)
    , httpPort_(httpPort)
    , cookie_(NewCookie(this))
{
}

PeerDiscovery::~PeerDiscovery()
{
    Stop();
}

bool PeerDiscovery::Start(const PeerDiscoverySettings& settings)
{
    Stop();
    settings_ = settings;
    socket_ = OpenMulticastSocket(settings.group, settings.port, settings.interfaceAddress);
    if (socket_ == kInvalidSocket)
        return false;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PeerDiscovery::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    thread_.join();
    CloseSocket(socket_);
    socket_ = kInvalidSocket;
}

std::vector<PeerEndpoint> PeerDiscovery::Peers()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<PeerEndpoint> out;
    for (const auto& [endpoint, heard] : peers_)
        out.push_back({ endpoint.first, endpoint.second });
    return out;
}

bool PeerDiscovery::HandleDatagram(const uint8_t* data, size_t size, uint32_t from)
{
    Announcement a;
    if (!IsLocalNetworkAddress(from) || !ParseAnnouncement(data, size, &a) || a.release != release_
        || a.cookie == cookie_)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    auto key = std::make_pair(from, a.port);
    auto it = peers_.find(key);
    if (it != peers_.end()) {
        it->second = NowMs();
        return false;
    }
    if (peers_.size() >= kMaxPeers)
        return false;
    peers_.emplace(key, NowMs());
    answerWanted_ = true;
    return true;
}

void PeerDiscovery::Announce()
{
    std::string text = FormatAnnouncement({ release_, httpPort_, cookie_ });
    SendDatagram(socket_, settings_.group, settings_.port, text.data(), text.size());
}

void PeerDiscovery::Forget(uint64_t nowMs)
{
    uint64_t limit = static_cast<uint64_t>(settings_.announceIntervalMs) * kForgetAfterIntervals;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = peers_.begin(); it != peers_.end();)
        it = nowMs - it->second > limit ? peers_.erase(it) : std::next(it);
}

void PeerDiscovery::Run()
{
    uint8_t buffer[kMaxAnnouncementBytes + 1];
    uint64_t now = NowMs();
    Announce();
    uint64_t lastSent = now;
    uint64_t nextAnnounce = now + kSecondAnnounceMs;
    while (!stopping_) {
        now = NowMs();
        int wait = nextAnnounce > now ? static_cast<int>(std::min<uint64_t>(nextAnnounce - now, kPollMs)) : 0;
        if (IsReadable(socket_, wait)) {
            uint32_t from = 0;
            uint16_t fromPort = 0;
            // A datagram that fills the buffer is longer than any announcement.
            int n = ReceiveDatagram(socket_, buffer, sizeof buffer, &from, &fromPort);
            if (n > 0 && static_cast<size_t>(n) <= kMaxAnnouncementBytes)
                HandleDatagram(buffer, static_cast<size_t>(n), from);
        }
        now = NowMs();
        if (answerWanted_ && now - lastSent >= static_cast<uint64_t>(kMinAnswerGapMs)) {
            answerWanted_ = false;
            Announce();
            lastSent = now;
        }
        if (now >= nextAnnounce) {
            Announce();
            lastSent = now;
            nextAnnounce = now + static_cast<uint64_t>(settings_.announceIntervalMs);
        }
        Forget(now);
    }
}

} // namespace zdl::core
