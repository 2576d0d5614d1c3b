#include "platform/Shell.h"

#include <mutex>

namespace zdl {

namespace {

    std::mutex& HookLock()
    {
        static std::mutex lock;
        return lock;
    }

    FolderBrowserHook& BrowserHook()
    {
        static FolderBrowserHook hook;
        return hook;
    }

} // namespace

bool BrowseForFolder(const FolderBrowseRequest& request, std::string* chosen)
{
    FolderBrowserHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = BrowserHook();
    }
    std::string path;
    bool ok = hook ? hook(request, &path) : SystemBrowseForFolder(request, &path);
    if (ok && chosen)
        *chosen = path;
    return ok;
}

FolderBrowserHook SetFolderBrowserHook(FolderBrowserHook hook)
{
    std::lock_guard<std::mutex> guard(HookLock());
    FolderBrowserHook previous = std::move(BrowserHook());
    BrowserHook() = std::move(hook);
    return previous;
}

NamedMutex::~NamedMutex()
{
    Release();
}

} // namespace zdl
