#include "gfx/ImageCache.h"

#include "gfx/ImageLoader.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace zdl {

namespace {

    // Lookups compare a lower-cased key held in a fixed buffer with the stored
    // strings, so that a cache hit allocates nothing.
    struct KeyLess {
        using is_transparent = void;
        bool operator()(const std::string& a, const std::string& b) const { return a < b; }
        bool operator()(const std::string& a, const char* b) const { return std::strcmp(a.c_str(), b) < 0; }
        bool operator()(const char* a, const std::string& b) const { return std::strcmp(a, b.c_str()) < 0; }
    };

    using Cache = std::map<std::string, std::unique_ptr<DibImage>, KeyLess>;

    Cache& TheCache()
    {
        static Cache cache;
        return cache;
    }

} // namespace

DibImage* GetImage(const char* name)
{
    if (!name)
        return nullptr;
    size_t length = std::strlen(name);
    if (length == 0 || length > kMaxImageNameLength)
        return nullptr;
    char key[kMaxImageNameLength + 1];
    for (size_t i = 0; i <= length; ++i) {
        char c = name[i];
        key[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    Cache& cache = TheCache();
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.get();
    std::unique_ptr<DibImage> image(new DibImage());
    if (!LoadImageFile(image.get(), name)) // the caller's spelling, not the key
        return nullptr;
    DibImage* result = image.get();
    cache.emplace(std::string(key, length), std::move(image));
    return result;
}

void ClearImageCache()
{
    TheCache().clear(); // each image deletes its bitmap
}

size_t ImageCacheSize()
{
    return TheCache().size();
}

} // namespace zdl
