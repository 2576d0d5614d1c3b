// The Win32 shell services: COM, SHGetFolderPath, shell links through
// IShellLinkA + IPersistFile, verbs through Shell32's string table and the
// "Shell.Application" automation object, ShellExecute. Every interface
// obtained is released on every path (ComRef).
#include "platform/ShellPlatform.h"

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

    std::wstring ToWide(const std::string& text)
    {
        if (text.empty())
            return std::wstring();
        int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (n <= 0)
            return std::wstring();
        std::wstring wide(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
        return wide;
    }

    std::string ToAnsi(const wchar_t* text, UINT length)
    {
        if (!text || length == 0)
            return std::string();
        int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        if (n <= 0)
            return std::string();
        std::string ansi(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), &ansi[0], n, nullptr, nullptr);
        return ansi;
    }

    // The offset just after the last backslash, stepping over double-byte
    // characters so a trail byte of 0x5C is never taken for a separator.
    size_t FileNameOffset(const std::string& path)
    {
        size_t nameAt = 0;
        const char* p = path.c_str();
        while (*p) {
            const char* next = CharNextA(p);
            if (next == p + 1 && *p == '\\')
                nameAt = static_cast<size_t>(next - path.c_str());
            p = next;
        }
        return nameAt;
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

    bool OpenLink(ComRef<IShellLinkA>* link, ComRef<IPersistFile>* file)
    {
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link->putVoid())))
            return false;
        return SUCCEEDED((*link)->QueryInterface(IID_IPersistFile, file->putVoid()));
    }

    class Win32ShellPlatform : public ShellPlatform {
    public:
        bool InitializeCom() override { return SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }

        void UninitializeCom() override { CoUninitialize(); }

        bool GetFolderPath(ShellFolder folder, std::string* path) override
        {
            char buffer[MAX_PATH + 1] = {};
            if (SHGetFolderPathA(nullptr, FolderId(folder), nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK)
                return false;
            *path = buffer;
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
            DWORD attrs = GetFileAttributesA(path.c_str());
            if (attrs == INVALID_FILE_ATTRIBUTES)
                return PathKind::kMissing;
            return (attrs & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
        }

        MakeFolderResult MakeFolder(const std::string& path) override
        {
            if (CreateDirectoryA(path.c_str(), nullptr))
                return MakeFolderResult::kCreated;
            return GetLastError() == ERROR_ALREADY_EXISTS ? MakeFolderResult::kAlreadyExists
                                                          : MakeFolderResult::kFailed;
        }

        bool WriteShortcut(const std::string& linkPath, const ShortcutInfo& info) override
        {
            ComRef<IShellLinkA> link;
            ComRef<IPersistFile> file;
            if (!OpenLink(&link, &file))
                return false;
            if (FAILED(link->SetPath(info.target.c_str())))
                return false;
            if (!info.workingFolder.empty())
                link->SetWorkingDirectory(info.workingFolder.c_str());
            link->SetDescription(info.description.c_str());
            link->SetShowCmd(SW_SHOWNORMAL);
            DWORD attrs = GetFileAttributesA(linkPath.c_str());
            if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(linkPath.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
            std::wstring wide = ToWide(linkPath);
            return !wide.empty() && SUCCEEDED(file->Save(wide.c_str(), TRUE));
        }

        bool ReadShortcut(const std::string& linkPath, ShortcutInfo* info) override
        {
            ComRef<IShellLinkA> link;
            ComRef<IPersistFile> file;
            if (!OpenLink(&link, &file))
                return false;
            std::wstring wide = ToWide(linkPath);
            if (wide.empty() || FAILED(file->Load(wide.c_str(), STGM_READ)))
                return false;
            char buffer[INFOTIPSIZE + 1] = {};
            if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH)))
                return false;
            info->target = buffer;
            buffer[0] = '\0';
            info->workingFolder = SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH)) ? buffer : "";
            buffer[0] = '\0';
            info->description = SUCCEEDED(link->GetDescription(buffer, INFOTIPSIZE)) ? buffer : "";
            return true;
        }

        std::string LoadShellString(int id) override
        {
            HMODULE shell32 = LoadLibraryA("Shell32.dll");
            if (!shell32)
                return std::string();
            char buffer[257] = {};
            int n = LoadStringA(shell32, static_cast<UINT>(id), buffer, 256);
            FreeLibrary(shell32);
            return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
        }

        HResult InvokeItemVerb(const std::string& file, const std::string& verbName) override
        {
            ComRef<IShellDispatch> shell;
            if (FAILED(
                    CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_IShellDispatch, shell.putVoid())))
                return E_FAIL;
            size_t nameAt = FileNameOffset(file);
            VARIANT folderPath;
            VariantInit(&folderPath);
            folderPath.vt = VT_BSTR;
            folderPath.bstrVal = SysAllocString(ToWide(file.substr(0, nameAt)).c_str());
            ComRef<Folder> folder;
            HRESULT hr = shell->NameSpace(folderPath, folder.put());
            VariantClear(&folderPath);
            if (hr != S_OK || !folder.get())
                return E_NOINTERFACE;
            Bstr name(ToWide(file.substr(nameAt)));
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
                if (ToAnsi(verbText.get(), SysStringLen(verbText.get())) == verbName) {
                    verb->DoIt();
                    return S_OK;
                }
            }
            return E_FAIL;
        }

        bool ShellOpen(const std::string& file, const std::string& workingFolder) override
        {
            HINSTANCE result = ShellExecuteA(nullptr, "open", file.c_str(), "",
                workingFolder.empty() ? nullptr : workingFolder.c_str(), SW_SHOWNORMAL);
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
