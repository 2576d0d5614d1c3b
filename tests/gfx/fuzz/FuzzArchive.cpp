// libFuzzer target: the QFA archive reader on arbitrary bytes. Every entry
// the reader hands out is read in full, so a view outside the buffer shows
// up under AddressSanitizer.
#include "gfx/ResourceArchive.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zdl;
    QfaArchive archive;
    if (!archive.Assign(data, size))
        return 0;
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < archive.Count() && i < 4096; ++i) {
        QfaArchive::Entry e;
        if (!archive.EntryAt(i, &e))
            continue;
        for (uint32_t k = 0; k < e.size; k += 97)
            sink = sink ^ e.data[k];
        if (e.size)
            sink = sink ^ e.data[e.size - 1];
        QfaArchive::Entry found;
        if (archive.Find(e.name.c_str(), &found) && found.size)
            sink = sink ^ found.data[found.size - 1];
    }
    LoadResourceArchiveFromBytes(data, size);
    for (const char* name : { "bg.png", "BG.PNG", "image.dat", "zzz", "" }) {
        std::vector<uint8_t> bytes;
        ReadResourceFile(name, &bytes);
        auto stream = OpenResourceFile(name);
        if (stream) {
            uint8_t buf[64];
            while (stream->Read(buf, sizeof buf) > 0)
                sink = sink ^ buf[0];
        }
    }
    UnloadResourceArchive();
    (void)sink;
    return 0;
}
