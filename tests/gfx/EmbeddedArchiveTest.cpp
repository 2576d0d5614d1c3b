// The archive as the program really gets it: resource 132 of this
// executable (the packed skin, or the build's empty placeholder archive).
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

using namespace zdl;

TEST(EmbeddedArchive, LoadsFromResource132AndEveryEntryIsFoundInOrder)
{
    ASSERT_TRUE(LoadResourceArchive());
    const QfaArchive& archive = ResourceArchive();
    std::string previous;
    for (uint32_t i = 0; i < archive.Count(); ++i) {
        QfaArchive::Entry e;
        ASSERT_TRUE(archive.EntryAt(i, &e)) << i;
        if (i > 0) {
            EXPECT_LT(CompareQfaNames(previous.c_str(), e.name.c_str()), 0) << "not sorted at " << e.name;
        }
        previous = e.name;
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadResourceFile(e.name.c_str(), &bytes)) << e.name;
        EXPECT_EQ(bytes.size(), e.size) << e.name;
    }
    // A second load replaces the first with the same contents.
    uint32_t count = archive.Count();
    ASSERT_TRUE(LoadResourceArchive());
    EXPECT_EQ(ResourceArchive().Count(), count);
    UnloadResourceArchive();
}

// Every picture and sprite of the embedded skin decodes. The printed digest
// of all their pixels is the same natively and under Wine.
TEST(EmbeddedArchive, EveryImageDecodes)
{
    ASSERT_TRUE(LoadResourceArchive());
    const QfaArchive& archive = ResourceArchive();
    uint64_t digest = 1469598103934665603ull; // FNV-1a over all pixel rows
    int images = 0;
    for (uint32_t i = 0; i < archive.Count(); ++i) {
        QfaArchive::Entry e;
        ASSERT_TRUE(archive.EntryAt(i, &e));
        size_t dot = e.name.rfind('.');
        std::string ext = dot == std::string::npos ? "" : e.name.substr(dot);
        if (ext != ".png" && ext != ".tcp" && ext != ".bmp" && ext != ".tga" && ext != ".jpg")
            continue;
        DibImage* image = GetImage(e.name.c_str());
        ASSERT_NE(image, nullptr) << e.name;
        ++images;
        for (int y = 0; y < image->Height(); ++y) {
            const uint8_t* row = image->Row(y);
            for (int k = 0; k < image->Width() * image->bytesPerPixel; ++k)
                digest = (digest ^ row[k]) * 1099511628211ull;
        }
    }
    std::printf("%d images, pixel digest %016llx\n", images, static_cast<unsigned long long>(digest));
    ClearImageCache();
    UnloadResourceArchive();
}
