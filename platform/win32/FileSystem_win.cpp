#include "platform/FileSystem.h"

#include "platform/ConfinedPath.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif
#ifndef ERROR_REPARSE_POINT_ENCOUNTERED
#define ERROR_REPARSE_POINT_ENCOUNTERED 4395L
#endif

namespace zdl {

static bool Fail(FsStatus* status, DWORD err)
{
    if (status) {
        status->code = static_cast<int>(err);
        switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            status->kind = FsErrorKind::NotFound;
            break;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            status->kind = FsErrorKind::InUse;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            status->kind = FsErrorKind::Denied;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_DISK_QUOTA_EXCEEDED:
            status->kind = FsErrorKind::NoSpace;
            break;
        default:
            status->kind = FsErrorKind::Other;
            break;
        }
    }
    return false;
}

static bool Ok(FsStatus* status)
{
    if (status)
        *status = FsStatus {};
    return true;
}

static HANDLE H(intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}

File::~File()
{
    Close();
}

bool File::Open(const std::string& path, Mode mode, FsStatus* status)
{
    Close();
    DWORD access = mode == Mode::Read ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    // Others may read while the core writes, never write: a running game
    // that holds a file makes the open fail with a sharing violation.
    DWORD share = mode == Mode::Read ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    DWORD disposition = mode == Mode::Read ? OPEN_EXISTING : OPEN_ALWAYS;
    HANDLE h
        = CreateFileW(WideFromGbk(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(status, GetLastError());
    handle_ = reinterpret_cast<intptr_t>(h);
    return Ok(status);
}

void File::Close()
{
    if (handle_ != kInvalid) {
        CloseHandle(H(handle_));
        handle_ = kInvalid;
    }
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* got, FsStatus* status)
{
    size_t done = 0;
    while (done < size) {
        OVERLAPPED ov {};
        uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD chunk = static_cast<DWORD>(size - done > (1u << 30) ? (1u << 30) : size - done);
        DWORD n = 0;
        if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &n, &ov)) {
            DWORD err = GetLastError();
            if (err == ERROR_HANDLE_EOF)
                break;
            return Fail(status, err);
        }
        if (n == 0)
            break;
        done += n;
    }
    *got = done;
    return Ok(status);
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size, FsStatus* status)
{
    size_t done = 0;
    while (done < size) {
        OVERLAPPED ov {};
        uint64_t at = offset + done;
        ov.Offset = static_cast<DWORD>(at);
        ov.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD chunk = static_cast<DWORD>(size - done > (1u << 30) ? (1u << 30) : size - done);
        DWORD n = 0;
        if (!WriteFile(H(handle_), static_cast<const char*>(data) + done, chunk, &n, &ov))
            return Fail(status, GetLastError());
        if (n == 0)
            return Fail(status, ERROR_DISK_FULL);
        done += n;
    }
    return Ok(status);
}

bool File::GetSize(uint64_t* size, FsStatus* status)
{
    LARGE_INTEGER li;
    if (!GetFileSizeEx(H(handle_), &li))
        return Fail(status, GetLastError());
    *size = static_cast<uint64_t>(li.QuadPart);
    return Ok(status);
}

bool File::Allocate(uint64_t size, FsStatus* status)
{
    // Moving the end of file allocates the clusters; NTFS keeps the valid
    // data length where it was, so nothing is written until the data comes.
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(H(handle_), li, nullptr, FILE_BEGIN) || !SetEndOfFile(H(handle_)))
        return Fail(status, GetLastError());
    return Ok(status);
}

bool File::Flush(FsStatus* status)
{
    if (!FlushFileBuffers(H(handle_)))
        return Fail(status, GetLastError());
    return Ok(status);
}

