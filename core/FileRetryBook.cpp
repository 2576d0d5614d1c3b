#include "core/FileRetryBook.h"

namespace zdl::core {

int FileRetryBook::BackoffMs(int failures)
{
    int ms = kFirstFileBackoffMs;
    for (int i = 1; i < failures && ms < kMaxFileBackoffMs; ++i)
        ms *= 2;
    return ms < kMaxFileBackoffMs ? ms : kMaxFileBackoffMs;
}

int FileRetryBook::Failed(uint32_t file, uint32_t piece, long httpStatus, Clock::time_point now)
{
    Entry& e = files_[file];
    if (e.failures++ == 0)
        e.since = now;
    e.httpStatus = httpStatus;
    e.probing = false;
    e.until = now + std::chrono::milliseconds(BackoffMs(e.failures));
    e.parked.push_back(piece);
    return e.failures;
}

bool FileRetryBook::Succeeded(uint32_t file, std::vector<uint32_t>* release)
{
    auto it = files_.find(file);
    if (it == files_.end())
        return false;
    release->insert(release->end(), it->second.parked.begin(), it->second.parked.end());
    files_.erase(it);
    return true;
}

bool FileRetryBook::ParkIfWaiting(uint32_t file, uint32_t piece, Clock::time_point now)
{
    auto it = files_.find(file);
    if (it == files_.end())
        return false;
    Entry& e = it->second;
    if (e.probing || now < e.until) {
        e.parked.push_back(piece);
        return true;
    }
    e.probing = true;
    return false;
}

void FileRetryBook::ProbeNotStarted(uint32_t file)
{
    auto it = files_.find(file);
    if (it != files_.end())
        it->second.probing = false;
}

void FileRetryBook::TakeDue(Clock::time_point now, std::vector<uint32_t>* release)
{
    for (auto& [file, e] : files_) {
        if (e.probing || now < e.until || e.parked.empty())
            continue;
        release->insert(release->end(), e.parked.begin(), e.parked.end());
        e.parked.clear();
    }
}

bool FileRetryBook::Worst(uint32_t* file, int* failures, long* httpStatus, Clock::time_point* since) const
{
    bool any = false;
    for (const auto& [f, e] : files_) {
        if (!any || e.failures > *failures) {
            *file = f;
            *failures = e.failures;
            *httpStatus = e.httpStatus;
            if (since)
                *since = e.since;
            any = true;
        }
    }
    return any;
}

} // namespace zdl::core
