// The download description: which files make up the game client, their
// sizes, and a SHA-256 for every piece and every file. It is a small text
// file (named by "-Torrent", usually "zphdownload_setup.exe.data") served
// beside the client's files, with a digest file next to it:
//
//   ZDLDESC 2                           format and version
//   title <text>                        shown nowhere, for people
//   root <folder>                       files are under <HttpUrl>/<root>/
//   names <utf-8|gbk>                   how the server names the files
//   mirror <base address>               zero or more (version 2)
//   piecesize <bytes>
//   totalsize <bytes>
//   files <count>
//   pieces <count>
//   f <size> <sha256 of file> <path>    one per file, in piece order
//   p <sha256 of piece>                 one per piece
//   end
//
// Each file is cut into pieces of `piecesize` bytes (its last piece may be
// shorter); a piece never spans two files, so one HTTP range request
// fetches one piece. Paths are relative, "/"-separated, in the client's
// code page (GBK): the names the files get in the install folder. Every
// line ends with a single line feed.
//
// "names" says how a file is addressed on the server: "utf-8" asks for its
// root and path as UTF-8, percent-encoded, as static web servers and CDNs
// name files published from a UTF-8 file system; "gbk" asks for their GBK
// bytes, percent-encoded. Version 1 has no "names" line and means "gbk".
// A description is written in the lowest version that holds it, so a
// GBK-addressed one stays readable by cores that only know version 1; a
// core refuses a version newer than its own.
//
// "mirror" lines name further server bases ("http://..." or "https://...",
// no trailing slash) that serve the same files under the same root; the
// core fetches files from them beside the "-HttpUrl" bases. They are
// version 2 only: a description with mirrors is written in version 2 even
// when its names are GBK.
//
// The digest file "<name>.digest" is one line "ZDLDIGEST 1 <sha256> <size>"
// for the description's exact bytes; a core compares it with its local
// copy to skip downloading a description it already has.
#pragma once

#include "platform/Sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zdl::core {

// Limits on what a description may declare, shared by zdl-mkdesc and the
// core. They bound the core's memory whatever a server declares: the
// description is held once while it is parsed (at most 16 MiB, about
// 250 000 pieces or 32 768 files), and every connection holds at most two
// pieces (2 MiB each), so a core with 4 connections stays under 64 MiB.
constexpr size_t kMaxDescriptionBytes = 16u << 20;
constexpr size_t kMaxDigestBytes = 256;
constexpr uint32_t kMaxFiles = 1u << 15;
constexpr uint32_t kMaxPieces = 1u << 18;
constexpr uint32_t kMinPieceSize = 16u << 10;
constexpr uint32_t kMaxPieceSize = 2u << 20;
constexpr uint64_t kMaxTotalSize = uint64_t(kMaxPieces) * kMaxPieceSize;
constexpr size_t kMaxPathBytes = 200;
constexpr size_t kMaxTitleBytes = 200;
constexpr size_t kMaxDescribedMirrors = 16;
constexpr size_t kMaxMirrorUrlBytes = 1024;
constexpr int kDescriptionVersion = 2; // the newest this core reads and writes

// The core's own folder inside the install folder (resume state, lock,
// the local copy of the description); no described file may lie in it.
constexpr char kInfoFolderName[] = ".zdlcore";

// How the server names the described files (the "names" line).
enum class ServerNames {
    Gbk, // the GBK bytes, percent-encoded (version 1, zdl-mkdesc --raw-names)
    Utf8, // the same names in UTF-8, percent-encoded
};

struct DescribedFile {
    std::string path;
    uint64_t size = 0;
    Sha256Digest hash {};
    uint32_t firstPiece = 0;
    uint32_t pieceCount = 0;
};

struct PieceLocation {
    uint32_t file = 0;
    uint64_t offset = 0; // within the file
    uint32_t length = 0;
};

class DownloadDescription {
public:
    std::string title;
    std::string root;
    ServerNames serverNames = ServerNames::Gbk;
    std::vector<std::string> mirrors; // further server bases
    uint32_t pieceSize = 0;
    uint64_t totalSize = 0;
    std::vector<DescribedFile> files;
    std::vector<Sha256Digest> pieceHashes;

    uint32_t PieceCount() const { return static_cast<uint32_t>(pieceHashes.size()); }
    PieceLocation Locate(uint32_t piece) const;
    // Fills firstPiece/pieceCount of every file and the piece-to-file map
    // from the sizes; false if the piece count does not match.
    bool Layout();

private:
    std::vector<uint32_t> pieceFile_; // file index of every piece
};

// Number of pieces a file of `size` bytes has.
uint32_t PiecesOf(uint64_t size, uint32_t pieceSize);

// Strict parse; `error` says what was wrong (for the status, not the player).
bool ParseDescription(const std::string& bytes, DownloadDescription* out, std::string* error);
std::string SerializeDescription(const DownloadDescription& desc);

// A relative path that stays inside the install folder on every system
// (read as GBK: a double-byte character counts as one, whatever its second
// byte looks like):
// no absolute path, drive letter, colon, "." or ".." part, empty part,
// backslash, control or reserved character, trailing dot or blank, or
// device name (CON, NUL, COM1, ... with or without an extension).
bool IsSafeRelativePath(const std::string& path);

// A mirror's base address as a "mirror" line holds it: http or https,
// nothing but visible ASCII, no ";" and no trailing slash.
bool IsMirrorUrl(const std::string& url);

std::string MakeDigestText(const std::string& descriptionBytes);
bool ParseDigestText(const std::string& text, Sha256Digest* digest, uint64_t* size);

// Percent-encodes a relative path for a URL, keeping the "/" separators.
std::string EncodeUrlPath(const std::string& path);

// The URL of described file `file` below the server folder `httpUrl` (the
// "-HttpUrl" option): "<httpUrl>/<root>/<path>", root and path named as
// `desc.serverNames` says. ParseDescription has checked that every name
// converts.
std::string FileAddress(const std::string& httpUrl, const DownloadDescription& desc, uint32_t file);

} // namespace zdl::core