bool CreateDirectories(const std::string& gbkPath, FsStatus* status)
{
    // Split as UTF-16: a GBK character's second byte may be 0x5C ('\\').
    std::wstring path = WideFromGbk(gbkPath);
    std::wstring partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'/' || path[i] == L'\\') {
            partial = path.substr(0, i);
            // Skip the drive ("D:") and the empty root.
            if (partial.empty() || (partial.size() == 2 && partial[1] == L':'))
                continue;
            if (!CreateDirectoryW(partial.c_str(), nullptr)) {
                DWORD err = GetLastError();
                if (err != ERROR_ALREADY_EXISTS && err != ERROR_ACCESS_DENIED)
                    return Fail(status, err);
            }
        }
    }
    DWORD attr = GetFileAttributesW(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return Fail(status, GetLastError());
    if (!(attr & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(status, ERROR_DIRECTORY);
    return Ok(status);
}

bool PathExists(const std::string& path)
{
    return GetFileAttributesW(WideFromGbk(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool GetModifiedTime(const std::string& path, int64_t* ns)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromGbk(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    uint64_t t = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    *ns = static_cast<int64_t>(t) * 100;
    return true;
}

bool RemoveFile(const std::string& path)
{
    return DeleteFileW(WideFromGbk(path).c_str()) != 0;
}

bool WriteFileAtomically(const std::string& path, const std::string& data, FsStatus* status, Durability durability)
{
    std::wstring tmp = WideFromGbk(path + ".tmp");
    HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(status, GetLastError());
    DWORD n = 0;
    BOOL ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) && n == data.size();
    DWORD err = ok ? 0 : GetLastError();
    if (ok && durability == Durability::Flushed && !FlushFileBuffers(h)) {
        ok = FALSE;
        err = GetLastError();
    }
    CloseHandle(h);
    if (!ok) {
        DeleteFileW(tmp.c_str());
        return Fail(status, err ? err : ERROR_DISK_FULL);
    }
    DWORD moveFlags = MOVEFILE_REPLACE_EXISTING;
    if (durability == Durability::Flushed)
        moveFlags |= MOVEFILE_WRITE_THROUGH;
    if (!MoveFileExW(tmp.c_str(), WideFromGbk(path).c_str(), moveFlags)) {
        err = GetLastError();
        DeleteFileW(tmp.c_str());
        return Fail(status, err);
    }
    return Ok(status);
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode)
{
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m)
        wideMode += static_cast<wchar_t>(static_cast<unsigned char>(*m));
    return _wfopen(WideFromGbk(path).c_str(), wideMode.c_str());
}

static bool ReadAll(File& f, size_t maxSize, std::string* data, FsStatus* status)
{
    uint64_t size = 0;
    if (!f.GetSize(&size, status))
        return false;
    if (size > maxSize)
        return Fail(status, ERROR_FILE_TOO_LARGE);
    data->resize(static_cast<size_t>(size));
    size_t got = 0;
    if (!f.ReadAt(0, &(*data)[0], data->size(), &got, status))
        return false;
    data->resize(got);
    return true;
}

bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, FsStatus* status)
{
    File f;
    return f.Open(path, File::Mode::Read, status) && ReadAll(f, maxSize, data, status);
}

// Confinement below a folder. Each folder on the way is checked for the
// reparse point attribute (junctions, symbolic links, mount points and
// whatever else redirects), files are opened with
// FILE_FLAG_OPEN_REPARSE_POINT so that a link is opened as itself and
// refused, and every opened file's final path must lie in the root's final
// path: that also catches a folder swapped for a junction after it was
// checked, and links the attribute does not show (Wine shows a Unix
// symbolic link to a file as the file it points to). A new file is made
// with CREATE_NEW, which fails on an entry that exists but cannot be opened
// (a dangling link) rather than creating its target.

namespace {

    std::wstring RootWide(const std::string& root)
    {
        std::wstring w = WideFromGbk(root);
        while (w.size() > 1 && (w.back() == L'\\' || w.back() == L'/') && w[w.size() - 2] != L':')
            w.pop_back();
        return w;
    }

    std::wstring PathOf(const std::wstring& root, const std::vector<std::string>& names, size_t count)
    {
        std::wstring path = root;
        for (size_t i = 0; i < count; ++i) {
            std::wstring name = WideFromGbk(names[i]);
            if (name.find_first_of(L"\\/:") != std::wstring::npos)
                return std::wstring();
            if (path.empty() || (path.back() != L'\\' && path.back() != L'/'))
                path += L'\\';
            path += name;
        }
        return path;
    }

    bool FailLink(FsStatus* status, const std::string& entry)
    {
        if (status) {
            status->kind = FsErrorKind::Link;
            status->code = static_cast<int>(ERROR_REPARSE_POINT_ENCOUNTERED);
            status->entry = entry;
        }
        return false;
    }

    // The entry as its folder lists it: a reparse point, or a name that
    // is listed but cannot be reached (a dangling link).
    bool ListedAsLink(const std::wstring& path, bool reachable)
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(path.c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        FindClose(h);
        return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !reachable;
    }

    // `volume`: VOLUME_NAME_DOS, or VOLUME_NAME_NT for a volume without a
    // drive letter's name (some RAM disks and shares).
    bool FinalPath(HANDLE h, DWORD volume, std::wstring* out)
    {
        std::vector<wchar_t> buffer(MAX_PATH + 1);
        for (int attempt = 0; attempt < 2; ++attempt) {
            DWORD n = GetFinalPathNameByHandleW(
                h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | volume);
            if (n == 0)
                return false;
            if (n < buffer.size()) {
                out->assign(buffer.data(), n);
                return true;
            }
            buffer.resize(n + 1);
        }
        return false;
    }

    const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

    // The folders from the root down to a file, checked one by one and held
    // open without FILE_SHARE_DELETE until the walk ends, so none of them
    // can be renamed away and replaced by a junction meanwhile.
    class FolderWalk {
    public:
        explicit FolderWalk(std::wstring root)
            : root_(std::move(root))
        {
        }
        ~FolderWalk()
        {
            for (HANDLE h : held_)
                CloseHandle(h);
        }
        FolderWalk(const FolderWalk&) = delete;
        FolderWalk& operator=(const FolderWalk&) = delete;

        const std::wstring& Root() const { return root_; }

        // Whether the open entry `h` lies below the root once every link on
        // both ways is resolved.
        bool LiesBelow(HANDLE h)
        {
            if (rootFinal_.empty()) {
                HANDLE r = CreateFileW(root_.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
                if (r == INVALID_HANDLE_VALUE)
                    return false;
                bool ok = FinalPath(r, VOLUME_NAME_DOS, &rootFinal_)
                    || (volume_ = VOLUME_NAME_NT, FinalPath(r, VOLUME_NAME_NT, &rootFinal_));
                CloseHandle(r);
                if (!ok || rootFinal_.empty())
                    return false;
                if (rootFinal_.back() != L'\\')
                    rootFinal_ += L'\\';
            }
            std::wstring final;
            return FinalPath(h, volume_, &final) && final.size() > rootFinal_.size()
                && _wcsnicmp(final.c_str(), rootFinal_.c_str(), rootFinal_.size()) == 0;
        }

        // Checks the folders of the first `count` names, making missing
        // ones when `create`; the last one is let go when `holdLast` is false
        // (a folder about to be removed).
        bool Folders(const std::vector<std::string>& names, size_t count, bool create, bool holdLast, FsStatus* status)
        {
            for (size_t i = 0; i < count; ++i) {
                std::wstring path = PathOf(root_, names, i + 1);
                if (path.empty())
                    return Fail(status, ERROR_INVALID_NAME);
                const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
                const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
                HANDLE h
                    = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, flags, nullptr);
                DWORD err = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
                // A name that is taken yet cannot be opened is a dangling link.
                bool taken = false;
                if (h == INVALID_HANDLE_VALUE && create
                    && (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)) {
                    if (!CreateDirectoryW(path.c_str(), nullptr)) {
                        err = GetLastError();
                        if (err != ERROR_ALREADY_EXISTS)
                            return ListedAsLink(path, false) ? FailLink(status, ConfinedEntry(names, i + 1))
                                                             : Fail(status, err);
                        taken = true;
                    }
                    h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, flags, nullptr);
                    err = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
                }
                if (h == INVALID_HANDLE_VALUE)
                    return taken || ListedAsLink(path, err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND)
                        ? FailLink(status, ConfinedEntry(names, i + 1))
                        : Fail(status, err);
                BY_HANDLE_FILE_INFORMATION info {};
                bool read = GetFileInformationByHandle(h, &info) != 0;
                err = read ? 0 : GetLastError();
                bool link = read
                    && ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
                        || ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !LiesBelow(h)));
                if (!read || link || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    CloseHandle(h);
                    if (link)
                        return FailLink(status, ConfinedEntry(names, i + 1));
                    return Fail(status, read ? ERROR_DIRECTORY : err);
                }
                if (i + 1 == count && !holdLast)
                    CloseHandle(h);
                else
                    held_.push_back(h);
            }
            return true;
        }

    private:
        std::wstring root_;
        std::wstring rootFinal_; // with a trailing separator, once asked
        DWORD volume_ = VOLUME_NAME_DOS; // the form rootFinal_ has
        std::vector<HANDLE> held_; // owned
    };

    enum class Create { No, IfMissing };

    // Opens the file `rel` below `root`; INVALID_HANDLE_VALUE on failure.
    HANDLE OpenLeafBelow(
        const std::string& root, const std::string& rel, DWORD access, DWORD share, Create create, FsStatus* status)
    {
        std::vector<std::string> names;
        if (!SplitConfinedPath(rel, &names)) {
            Fail(status, ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
        FolderWalk walk(RootWide(root));
        if (!walk.Folders(names, names.size() - 1, false, true, status))
            return INVALID_HANDLE_VALUE;
        const std::wstring path = PathOf(walk.Root(), names, names.size());
        if (path.empty()) {
            Fail(status, ERROR_INVALID_NAME);
            return INVALID_HANDLE_VALUE;
        }
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
        HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr);
        DWORD err = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (h == INVALID_HANDLE_VALUE && err == ERROR_FILE_NOT_FOUND && create == Create::IfMissing) {
            h = CreateFileW(path.c_str(), access, share, nullptr, CREATE_NEW, flags, nullptr);
            err = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) {
                // Neither there to open nor free to create: a dangling link.
                FailLink(status, rel);
                return INVALID_HANDLE_VALUE;
            }
        }
        if (h == INVALID_HANDLE_VALUE) {
            if (ListedAsLink(path, err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND))
                FailLink(status, rel);
            else
                Fail(status, err);
            return INVALID_HANDLE_VALUE;
        }
        BY_HANDLE_FILE_INFORMATION info {};
        bool refused = !GetFileInformationByHandle(h, &info)
            || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
            || !walk.LiesBelow(h);
        if (refused) {
            CloseHandle(h);
            if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                && !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                Fail(status, ERROR_ACCESS_DENIED);
            else
                FailLink(status, rel);
            return INVALID_HANDLE_VALUE;
        }
        return h;
    }

    bool RemoveBelow(const std::string& root, const std::string& rel, bool folder, FsStatus* status)
    {
        std::vector<std::string> names;
        if (!SplitConfinedPath(rel, &names))
            return Fail(status, ERROR_INVALID_NAME);
        FsStatus local;
        auto fail = [&]() {
            if (local.kind == FsErrorKind::NotFound)
                return Ok(status);
            if (status)
                *status = local;
            return false;
        };
        if (folder) {
            FolderWalk walk(RootWide(root));
            if (!walk.Folders(names, names.size(), false, false, &local))
                return fail();
            const std::wstring path = PathOf(walk.Root(), names, names.size());
            return RemoveDirectoryW(path.c_str()) ? Ok(status) : Fail(status, GetLastError());
        }
        // Opened as itself first: a link (or a file that lies elsewhere) is
        // refused, not deleted; the handle deletes it when closed.
        HANDLE h = OpenLeafBelow(root, rel, DELETE | FILE_READ_ATTRIBUTES, kShareAll, Create::No, &local);
        if (h == INVALID_HANDLE_VALUE)
            return fail();
        FILE_DISPOSITION_INFO dispose {};
        dispose.DeleteFile = TRUE;
        bool ok = SetFileInformationByHandle(h, FileDispositionInfo, &dispose, sizeof dispose) != 0;
        DWORD err = ok ? 0 : GetLastError();
        CloseHandle(h);
        return ok ? Ok(status) : Fail(status, err);
    }

} // namespace

