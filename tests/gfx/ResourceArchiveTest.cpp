#include "gfx/ResourceArchive.h"
#include "tests/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace zdl;
using zdl::test::MakeQfa;

namespace {

std::string ReadAll(ResourceStream* s)
{
    std::string out(s->TotalSize(), '\0');
    out.resize(s->Read(&out[0], out.size()));
    return out;
}

const std::string kLicenceName = "\xb0\xb2\xd7\xb0.txt"; // GBK, sorts last

// Sorted in the archive's order: '_' (0x5F) sorts below every letter.
std::vector<std::pair<std::string, std::string>> SkinFiles()
{
    return {
        { "banner.png", "BANNER" },
        { "bg.png", "background bytes" },
        { "btn_exit.tcp", "EXIT" },
        { "BtnA.tcp", "A-UPPER" },
        { "image.dat", "" }, // replaced below by a nested archive
        { "ui_panel1.lua", "return {}" },
        { kLicenceName, "licence" },
    };
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto files = SkinFiles();
        nested_ = MakeQfa({ { "bg.png", "inner background" }, { "inner_only.png", "x" } });
        files[4].second.assign(nested_.begin(), nested_.end());
        bytes_ = MakeQfa(files);
        ASSERT_TRUE(LoadResourceArchiveFromBytes(bytes_.data(), bytes_.size()));
    }
    void TearDown() override { UnloadResourceArchive(); }

    std::vector<uint8_t> nested_;
    std::vector<uint8_t> bytes_;
};

TEST_F(ArchiveTest, EveryStoredNameIsFoundInAnyCase)
{
    struct Case {
        const char* name;
        const char* content;
    } cases[] = {
        { "bg.png", "background bytes" },
        { "BG.PNG", "background bytes" },
        { "Bg.Png", "background bytes" },
        { "banner.png", "BANNER" },
        { "BTN_EXIT.TCP", "EXIT" },
        { "btna.tcp", "A-UPPER" },
        { "BTNA.TCP", "A-UPPER" },
        { "ui_panel1.lua", "return {}" },
    };
    for (const Case& c : cases) {
        auto s = OpenResourceFile(c.name);
        ASSERT_TRUE(s) << c.name;
        EXPECT_FALSE(s->IsDiskBacked());
        EXPECT_EQ(ReadAll(s.get()), c.content) << c.name;
    }
    auto licence = OpenResourceFile(kLicenceName.c_str());
    ASSERT_TRUE(licence);
    EXPECT_EQ(ReadAll(licence.get()), "licence");
}

TEST_F(ArchiveTest, AbsentNamesAreNotFound)
{
    for (const char* name :
        { "", "bg.pn", "bg.png ", "bg", "zzz.png", "aaa", "image.dat/bg.png", "inner_only.png", "image.dat\\bg.png" })
        EXPECT_FALSE(OpenResourceFile(name)) << name;
}

TEST_F(ArchiveTest, NestedArchiveIsAPlainEntry)
{
    auto s = OpenResourceFile("image.dat");
    ASSERT_TRUE(s);
    std::string got = ReadAll(s.get());
    EXPECT_EQ(got, std::string(nested_.begin(), nested_.end()));
}

TEST_F(ArchiveTest, ReadPastTheEndReturnsOnlyWhatRemains)
{
    auto s = OpenResourceFile("banner.png");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->TotalSize(), 6u);
    char buf[64];
    EXPECT_EQ(s->Read(buf, 4), 4u);
    EXPECT_EQ(s->Read(buf, sizeof buf), 2u);
    EXPECT_EQ(std::string(buf, 2), "ER");
    EXPECT_EQ(s->Read(buf, sizeof buf), 0u);
    // The 0xFF separator after the entry is never part of it.
}

TEST_F(ArchiveTest, FailedLookupLeavesAnOpenStreamAlone)
{
    auto s = OpenResourceFile("bg.png");
    ASSERT_TRUE(s);
    char buf[4];
    ASSERT_EQ(s->Read(buf, 4), 4u);
    EXPECT_FALSE(OpenResourceFile("missing.png"));
    char rest[64];
    size_t n = s->Read(rest, sizeof rest);
    EXPECT_EQ(std::string(rest, n), "ground bytes");
}

