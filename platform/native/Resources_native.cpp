#include "platform/Resources.h"

#include "platform/native/NativeResourceTable.h"

#include <cstdlib>
#include <cstring>

namespace zdl {

static const NativeResource* resourceTable = nullptr;
static size_t resourceCount = 0;

void RegisterNativeResources(const NativeResource* table, size_t count)
{
    resourceTable = table;
    resourceCount = count;
}

bool FindResourceBlob(const char* type, int id, ResourceBlob* out)
{
    for (size_t i = 0; i < resourceCount; ++i) {
        const NativeResource& r = resourceTable[i];
        if (r.id == id && std::strcmp(r.type, type) == 0) {
            out->data = r.begin;
            out->size = static_cast<size_t>(r.end - r.begin);
            return true;
        }
    }
    return false;
}

std::string LoadResourceString(int id)
{
    ResourceBlob blob;
    if (!FindResourceBlob(kNativeStringsType, 0, &blob))
        return std::string();
    const char* p = reinterpret_cast<const char*>(blob.data);
    const char* end = p + blob.size;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!eol)
            eol = end;
        const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<size_t>(eol - p)));
        if (tab && std::atoi(std::string(p, tab).c_str()) == id)
            return std::string(tab + 1, eol);
        p = eol + 1;
    }
    return std::string();
}

} // namespace zdl
