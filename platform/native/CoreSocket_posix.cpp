#include "platform/CoreSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zdl {

bool StartSockets()
{
    return true;
}

bool CoreSocket::ConnectLoopback(uint16_t port)
{
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return false;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    handle_ = fd;
    return true;
}

bool CoreSocket::SendAll(const std::string& data)
{
    if (handle_ == kInvalid)
        return false;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(static_cast<int>(handle_), data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
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
    pollfd p { static_cast<int>(handle_), POLLIN, 0 };
    int rc = ::poll(&p, 1, timeoutMs);
    if (rc < 0)
        return errno == EINTR ? 0 : -1;
    if (rc == 0)
        return 0;
    ssize_t n = ::recv(static_cast<int>(handle_), buffer, size, 0);
    if (n < 0)
        return (errno == EINTR || errno == EAGAIN) ? 0 : -1;
    if (n == 0)
        return -1;
    return static_cast<int>(n);
}

void CoreSocket::Close()
{
    if (handle_ != kInvalid) {
        ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
        ::close(static_cast<int>(handle_));
        handle_ = kInvalid;
    }
}

void SetSocketReceiveBuffer(intptr_t socket, int bytes)
{
    ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

} // namespace zdl