bool File::OpenBelow(const std::string& root, const std::string& rel, Mode mode, FsStatus* status)
{
    Close();
    DWORD access = mode == Mode::Read ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    DWORD share = mode == Mode::Read ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : FILE_SHARE_READ;
    HANDLE h = OpenLeafBelow(root, rel, access, share, mode == Mode::Read ? Create::No : Create::IfMissing, status);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return Ok(status);
}

bool CreateDirectoriesBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    std::vector<std::string> names;
    if (!SplitConfinedPath(rel, &names))
        return Fail(status, ERROR_INVALID_NAME);
    FolderWalk walk(RootWide(root));
    return walk.Folders(names, names.size(), true, false, status) && Ok(status);
}

bool WriteFileAtomicallyBelow(
    const std::string& root, const std::string& rel, const std::string& data, FsStatus* status, Durability durability)
{
    // The file replaced must be no link either (the move would replace a
    // link rather than write through it; it is refused all the same).
    FsStatus local;
    HANDLE old = OpenLeafBelow(
        root, rel, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, Create::No, &local);
    if (old != INVALID_HANDLE_VALUE)
        CloseHandle(old);
    else if (local.kind != FsErrorKind::NotFound)
        return status ? (*status = local, false) : false;
    HANDLE h = OpenLeafBelow(root, rel + ".tmp", GENERIC_WRITE, 0, Create::IfMissing, status);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    std::vector<std::string> names;
    SplitConfinedPath(rel, &names); // valid: opened above
    const std::wstring target = PathOf(RootWide(root), names, names.size());
    const std::wstring tmp = target + L".tmp";
    LARGE_INTEGER zero {};
    DWORD n = 0;
    BOOL ok = SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) && SetEndOfFile(h)
        && WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr) && n == data.size();
    DWORD err = ok ? 0 : GetLastError();
    if (ok && durability == Durability::Flushed && !FlushFileBuffers(h)) {
        ok = FALSE;
        err = GetLastError();
    }
    CloseHandle(h);
    if (ok) {
        DWORD moveFlags = MOVEFILE_REPLACE_EXISTING;
        if (durability == Durability::Flushed)
            moveFlags |= MOVEFILE_WRITE_THROUGH;
        if (MoveFileExW(tmp.c_str(), target.c_str(), moveFlags))
            return Ok(status);
        err = GetLastError();
    }
    DeleteFileW(tmp.c_str()); // checked above: our own file
    return Fail(status, err ? err : ERROR_DISK_FULL);
}

