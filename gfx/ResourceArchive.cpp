#include "gfx/ResourceArchive.h"

#include "platform/FileSystem.h"
#include "platform/Resources.h"

#include <cstring>

namespace zdl {

// ---- ResourceStream ----

std::unique_ptr<ResourceStream> ResourceStream::FromFile(std::FILE* file)
{
    std::unique_ptr<ResourceStream> s(new ResourceStream());
    s->file_ = file;
    return s;
}

std::unique_ptr<ResourceStream> ResourceStream::FromMemory(const void* data, size_t size)
{
    std::unique_ptr<ResourceStream> s(new ResourceStream());
    s->data_ = static_cast<const uint8_t*>(data);
    s->size_ = data ? size : 0;
    return s;
}

ResourceStream::~ResourceStream()
{
    if (file_)
        std::fclose(file_);
}

size_t ResourceStream::TotalSize()
{
    if (!file_)
        return size_;
    if (std::fseek(file_, 0, SEEK_END) != 0)
        return 0;
    long length = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

size_t ResourceStream::Read(void* buffer, size_t n)
{
    if (file_)
        return std::fread(buffer, 1, n, file_);
    size_t remaining = size_ - position_;
    if (n > remaining)
        n = remaining;
    if (n > 0)
        std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

// ---- names ----

static inline unsigned LowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int CompareQfaNames(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        unsigned ca = LowerAscii(static_cast<unsigned char>(*a));
        unsigned cb = LowerAscii(static_cast<unsigned char>(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

// The stored name of an entry, bounded by its 64-byte field even when a
// damaged archive left out the terminating 0.
static std::string EntryName(const uint8_t* entry)
{
    const void* zero = std::memchr(entry, 0, kQfaNameSize);
    size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - entry) : kQfaNameSize;
    return std::string(reinterpret_cast<const char*>(entry), n);
}

static uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// ---- QfaArchive ----

void QfaArchive::Clear()
{
    buffer_.clear();
    buffer_.shrink_to_fit();
    count_ = 0;
    entries_ = nullptr;
    dataArea_ = nullptr;
}

bool QfaArchive::Assign(const void* bytes, size_t size)
{
    Clear();
    if (!bytes || size < kQfaHeaderSize)
        return false;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint32_t count = ReadU32(p + 4);
    // The entry table must fit in the bytes; a larger count means the
    // archive is damaged beyond use.
    if (count > (size - kQfaHeaderSize) / kQfaEntrySize)
        return false;
    buffer_.assign(p, p + size);
    count_ = count;
    entries_ = buffer_.data() + kQfaHeaderSize;
    dataArea_ = entries_ + size_t(count) * kQfaEntrySize;
    return true;
}

bool QfaArchive::EntryAt(uint32_t index, Entry* out) const
{
    if (index >= count_)
        return false;
    const uint8_t* e = entries_ + size_t(index) * kQfaEntrySize;
    uint32_t offset = ReadU32(e + 64);
    uint32_t size = ReadU32(e + 68);
    size_t dataSize = static_cast<size_t>(buffer_.data() + buffer_.size() - dataArea_);
    if (offset > dataSize || size > dataSize - offset)
        return false;
    out->name = EntryName(e);
    out->data = dataArea_ + offset;
    out->size = size;
    return true;
}

bool QfaArchive::Find(const char* name, Entry* out) const
{
    if (count_ == 0 || !name)
        return false;
    // Signed bounds so that hi may drop below lo = 0.
    int64_t lo = 0;
    int64_t hi = int64_t(count_) - 1;
    while (lo <= hi) {
        int64_t mid = (lo + hi) / 2;
        std::string entryName = EntryName(entries_ + size_t(mid) * kQfaEntrySize);
        int c = CompareQfaNames(entryName.c_str(), name);
        if (c == 0)
            return EntryAt(static_cast<uint32_t>(mid), out);
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return false;
}

// ---- the process-wide archive ----

static QfaArchive& Archive()
{
    // Held for the life of the process; freed at teardown.
    static QfaArchive archive;
    return archive;
}

const QfaArchive& ResourceArchive()
{
    return Archive();
}

bool LoadResourceArchiveFromBytes(const void* bytes, size_t size)
{
    return Archive().Assign(bytes, size);
}

bool LoadResourceArchive()
{
    Archive().Clear();
    ResourceBlob blob;
    if (!FindResourceBlob(kResTypeRcData, kResArchive, &blob) || !blob.data)
        return false;
    return Archive().Assign(blob.data, blob.size);
}

void UnloadResourceArchive()
{
    Archive().Clear();
}

std::unique_ptr<ResourceStream> OpenResourceFile(const char* name)
{
    if (!name || !*name)
        return nullptr;
    // A GBK name (the licence file's is Chinese) opens under any code page.
    if (std::FILE* f = OpenStdioFile(name, "rb")) {
        // Some systems open a folder for reading; its first read fails. A
        // folder is no skin file: look in the archive as if it were absent.
        if (std::fgetc(f) != EOF || !std::ferror(f)) {
            std::rewind(f);
            return ResourceStream::FromFile(f);
        }
        std::fclose(f);
    }
    QfaArchive::Entry entry;
    if (!Archive().Find(name, &entry))
        return nullptr;
    return ResourceStream::FromMemory(entry.data, entry.size);
}

bool ReadResourceFile(const char* name, std::vector<uint8_t>* out)
{
    std::unique_ptr<ResourceStream> stream = OpenResourceFile(name);
    if (!stream)
        return false;
    size_t size = stream->TotalSize();
    out->resize(size);
    return stream->Read(out->data(), size) == size;
}

} // namespace zdl
