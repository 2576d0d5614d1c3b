// Install completion and the installer's paths on real Windows: shell links
// written through IShellLinkW + IPersistFile and read back, also over a
// read-only link and in folders with Chinese names; the folder chain and the
// version record on disk; names from the system that GBK cannot hold
// ("Jörg", Korean) carried whole to the file and process calls; the write
// probe and the strict conversion of a chosen folder. Only wide calls here,
// so the test means the same under every ANSI code page it runs with.
#include "app/InstallCompletion.h"
#include "core_client/CoreLaunch.h"
#include "platform/Process.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "platform/WideEscape.h"
#include "platform/win32/Gbk_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace zdl {
namespace {

    // "游戏" and "安装" in GBK; "Jörg" and "한국" need escapes.
    const char kGames[] = "\xD3\xCE\xCF\xB7";
    const char kInstall[] = "\xB0\xB2\xD7\xB0";
    const wchar_t kNotGbk[] = L"J\u00F6rg-\uD55C\uAD6D";

    std::string ReadAll(const std::string& gbkPath)
    {
        HANDLE file = CreateFileW(
            WideFromGbk(gbkPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "(missing)";
        char buffer[256];
        DWORD n = 0;
        ReadFile(file, buffer, sizeof buffer, &n, nullptr);
        CloseHandle(file);
        return std::string(buffer, n);
    }

    void RemoveTree(const std::wstring& dir)
    {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring path = dir + L"\\" + name;
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }

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
            RemoveTree(WideFromGbk(root));
            shell.UninitializeCom();
        }
        ShellPlatform& shell = GetShellPlatform();
        std::string root;
    };

    TEST_F(ShortcutWinTest, LinkWrittenTwiceSecondTimeOverAReadOnlyOneReadsBack)
    {
        // The link's own folder and its target have Chinese names.
        const std::string folder = root + "\\" + kInstall;
        const std::string target = std::string("D:\\") + kGames + "\\Zephyra\\zpc.exe";
        const std::string work = std::string("D:\\") + kGames + "\\Zephyra\\";
        ASSERT_TRUE(CreateFolderChain(folder + "\\"));
        std::string link = folder + "\\" + kShortcutName;
        ASSERT_TRUE(CreateShortcut(folder, "C:\\Old\\zpc.exe", "C:\\Old\\"));
        ASSERT_TRUE(SetFileAttributesW(WideFromGbk(link).c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_EQ(PathKind::kFile, shell.GetPathKind(link));

        ASSERT_TRUE(CreateShortcut(folder, target, work));
        EXPECT_FALSE(GetFileAttributesW(WideFromGbk(link).c_str()) & FILE_ATTRIBUTE_READONLY);
        ShortcutInfo info;
        ASSERT_TRUE(shell.ReadShortcut(link, &info));
        EXPECT_EQ(target, info.target);
        EXPECT_EQ(work, info.workingFolder);
        EXPECT_EQ(kShortcutDescription, info.description);
        EXPECT_FALSE(CreateShortcut("", target, work));
    }

    TEST_F(ShortcutWinTest, FolderChainAndVersionRecordOnDisk)
    {
        std::string dir = root + "\\" + kGames + "\\b\\";
        EXPECT_TRUE(CreateFolderChain(dir + "c"));
        EXPECT_EQ(PathKind::kFolder, shell.GetPathKind(root + "\\" + kGames + "\\b"));
        EXPECT_EQ(PathKind::kMissing, shell.GetPathKind(dir + "c"));

        ASSERT_TRUE(WriteVersionRecordFile(dir));
        EXPECT_EQ(std::string("special_instal_20190627:23\r\n"), ReadAll(dir + "version.bin"));
        EXPECT_FALSE(CreateFolderChain(dir + "version.bin\\c\\"));
        uint32_t code = 0;
        EXPECT_FALSE(WriteVersionRecordFile(root + "\\missing\\", &code));
        EXPECT_EQ(static_cast<uint32_t>(ERROR_PATH_NOT_FOUND), code);
        // The system's own words, not just a number.
        EXPECT_FALSE(SystemErrorText(code).empty());
        EXPECT_EQ(kVerbFileMissing, InvokeShellVerb(root + "\\none.lnk", kPinToStartMenuVerb));
    }

    // What a user named "Jörg" or with a Korean name has in the temporary
    // folder: the core is written there and started from there.
    TEST_F(ShortcutWinTest, NamesGbkCannotHoldTravelWholeToFilesLinksAndProcesses)
    {
        std::string gbk;
        EXPECT_FALSE(ExactGbkFromWide(kNotGbk, &gbk)) << "a chosen folder like this is refused";
        std::string inner;
        ASSERT_TRUE(ExactGbkFromWide(L"\u6E38\u620F", &inner));
        EXPECT_EQ(kGames, inner);

        const std::string strange = GbkPathFromWide(kNotGbk);
        EXPECT_TRUE(HoldsWideEscape(strange));
        EXPECT_EQ(std::wstring(kNotGbk), WideFromGbk(strange));
        const std::string dir = root + "\\" + strange;
        ASSERT_TRUE(CreateFolderChain(dir + "\\"));
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((WideFromGbk(root) + L"\\" + kNotGbk).c_str()));

        // The running test program stands in for the core.
        wchar_t self[MAX_PATH] = {};
        ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
        HANDLE file = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        std::vector<unsigned char> bytes(GetFileSize(file, nullptr));
        DWORD got = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(file);
        ASSERT_EQ(bytes.size(), got);
        ResourceBlob blob;
        blob.data = bytes.data();
        blob.size = bytes.size();
        std::string program;
        ASSERT_TRUE(ExtractCoreProgram(kGames, blob, dir, program));
        ProcessRecord child;
        ASSERT_TRUE(CreateHiddenProcess(QuoteProgramPath(program) + " --gtest_filter=-*", nullptr, &child))
            << LastErrorCode();
        int exitCode = -1;
        EXPECT_TRUE(WaitForProcessExit(child, 60000, &exitCode));
        EXPECT_EQ(0, exitCode);
        CloseProcessRecord(&child);

        // A link in such a folder, to a target in one.
        ASSERT_TRUE(CreateShortcut(dir, program, dir + "\\"));
        ShortcutInfo info;
        ASSERT_TRUE(shell.ReadShortcut(dir + "\\" + kShortcutName, &info));
        EXPECT_EQ(program, info.target);
        EXPECT_EQ(dir + "\\", info.workingFolder);
    }

    TEST_F(ShortcutWinTest, WriteProbeAndDriveTypes)
    {
        EXPECT_TRUE(FolderAcceptsNewFiles(root));
        EXPECT_TRUE(FolderAcceptsNewFiles(root + "\\"));
        // Z: is the Unix root under Wine; /sys refuses new files even to root.
        if (GetFileAttributesW(L"Z:\\sys") != INVALID_FILE_ATTRIBUTES) {
            EXPECT_FALSE(FolderAcceptsNewFiles("Z:\\sys"));
        }
        EXPECT_FALSE(FolderAcceptsNewFiles(root + "\\missing"));
        EXPECT_EQ(DriveType::kFixed, QueryDriveType(SystemDriveLetter()));
        EXPECT_EQ(DriveType::kNone, QueryDriveType('?'));
        EXPECT_TRUE(DriveExists(SystemDriveLetter()));
    }

} // namespace
} // namespace zdl
