// The client's files in the install folder, addressed by piece. Keeps a
// bounded cache of open files (a client has many thousands of files) and
// remembers which files were written since the last Flush. Every file and
// folder is reached confined to the install folder (platform/FileSystem.h):
// a link, junction or reparse point inside it is refused, never followed.
//
// Thread safe: the checker's threads read and the writer thread writes
// at the same time; each open file is shared by reference count, so the
// cache may drop a file while another thread still uses it.
#pragma once

#include "core/DownloadDescription.h"
#include "platform/FileSystem.h"

#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

namespace zdl::core {

constexpr size_t kMaxOpenFiles = 48;

// "ErrorCode" for an entry inside the install folder refused because it is
// a link, junction or other reparse point ("ErrorFile" names the entry).
constexpr int kCodeLinkRefused = 1030;

// An entry's "/"-separated path below the install folder as errors name it:
// with the system's separator.
std::string ReportPath(std::string rel);

class PieceStore {
public:
    // `desc` must outlive the store.
    PieceStore(const DownloadDescription& desc, std::string dir);

    // The install folder.
    const std::string& Root() const { return dir_; }
    // The file's path on the disk (natively its name in UTF-8).
    std::string PathOf(uint32_t file) const;
    // The same below the install folder.
    std::string RelativePathOf(uint32_t file) const;
    // The file as errors name it: relative to the install folder, with the
    // system's separator.
    std::string ReportName(uint32_t file) const;
    // What a failure on `file` names: the file, or the link refused on its
    // way (a folder above it, in the described form of its names).
    std::string ReportName(uint32_t file, const FsStatus& status) const;
    // Creates the file's folders and the file at its full size (without
    // writing data). `*existed` tells whether it already had that size.
    bool PrepareFile(uint32_t file, bool* existed, FsStatus* status);
    // Reads a whole piece; false also when the file is shorter.
    bool ReadPiece(uint32_t piece, uint8_t* buffer, FsStatus* status);
    // Reads `length` bytes at `offset` within a piece (the peer server's
    // reads); false also when the range passes the piece's end.
    bool ReadPiecePart(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* buffer, FsStatus* status);
    bool WritePiece(uint32_t piece, const uint8_t* data, FsStatus* status, uint32_t* failedFile);
    // Forces every file written since the last call to the disk.
    bool Flush(FsStatus* status, uint32_t* failedFile);
    void CloseAll();

private:
    std::shared_ptr<File> Acquire(uint32_t file, FsStatus* status);

    const DownloadDescription& desc_;
    std::string dir_;
    std::mutex mutex_;
    std::unordered_map<uint32_t, std::shared_ptr<File>> open_;
    std::list<uint32_t> lru_; // most recently used first
    std::set<uint32_t> dirty_;
};

} // namespace zdl::core
