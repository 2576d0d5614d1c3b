#include "core/CoreSocket.h"

namespace zdl {

bool CoreSocket::ConnectLoopback(uint16_t port)
{
    Close();
    SocketHandle s = CreateTcpSocket();
    if (s == kInvalidSocket)
        return false;
    if (!zdl::ConnectLoopback(s, port)) {
        CloseSocket(s);
        return false;
    }
    handle_ = s;
    return true;
}

bool CoreSocket::SendAll(const std::string& data)
{
    return handle_ != kInvalidSocket && zdl::SendAll(handle_, data.data(), data.size());
}

int CoreSocket::Receive(char* buffer, size_t size, int timeoutMs)
{
    if (handle_ == kInvalidSocket)
        return -1;
    if (!IsReadable(handle_, timeoutMs))
        return 0;
    int n = ReceiveSome(handle_, buffer, size);
    return n > 0 ? n : -1; // 0: the installer closed its end
}

void CoreSocket::Close()
{
    CloseSocket(handle_);
    handle_ = kInvalidSocket;
}

} // namespace zdl
