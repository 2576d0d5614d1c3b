#include "LoopbackHttpServer.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using Socket = SOCKET;
static void CloseSocket(Socket s)
{
    closesocket(s);
}
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using Socket = int;
static void CloseSocket(Socket s)
{
    close(s);
}
#endif

LoopbackHttpServer::LoopbackHttpServer(std::string body)
    : body_(std::move(body))
{
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        CloseSocket(static_cast<Socket>(listener_));
}

bool LoopbackHttpServer::Start()
{
#ifdef _WIN32
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
#endif
    Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 4) != 0) {
        CloseSocket(s);
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listener_ = static_cast<long long>(s);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void LoopbackHttpServer::Serve()
{
    Socket listener = static_cast<Socket>(listener_);
    while (!stop_) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(listener, &set);
        timeval tv { 0, 50 * 1000 };
        if (select(static_cast<int>(listener + 1), &set, nullptr, nullptr, &tv) <= 0)
            continue;
        Socket c = accept(listener, nullptr, nullptr);
        char request[4096];
        int got = 0;
        while (got < static_cast<int>(sizeof request) - 1) {
            int n = recv(c, request + got, static_cast<int>(sizeof request) - 1 - got, 0);
            if (n <= 0)
                break;
            got += n;
            request[got] = 0;
            if (std::strstr(request, "\r\n\r\n"))
                break;
        }
        request[got] = 0;
        ++requests_;
        size_t first = 0, last = body_.size() - 1;
        bool partial = false;
        if (const char* range = std::strstr(request, "Range: bytes=")) {
            unsigned long long a = 0, b = 0;
            if (std::sscanf(range, "Range: bytes=%llu-%llu", &a, &b) == 2 && a <= b && b < body_.size()) {
                first = a;
                last = b;
                partial = true;
            }
        }
        char header[256];
        int hn = std::snprintf(header, sizeof header, "HTTP/1.1 %s\r\nContent-Length: %zu\r\nConnection: close\r\n\r\n",
            partial ? "206 Partial Content" : "200 OK", last - first + 1);
        send(c, header, hn, 0);
        send(c, body_.data() + first, static_cast<int>(last - first + 1), 0);
        CloseSocket(c);
    }
}
