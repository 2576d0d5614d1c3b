// Reads shell links back through IShellLink, for the journey: for each
// .lnk path given (UTF-8 on the command line is not assumed; the paths come
// as the program's wide arguments) prints one line in UTF-8:
//   <link>|<target>|<working folder>|<description>
// Exit code 0 when every link loaded, 1 otherwise (the failing link's line
// reads "<link>|ERROR <hresult>").
#include "WideToUtf8.h"

#include <windows.h>
// (after windows.h)
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

namespace {

bool PrintLink(const wchar_t* path)
{
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    HRESULT hr = CoCreateInstance(
        CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link));
    if (SUCCEEDED(hr))
        hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr))
        hr = file->Load(path, STGM_READ);
    wchar_t target[MAX_PATH] = {}, dir[MAX_PATH] = {}, description[INFOTIPSIZE] = {};
    // The target from the link's item list (UTF-16 names), as the installer
    // reads it; the location record's path as a fall-back.
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(hr) && SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, target)) {
    } else if (SUCCEEDED(hr)) {
        hr = link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    }
    CoTaskMemFree(items);
    if (SUCCEEDED(hr))
        hr = link->GetWorkingDirectory(dir, MAX_PATH);
    if (SUCCEEDED(hr))
        hr = link->GetDescription(description, INFOTIPSIZE);
    if (SUCCEEDED(hr))
        std::printf(
            "%s|%s|%s|%s\n", Utf8(path).c_str(), Utf8(target).c_str(), Utf8(dir).c_str(), Utf8(description).c_str());
    else
        std::printf("%s|ERROR %08lx\n", Utf8(path).c_str(), static_cast<unsigned long>(hr));
    if (file)
        file->Release();
    if (link)
        link->Release();
    return SUCCEEDED(hr);
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        std::fprintf(stderr, "usage: zdl-readlink LINK...\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    bool ok = true;
    for (int i = 1; i < argc; ++i)
        ok = PrintLink(argv[i]) && ok;
    CoUninitialize();
    LocalFree(argv);
    return ok ? 0 : 1;
}
