// Resources built into the running executable: binary blobs found by type and
// number (the resource archive, the download core program) and the string
// table. On Windows these are the executable's own Win32 resources; the Linux
// build links an equivalent table of the same blobs and strings (generated
// by res/), so the same calls find "PROGRAM" 137 and string 150 on both.
//
// Returned memory belongs to the executable image and lives as long as the
// process; any thread may call these.
#pragma once

#include <cstddef>
#include <string>

namespace zdl {

// Resource types. Numbered types use the "#N" form the Win32 API accepts.
constexpr const char* kResTypeRcData = "#10"; // raw data (RT_RCDATA)
constexpr const char* kResTypeProgram = "PROGRAM"; // the download core

// Resource numbers shared by the program and its resource script.
enum ResourceId : int {
    kResCoreSuffix = 104, // one-letter suffix of the core's file name
    kResIcon = 107, // the program icon
    kResArchive = 132, // the skin resource archive (raw data)
    kResSettingsDialog = 133, // the settings dialog template
    kResCoreProgram = 137, // the download core (type "PROGRAM")
    kResSourceUrl = 150, // address of the download description file
    kResProductTitle = 151, // product title
    kResWebHost = 152, // scheme and host of the news and age notice pages
};

struct ResourceBlob {
    const unsigned char* data = nullptr; // not owned; part of the image
    size_t size = 0;
};

// Finds the binary resource |type|/|id| of the running executable.
// Returns false when there is none.
bool FindResourceBlob(const char* type, int id, ResourceBlob* out);

// The string-table entry |id| as GBK bytes; empty when there is none.
std::string LoadResourceString(int id);

} // namespace zdl
