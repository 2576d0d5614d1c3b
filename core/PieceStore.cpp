#include "core/PieceStore.h"

#include <algorithm>

namespace zdl::core {

PieceStore::PieceStore(const DownloadDescription& desc, std::string dir)
    : desc_(desc)
    , dir_(std::move(dir))
{
}

std::string ReportPath(std::string rel)
{
#ifdef _WIN32
    // Described paths hold GBK; a trail byte is never '/' (0x2F), so the
    // separators can be swapped byte by byte.
    for (char& c : rel)
        if (c == '/')
            c = '\\';
#endif
    return rel;
}

std::string PieceStore::PathOf(uint32_t file) const
{
    return dir_ + "/" + RelativePathOf(file);
}

std::string PieceStore::RelativePathOf(uint32_t file) const
{
    return DiskPathFromGbk(desc_.files[file].path);
}

std::string PieceStore::ReportName(uint32_t file) const
{
    return ReportPath(desc_.files[file].path);
}

std::string PieceStore::ReportName(uint32_t file, const FsStatus& status) const
{
    const std::string& path = desc_.files[file].path;
    if (status.kind != FsErrorKind::Link)
        return ReportPath(path);
    // The refused entry is the file or one of its folders: as many names
    // of the described path as it has (its disk form may be UTF-8).
    size_t names = std::count(status.entry.begin(), status.entry.end(), '/') + 1;
    size_t end = 0;
    while (names-- > 0 && end != std::string::npos)
        end = path.find('/', end ? end + 1 : 0);
    return ReportPath(path.substr(0, end));
}

std::shared_ptr<File> PieceStore::Acquire(uint32_t file, FsStatus* status)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = open_.find(file);
    if (it != open_.end()) {
        lru_.remove(file);
        lru_.push_front(file);
        return it->second;
    }
    auto f = std::make_shared<File>();
    if (!f->OpenBelow(dir_, RelativePathOf(file), File::Mode::ReadWrite, status))
        return nullptr;
    if (open_.size() >= kMaxOpenFiles) {
        open_.erase(lru_.back());
        lru_.pop_back();
    }
    open_[file] = f;
    lru_.push_front(file);
    return f;
}

bool PieceStore::PrepareFile(uint32_t file, bool* existed, FsStatus* status)
{
    const std::string rel = RelativePathOf(file);
    size_t slash = rel.rfind('/');
    if (slash != std::string::npos && !CreateDirectoriesBelow(dir_, rel.substr(0, slash), status))
        return false;
    *existed = PathExists(PathOf(file));
    auto f = Acquire(file, status);
    if (!f)
        return false;
    uint64_t size = 0;
    if (!f->GetSize(&size, status))
        return false;
    if (size == desc_.files[file].size)
        return true;
    *existed = false;
    return f->Allocate(desc_.files[file].size, status);
}

bool PieceStore::ReadPiece(uint32_t piece, uint8_t* buffer, FsStatus* status)
{
    PieceLocation loc = desc_.Locate(piece);
    auto f = Acquire(loc.file, status);
    if (!f)
        return false;
    size_t got = 0;
    if (!f->ReadAt(loc.offset, buffer, loc.length, &got, status))
        return false;
    return got == loc.length;
}

bool PieceStore::ReadPiecePart(uint32_t piece, uint32_t offset, uint32_t length, uint8_t* buffer, FsStatus* status)
{
    PieceLocation loc = desc_.Locate(piece);
    if (offset > loc.length || length > loc.length - offset)
        return false;
    auto f = Acquire(loc.file, status);
    if (!f)
        return false;
    size_t got = 0;
    if (!f->ReadAt(loc.offset + offset, buffer, length, &got, status))
        return false;
    return got == length;
}

bool PieceStore::WritePiece(uint32_t piece, const uint8_t* data, FsStatus* status, uint32_t* failedFile)
{
    PieceLocation loc = desc_.Locate(piece);
    *failedFile = loc.file;
    auto f = Acquire(loc.file, status);
    if (!f || !f->WriteAt(loc.offset, data, loc.length, status))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_.insert(loc.file);
    return true;
}

bool PieceStore::Flush(FsStatus* status, uint32_t* failedFile)
{
    std::set<uint32_t> dirty;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dirty.swap(dirty_);
    }
    for (auto it = dirty.begin(); it != dirty.end(); ++it) {
        auto f = Acquire(*it, status);
        if (!f || !f->Flush(status)) {
            *failedFile = *it;
            std::lock_guard<std::mutex> lock(mutex_);
            dirty_.insert(it, dirty.end());
            return false;
        }
    }
    return true;
}

void PieceStore::CloseAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.clear();
    lru_.clear();
}

} // namespace zdl::core
