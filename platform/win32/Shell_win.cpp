// The shell services on Windows. Texts are GBK; the wide functions are
// called with text converted from and to code page 936, so names and paths
// come out right whatever the system's ANSI code page is. A chosen folder
// whose name GBK cannot hold is never turned into "?": the browser reports
// it, and BrowseForFolder refuses it.
#include "platform/Shell.h"
#include "platform/win32/Gbk_win.h"

#include <windows.h>
// After <windows.h>, which they need.
#include <shellapi.h>
#include <shlobj.h>

namespace zdl {

namespace {

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

bool SystemBrowseForFolder(const FolderBrowseRequest& request, BrowsedFolder* chosen)
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
    if (!ok)
        return false;
    chosen->shownName = GbkFromWide(path);
    chosen->nameFitsGbk = ExactGbkFromWide(path, &chosen->path);
    if (!chosen->nameFitsGbk)
        chosen->path.clear();
    chosen->writable = chosen->nameFitsGbk && FolderAcceptsNewFiles(chosen->path);
    return true;
}

bool FolderAcceptsNewFiles(const std::string& folder)
{
    std::wstring probe = WideFromGbk(folder);
    if (probe.empty())
        return false;
    if (probe.back() != L'\\')
        probe += L'\\';
    probe += L".zdl-write-probe-" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS;
    CloseHandle(file);
    return true;
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
