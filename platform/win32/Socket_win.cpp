#include "platform/Socket.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>
#include <ws2tcpip.h>

#include <mutex>

namespace zdl {

static SOCKET ToSocket(SocketHandle s)
{
    return static_cast<SOCKET>(s);
}

static SocketHandle FromSocket(SOCKET s)
{
    return s == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(s);
}

static sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

bool StartSocketLayer()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

SocketHandle CreateTcpSocket()
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET)
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return FromSocket(s);
}

bool BindLoopback(SocketHandle s, uint16_t port)
{
    // Exclusive use: without it a second socket could bind the same port.
    BOOL exclusive = TRUE;
    setsockopt(
        ToSocket(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in addr = LoopbackAddress(port);
    return ::bind(ToSocket(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool ListenOn(SocketHandle s, int backlog)
{
    return ::listen(ToSocket(s), backlog) == 0;
}

uint16_t LocalPort(SocketHandle s)
{
    sockaddr_in addr {};
    int len = sizeof addr;
    if (::getsockname(ToSocket(s), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool IsReadable(SocketHandle s, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(ToSocket(s), &set);
    timeval wait { timeoutMs / 1000, (timeoutMs % 1000) * 1000 };
    return ::select(0, &set, nullptr, nullptr, &wait) > 0;
}

SocketHandle AcceptConnection(SocketHandle listening)
{
    SOCKET s = ::accept(ToSocket(listening), nullptr, nullptr);
    if (s != INVALID_SOCKET)
        SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return FromSocket(s);
}

bool ConnectLoopback(SocketHandle s, uint16_t port)
{
    sockaddr_in addr = LoopbackAddress(port);
    if (::connect(ToSocket(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return false;
    BOOL one = TRUE;
    ::setsockopt(ToSocket(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return true;
}

void SetReceiveBufferSize(SocketHandle s, int bytes)
{
    ::setsockopt(ToSocket(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

bool SendAll(SocketHandle s, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
        int n = ::send(ToSocket(s), p, chunk, 0);
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SetNonBlocking(SocketHandle s)
{
    u_long on = 1;
    return ioctlsocket(ToSocket(s), FIONBIO, &on) == 0;
}

SendResult SendSome(SocketHandle s, const void* data, size_t size, size_t* sent)
{
    *sent = 0;
    int chunk = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
    int n = ::send(ToSocket(s), static_cast<const char*>(data), chunk, 0);
    if (n != SOCKET_ERROR) {
        *sent = static_cast<size_t>(n);
        return SendResult::kSent;
    }
    return WSAGetLastError() == WSAEWOULDBLOCK ? SendResult::kWouldBlock : SendResult::kFailed;
}

int ReceiveSome(SocketHandle s, void* buffer, size_t capacity)
{
    int cap = capacity > 0x40000000 ? 0x40000000 : static_cast<int>(capacity);
    int n = ::recv(ToSocket(s), static_cast<char*>(buffer), cap, 0);
    return n == SOCKET_ERROR ? -1 : n;
}

void CloseSocket(SocketHandle s)
{
    if (s == kInvalidSocket)
        return;
    ::shutdown(ToSocket(s), SD_BOTH);
    ::closesocket(ToSocket(s));
}

int LastSocketError()
{
    return WSAGetLastError();
}

bool IsAddressInUse(int error)
{
    return error == WSAEADDRINUSE || error == WSAEACCES;
}

static sockaddr_in Ipv4Address(uint32_t address, uint16_t port)
{
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(address);
    return addr;
}

bool BindIpv4(SocketHandle s, uint32_t address, uint16_t port)
{
    BOOL exclusive = TRUE;
    setsockopt(
        ToSocket(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in addr = Ipv4Address(address, port);
    return ::bind(ToSocket(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool Ipv4OfSocketAddress(const void* sockaddrIn, uint32_t* address)
{
    const auto* sa = static_cast<const sockaddr*>(sockaddrIn);
    if (sa == nullptr || sa->sa_family != AF_INET)
        return false;
    *address = ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
    return true;
}

static bool SetOption(SOCKET s, int level, int name, const void* value, int size)
{
    return ::setsockopt(s, level, name, static_cast<const char*>(value), size) == 0;
}

SocketHandle OpenMulticastSocket(uint32_t group, uint16_t port, uint32_t interfaceAddress)
{
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return kInvalidSocket;
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    BOOL reuse = TRUE;
    DWORD ttl = 1;
    DWORD loop = 1;
    ip_mreq membership {};
    membership.imr_multiaddr.s_addr = htonl(group);
    membership.imr_interface.s_addr = htonl(interfaceAddress);
    in_addr sendVia {};
    sendVia.s_addr = htonl(interfaceAddress);
    // Windows cannot bind a socket to a group address: it binds the port on
    // every address, and the caller judges each datagram's sender.
    sockaddr_in addr = Ipv4Address(INADDR_ANY, port);
    bool ok = SetOption(s, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse)
        && ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && SetOption(s, IPPROTO_IP, IP_MULTICAST_IF, &sendVia, sizeof sendVia)
        && SetOption(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl)
        && SetOption(s, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop)
        && SetOption(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership);
    if (!ok) {
        ::closesocket(s);
        return kInvalidSocket;
    }
    return FromSocket(s);
}

bool LocalAddressToward(uint32_t address, uint32_t* local)
{
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in to = Ipv4Address(address, 9);
    sockaddr_in me {};
    int len = sizeof me;
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&me), &len) == 0 && me.sin_family == AF_INET
        && me.sin_addr.s_addr != 0;
    ::closesocket(s);
    if (ok)
        *local = ntohl(me.sin_addr.s_addr);
    return ok;
}

bool SendDatagram(SocketHandle s, uint32_t address, uint16_t port, const void* data, size_t size)
{
    if (size > 0xffff)
        return false;
    sockaddr_in addr = Ipv4Address(address, port);
    int n = ::sendto(ToSocket(s), static_cast<const char*>(data), static_cast<int>(size), 0,
        reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    return n == static_cast<int>(size);
}

int ReceiveDatagram(SocketHandle s, void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort)
{
    sockaddr_in from {};
    int len = sizeof from;
    int cap = capacity > 0xffff ? 0xffff : static_cast<int>(capacity);
    int n = ::recvfrom(ToSocket(s), static_cast<char*>(buffer), cap, 0, reinterpret_cast<sockaddr*>(&from), &len);
    // A longer datagram fills the buffer and reports WSAEMSGSIZE: hand over
    // the cut bytes, as the POSIX call does.
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        n = cap;
    if (n == SOCKET_ERROR || from.sin_family != AF_INET)
        return -1;
    *fromAddress = ntohl(from.sin_addr.s_addr);
    *fromPort = ntohs(from.sin_port);
    return n;
}

} // namespace zdl
