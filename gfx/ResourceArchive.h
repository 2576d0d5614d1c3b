// The skin's resource archive and the streams that skin files are read from.
//
// Every skin file (images, sprites, layout scripts, the licence text) is
// opened by its bare name: a loose file of that name in the current directory
// first, then the entry of the QFA archive that travels in the executable as
// raw-data resource 132. The archive is copied into one heap buffer by
// LoadResourceArchive and held for the life of the process.
//
// QFA layout (little-endian): "QFA\0", u32 count, count x 72-byte entries
// {64-byte zero-terminated name, u32 offset into the data area, u32 size},
// then the data area. Entries are sorted by name compared case-insensitively
// (ASCII letters as lower case, other bytes by value); lookup is a binary
// search. Entries that do not lie wholly inside the buffer are never found.
//
// Only the user-interface thread opens resources.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zdl {

constexpr size_t kQfaHeaderSize = 8;
constexpr size_t kQfaEntrySize = 72;
constexpr size_t kQfaNameSize = 64; // at most 63 name bytes and a 0

// A read stream over one skin file: either a disk file (owned, closed when
// the stream is destroyed) or a view of bytes it does not own (an archive
// entry, or any memory block a decoder is handed).
class ResourceStream {
public:
    // Takes ownership of an open file.
    static std::unique_ptr<ResourceStream> FromFile(std::FILE* file);
    // A view of |size| bytes at |data|; the bytes must outlive the stream.
    static std::unique_ptr<ResourceStream> FromMemory(const void* data, size_t size);

    ~ResourceStream();
    ResourceStream(const ResourceStream&) = delete;
    ResourceStream& operator=(const ResourceStream&) = delete;

    // Total size in bytes. For a disk file: the file length, after which the
    // position is back at the start (seek to end, tell, seek to start).
    size_t TotalSize();
    // Reads up to |n| bytes; returns how many were read (fewer at the end).
    size_t Read(void* buffer, size_t n);
    // True for a disk file, which the caller closes (destroys) when done.
    bool IsDiskBacked() const { return file_ != nullptr; }

private:
    ResourceStream() = default;
    std::FILE* file_ = nullptr; // owned, disk form
    const uint8_t* data_ = nullptr; // not owned, memory form
    size_t size_ = 0;
    size_t position_ = 0;
};

// Case-insensitive order of the archive: ASCII letters as lower case, every
// other byte by its unsigned value. <0, 0, >0 like strcmp.
int CompareQfaNames(const char* a, const char* b);

// One archive in memory, owning a copy of its bytes.
class QfaArchive {
public:
    struct Entry {
        std::string name;
        const uint8_t* data = nullptr; // inside the archive's buffer
        uint32_t size = 0;
    };

    // Copies |size| bytes and reads the header. Returns false, leaving the
    // archive empty, when the bytes are shorter than the header or the entry
    // table does not fit in them.
    bool Assign(const void* bytes, size_t size);
    void Clear();

    uint32_t Count() const { return count_; }
    // Entry |index| as stored; false when its name or bytes leave the buffer.
    bool EntryAt(uint32_t index, Entry* out) const;
    // Binary search by name; false when absent or when the entry found lies
    // outside the buffer.
    bool Find(const char* name, Entry* out) const;

private:
    std::vector<uint8_t> buffer_;
    uint32_t count_ = 0;
    const uint8_t* entries_ = nullptr; // buffer + 8
    const uint8_t* dataArea_ = nullptr; // buffer + 8 + 72 * count
};

// Copies resource 132 of the executable into the process-wide archive,
// replacing any previous one. False (archive empty) when the resource is
// missing or damaged beyond use.
bool LoadResourceArchive();

// Same, from bytes in memory (tests and tools).
bool LoadResourceArchiveFromBytes(const void* bytes, size_t size);

// Empties the process-wide archive.
void UnloadResourceArchive();

// The process-wide archive (empty until loaded).
const QfaArchive& ResourceArchive();

// Opens |name|: the loose file ("rb", relative to the current directory)
// if it exists, else the archive entry. Null when neither exists.
std::unique_ptr<ResourceStream> OpenResourceFile(const char* name);

// Reads a whole resource into |out|, size first, then the bytes. False when
// it cannot be opened or reads short.
bool ReadResourceFile(const char* name, std::vector<uint8_t>* out);

} // namespace zdl
