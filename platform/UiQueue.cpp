#include "platform/UiQueue.h"

namespace zdl {

void UiTaskQueue::Post(std::function<void()> task)
{
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> guard(lock_);
        tasks_.push_back(std::move(task));
        wake = wake_;
    }
    if (wake)
        wake();
}

size_t UiTaskQueue::Pending()
{
    std::lock_guard<std::mutex> guard(lock_);
    return tasks_.size();
}

void UiTaskQueue::SetWakeUp(std::function<void()> wake)
{
    std::lock_guard<std::mutex> guard(lock_);
    wake_ = std::move(wake);
}

size_t UiTaskQueue::RunPending()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> guard(lock_);
        batch.swap(tasks_);
    }
    for (auto& task : batch)
        task();
    return batch.size();
}

UiTaskQueue& TheUiQueue()
{
    static UiTaskQueue queue;
    return queue;
}

} // namespace zdl
