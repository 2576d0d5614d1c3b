// Makes a download description from a folder of client files (the tool
// zdl-mkdesc, and tests). Reads every file once, hashing pieces and the
// whole file in the same pass.
#pragma once

#include "core/DownloadDescription.h"

#include <string>

namespace zdl::core {

struct BuildSettings {
    uint32_t pieceSize = 1u << 20;
    std::string title = "Zephyra";
    std::string root = "files"; // folder under the server base
    std::string first = "zpc.exe"; // listed first when present (its name answers "get qf 0")
};

bool BuildDescription(
    const std::string& folder, const BuildSettings& settings, DownloadDescription* out, std::string* error);

} // namespace zdl::core
