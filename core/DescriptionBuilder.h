// Makes a download description from a folder of client files (the tool
// zdl-mkdesc, and tests). Reads every file once, hashing pieces and the
// whole file in the same pass.
#pragma once

#include "core/DownloadDescription.h"

#include <string>

namespace zdl::core {

// How the names the file system lists become described (GBK) names, and
// how the server, which publishes the same tree, names them.
enum class NameEncoding {
    Utf8, // the build machine's names are UTF-8: converted to GBK; the
          // server is asked for the UTF-8 names
    Raw, // the names already are GBK bytes: taken as they are, and asked
         // for as they are
};

struct BuildSettings {
    NameEncoding names = NameEncoding::Utf8;
    uint32_t pieceSize = 1u << 20;
    std::string title = "Zephyra";
    std::string root = "files"; // folder under the server base, in the names' encoding
    std::string first = "zpc.exe"; // listed first when present (its name answers "get qf 0")
};

// A name GBK cannot hold, one that does not come back from GBK as the same
// UTF-8 bytes (the core asks the server for that form), or one the
// description may not carry, is refused with an error naming the file.
bool BuildDescription(
    const std::string& folder, const BuildSettings& settings, DownloadDescription* out, std::string* error);

} // namespace zdl::core
