// The file layer's confinement to the install folder, with real symbolic
// links: nothing outside the folder is read, written, created or removed
// through a link inside it, the link itself stays, and the install folder
// and the folders above it may be links.
#ifndef _WIN32
#include "core/DescriptionBuilder.h"
#include "core/PieceStore.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace zdl;
using namespace zdl::core;

namespace {

class ConfinedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        base_ = std::string(ZDL_BUILD_DIR) + "/tests/core/tmp/confined-"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string cmd = "rm -rf '" + base_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        FsStatus st;
        ASSERT_TRUE(CreateDirectories(inst(), &st));
        ASSERT_TRUE(CreateDirectories(outside(), &st));
        Put(outside() + "/target", "outside bytes");
    }

    std::string inst() const { return base_ + "/inst"; }
    std::string outside() const { return base_ + "/outside"; }

    static void Put(const std::string& path, const std::string& bytes)
    {
        FsStatus st;
        ASSERT_TRUE(WriteFileAtomically(path, bytes, &st)) << path;
    }
    static std::string Get(const std::string& path)
    {
        std::string bytes;
        FsStatus st;
        return ReadWholeFile(path, 1 << 20, &bytes, &st) ? bytes : "<missing>";
    }
    static void Link(const std::string& target, const std::string& at)
    {
        ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
    }
    static bool IsLink(const std::string& path)
    {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    // Every name in the outside folder, so that a file created there shows.
    std::vector<std::string> OutsideFiles() const
    {
        std::vector<std::string> files;
        EXPECT_TRUE(ListFilesRecursively(outside(), &files));
        return files;
    }

    static void ExpectLink(const FsStatus& st, const std::string& entry)
    {
        EXPECT_EQ(st.kind, FsErrorKind::Link);
        EXPECT_EQ(st.entry, entry);
    }

    std::string base_;
};

TEST_F(ConfinedFiles, LinkToAFileOutsideIsNeitherWrittenNorReadNorRemoved)
{
    Link(outside() + "/target", inst() + "/zpc.exe");
    FsStatus st;
    File f;
    EXPECT_FALSE(f.OpenBelow(inst(), "zpc.exe", File::Mode::ReadWrite, &st));
    ExpectLink(st, "zpc.exe");
    EXPECT_FALSE(f.OpenBelow(inst(), "zpc.exe", File::Mode::Read, &st));
    ExpectLink(st, "zpc.exe");
    std::string bytes;
    EXPECT_FALSE(ReadWholeFileBelow(inst(), "zpc.exe", 1 << 20, &bytes, &st));
    ExpectLink(st, "zpc.exe");
    EXPECT_FALSE(WriteFileAtomicallyBelow(inst(), "zpc.exe", "new", &st));
    ExpectLink(st, "zpc.exe");
    EXPECT_FALSE(RemoveFileBelow(inst(), "zpc.exe", &st));
    ExpectLink(st, "zpc.exe");
    FileLock lock;
    EXPECT_FALSE(lock.TryAcquireBelow(inst(), "zpc.exe", &st));
    ExpectLink(st, "zpc.exe");

    EXPECT_TRUE(IsLink(inst() + "/zpc.exe")); // neither replaced nor removed
    EXPECT_EQ(Get(outside() + "/target"), "outside bytes");
    EXPECT_FALSE(PathExists(inst() + "/zpc.exe.tmp"));
    EXPECT_EQ(OutsideFiles(), std::vector<std::string> { "target" });
}

TEST_F(ConfinedFiles, LinkToAFolderOutsideReceivesNothing)
{
    Link(outside(), inst() + "/data");
    FsStatus st;
    EXPECT_FALSE(CreateDirectoriesBelow(inst(), "data/maps", &st));
    ExpectLink(st, "data");
    File f;
    EXPECT_FALSE(f.OpenBelow(inst(), "data/pack.pak", File::Mode::ReadWrite, &st));
    ExpectLink(st, "data");
    EXPECT_FALSE(f.OpenBelow(inst(), "data/target", File::Mode::Read, &st));
    ExpectLink(st, "data");
    EXPECT_FALSE(WriteFileAtomicallyBelow(inst(), "data/target", "new", &st));
    ExpectLink(st, "data");
    EXPECT_FALSE(RemoveFileBelow(inst(), "data/target", &st));
    ExpectLink(st, "data");
    EXPECT_FALSE(RemoveEmptyDirectoryBelow(inst(), "data", &st));
    ExpectLink(st, "data");

    EXPECT_TRUE(IsLink(inst() + "/data"));
    EXPECT_EQ(OutsideFiles(), std::vector<std::string> { "target" });
    EXPECT_EQ(Get(outside() + "/target"), "outside bytes");
}

// The core's own folder: itself a link, or its temporary state file one.
TEST_F(ConfinedFiles, LinksInTheStateFolderAreRefused)
{
    FsStatus st;
    ASSERT_TRUE(CreateDirectoriesBelow(inst(), ".zdlcore", &st));
    Link(outside() + "/target", inst() + "/.zdlcore/state.tmp");
    EXPECT_FALSE(WriteFileAtomicallyBelow(inst(), ".zdlcore/state", "state", &st));
    ExpectLink(st, ".zdlcore/state.tmp");
    EXPECT_FALSE(PathExists(inst() + "/.zdlcore/state"));
    EXPECT_TRUE(IsLink(inst() + "/.zdlcore/state.tmp"));

    ASSERT_EQ(std::system(("rm -rf '" + inst() + "/.zdlcore'").c_str()), 0);
    Link(outside(), inst() + "/.zdlcore");
    EXPECT_FALSE(CreateDirectoriesBelow(inst(), ".zdlcore", &st));
    ExpectLink(st, ".zdlcore");
    FileLock lock;
    EXPECT_FALSE(lock.TryAcquireBelow(inst(), ".zdlcore/lock", &st));
    ExpectLink(st, ".zdlcore");
    EXPECT_FALSE(RemoveFileBelow(inst(), ".zdlcore/target", &st));
    ExpectLink(st, ".zdlcore");
    EXPECT_EQ(OutsideFiles(), std::vector<std::string> { "target" });
    EXPECT_EQ(Get(outside() + "/target"), "outside bytes");
}

