// The Linux build's resource table: the blobs that resources_native.S
// includes, under the numbers and types the Windows resource script uses.
#include "platform/Resources.h"
#include "platform/native/NativeResourceTable.h"

extern "C" {
extern const unsigned char zdl_blob_archive_begin[], zdl_blob_archive_end[];
extern const unsigned char zdl_blob_core_begin[], zdl_blob_core_end[];
extern const unsigned char zdl_blob_icon_begin[], zdl_blob_icon_end[];
extern const unsigned char zdl_blob_strings_begin[], zdl_blob_strings_end[];
}

namespace zdl {

static const NativeResource kTable[] = {
    { kResTypeRcData, kResArchive, zdl_blob_archive_begin, zdl_blob_archive_end },
    { kResTypeProgram, kResCoreProgram, zdl_blob_core_begin, zdl_blob_core_end },
    { "#14", kResIcon, zdl_blob_icon_begin, zdl_blob_icon_end },
    { kNativeStringsType, 0, zdl_blob_strings_begin, zdl_blob_strings_end },
};

// Registers the table before main() runs; see NativeResourceTable.h.
[[maybe_unused]] static const bool registered
    = (RegisterNativeResources(kTable, sizeof kTable / sizeof kTable[0]), true);

} // namespace zdl