TEST_F(ArchiveTest, LooseFileTakesPrecedenceAndIsClosedByTheCaller)
{
    ASSERT_TRUE(zdl::test::WriteFile("bg.png", { 'l', 'o', 'o', 's', 'e' }));
    {
        auto s = OpenResourceFile("bg.png");
        ASSERT_TRUE(s);
        EXPECT_TRUE(s->IsDiskBacked());
        EXPECT_EQ(s->TotalSize(), 5u);
        EXPECT_EQ(ReadAll(s.get()), "loose");
        // Size asks seek back to the start.
        EXPECT_EQ(s->TotalSize(), 5u);
        char c;
        EXPECT_EQ(s->Read(&c, 1), 1u);
        EXPECT_EQ(c, 'l');
    }
    // Destroying the stream closed the file: removing it works on Windows too.
    EXPECT_EQ(std::remove("bg.png"), 0);
    auto s = OpenResourceFile("bg.png");
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->IsDiskBacked());
    EXPECT_EQ(ReadAll(s.get()), "background bytes");
}

// A folder of a skin file's name is not that file (natively it opens and
// claims a huge size); an empty loose file still is one.
TEST_F(ArchiveTest, LooseFolderIsNotAFile)
{
    std::filesystem::create_directory("bg.png");
    auto s = OpenResourceFile("bg.png");
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->IsDiskBacked());
    EXPECT_EQ(ReadAll(s.get()), "background bytes");
    std::filesystem::create_directory("folder_only.png");
    std::vector<uint8_t> out;
    EXPECT_FALSE(ReadResourceFile("folder_only.png", &out));
    std::filesystem::remove("bg.png");
    std::filesystem::remove("folder_only.png");
    ASSERT_TRUE(zdl::test::WriteFile("empty_loose.txt", {}));
    auto e = OpenResourceFile("empty_loose.txt");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->IsDiskBacked());
    EXPECT_EQ(e->TotalSize(), 0u);
    e.reset();
    std::remove("empty_loose.txt");
}

