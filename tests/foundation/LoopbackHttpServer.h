// A one-thread HTTP/1.1 server on 127.0.0.1 for tests: serves one fixed body
// to every GET, honouring a "Range: bytes=a-b" header, until stopped.
#pragma once

#include <atomic>
#include <string>
#include <thread>

class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(std::string body);
    ~LoopbackHttpServer();

    bool Start(); // binds an ephemeral port on 127.0.0.1
    int port() const { return port_; }
    int requests() const { return requests_; }

private:
    void Serve();

    std::string body_;
    std::atomic<bool> stop_ { false };
    std::atomic<int> requests_ { 0 };
    long long listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};
