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

} // namespace zdl