bool ReadWholeFileBelow(
    const std::string& root, const std::string& rel, size_t maxSize, std::string* data, FsStatus* status)
{
    File f;
    return f.OpenBelow(root, rel, File::Mode::Read, status) && ReadAll(f, maxSize, data, status);
}

bool RemoveFileBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    return RemoveBelow(root, rel, false, status);
}

bool RemoveEmptyDirectoryBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    return RemoveBelow(root, rel, true, status);
}

static bool ListInto(const std::string& root, const std::string& rel, std::vector<std::string>* files, int depth)
{
    if (depth > 64)
        return false;
    std::string pattern = (rel.empty() ? root : root + "/" + rel) + "/*";
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(WideFromGbk(pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        std::string name = GbkFromWide(fd.cFileName);
        if (name == "." || name == "..")
            continue;
        std::string child = rel.empty() ? name : rel + "/" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = ListInto(root, child, files, depth + 1);
        else
            files->push_back(child);
    } while (ok && FindNextFileW(h, &fd));
    FindClose(h);
    return ok;
}

std::string DiskPathFromGbk(const std::string& gbk)
{
    return gbk;
}

bool ListFilesRecursively(const std::string& dir, std::vector<std::string>* files)
{
    files->clear();
    if (!ListInto(dir, "", files, 0))
        return false;
    std::sort(files->begin(), files->end());
    return true;
}

bool GetAvailableDiskSpace(const std::string& path, uint64_t* bytes)
{
    ULARGE_INTEGER avail;
    if (!GetDiskFreeSpaceExW(WideFromGbk(path).c_str(), &avail, nullptr, nullptr))
        return false;
    *bytes = avail.QuadPart;
    return true;
}

bool FileLock::TryAcquireBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    Release();
    // No sharing: a second core's open fails until this handle is closed,
    // which the system does when the process ends in any way.
    HANDLE h = OpenLeafBelow(root, rel, GENERIC_READ | GENERIC_WRITE, 0, Create::IfMissing, status);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    handle_ = reinterpret_cast<intptr_t>(h);
    return Ok(status);
}

void FileLock::Release()
{
    if (handle_ != -1) {
        CloseHandle(H(handle_));
        handle_ = -1;
    }
}

} // namespace zdl
