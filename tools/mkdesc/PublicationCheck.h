// The publisher's preflight (zdl-mkdesc --check): reads a published release
// from its server the way the download core will (the digest and its
// signature, the description the digest vouches for, then every described
// file by the
// address the core makes) and reports, file by file, what would stop a
// player's download: a file not served, served with another size, served
// without Range support, or with bytes that differ from the description.
//
// Requests go one after another on one connection; only the sampled pieces
// are read (each file's first and last, or every piece on request), so a
// check costs the server little. Called once per process, after
// HttpGlobalInit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ReleaseSignature.h"

namespace zdl::mkdesc {

struct CheckSettings {
    // The description's address, as the downloader is built with it
    // ("<HttpUrl>/<Torrent>").
    std::string descriptionUrl;
    bool allPieces = false; // every piece's hash, not only each file's first and last
    // The keys the downloader will trust. With keys, the digest's signature
    // must verify as the core checks it; without, a signature that is
    // served is only read (its key id and time reported).
    std::vector<core::PublicKey> keys;
};

struct CheckSummary {
    bool descriptionOk = false; // digest and description read and sound
    uint32_t files = 0;
    uint32_t badFiles = 0;
    uint32_t pieces = 0; // pieces whose hash was compared
    uint64_t bytes = 0; // body bytes read
};

// Writes one line per file and a closing summary to `out` (names in UTF-8);
// true when the description and every file are sound.
bool CheckPublication(const CheckSettings& settings, std::FILE* out, CheckSummary* summary);

} // namespace zdl::mkdesc
