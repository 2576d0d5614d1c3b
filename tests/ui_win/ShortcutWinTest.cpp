// Install completion on real Windows: shell links written through
// IShellLinkA + IPersistFile and read back through IShellLink, also over a
// read-only link; the folder chain and the version record on disk.
#include "app/InstallCompletion.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <io.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zdl {
namespace {

    namespace fs = std::filesystem;

    class ShortcutWinTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            ASSERT_TRUE(shell.InitializeCom());
            root = TempFolder() + "zdl-shortcut-test-" + std::to_string(TickCountMs());
            ASSERT_TRUE(CreateFolderChain(root + "\\"));
        }
        void TearDown() override
        {
            std::error_code ignored;
            for (auto& entry : fs::recursive_directory_iterator(root, ignored))
                fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
            fs::remove_all(root, ignored);
            shell.UninitializeCom();
        }
        ShellPlatform& shell = GetShellPlatform();
        std::string root;
    };

    TEST_F(ShortcutWinTest, LinkWrittenTwiceSecondTimeOverAReadOnlyOneReadsBack)
    {
        std::string link = root + "\\" + kShortcutName;
        ASSERT_TRUE(CreateShortcut(root, "C:\\Old\\zpc.exe", "C:\\Old\\"));
        // The name is GBK: the C run-time's narrow call takes it as it is.
        ASSERT_EQ(0, _chmod(link.c_str(), _S_IREAD));
        ASSERT_EQ(PathKind::kFile, shell.GetPathKind(link));

        ASSERT_TRUE(CreateShortcut(root, "D:\\Games\\Zephyra\\zpc.exe", "D:\\Games\\Zephyra\\"));
        EXPECT_EQ(0, _access(link.c_str(), 2)) << "the read-only attribute is cleared";
        ShortcutInfo info;
        ASSERT_TRUE(shell.ReadShortcut(link, &info));
        EXPECT_EQ("D:\\Games\\Zephyra\\zpc.exe", info.target);
        EXPECT_EQ("D:\\Games\\Zephyra\\", info.workingFolder);
        EXPECT_EQ(kShortcutDescription, info.description);
        EXPECT_FALSE(CreateShortcut("", "D:\\Games\\Zephyra\\zpc.exe", "D:\\Games\\Zephyra\\"));
    }

    TEST_F(ShortcutWinTest, FolderChainAndVersionRecordOnDisk)
    {
        EXPECT_TRUE(CreateFolderChain(root + "\\a\\b"));
        EXPECT_EQ(PathKind::kFolder, shell.GetPathKind(root + "\\a"));
        EXPECT_EQ(PathKind::kMissing, shell.GetPathKind(root + "\\a\\b"));

        std::string dir = root + "\\a\\";
        ASSERT_TRUE(WriteVersionRecord(dir));
        std::ifstream in(dir + "version.bin", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(std::string("special_instal_20190627:23\r\n"), bytes);
        EXPECT_FALSE(CreateFolderChain(dir + "version.bin\\c\\"));
        EXPECT_FALSE(WriteVersionRecord(root + "\\missing\\"));
        EXPECT_EQ(kVerbFileMissing, InvokeShellVerb(root + "\\none.lnk", kPinToStartMenuVerb));
    }

} // namespace
} // namespace zdl
