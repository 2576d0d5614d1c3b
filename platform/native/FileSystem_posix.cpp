// File offsets and sizes are 64-bit on every build, 32-bit ones included:
// client files are larger than 2 GiB.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif
#include "platform/FileSystem.h"

#include "platform/ConfinedPath.h"

#include "platform/Console.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

static_assert(sizeof(off_t) >= 8, "file offsets must be 64-bit");

namespace zdl {

static bool Fail(FsStatus* status, int err)
{
    if (status) {
        status->code = err;
        switch (err) {
        case ENOENT:
        case ENOTDIR:
            status->kind = FsErrorKind::NotFound;
            break;
        case ETXTBSY:
        case EBUSY:
            status->kind = FsErrorKind::InUse;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            status->kind = FsErrorKind::Denied;
            break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
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

File::~File()
{
    Close();
}

bool File::Open(const std::string& path, Mode mode, FsStatus* status)
{
    Close();
    int flags = O_CLOEXEC | (mode == Mode::Read ? O_RDONLY : (O_RDWR | O_CREAT));
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(status, errno);
    handle_ = fd;
    return Ok(status);
}

void File::Close()
{
    if (handle_ != kInvalid) {
        ::close(static_cast<int>(handle_));
        handle_ = kInvalid;
    }
}

bool File::ReadAt(uint64_t offset, void* buffer, size_t size, size_t* got, FsStatus* status)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(static_cast<int>(handle_), static_cast<char*>(buffer) + done, size - done,
            static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(status, errno);
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    *got = done;
    return Ok(status);
}

bool File::WriteAt(uint64_t offset, const void* data, size_t size, FsStatus* status)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(static_cast<int>(handle_), static_cast<const char*>(data) + done, size - done,
            static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(status, errno);
        }
        if (n == 0)
            return Fail(status, ENOSPC);
        done += static_cast<size_t>(n);
    }
    return Ok(status);
}

bool File::GetSize(uint64_t* size, FsStatus* status)
{
    struct stat st;
    if (::fstat(static_cast<int>(handle_), &st) != 0)
        return Fail(status, errno);
    *size = static_cast<uint64_t>(st.st_size);
    return Ok(status);
}

bool File::Allocate(uint64_t size, FsStatus* status)
{
    int fd = static_cast<int>(handle_);
    uint64_t current = 0;
    if (!GetSize(&current, status))
        return false;
    if (current > size) {
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
            return Fail(status, errno);
        return Ok(status);
    }
    if (current == size)
        return Ok(status);
    // fallocate reserves the blocks as unwritten extents: no zeros are
    // written and a full disk shows up now rather than in the middle of the
    // download. posix_fallocate is avoided on purpose: where the file system
    // cannot allocate it falls back to writing zeros.
    if (::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0)
        return Ok(status);
    int err = errno;
    if (err != EOPNOTSUPP && err != ENOSYS)
        return Fail(status, err);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
        return Fail(status, errno);
    return Ok(status);
}

bool File::Flush(FsStatus* status)
{
    if (::fdatasync(static_cast<int>(handle_)) != 0)
        return Fail(status, errno);
    return Ok(status);
}

bool CreateDirectories(const std::string& path, FsStatus* status)
{
    std::string partial;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos)
            next = path.size();
        partial = path.substr(0, next);
        pos = next + 1;
        if (partial.empty())
            continue;
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return Fail(status, errno);
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return Fail(status, errno);
    if (!S_ISDIR(st.st_mode))
        return Fail(status, ENOTDIR);
    return Ok(status);
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool GetModifiedTime(const std::string& path, int64_t* ns)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    *ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

static void SyncParentDirectory(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool WriteFileAtomically(const std::string& path, const std::string& data, FsStatus* status, Durability durability)
{
    std::string tmp = path + ".tmp";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Fail(status, errno);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int err = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(tmp.c_str());
            return Fail(status, err);
        }
        done += static_cast<size_t>(n);
    }
    if (durability == Durability::Flushed && ::fsync(fd) != 0) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        return Fail(status, err);
    }
    ::close(fd);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        return Fail(status, err);
    }
    if (durability == Durability::Flushed)
        SyncParentDirectory(path);
    return Ok(status);
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

