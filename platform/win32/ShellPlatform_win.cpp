// The Win32 shell services: COM, SHGetFolderPath, shell links through
// IShellLinkW + IPersistFile, verbs through Shell32's string table and the
// "Shell.Application" automation object, ShellExecute. Every interface
// obtained is released on every path (ComRef).
//
// Only wide calls: the portable code's GBK becomes UTF-16 through code page
// 936 (platform/win32/Gbk_win.h), never the ANSI code page, so a Western or
// UTF-8 system gets the same names and targets as a Chinese one. The
// system's folders come back lossless (escapes for what GBK cannot hold), so
// a user profile named "Jörg" or in Korean still receives its links.
#include "platform/ShellPlatform.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>

namespace zdl {

namespace {

    // Owns one reference to a COM interface.
    template <typename T> class ComRef {
    public:
        ComRef() = default;
        ~ComRef()
        {
            if (p_)
                p_->Release();
        }
        ComRef(const ComRef&) = delete;
        ComRef& operator=(const ComRef&) = delete;
        T* get() const { return p_; }
        T* operator->() const { return p_; }
        T** put() { return &p_; }
        void** putVoid() { return reinterpret_cast<void**>(&p_); }

    private:
        T* p_ = nullptr;
    };

    // Owns a BSTR.
    class Bstr {
    public:
        explicit Bstr(const std::wstring& text)
            : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
        {
        }
        Bstr() = default;
        ~Bstr() { SysFreeString(s_); }
        Bstr(const Bstr&) = delete;
        Bstr& operator=(const Bstr&) = delete;
        BSTR get() const { return s_; }
        BSTR* put() { return &s_; }

    private:
        BSTR s_ = nullptr;
    };

    // The offset just after the last backslash of the GBK |path|: as UTF-16
    // no backslash can hide in a double-byte character.
    std::wstring FileName(const std::wstring& path, std::wstring* folder)
    {
        size_t slash = path.rfind(L'\\');
        size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
        *folder = path.substr(0, nameAt);
        return path.substr(nameAt);
    }

    int FolderId(ShellFolder folder)
    {
        switch (folder) {
        case ShellFolder::kDesktop:
            return CSIDL_DESKTOP;
        case ShellFolder::kPrograms:
            return CSIDL_PROGRAMS;
        case ShellFolder::kAppData:
            break;
        }
        return CSIDL_APPDATA;
    }

