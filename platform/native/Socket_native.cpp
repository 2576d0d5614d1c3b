#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zdl {

static int ToFd(SocketHandle s)
{
    return static_cast<int>(s);
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
    // send() uses MSG_NOSIGNAL; nothing else to start.
    return true;
}

SocketHandle CreateTcpSocket()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? kInvalidSocket : fd;
}

bool BindLoopback(SocketHandle s, uint16_t port)
{
    // Like Windows, let a port whose old connections linger in TIME_WAIT be
    // bound again; a port that another socket listens on still fails.
    int on = 1;
    ::setsockopt(ToFd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr = LoopbackAddress(port);
    return ::bind(ToFd(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool ListenOn(SocketHandle s, int backlog)
{
    return ::listen(ToFd(s), backlog) == 0;
}

uint16_t LocalPort(SocketHandle s)
{
    sockaddr_in addr {};
    socklen_t len = sizeof addr;
    if (::getsockname(ToFd(s), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

bool IsReadable(SocketHandle s, int timeoutMs)
{
    pollfd p {};
    p.fd = ToFd(s);
    p.events = POLLIN;
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

SocketHandle AcceptConnection(SocketHandle listening)
{
    int fd;
    do {
        fd = ::accept4(ToFd(listening), nullptr, nullptr, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? kInvalidSocket : fd;
}

bool ConnectLoopback(SocketHandle s, uint16_t port)
{
    sockaddr_in addr = LoopbackAddress(port);
    int r;
    do {
        r = ::connect(ToFd(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r < 0 && errno == EINTR);
    if (r != 0)
        return false;
    int one = 1;
    ::setsockopt(ToFd(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void SetReceiveBufferSize(SocketHandle s, int bytes)
{
    ::setsockopt(ToFd(s), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

bool SendAll(SocketHandle s, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(ToFd(s), p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool SetNonBlocking(SocketHandle s)
{
    int flags = ::fcntl(ToFd(s), F_GETFL);
    return flags >= 0 && ::fcntl(ToFd(s), F_SETFL, flags | O_NONBLOCK) == 0;
}

SendResult SendSome(SocketHandle s, const void* data, size_t size, size_t* sent)
{
    *sent = 0;
    for (;;) {
        ssize_t n = ::send(ToFd(s), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            *sent = static_cast<size_t>(n);
            return SendResult::kSent;
        }
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? SendResult::kWouldBlock : SendResult::kFailed;
    }
}

int ReceiveSome(SocketHandle s, void* buffer, size_t capacity)
{
    ssize_t n;
    do {
        n = ::recv(ToFd(s), buffer, capacity, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

void CloseSocket(SocketHandle s)
{
    if (s == kInvalidSocket)
        return;
    ::shutdown(ToFd(s), SHUT_RDWR);
    ::close(ToFd(s));
}

int LastSocketError()
{
    return errno;
}

bool IsAddressInUse(int error)
{
    return error == EADDRINUSE;
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
    int on = 1;
    ::setsockopt(ToFd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr = Ipv4Address(address, port);
    return ::bind(ToFd(s), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool Ipv4OfSocketAddress(const void* sockaddrIn, uint32_t* address)
{
    const auto* sa = static_cast<const sockaddr*>(sockaddrIn);
    if (sa == nullptr || sa->sa_family != AF_INET)
        return false;
    *address = ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
    return true;
}

SocketHandle OpenMulticastSocket(uint32_t group, uint16_t port, uint32_t interfaceAddress)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return kInvalidSocket;
    int on = 1;
    int off = 0;
    unsigned char ttl = 1;
    unsigned char loop = 1;
    ip_mreq membership {};
    membership.imr_multiaddr.s_addr = htonl(group);
    membership.imr_interface.s_addr = htonl(interfaceAddress);
    in_addr sendVia {};
    sendVia.s_addr = htonl(interfaceAddress);
    // Bound to the group address, the socket takes only the group's
    // datagrams, none sent to this host's own addresses on that port; with
    // IP_MULTICAST_ALL off, only groups this socket joined.
    sockaddr_in addr = Ipv4Address(group, port);
    bool ok = ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0
        && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) == 0
        && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &sendVia, sizeof sendVia) == 0
        && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0
        && ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0
        && ::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
    if (!ok) {
        ::close(fd);
        return kInvalidSocket;
    }
    return fd;
}

bool LocalAddressToward(uint32_t address, uint32_t* local)
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0)
        return false;
    sockaddr_in to = Ipv4Address(address, 9);
    sockaddr_in me {};
    socklen_t len = sizeof me;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&me), &len) == 0 && me.sin_family == AF_INET
        && me.sin_addr.s_addr != 0;
    ::close(fd);
    if (ok)
        *local = ntohl(me.sin_addr.s_addr);
    return ok;
}

bool SendDatagram(SocketHandle s, uint32_t address, uint16_t port, const void* data, size_t size)
{
    sockaddr_in addr = Ipv4Address(address, port);
    ssize_t n;
    do {
        n = ::sendto(ToFd(s), data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

int ReceiveDatagram(SocketHandle s, void* buffer, size_t capacity, uint32_t* fromAddress, uint16_t* fromPort)
{
    sockaddr_in from {};
    socklen_t len = sizeof from;
    ssize_t n;
    do {
        n = ::recvfrom(ToFd(s), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0 || from.sin_family != AF_INET)
        return -1;
    *fromAddress = ntohl(from.sin_addr.s_addr);
    *fromPort = ntohs(from.sin_port);
    return static_cast<int>(n);
}

} // namespace zdl