static bool ReadAll(File& f, size_t maxSize, std::string* data, FsStatus* status)
{
    uint64_t size = 0;
    if (!f.GetSize(&size, status))
        return false;
    if (size > maxSize)
        return Fail(status, EFBIG);
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

// Confinement below a folder. Every folder of the relative path is opened
// with openat relative to the one above it and O_NOFOLLOW, so no link on the
// way is ever followed, whenever it appeared; the last entry is opened,
// replaced or removed relative to its folder without following it either.

namespace {

    // A descriptor closed with its scope.
    class Fd {
    public:
        explicit Fd(int fd = -1)
            : fd_(fd)
        {
        }
        ~Fd()
        {
            if (fd_ >= 0)
                ::close(fd_);
        }
        Fd(const Fd&) = delete;
        Fd& operator=(const Fd&) = delete;
        int get() const { return fd_; }
        void reset(int fd)
        {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = fd;
        }
        int release()
        {
            int fd = fd_;
            fd_ = -1;
            return fd;
        }

    private:
        int fd_;
    };

    bool FailLink(FsStatus* status, const std::string& entry)
    {
        if (status) {
            status->kind = FsErrorKind::Link;
            status->code = ELOOP;
            status->entry = entry;
        }
        return false;
    }

    bool IsLinkAt(int dir, const std::string& name)
    {
        struct stat st;
        return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    }

    // After `err` from an operation on `name` in `dir`: a link there is
    // reported as such, whatever error the system gave for it.
    bool FailAt(int dir, const std::string& name, const std::string& entry, int err, FsStatus* status)
    {
        return IsLinkAt(dir, name) ? FailLink(status, entry) : Fail(status, err);
    }

    // The folder holding the first `count` names below `root`, made where
    // missing when `create`; -1 on failure.
    int OpenFolderBelow(
        const std::string& root, const std::vector<std::string>& names, size_t count, bool create, FsStatus* status)
    {
        Fd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0) {
            Fail(status, errno);
            return -1;
        }
        for (size_t i = 0; i < count; ++i) {
            const char* name = names[i].c_str();
            const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            int next = ::openat(fd.get(), name, flags);
            if (next < 0 && errno == ENOENT && create) {
                if (::mkdirat(fd.get(), name, 0755) != 0 && errno != EEXIST) {
                    FailAt(fd.get(), names[i], ConfinedEntry(names, i + 1), errno, status);
                    return -1;
                }
                next = ::openat(fd.get(), name, flags);
            }
            if (next < 0) {
                FailAt(fd.get(), names[i], ConfinedEntry(names, i + 1), errno, status);
                return -1;
            }
            fd.reset(next);
        }
        return fd.release();
    }

    // Opens the regular file `rel` below `root` with `flags` (O_NOFOLLOW
    // is added); -1 on failure.
    int OpenLeafBelow(const std::string& root, const std::string& rel, int flags, FsStatus* status)
    {
        std::vector<std::string> names;
        if (!SplitConfinedPath(rel, &names)) {
            Fail(status, EINVAL);
            return -1;
        }
        Fd dir(OpenFolderBelow(root, names, names.size() - 1, false, status));
        if (dir.get() < 0)
            return -1;
        int fd;
        do {
            fd = ::openat(dir.get(), names.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            FailAt(dir.get(), names.back(), rel, errno, status);
            return -1;
        }
        // A pipe or a device is no file of the install.
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            Fail(status, EINVAL);
            return -1;
        }
        return fd;
    }

    bool RemoveBelow(const std::string& root, const std::string& rel, bool folder, FsStatus* status)
    {
        std::vector<std::string> names;
        if (!SplitConfinedPath(rel, &names))
            return Fail(status, EINVAL);
        FsStatus local;
        Fd dir(OpenFolderBelow(root, names, names.size() - 1, false, &local));
        if (dir.get() < 0) {
            if (local.kind == FsErrorKind::NotFound)
                return Ok(status);
            if (status)
                *status = local;
            return false;
        }
        const std::string& leaf = names.back();
        struct stat st;
        if (::fstatat(dir.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? Ok(status) : Fail(status, errno);
        if (S_ISLNK(st.st_mode))
            return FailLink(status, rel);
        if (::unlinkat(dir.get(), leaf.c_str(), folder ? AT_REMOVEDIR : 0) != 0)
            return errno == ENOENT ? Ok(status) : FailAt(dir.get(), leaf, rel, errno, status);
        return Ok(status);
    }

} // namespace

bool File::OpenBelow(const std::string& root, const std::string& rel, Mode mode, FsStatus* status)
{
    Close();
    int fd = OpenLeafBelow(root, rel, mode == Mode::Read ? O_RDONLY : (O_RDWR | O_CREAT), status);
    if (fd < 0)
        return false;
    handle_ = fd;
    return Ok(status);
}

bool CreateDirectoriesBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    std::vector<std::string> names;
    if (!SplitConfinedPath(rel, &names))
        return Fail(status, EINVAL);
    Fd dir(OpenFolderBelow(root, names, names.size(), true, status));
    return dir.get() >= 0 && Ok(status);
}

bool WriteFileAtomicallyBelow(
    const std::string& root, const std::string& rel, const std::string& data, FsStatus* status, Durability durability)
{
    std::vector<std::string> names;
    if (!SplitConfinedPath(rel, &names))
        return Fail(status, EINVAL);
    Fd dir(OpenFolderBelow(root, names, names.size() - 1, false, status));
    if (dir.get() < 0)
        return false;
    const std::string leaf = names.back();
    const std::string tmp = leaf + ".tmp";
    // The rename below would replace a link rather than write through it;
    // it is refused all the same, and left where it is.
    if (IsLinkAt(dir.get(), leaf))
        return FailLink(status, rel);
    Fd fd(::openat(dir.get(), tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        return FailAt(dir.get(), tmp, rel + ".tmp", errno, status);
    size_t done = 0;
    int err = 0;
    while (done < data.size() && !err) {
        ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            err = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<size_t>(n);
    }
    if (!err && durability == Durability::Flushed && ::fsync(fd.get()) != 0)
        err = errno;
    fd.reset(-1);
    if (!err && ::renameat(dir.get(), tmp.c_str(), dir.get(), leaf.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlinkat(dir.get(), tmp.c_str(), 0);
        return Fail(status, err);
    }
    if (durability == Durability::Flushed)
        ::fsync(dir.get());
    return Ok(status);
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
    std::string dir = rel.empty() ? root : root + "/" + rel;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    bool ok = true;
    while (dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string child = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        if (::lstat((root + "/" + child).c_str(), &st) != 0) {
            ok = false;
            break;
        }
        if (S_ISDIR(st.st_mode))
            ok = ListInto(root, child, files, depth + 1);
        else if (S_ISREG(st.st_mode))
            files->push_back(child);
        if (!ok)
            break;
    }
    ::closedir(d);
    return ok;
}

bool ListFilesRecursively(const std::string& dir, std::vector<std::string>* files)
{
    files->clear();
    if (!ListInto(dir, "", files, 0))
        return false;
    std::sort(files->begin(), files->end());
    return true;
}

std::string DiskPathFromGbk(const std::string& gbk)
{
    std::string utf8;
    return GbkToUtf8Exact(gbk, &utf8) ? utf8 : gbk;
}

bool GetAvailableDiskSpace(const std::string& path, uint64_t* bytes)
{
    struct statvfs st;
    if (::statvfs(path.c_str(), &st) != 0)
        return false;
    *bytes = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
}

bool FileLock::TryAcquireBelow(const std::string& root, const std::string& rel, FsStatus* status)
{
    Release();
    int fd = OpenLeafBelow(root, rel, O_RDWR | O_CREAT, status);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return Fail(status, err == EWOULDBLOCK ? EBUSY : err);
    }
    handle_ = fd;
    return Ok(status);
}

void FileLock::Release()
{
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

} // namespace zdl
