// A channel that carries text lines between the installer and the download
// core. Receiving never waits: ReceiveLine hands out one complete line (the
// bytes before a line feed) when one has arrived and says no otherwise.
// Send writes the bytes unchanged; the caller supplies the line feed.
//
// The same classes serve both ends: the side that starts the other process
// (listening network side, parent console side) and the started program.
#pragma once

#include <string>

namespace zdl {

class IInteractive {
public:
    virtual ~IInteractive() = default;
    virtual bool Open() = 0;
    virtual bool ReceiveLine(std::string& line) = 0;
    virtual bool Send(const std::string& data) = 0;
    virtual void Close() = 0;
};

} // namespace zdl
