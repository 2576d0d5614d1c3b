// The shell services without a shell: the browser is cancelled, "open"
// records its target, and named mutexes are names held by this process.
#include "platform/Shell.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <unistd.h>

namespace zdl {

namespace {

    struct NativeShellState {
        std::mutex lock;
        std::set<std::string> mutexNames;
        std::vector<std::string> opened;
    };

    NativeShellState& State()
    {
        static NativeShellState state;
        return state;
    }

} // namespace

bool SystemBrowseForFolder(const FolderBrowseRequest&, BrowsedFolder*)
{
    return false;
}

bool FolderAcceptsNewFiles(const std::string& folder)
{
    std::string probe = folder;
    if (probe.empty() || probe.back() != '/')
        probe += '/';
    probe += ".zdl-write-probe-" + std::to_string(getpid());
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool NamedMutex::Acquire(const std::string& gbkName)
{
    Release();
    std::lock_guard<std::mutex> guard(State().lock);
    if (!State().mutexNames.insert(gbkName).second)
        return false;
    name_ = gbkName;
    handle_ = this;
    return true;
}

void NamedMutex::Release()
{
    if (!handle_)
        return;
    std::lock_guard<std::mutex> guard(State().lock);
    State().mutexNames.erase(name_);
    handle_ = nullptr;
    name_.clear();
}

bool ShellOpen(const std::string& target, const std::string&)
{
    std::lock_guard<std::mutex> guard(State().lock);
    State().opened.push_back(target);
    return true;
}

std::vector<std::string> ShellOpenedTargets()
{
    std::lock_guard<std::mutex> guard(State().lock);
    return State().opened;
}

} // namespace zdl