// A dangling link would make a new file wherever it points.
TEST_F(ConfinedFiles, DanglingLinkCreatesNothing)
{
    Link(outside() + "/made", inst() + "/new.txt");
    Link(outside() + "/madedir", inst() + "/newdir");
    FsStatus st;
    File f;
    EXPECT_FALSE(f.OpenBelow(inst(), "new.txt", File::Mode::ReadWrite, &st));
    ExpectLink(st, "new.txt");
    EXPECT_FALSE(CreateDirectoriesBelow(inst(), "newdir/sub", &st));
    ExpectLink(st, "newdir");
    EXPECT_FALSE(f.OpenBelow(inst(), "newdir/x", File::Mode::ReadWrite, &st));
    ExpectLink(st, "newdir");
    EXPECT_FALSE(PathExists(outside() + "/made"));
    EXPECT_FALSE(PathExists(outside() + "/madedir"));
    // Removing a missing file is no failure; a missing folder on the way
    // neither.
    EXPECT_TRUE(RemoveFileBelow(inst(), "gone.txt", &st));
    EXPECT_TRUE(RemoveFileBelow(inst(), "gone/x.txt", &st));
}

// Players move games with links: the folder itself and those above it are
// followed.
TEST_F(ConfinedFiles, InstallFolderAndFoldersAboveItMayBeLinks)
{
    Link(inst(), base_ + "/moved");
    FsStatus st;
    ASSERT_TRUE(CreateDirectoriesBelow(base_ + "/moved", "data/maps", &st));
    ASSERT_TRUE(WriteFileAtomicallyBelow(base_ + "/moved", "data/maps/a.map", "map", &st));
    EXPECT_EQ(Get(inst() + "/data/maps/a.map"), "map");

    ASSERT_TRUE(CreateDirectories(inst() + "/games/zephyra", &st));
    Link(inst() + "/games", base_ + "/above");
    File f;
    ASSERT_TRUE(f.OpenBelow(base_ + "/above/zephyra", "zpc.exe", File::Mode::ReadWrite, &st));
    ASSERT_TRUE(f.WriteAt(0, "exe", 3, &st));
    f.Close();
    EXPECT_EQ(Get(inst() + "/games/zephyra/zpc.exe"), "exe");
    ASSERT_TRUE(RemoveFileBelow(base_ + "/above/zephyra", "zpc.exe", &st));
    EXPECT_FALSE(PathExists(inst() + "/games/zephyra/zpc.exe"));

    for (const char* bad : { "", "a//b", "../outside/target", "data/../../outside/target", "./x", "x/" }) {
        EXPECT_FALSE(f.OpenBelow(inst(), bad, File::Mode::ReadWrite, &st)) << bad;
        EXPECT_EQ(st.kind, FsErrorKind::Other) << bad;
    }
    EXPECT_EQ(OutsideFiles(), std::vector<std::string> { "target" });
}

// The store names the refused entry in the described (GBK) form: a linked
// folder by its own name, not the file below it.
TEST_F(ConfinedFiles, StoreRefusesAndNamesTheLinkOnAFilesWay)
{
    FsStatus st;
    ASSERT_TRUE(CreateDirectories(outside() + "/src/\xe5\x9b\xbe\xe6\xa0\x87/maps", &st)); // 图标
    Put(outside() + "/src/zpc.exe", "exe");
    Put(outside() + "/src/\xe5\x9b\xbe\xe6\xa0\x87/maps/a.map", "map");
    BuildSettings s;
    s.pieceSize = 16 * 1024;
    DownloadDescription d;
    std::string error;
    ASSERT_TRUE(BuildDescription(outside() + "/src", s, &d, &error)) << error;
    ASSERT_EQ(d.files.size(), 2u);
    ASSERT_EQ(d.files[1].path, "\xcd\xbc\xb1\xea/maps/a.map");

    ASSERT_TRUE(CreateDirectories(inst() + "/\xe5\x9b\xbe\xe6\xa0\x87", &st));
    Link(outside(), inst() + "/\xe5\x9b\xbe\xe6\xa0\x87/maps");
    PieceStore store(d, inst());
    bool existed = false;
    EXPECT_TRUE(store.PrepareFile(0, &existed, &st));
    EXPECT_FALSE(store.PrepareFile(1, &existed, &st));
    ExpectLink(st, "\xe5\x9b\xbe\xe6\xa0\x87/maps");
    EXPECT_EQ(store.ReportName(1, st), "\xcd\xbc\xb1\xea/maps");
    std::vector<uint8_t> piece(3);
    uint32_t failed = 0;
    EXPECT_FALSE(store.WritePiece(d.files[1].firstPiece, piece.data(), &st, &failed));
    EXPECT_EQ(st.kind, FsErrorKind::Link);
    EXPECT_FALSE(PathExists(outside() + "/a.map"));
    EXPECT_FALSE(PathExists(outside() + "/maps"));
}

} // namespace
#endif
