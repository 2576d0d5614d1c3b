// The archive as the program really gets it: resource 132 of this
// executable (the packed skin, or the build's empty placeholder archive).
#include "gfx/ResourceArchive.h"

#include <gtest/gtest.h>

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
