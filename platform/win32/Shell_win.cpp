// The shell services on Windows. Texts are GBK; the wide functions are
// called with text converted from and to code page 936, so names and paths
// come out right whatever the system's ANSI code page is.
#include "platform/Shell.h"
#include "platform/win32/Gbk_win.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <shlobj.h>

namespace zdl {

namespace {

    std::string Gbk(const wchar_t* text)
    {
        if (!text || !*text)
            return std::string();
        int n = WideCharToMultiByte(936, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (n <= 0)
            return std::string();
        std::string out(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(936, 0, text, -1, &out[0], n, nullptr, nullptr);
        out.resize(static_cast<size_t>(n - 1));
        return out;
    }

    struct BrowseContext {
        std::wstring initial;
        std::wstring windowTitle;
    };

    // Selects and shows the initial folder and retitles the browser once it
    // has started; shows every newly selected folder as status text.
    int CALLBACK BrowseCallback(HWND window, UINT msg, LPARAM lParam, LPARAM data)
    {
        auto* context = reinterpret_cast<BrowseContext*>(data);
        if (msg == BFFM_INITIALIZED) {
            SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(context->initial.c_str()));
            SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(context->initial.c_str()));
            if (!context->windowTitle.empty())
                SetWindowTextW(window, context->windowTitle.c_str());
        } else if (msg == BFFM_SELCHANGED) {
            wchar_t path[MAX_PATH] = {};
            if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path))
                SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
        }
        return 0;
    }

} // namespace

bool SystemBrowseForFolder(const FolderBrowseRequest& request, std::string* chosen)
{
    BrowseContext context { WideFromGbk(request.initialFolder), WideFromGbk(request.windowTitle) };
    std::wstring prompt = WideFromGbk(request.prompt);
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = static_cast<HWND>(request.owner);
    info.pszDisplayName = display;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = request.flags;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(&context);
    PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&info);
    if (!items)
        return false;
    wchar_t path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListW(items, path) && path[0];
    CoTaskMemFree(items);
    if (ok)
        *chosen = Gbk(path);
    return ok;
}

bool NamedMutex::Acquire(const std::string& gbkName)
{
    Release();
    std::wstring name = WideFromGbk(gbkName);
    HANDLE handle = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!handle)
        return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(handle);
        return false;
    }
    handle_ = handle;
    name_ = gbkName;
    return true;
}

void NamedMutex::Release()
{
    if (handle_)
        CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
    name_.clear();
}

bool ShellOpen(const std::string& target, const std::string& folder)
{
    std::wstring file = WideFromGbk(target);
    std::wstring dir = WideFromGbk(folder);
    HINSTANCE result
        = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, dir.empty() ? nullptr : dir.c_str(), SW_SHOWNORMAL);
    return reinterpret_cast<intptr_t>(result) > 32;
}

std::vector<std::string> ShellOpenedTargets()
{
    return {};
}

} // namespace zdl
