// The shell services without a shell: the browser is cancelled, "open"
// records its target, and named mutexes are names held by this process.
#include "platform/Shell.h"

#include <mutex>
#include <set>

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

bool SystemBrowseForFolder(const FolderBrowseRequest&, std::string*)
{
    return false;
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