    bool OpenLink(ComRef<IShellLinkW>* link, ComRef<IPersistFile>* file)
    {
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link->putVoid())))
            return false;
        return SUCCEEDED((*link)->QueryInterface(IID_IPersistFile, file->putVoid()));
    }

    class Win32ShellPlatform : public ShellPlatform {
    public:
        bool InitializeCom() override { return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }

        void UninitializeCom() override { CoUninitialize(); }

        bool GetFolderPath(ShellFolder folder, std::string* path) override
        {
            wchar_t buffer[MAX_PATH + 1] = {};
            if (SHGetFolderPathW(nullptr, FolderId(folder), nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
                return false;
            *path = GbkPathFromWide(buffer);
            return !path->empty();
        }

        OsVersion GetOsVersion() override
        {
            DWORD v = GetVersion();
            OsVersion version;
            version.major = LOBYTE(LOWORD(v));
            version.minor = HIBYTE(LOWORD(v));
            return version;
        }

        PathKind GetPathKind(const std::string& path) override
        {
            DWORD attrs = GetFileAttributesW(WideFromGbk(path).c_str());
            if (attrs == INVALID_FILE_ATTRIBUTES)
                return PathKind::kMissing;
            return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
        }

        MakeFolderResult MakeFolder(const std::string& path) override
        {
            if (CreateDirectoryW(WideFromGbk(path).c_str(), nullptr))
                return MakeFolderResult::kCreated;
            return GetLastError() == ERROR_ALREADY_EXISTS ? MakeFolderResult::kAlreadyExists
                                                          : MakeFolderResult::kFailed;
        }

        bool WriteShortcut(const std::string& linkPath, const ShortcutInfo& info) override
        {
            ComRef<IShellLinkW> link;
            ComRef<IPersistFile> file;
            if (!OpenLink(&link, &file))
                return false;
            if (FAILED(link->SetPath(WideFromGbk(info.target).c_str())))
                return false;
            if (!info.workingFolder.empty())
                link->SetWorkingDirectory(WideFromGbk(info.workingFolder).c_str());
            link->SetDescription(WideFromGbk(info.description).c_str());
            link->SetShowCmd(SW_SHOWNORMAL);
            std::wstring wide = WideFromGbk(linkPath);
            DWORD attrs = GetFileAttributesW(wide.c_str());
            if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesW(wide.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
            return !wide.empty() && SUCCEEDED(file->Save(wide.c_str(), TRUE));
        }

        bool ReadShortcut(const std::string& linkPath, ShortcutInfo* info) override
        {
            ComRef<IShellLinkW> link;
            ComRef<IPersistFile> file;
            if (!OpenLink(&link, &file))
                return false;
            std::wstring wide = WideFromGbk(linkPath);
            if (wide.empty() || FAILED(file->Load(wide.c_str(), STGM_READ)))
                return false;
            wchar_t buffer[INFOTIPSIZE + 1] = {};
            // The item list first: it holds the target's names in UTF-16,
            // where a link's location record may hold them in the ANSI code
            // page (Wine's does), which loses Chinese on a Western system.
            PIDLIST_ABSOLUTE items = nullptr;
            bool fromItems
                = SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, buffer) && buffer[0];
            CoTaskMemFree(items);
            if (!fromItems && FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH)))
                return false;
            info->target = GbkPathFromWide(buffer);
            buffer[0] = L'\0';
            info->workingFolder = SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH)) ? GbkPathFromWide(buffer) : "";
            buffer[0] = L'\0';
            info->description = SUCCEEDED(link->GetDescription(buffer, INFOTIPSIZE)) ? GbkFromWide(buffer) : "";
            return true;
        }

        std::string LoadShellString(int id) override
        {
            HMODULE shell32 = LoadLibraryW(L"Shell32.dll");
            if (!shell32)
                return std::string();
            wchar_t buffer[257] = {};
            int n = LoadStringW(shell32, static_cast<UINT>(id), buffer, 256);
            FreeLibrary(shell32);
            // Lossless: a Korean or Russian system's verb must still match.
            return n > 0 ? GbkPathFromWide(std::wstring(buffer, static_cast<size_t>(n))) : std::string();
        }

        HResult InvokeItemVerb(const std::string& file, const std::string& verbName) override
        {
            ComRef<IShellDispatch> shell;
            if (FAILED(
                    CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_IShellDispatch, shell.putVoid())))
                return E_FAIL;
            std::wstring folderName;
            std::wstring fileName = FileName(WideFromGbk(file), &folderName);
            const std::wstring wantedVerb = WideFromGbk(verbName);
            VARIANT folderPath;
            VariantInit(&folderPath);
            folderPath.vt = VT_BSTR;
            folderPath.bstrVal = SysAllocString(folderName.c_str());
            ComRef<Folder> folder;
            HRESULT hr = shell->NameSpace(folderPath, folder.put());
            VariantClear(&folderPath);
            if (hr != S_OK || !folder.get())
                return E_NOINTERFACE;
            Bstr name(fileName);
            ComRef<FolderItem> item;
            if (FAILED(folder->ParseName(name.get(), item.put())) || !item.get())
                return E_FAIL;
            ComRef<FolderItemVerbs> verbs;
            long count = 0;
            if (FAILED(item->Verbs(verbs.put())) || !verbs.get() || FAILED(verbs->get_Count(&count)))
                return E_FAIL;
            for (long i = 0; i < count; ++i) {
                VARIANT index;
                VariantInit(&index);
                index.vt = VT_I4;
                index.lVal = i;
                ComRef<FolderItemVerb> verb;
                if (FAILED(verbs->Item(index, verb.put())) || !verb.get())
                    continue;
                Bstr verbText;
                if (FAILED(verb->get_Name(verbText.put())))
                    continue;
                if (std::wstring(verbText.get(), SysStringLen(verbText.get())) == wantedVerb) {
                    verb->DoIt();
                    return S_OK;
                }
            }
            return E_FAIL;
        }

        bool ShellOpen(const std::string& file, const std::string& workingFolder) override
        {
            std::wstring wideFile = WideFromGbk(file);
            std::wstring folder = WideFromGbk(workingFolder);
            HINSTANCE result = ShellExecuteW(
                nullptr, L"open", wideFile.c_str(), L"", folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
            return reinterpret_cast<INT_PTR>(result) > 32;
        }
    };

} // namespace

ShellPlatform& SystemShellPlatform()
{
    static Win32ShellPlatform platform;
    return platform;
}

} // namespace zdl
