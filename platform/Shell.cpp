#include "platform/Shell.h"

#include <mutex>

namespace zdl {

namespace {

    std::mutex& HookLock()
    {
        static std::mutex lock;
        return lock;
    }

    MessageBoxHook& BoxHook()
    {
        static MessageBoxHook hook;
        return hook;
    }

    FolderBrowserHook& BrowserHook()
    {
        static FolderBrowserHook hook;
        return hook;
    }

} // namespace

int ShowMessageBox(NativeWindow owner, const std::string& text, const std::string& caption, unsigned flags)
{
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = BoxHook();
    }
    if (hook)
        return hook(owner, text, caption, flags);
    return SystemMessageBox(owner, text, caption, flags);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> guard(HookLock());
    MessageBoxHook previous = std::move(BoxHook());
    BoxHook() = std::move(hook);
    return previous;
}

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
