#include "platform/FileSystem.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>

#include <algorithm>

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
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

bool RemoveEmptyDirectory(const std::string& path)
{
    return RemoveDirectoryW(WideFromGbk(path).c_str()) != 0;
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

bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, FsStatus* status)
{
    File f;
    if (!f.Open(path, File::Mode::Read, status))
        return false;
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

bool FileLock::TryAcquire(const std::string& path, FsStatus* status)
{
    Release();
    // No sharing: a second core's open fails until this handle is closed,
    // which the system does when the process ends in any way.
    HANDLE h = CreateFileW(WideFromGbk(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail(status, GetLastError());
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
