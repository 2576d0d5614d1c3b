// The process-wide image cache: each skin image is decoded once, on first
// request, and shared by every caller for the life of the process. Keys are
// the names with ASCII letters lower-cased, so "Bg.PNG" and "bg.png" share
// one image. The cache owns its images; callers never delete them.
// Only the user-interface thread uses the cache.
#pragma once

#include "gfx/DibImage.h"

namespace zdl {

// Longest name the cache accepts (its key buffer holds 128 bytes with the
// terminating 0); longer names are refused.
constexpr size_t kMaxImageNameLength = 127;

// The shared image for |name|, loading it on first use; null when it cannot
// be loaded (nothing is cached then, so a later call tries again).
DibImage* GetImage(const char* name);

// Deletes every cached image and empties the cache (process teardown).
void ClearImageCache();

// Number of cached images (tests, diagnostics).
size_t ImageCacheSize();

} // namespace zdl
