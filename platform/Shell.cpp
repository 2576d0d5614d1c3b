#include "platform/Shell.h"

#include "platform/MessageBox.h"
#include "platform/WinDefs.h"

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

// "文件夹名称中含有系统无法识别的字符，无法作为安装文件夹。\r\n请选择或新建一个只含中文、英文字母和数字的文件夹。"
const char kTextFolderNameNotGbk[]
    = "\xCE\xC4\xBC\xFE\xBC\xD0\xC3\xFB\xB3\xC6\xD6\xD0\xBA\xAC\xD3\xD0\xCF\xB5\xCD\xB3\xCE\xDE\xB7\xA8"
      "\xCA\xB6\xB1\xF0\xB5\xC4\xD7\xD6\xB7\xFB\xA3\xAC\xCE\xDE\xB7\xA8\xD7\xF7\xCE\xAA\xB0\xB2\xD7\xB0"
      "\xCE\xC4\xBC\xFE\xBC\xD0\xA1\xA3\r\n\xC7\xEB\xD1\xA1\xD4\xF1\xBB\xF2\xD0\xC2\xBD\xA8\xD2\xBB\xB8\xF6"
      "\xD6\xBB\xBA\xAC\xD6\xD0\xCE\xC4\xA1\xA2\xD3\xA2\xCE\xC4\xD7\xD6\xC4\xB8\xBA\xCD\xCA\xFD\xD7\xD6"
      "\xB5\xC4\xCE\xC4\xBC\xFE\xBC\xD0\xA1\xA3";
// "没有在这个文件夹中写入文件的权限（系统保护的文件夹需要管理员权限）。\r\n请选择其他文件夹，例如 D:\Games。"
const char kTextFolderNotWritable[]
    = "\xC3\xBB\xD3\xD0\xD4\xDA\xD5\xE2\xB8\xF6\xCE\xC4\xBC\xFE\xBC\xD0\xD6\xD0\xD0\xB4\xC8\xEB\xCE\xC4"
      "\xBC\xFE\xB5\xC4\xC8\xA8\xCF\xDE\xA3\xA8\xCF\xB5\xCD\xB3\xB1\xA3\xBB\xA4\xB5\xC4\xCE\xC4\xBC\xFE"
      "\xBC\xD0\xD0\xE8\xD2\xAA\xB9\xDC\xC0\xED\xD4\xB1\xC8\xA8\xCF\xDE\xA3\xA9\xA1\xA3\r\n\xC7\xEB\xD1\xA1"
      "\xD4\xF1\xC6\xE4\xCB\xFB\xCE\xC4\xBC\xFE\xBC\xD0\xA3\xAC\xC0\xFD\xC8\xE7 D:\\Games\xA1\xA3";
// "选择安装文件夹"
const char kTextFolderCheckTitle[] = "\xD1\xA1\xD4\xF1\xB0\xB2\xD7\xB0\xCE\xC4\xBC\xFE\xBC\xD0";

bool CheckBrowsedFolder(NativeWindow owner, const BrowsedFolder& folder)
{
    const char* problem = !folder.nameFitsGbk || folder.path.empty() ? kTextFolderNameNotGbk
        : !folder.writable                                           ? kTextFolderNotWritable
                                                                     : nullptr;
    if (!problem)
        return true;
    const std::string text = folder.shownName + "\r\n\r\n" + problem;
    ShowMessageBox(owner, text.c_str(), kTextFolderCheckTitle, MB_OK | MB_ICONWARNING);
    return false;
}

bool BrowseForFolder(const FolderBrowseRequest& request, std::string* chosen)
{
    FolderBrowserHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = BrowserHook();
    }
    std::string path;
    if (hook) {
        if (!hook(request, &path))
            return false;
    } else {
        BrowsedFolder folder;
        if (!SystemBrowseForFolder(request, &folder) || !CheckBrowsedFolder(request.owner, folder))
            return false;
        path = folder.path;
    }
    if (chosen)
        *chosen = path;
    return true;
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
