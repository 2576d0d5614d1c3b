// The Linux build's stand-in for an executable's resource section. res/
// generates the blobs (through assembler .incbin) and registers them with
// RegisterNativeResources from a static initialiser; a program that does not
// link zdl_res simply has no resources, like a Windows program without them.
// The string table travels as one blob of type kNativeStringsType holding GBK
// lines "id<TAB>text".
#pragma once

#include <cstddef>

namespace zdl {

struct NativeResource {
    const char* type;
    int id;
    const unsigned char* begin; // not owned; part of the image
    const unsigned char* end;
};

constexpr const char* kNativeStringsType = "STRINGS";

// Called once, before main(). The table must outlive the process.
void RegisterNativeResources(const NativeResource* table, size_t count);

} // namespace zdl
