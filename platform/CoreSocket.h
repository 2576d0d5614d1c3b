// A minimal TCP client for the download core's line channel: connect to
// 127.0.0.1, send, and receive with a timeout. Also the socket tuning the
// core's HTTP transfers need (a small receive buffer under a rate limit).
//
// One thread uses a CoreSocket at a time. StartSockets must have been
// called once in the process before the first Connect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zdl {

bool StartSockets();

class CoreSocket {
public:
    CoreSocket() = default;
    ~CoreSocket() { Close(); }
    CoreSocket(const CoreSocket&) = delete;
    CoreSocket& operator=(const CoreSocket&) = delete;

    bool ConnectLoopback(uint16_t port);
    bool IsOpen() const { return handle_ != kInvalid; }
    // Sends every byte (blocking); false when the connection is broken.
    bool SendAll(const std::string& data);
    // Waits at most `timeoutMs` for data. Returns the number of bytes read,
    // 0 when nothing came in time, -1 when the peer closed or on error.
    int Receive(char* buffer, size_t size, int timeoutMs);
    void Close();

private:
    static constexpr intptr_t kInvalid = -1;
    intptr_t handle_ = kInvalid; // owned
};

// Limits the kernel receive buffer of a socket another library opened (the
// HTTP connections), so a rate limit is not undone by a large window.
void SetSocketReceiveBuffer(intptr_t socket, int bytes);

} // namespace zdl
