// Work posted from any thread to run on the user-interface thread, in the
// order it was posted. The application's idle pass drains the queue before
// each frame, so a change posted by a worker shows in the next frame drawn
// after it ran. Posting never blocks on the user-interface thread; a wake-up
// (set by the application) lets a loop that waits for messages notice new
// work.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace zdl {

class UiTaskQueue {
public:
    // Any thread.
    void Post(std::function<void()> task);
    size_t Pending();
    // Called (on the posting thread) after every post; empty for none.
    void SetWakeUp(std::function<void()> wake);

    // User-interface thread: runs the tasks posted before the call, oldest
    // first; tasks they post run on the next call. Returns how many ran.
    size_t RunPending();

private:
    std::mutex lock_;
    std::deque<std::function<void()>> tasks_;
    std::function<void()> wake_;
};

// The process-wide queue drained by CSWinApp::OnIdle.
UiTaskQueue& TheUiQueue();

} // namespace zdl
