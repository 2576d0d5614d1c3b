// Files, folders and locks for the download core: positioned reads and
// writes, allocation of a file's full size without writing zeros, durable
// replacement of small files, a per-folder lock and the free disk space.
//
// Paths are GBK byte strings (code page 936, whatever the system's ANSI
// code page: Windows converts them to UTF-16 and uses the wide calls) with
// "/" as separator; natively they are bytes as they are, and the client's
// described names reach the disk through DiskPathFromGbk. Every call reports failure
// as a bool plus an FsStatus that tells the caller what kind of failure it
// was, so the core can tell a full disk from a file held by another program.
// A File object is used by one thread at a time; different File objects may
// be used on different threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zdl {

enum class FsErrorKind {
    None,
    NotFound,
    InUse, // held by another program (sharing violation, busy executable)
    Denied,
    NoSpace, // disk or quota full
    Link, // a link, junction or other reparse point inside a confined folder
    Other,
};

struct FsStatus {
    FsErrorKind kind = FsErrorKind::None;
    int code = 0; // the system's own error number
    // Link: the refused entry, relative to the confining folder ("/"
    // between names), as the calls were given it.
    std::string entry;
};

class File {
public:
    enum class Mode {
        Read, // existing file, read only
        ReadWrite, // existing file or a new one, read and write
    };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool Open(const std::string& path, Mode mode, FsStatus* status);
    // Opens `rel` below the folder `root`, confined to it (see below).
    bool OpenBelow(const std::string& root, const std::string& rel, Mode mode, FsStatus* status);
    bool IsOpen() const { return handle_ != kInvalid; }
    void Close();

    // Reads up to `size` bytes at `offset`; `*got` < size only at the end.
    bool ReadAt(uint64_t offset, void* buffer, size_t size, size_t* got, FsStatus* status);
    // Writes all `size` bytes at `offset` or fails.
    bool WriteAt(uint64_t offset, const void* data, size_t size, FsStatus* status);
    bool GetSize(uint64_t* size, FsStatus* status);
    // Gives the file exactly `size` bytes, reserving disk space where the
    // file system can do so without writing the data; never writes zeros.
    bool Allocate(uint64_t size, FsStatus* status);
    // Forces written data to the disk.
    bool Flush(FsStatus* status);

private:
    static constexpr intptr_t kInvalid = -1;
    intptr_t handle_ = kInvalid; // owned: file descriptor or HANDLE
};

// Creates `path` and every missing folder above it.
bool CreateDirectories(const std::string& path, FsStatus* status);
bool PathExists(const std::string& path);
// Last modification time in nanoseconds since an arbitrary fixed point
// (comparable between files of one system only).
bool GetModifiedTime(const std::string& path, int64_t* nanoseconds);
bool RemoveFile(const std::string& path);
enum class Durability {
    Flushed, // on the disk before the call returns (survives power loss)
    Fast, // replaced atomically for other processes; the system writes it later
};

// Writes `data` to `path` + ".tmp" and renames it over `path`, so `path`
// holds either the old or the new content, never a mix.
bool WriteFileAtomically(
    const std::string& path, const std::string& data, FsStatus* status, Durability durability = Durability::Flushed);
// Reads a whole file of at most `maxSize` bytes; false if larger.
bool ReadWholeFile(const std::string& path, size_t maxSize, std::string* data, FsStatus* status);
// The C run-time's stream for `path` opened with fopen `mode` ("rb", ...):
// on Windows through the wide call, so a GBK name opens the same file under
// any ANSI code page. Null when it cannot be opened.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);
// Every regular file below `dir`, as "/"-separated paths relative to it,
// sorted byte-wise. Symbolic links are not followed.
bool ListFilesRecursively(const std::string& dir, std::vector<std::string>* files);
// The name a client file's relative path (GBK, as download descriptions
// hold it) takes on this system's disk: on Windows the GBK path itself (the
// calls above convert it); natively its UTF-8 form, as every other program
// there reads names. A path that is not GBK keeps its bytes.
std::string DiskPathFromGbk(const std::string& gbk);
// Free bytes available to this user on the volume holding `path`.
bool GetAvailableDiskSpace(const std::string& path, uint64_t* bytes);

// Confinement to a folder (the install folder). `root` is followed
// wherever it leads, as are the folders above it: players move games with
// junctions and links. `rel` is a "/"-separated path below it, and none of
// its entries (the folders on the way, the file itself, a temporary file
// beside it) may be a symbolic link, a junction or any other reparse point:
// such an entry is never written through, read through, replaced or
// deleted; the call fails with FsErrorKind::Link naming it in `entry`.
// Each folder is opened relative to the one above it, so a link swapped in
// while the call runs is refused too (on Windows the file's final path is
// checked to lie in the root's). "." and ".." are refused as names.

// Creates the folders of `rel` below `root` (which must exist).
bool CreateDirectoriesBelow(const std::string& root, const std::string& rel, FsStatus* status);
bool WriteFileAtomicallyBelow(const std::string& root, const std::string& rel, const std::string& data,
    FsStatus* status, Durability durability = Durability::Flushed);
bool ReadWholeFileBelow(
    const std::string& root, const std::string& rel, size_t maxSize, std::string* data, FsStatus* status);
// A file, or an empty folder; a missing one counts as removed.
bool RemoveFileBelow(const std::string& root, const std::string& rel, FsStatus* status);
bool RemoveEmptyDirectoryBelow(const std::string& root, const std::string& rel, FsStatus* status);

// An exclusive lock on a file, held until Release or destruction; the
// system drops it when the process dies, so a crashed holder never leaves
// a folder locked.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The lock file `rel` below `root`, confined as above. Does not wait:
    // false when another process holds the lock.
    bool TryAcquireBelow(const std::string& root, const std::string& rel, FsStatus* status);
    void Release();
    bool IsHeld() const { return handle_ != -1; }

private:
    intptr_t handle_ = -1; // owned
};

} // namespace zdl
