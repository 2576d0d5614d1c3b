#include "platform/CoreSocket.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace zdl {

bool StartSockets()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

static SOCKET S(intptr_t h)
{
    return static_cast<SOCKET>(h);
}

bool CoreSocket::ConnectLoopback(uint16_t port)
{
    Close();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        closesocket(s);
        return false;
    }
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    handle_ = static_cast<intptr_t>(s);
    return true;
}

bool CoreSocket::SendAll(const std::string& data)
{
    if (handle_ == kInvalid)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        int n = send(S(handle_), data.data() + done, static_cast<int>(data.size() - done), 0);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int CoreSocket::Receive(char* buffer, size_t size, int timeoutMs)
{
    if (handle_ == kInvalid)
        return -1;
    WSAPOLLFD p { S(handle_), POLLRDNORM, 0 };
    int rc = WSAPoll(&p, 1, timeoutMs);
    if (rc < 0)
        return -1;
    if (rc == 0)
        return 0;
    int n = recv(S(handle_), buffer, static_cast<int>(size), 0);
    if (n <= 0)
        return -1;
    return n;
}

void CoreSocket::Close()
{
    if (handle_ != kInvalid) {
        shutdown(S(handle_), SD_BOTH);
        closesocket(S(handle_));
        handle_ = kInvalid;
    }
}

void SetSocketReceiveBuffer(intptr_t socket, int bytes)
{
    setsockopt(S(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

} // namespace zdl
