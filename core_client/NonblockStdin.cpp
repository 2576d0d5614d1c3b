#include "core_client/NonblockStdin.h"

#include <chrono>

namespace zdl {

NonblockStdin::NonblockStdin(OsHandle handle)
    : shared_(std::make_shared<Shared>())
{
    shared_->handle = handle;
}

NonblockStdin::~NonblockStdin()
{
    Stop();
}

bool NonblockStdin::Start()
{
    if (thread_.joinable())
        return true;
    thread_ = std::thread(ReadLoop, shared_);
    return thread_.joinable();
}

void NonblockStdin::ReadLoop(std::shared_ptr<Shared> shared)
{
    shared->token = CurrentThreadToken();
    shared->tokenReady = true;
    std::string current;
    bool discarding = false;
    char buffer[1024];
    while (!shared->stopping) {
        size_t got = 0;
        ReadResult r = ReadHandle(shared->handle, buffer, sizeof buffer, &got);
        if (r == ReadResult::Interrupted)
            continue;
        if (r == ReadResult::Ended)
            break;
        for (size_t i = 0; i < got; ++i) {
            char c = buffer[i];
            if (c != '\n') {
                if (!discarding)
                    current += c;
                if (current.size() > kMaxLineBytes) {
                    current.clear();
                    discarding = true;
                }
                continue;
            }
            if (!discarding) {
                std::lock_guard<std::mutex> hold(shared->lock);
                if (shared->lines.size() < kMaxQueuedLines)
                    shared->lines.push_back(std::move(current));
            }
            current.clear();
            discarding = false;
        }
    }
    // An unfinished line is discarded.
    shared->finished = true;
}

bool NonblockStdin::Stop()
{
    if (!thread_.joinable())
        return true;
    shared_->stopping = true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStopTimeoutMs);
    // The thread is normally blocked in a read: interrupt it until it has
    // seen the stop request (an interrupt that lands just before it enters
    // the read is lost, hence the repetition).
    while (!shared_->finished && Clock::now() < deadline) {
        if (shared_->tokenReady)
            InterruptBlockingRead(shared_->token);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    bool ended = shared_->finished;
    if (ended)
        thread_.join();
    else
        thread_.detach();
    if (shared_->tokenReady)
        ReleaseThreadToken(shared_->token.exchange(0));
    shared_->tokenReady = false;
    return ended;
}

bool NonblockStdin::TakeLine(std::string& line)
{
    std::lock_guard<std::mutex> hold(shared_->lock);
    if (shared_->lines.empty())
        return false;
    line = std::move(shared_->lines.front());
    shared_->lines.pop_front();
    return true;
}

bool NonblockStdin::Ended() const
{
    return shared_->finished;
}

} // namespace zdl