TEST_F(ArchiveTest, ReadResourceFileReadsTheWholeEntry)
{
    std::vector<uint8_t> out;
    ASSERT_TRUE(ReadResourceFile("ui_panel1.lua", &out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "return {}");
    EXPECT_FALSE(ReadResourceFile("nothing.lua", &out));
}

TEST(ArchiveLoad, WithoutResource132NothingComesFromTheArchiveButLooseFilesDo)
{
    // The test program links no resources, like an executable without 132.
    ASSERT_TRUE(LoadResourceArchiveFromBytes(MakeQfa({ { "a.txt", "A" } }).data(), 8 + 72 + 2));
    EXPECT_FALSE(LoadResourceArchive());
    EXPECT_EQ(ResourceArchive().Count(), 0u);
    EXPECT_FALSE(OpenResourceFile("a.txt"));
    ASSERT_TRUE(zdl::test::WriteFile("loose_only.txt", { 'x' }));
    EXPECT_TRUE(OpenResourceFile("loose_only.txt"));
    std::remove("loose_only.txt");
}

TEST(ArchiveLoad, SecondLoadReplacesTheFirst)
{
    auto a = MakeQfa({ { "a.txt", "A" } });
    auto b = MakeQfa({ { "b.txt", "B" } });
    ASSERT_TRUE(LoadResourceArchiveFromBytes(a.data(), a.size()));
    ASSERT_TRUE(LoadResourceArchiveFromBytes(b.data(), b.size()));
    EXPECT_FALSE(OpenResourceFile("a.txt"));
    EXPECT_TRUE(OpenResourceFile("b.txt"));
    UnloadResourceArchive();
}

TEST(ArchiveOrder, CaseInsensitiveByteOrder)
{
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        { "bg.png", "BG.PNG", 0 }, { "btn_a", "btna", -1 }, { "btnA", "btn_", 1 }, { "a", "ab", -1 },
        { "\xb0.txt", "zzz", 1 }, { "Z", "a", 1 }, { "[", "a", -1 }, { "", "", 0 },
        { "[", "A", -1 }, // letters compare as lower case: 0x5B below 0x61
    };
    for (const Case& c : cases) {
        int r = CompareQfaNames(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST(ArchiveDamage, TableLargerThanTheBufferIsRefused)
{
    auto bytes = MakeQfa({ { "a.txt", "A" }, { "b.txt", "B" } });
    bytes[4] = 3; // three entries claimed, two present and no room for a third
    QfaArchive archive;
    EXPECT_FALSE(archive.Assign(bytes.data(), bytes.size()));
    QfaArchive::Entry e;
    EXPECT_FALSE(archive.Find("a.txt", &e));
    bytes[4] = 0xFF;
    bytes[7] = 0xFF; // count near 4 billion
    EXPECT_FALSE(archive.Assign(bytes.data(), bytes.size()));
    EXPECT_FALSE(archive.Assign(bytes.data(), 7)); // shorter than the header
}

TEST(ArchiveDamage, EntriesOutsideTheBufferAreNotFound)
{
    auto good = MakeQfa({ { "a.txt", "AAAA" }, { "b.txt", "BBBB" }, { "c.txt", "CCCC" } });
    struct Case {
        const char* what;
        size_t field; // byte offset inside entry 1 (b.txt)
        uint32_t value;
    } cases[] = {
        { "offset beyond end", 64, 1000 },
        { "size beyond end", 68, 1000 },
        { "offset + size wraps", 64, 0xFFFFFFF0u },
        { "size wraps", 68, 0xFFFFFFFFu },
    };
    for (const Case& c : cases) {
        auto bytes = good;
        size_t at = 8 + 72 + c.field;
        std::memcpy(&bytes[at], &c.value, 4);
        QfaArchive archive;
        ASSERT_TRUE(archive.Assign(bytes.data(), bytes.size())) << c.what;
        QfaArchive::Entry e;
        EXPECT_FALSE(archive.Find("b.txt", &e)) << c.what;
        EXPECT_FALSE(archive.EntryAt(1, &e)) << c.what;
        ASSERT_TRUE(archive.Find("a.txt", &e)) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), e.size), "AAAA");
        ASSERT_TRUE(archive.Find("c.txt", &e)) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), e.size), "CCCC");
    }
}

TEST(ArchiveDamage, LastEntryEndingExactlyAtTheBufferIsFound)
{
    auto bytes = MakeQfa({ { "a.txt", "AAAA" } });
    bytes.pop_back(); // drop the separator: the entry still lies inside
    QfaArchive archive;
    ASSERT_TRUE(archive.Assign(bytes.data(), bytes.size()));
    QfaArchive::Entry e;
    ASSERT_TRUE(archive.Find("A.TXT", &e));
    EXPECT_EQ(e.size, 4u);
    bytes.pop_back(); // now one byte short
    ASSERT_TRUE(archive.Assign(bytes.data(), bytes.size()));
    EXPECT_FALSE(archive.Find("a.txt", &e));
}

TEST(ArchiveDamage, UnterminatedNameIsBoundedByItsField)
{
    std::string longName(64, 'q');
    auto bytes = MakeQfa({ { "a.txt", "A" }, { longName, "Q" } });
    QfaArchive archive;
    ASSERT_TRUE(archive.Assign(bytes.data(), bytes.size()));
    QfaArchive::Entry e;
    ASSERT_TRUE(archive.EntryAt(1, &e));
    EXPECT_EQ(e.name, longName);
    EXPECT_TRUE(archive.Find(longName.c_str(), &e));
    EXPECT_TRUE(archive.Find("a.txt", &e));
}

TEST(ArchiveDamage, EmptyArchiveFindsNothing)
{
    auto bytes = MakeQfa({});
    QfaArchive archive;
    ASSERT_TRUE(archive.Assign(bytes.data(), bytes.size()));
    QfaArchive::Entry e;
    EXPECT_FALSE(archive.Find("a", &e));
}

} // namespace
