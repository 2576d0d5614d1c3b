// The core's end of the line channel with the installer: splits the bytes
// from the socket into lines and answers each command from the
// StatusBoard. Commands: "stat", "get tb", "get qf <n>", "quit"; anything
// else is ignored. Used by the main thread only.
#pragma once

#include "core/StatusBoard.h"

#include <string>

namespace zdl::core {

constexpr size_t kMaxCommandBytes = 1024; // a longer line is dropped whole

class CommandChannel {
public:
    explicit CommandChannel(const StatusBoard& board)
        : board_(board)
    {
    }

    // Takes received bytes; returns the answers to every complete line in
    // them and sets `*quit` when "quit" came.
    std::string Feed(const char* data, size_t size, bool* quit);
    std::string Answer(const std::string& line, bool* quit) const;

private:
    const StatusBoard& board_;
    std::string pending_;
    bool discarding_ = false; // inside an overlong line
};

} // namespace zdl::core
