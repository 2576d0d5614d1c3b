// The download core's end of the line channel: a TCP connection to the
// installer on 127.0.0.1, with sends that complete and receives that wait
// at most a given time. Built on the shared loopback socket layer.
//
// One thread uses a CoreSocket at a time. StartSocketLayer must have been
// called once in the process before the first ConnectLoopback.
#pragma once

#include "platform/Socket.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zdl {

class CoreSocket {
public:
    CoreSocket() = default;
    ~CoreSocket() { Close(); }
    CoreSocket(const CoreSocket&) = delete;
    CoreSocket& operator=(const CoreSocket&) = delete;

    bool ConnectLoopback(uint16_t port);
    bool IsOpen() const { return handle_ != kInvalidSocket; }
    // Sends every byte (blocking); false when the connection is broken.
    bool SendAll(const std::string& data);
    // Waits at most `timeoutMs` for data. Returns the number of bytes read,
    // 0 when nothing came in time, -1 when the peer closed or on error.
    int Receive(char* buffer, size_t size, int timeoutMs);
    void Close();

private:
    SocketHandle handle_ = kInvalidSocket; // owned
};

} // namespace zdl
