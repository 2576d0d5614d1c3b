// A cache hit must not allocate: GetImage of a cached name runs on every
// frame of every control. This program counts operator new calls.
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "tests/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <cstdlib>
#include <new>

static std::atomic<long> allocations { 0 };

void* operator new(std::size_t n)
{
    ++allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

TEST(ImageCacheHit, DoesNotAllocate)
{
    std::vector<uint8_t> rgba = { 1, 2, 3, 4 };
    auto png = zdl::test::MakePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, rgba);
    auto archive = zdl::test::MakeQfa(
        { { "a.png", std::string(png.begin(), png.end()) }, { "b.png", std::string(png.begin(), png.end()) } });
    ASSERT_TRUE(zdl::LoadResourceArchiveFromBytes(archive.data(), archive.size()));
    zdl::DibImage* a = zdl::GetImage("a.png");
    zdl::DibImage* b = zdl::GetImage("b.png");
    ASSERT_TRUE(a && b);
    long before = allocations.load();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(zdl::GetImage("A.png"), a);
        ASSERT_EQ(zdl::GetImage("b.PNG"), b);
    }
    EXPECT_EQ(allocations.load() - before, 0);
    zdl::ClearImageCache();
    zdl::UnloadResourceArchive();
}

} // namespace
