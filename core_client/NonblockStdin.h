// A line reader with a thread of its own, for a stream that can only be read
// by blocking (a pipe or the process's standard input). The thread collects
// complete lines (line feed removed, other bytes kept) into a queue that
// TakeLine hands out without waiting.
//
// The handle is not owned. Start and Stop are called by the owner's thread;
// TakeLine from any one thread. Stop ends the reader without cutting it off
// in the middle of its work: it interrupts the blocking read and joins.
#pragma once

#include "platform/Process.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zdl {

class NonblockStdin {
public:
    // A line longer than this is discarded up to its line feed.
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    // Lines beyond this many unread ones are dropped.
    static constexpr size_t kMaxQueuedLines = 10000;
    // How long Stop keeps interrupting a read before it gives up waiting
    // and leaves the thread to end on its own.
    static constexpr int kStopTimeoutMs = 3000;

    explicit NonblockStdin(OsHandle handle);
    ~NonblockStdin();
    NonblockStdin(const NonblockStdin&) = delete;
    NonblockStdin& operator=(const NonblockStdin&) = delete;

    bool Start();
    // Ends the reader thread; true when it ended (false only if it could not
    // be interrupted in time and was left to finish by itself).
    bool Stop();

    bool TakeLine(std::string& line);
    // True once the reader thread has ended (the stream closed or Stop).
    bool Ended() const;

private:
    // What the thread shares with its owner; kept alive by both, so a
    // thread left running after Stop never touches a deleted object.
    struct Shared {
        OsHandle handle;
        std::mutex lock;
        std::deque<std::string> lines;
        std::atomic<bool> stopping { false };
        std::atomic<bool> finished { false };
        std::atomic<ThreadToken> token { 0 };
        std::atomic<bool> tokenReady { false };
    };
    static void ReadLoop(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace zdl
