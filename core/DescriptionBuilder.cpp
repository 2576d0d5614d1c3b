#include "core/DescriptionBuilder.h"

#include "platform/Console.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <vector>

namespace zdl::core {

namespace {

    // The described (GBK) form of a UTF-8 name. The core rebuilds the
    // server's name from the GBK one, so a name is refused unless that
    // conversion gives back the very bytes on the disk; a decomposed accent
    // (as macOS stores names) has no GBK form at all and is refused first.
    bool DescribedName(const std::string& utf8, std::string* gbk, std::string* error)
    {
        std::string back;
        if (!Utf8ToGbk(utf8, gbk)) {
            *error = "file name not representable in GBK: " + utf8;
            return false;
        }
        if (!GbkToUtf8Exact(*gbk, &back) || back != utf8) {
            *error = "file name does not survive the conversion to GBK and back (the server would be asked for "
                     "another name): "
                + utf8;
            return false;
        }
        return true;
    }

} // namespace

bool BuildDescription(const std::string& folder, const BuildSettings& s, DownloadDescription* out, std::string* error)
{
    *out = DownloadDescription();
    if (s.pieceSize < kMinPieceSize || s.pieceSize > kMaxPieceSize) {
        *error = "piece size out of range";
        return false;
    }
    std::vector<std::string> paths;
    if (!ListFilesRecursively(folder, &paths)) {
        *error = "cannot list " + folder;
        return false;
    }
    auto first = std::find(paths.begin(), paths.end(), s.first);
    if (first != paths.end())
        std::rotate(paths.begin(), first, first + 1);
    if (paths.empty() || paths.size() > kMaxFiles) {
        *error = "no files, or too many";
        return false;
    }
    out->title = s.title;
    out->root = s.root;
    out->serverNames = s.names == NameEncoding::Utf8 ? ServerNames::Utf8 : ServerNames::Gbk;
    if (s.names == NameEncoding::Utf8 && !DescribedName(s.root, &out->root, error)) {
        *error = "root: " + *error;
        return false;
    }
    if (!out->root.empty() && !IsSafeRelativePath(out->root)) {
        *error = "unsafe root: " + s.root;
        return false;
    }
    out->pieceSize = s.pieceSize;
    std::vector<uint8_t> buffer(s.pieceSize);
    Sha256 fileHash, pieceHash;
    for (const std::string& rel : paths) {
        std::string described = rel;
        if (s.names == NameEncoding::Utf8 && !DescribedName(rel, &described, error))
            return false;
        if (!IsSafeRelativePath(described)) {
            *error = "unsafe file name: " + rel;
            return false;
        }
        File f;
        FsStatus st;
        uint64_t size = 0;
        if (!f.Open(folder + "/" + rel, File::Mode::Read, &st) || !f.GetSize(&size, &st)) {
            *error = "cannot read " + rel;
            return false;
        }
        DescribedFile df;
        df.path = described;
        df.size = size;
        for (uint64_t off = 0; off < size; off += s.pieceSize) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(s.pieceSize, size - off));
            size_t got = 0;
            if (!f.ReadAt(off, buffer.data(), want, &got, &st) || got != want) {
                *error = "short read in " + rel;
                return false;
            }
            pieceHash.Update(buffer.data(), want);
            out->pieceHashes.push_back(pieceHash.Final());
            fileHash.Update(buffer.data(), want);
        }
        df.hash = fileHash.Final();
        out->totalSize += size;
        out->files.push_back(std::move(df));
    }
    if (out->pieceHashes.size() > kMaxPieces || !out->Layout()) {
        *error = "too many pieces";
        return false;
    }
    return true;
}

} // namespace zdl::core
