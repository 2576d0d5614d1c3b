// Install completion against the recording shell: the version record's
// bytes, the order and paths of the "finish" work on Windows 7 and XP, pins
// that find no matching verb, COM pairing, and the folder-chain walk.
#include "app/InstallCompletion.h"

#include "core_client/CoreStatus.h"
#include "platform/SystemInfo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zdl {
namespace {

    const std::string kDir = "D:\\Games\\Zephyra\\";
    const std::string kGame = "D:\\Games\\Zephyra\\zpc.exe";
    const std::string kDesktop = "C:\\Users\\p\\Desktop";
    const std::string kPrograms = "C:\\Users\\p\\Start Menu\\Programs";
    const std::string kAppData = "C:\\Users\\p\\AppData";
    const std::string kLink = kShortcutName;
    const std::string kGroup = kPrograms + "\\" + kProgramGroupName;
    const std::string kQuick = kAppData + "\\Microsoft\\Internet Explorer\\Quick Launch";

    struct Machine : RecordingShellPlatform {
        explicit Machine(OsVersion version)
        {
            osVersion = version;
            folders = { { ShellFolder::kDesktop, kDesktop }, { ShellFolder::kPrograms, kPrograms },
                { ShellFolder::kAppData, kAppData } };
            for (const char* p : { "C:\\Users", "C:\\Users\\p", "C:\\Users\\p\\Start Menu" })
                paths[p] = PathKind::kFolder;
            for (const std::string& p : { kDesktop, kPrograms, kAppData })
                paths[p] = PathKind::kFolder;
            shellStrings = { { kPinToStartMenuVerb, "Pin to Start Men&u" }, { kPinToTaskbarVerb, "Pin to Tas&kbar" } };
            itemVerbs = { "&Open", "Pin to Start Men&u", "Pin to Tas&kbar" };
        }
    };

    std::string LinkLine(const std::string& folder)
    {
        return "link " + folder + "\\" + kLink + " -> " + kGame + " in " + kDir;
    }

    TEST(InstallCompletionTest, VersionRecordIsExactlyTwentyEightBytesAndReplacesAnOldOne)
    {
        char tmpl[] = "/tmp/zdl-version-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        std::string dir = std::string(tmpl) + "/";
        {
            std::ofstream old(dir + "version.bin", std::ios::binary);
            old << std::string(100, 'x');
        }
        ASSERT_TRUE(WriteVersionRecordFile(dir));
        std::ifstream in(dir + "version.bin", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(std::string("special_instal_20190627:23\r\n"), bytes);
        EXPECT_EQ(28u, bytes.size());
        std::remove((dir + "version.bin").c_str());
        rmdir(tmpl);
        // The folder is gone: the record cannot be written and says so.
        uint32_t code = 0;
        EXPECT_FALSE(WriteVersionRecordFile(dir, &code));
        EXPECT_EQ(static_cast<uint32_t>(ENOENT), code);
        // A path far longer than the classic 260 bytes is not cut short.
        EXPECT_EQ(std::string(300, 'a') + "\\version.bin", VersionRecordPath(std::string(300, 'a') + "\\"));
    }

    // A link planted as the record (or its temporary file) is neither
    // written through nor replaced; the install folder itself may be a link.
    TEST(InstallCompletionTest, VersionRecordRefusesALinkInTheFolderAndFollowsTheFolderItself)
    {
        char tmpl[] = "/tmp/zdl-version-link-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        const std::string base = tmpl;
        ASSERT_EQ(0, mkdir((base + "/real").c_str(), 0755));
        ASSERT_EQ(0, symlink((base + "/real").c_str(), (base + "/moved").c_str()));
        {
            std::ofstream outside(base + "/outside", std::ios::binary);
            outside << "outside";
        }
        auto read = [](const std::string& path) {
            std::ifstream in(path, std::ios::binary);
            return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        };
        for (const char* planted : { "version.bin", "version.bin.tmp" }) {
            const std::string at = base + "/real/" + planted;
            ASSERT_EQ(0, symlink((base + "/outside").c_str(), at.c_str()));
            uint32_t code = 0;
            EXPECT_FALSE(WriteVersionRecordFile(base + "/moved/", &code)) << planted;
            EXPECT_EQ(static_cast<uint32_t>(kCodeLinkRefused), code) << planted;
            EXPECT_EQ("outside", read(base + "/outside")) << planted;
            char target[64] = {};
            EXPECT_LT(0, readlink(at.c_str(), target, sizeof target - 1)) << planted << ": the link was replaced";
            std::remove(at.c_str());
        }
        const std::string text = VersionRecordFailureText(base + "/moved/", kCodeLinkRefused);
        EXPECT_NE(std::string::npos, text.find("\xa1\xb0version.bin\xa1\xb1")) << text; // “version.bin”

        ASSERT_TRUE(WriteVersionRecordFile(base + "/moved/"));
        EXPECT_EQ(std::string(kVersionRecord, kVersionRecordSize), read(base + "/real/version.bin"));
        std::remove((base + "/real/version.bin").c_str());
        std::remove((base + "/moved").c_str());
        std::remove((base + "/outside").c_str());
        rmdir((base + "/real").c_str());
        rmdir(tmpl);
    }

    TEST(InstallCompletionTest, Windows7PinsToStartAndTaskbarAndMakesNoQuickLaunchShortcut)
    {
        Machine m({ 6, 1 });
        CompleteInstall(kDir, m);
        std::vector<std::string> expected = {
            "com init",
            LinkLine(kDesktop),
            "mkdir " + kGroup,
            LinkLine(kGroup),
            "verb Pin to Start Men&u on " + kGroup + "\\" + kLink,
            "verb Pin to Tas&kbar on " + kGroup + "\\" + kLink,
            "com uninit",
            "open " + kGame + " in " + kDir,
        };
        EXPECT_EQ(expected, m.log);
        EXPECT_EQ(kShortcutDescription, m.shortcuts[kDesktop + "\\" + kLink].description);

        // "finish" again: the group exists, the links are written over.
        m.log.clear();
        CompleteInstall(kDir, m);
        expected.erase(expected.begin() + 2);
        EXPECT_EQ(expected, m.log);
        EXPECT_EQ(2u, m.shortcuts.size());
    }

    TEST(InstallCompletionTest, WindowsXpMakesTheCurrentUsersQuickLaunchShortcutAndOnlyTheStartPin)
    {
        Machine m({ 5, 1 });
        CompleteInstall(kDir, m);
        std::vector<std::string> expected = {
            "com init",
            LinkLine(kDesktop),
            "mkdir " + kGroup,
            LinkLine(kGroup),
            "verb Pin to Start Men&u on " + kGroup + "\\" + kLink,
            "mkdir " + kAppData + "\\Microsoft",
            "mkdir " + kAppData + "\\Microsoft\\Internet Explorer",
            "mkdir " + kQuick,
            LinkLine(kQuick),
            "com uninit",
            "open " + kGame + " in " + kDir,
        };
        EXPECT_EQ(expected, m.log);
    }

    TEST(InstallCompletionTest, UnmatchedVerbTextLeavesTheLinkUnpinnedAndFailedComIsNotReleased)
    {
        Machine m({ 6, 1 });
        m.shellStrings[kPinToStartMenuVerb] = "An Startmen\xFC anheften";
        m.shellStrings.erase(kPinToTaskbarVerb);
        m.comInitResult = false;
        CompleteInstall(kDir, m);
        std::vector<std::string> expected = {
            "com init failed",
            LinkLine(kDesktop),
            "mkdir " + kGroup,
            LinkLine(kGroup),
            "open " + kGame + " in " + kDir,
        };
        EXPECT_EQ(expected, m.log);
        EXPECT_EQ(kStatusFail, InvokeShellVerb(kGroup + "\\" + kLink, kPinToStartMenuVerb, m));
        EXPECT_EQ(kVerbFileMissing, InvokeShellVerb(kGroup + "\\missing.lnk", kPinToStartMenuVerb, m));
    }

    // A record that fails twice, then can be written (the player freed the
    // folder): told once while downloading, again at each failed "finish",
    // and "finish" does nothing else until the record is there.
    TEST(InstallCompletionTest, UnwritableRecordIsReportedOnceAndRetriedByFinishAlone)
    {
        int failuresLeft = 3;
        std::vector<std::string> writes;
        std::vector<std::string> reports;
        VersionRecordKeeper keeper(
            [&](const std::string& dir, uint32_t* code) {
                writes.push_back(dir);
                if (failuresLeft == 0)
                    return true;
                --failuresLeft;
                *code = EACCES;
                return false;
            },
            [&](const std::string& text) { reports.push_back(text); });
        Machine m({ 6, 1 });

        EXPECT_TRUE(keeper.Complete(kDir)); // "finish" is offered all the same
        EXPECT_TRUE(keeper.Complete(kDir)); // a second try is not told again
        ASSERT_EQ(1u, reports.size());
        EXPECT_EQ(VersionRecordFailureText(kDir, EACCES), reports[0]);
        EXPECT_NE(std::string::npos, reports[0].find(VersionRecordPath(kDir)));
        EXPECT_NE(std::string::npos, reports[0].find(SystemErrorText(EACCES)));

        EXPECT_FALSE(CompleteInstall(kDir, m, keeper));
        EXPECT_EQ(2u, reports.size());
        EXPECT_TRUE(m.log.empty()); // no COM, no link, no game
        EXPECT_TRUE(CompleteInstall(kDir, m, keeper));
        EXPECT_EQ(2u, reports.size());
        EXPECT_EQ("open " + kGame + " in " + kDir, m.log.back());
        EXPECT_EQ(4u, writes.size());
        // Written once, "finish" never writes it again.
        m.log.clear();
        EXPECT_TRUE(CompleteInstall(kDir, m, keeper));
        EXPECT_EQ(4u, writes.size());
        // Another folder's failure is told afresh; a success clears it.
        failuresLeft = 1;
        EXPECT_TRUE(keeper.Complete("E:\\Other\\"));
        EXPECT_EQ(3u, reports.size());
        EXPECT_TRUE(keeper.Complete("E:\\Other\\"));
        EXPECT_TRUE(keeper.Finish("E:\\Other\\"));
        EXPECT_EQ(3u, reports.size());
    }

    TEST(InstallCompletionTest, VistaToEightIsMajorSixMinorZeroToTwo)
    {
        struct Case {
            OsVersion version;
            bool expected;
        } cases[] = { { { 5, 1 }, false }, { { 6, 0 }, true }, { { 6, 1 }, true }, { { 6, 2 }, true },
            { { 6, 3 }, false }, { { 10, 0 }, false } };
        for (const Case& c : cases) {
            RecordingShellPlatform m;
            m.osVersion = c.version;
            EXPECT_EQ(c.expected, IsWindowsVistaTo8(m)) << c.version.major << "." << c.version.minor;
        }
    }

    TEST(InstallCompletionTest, FolderChainWalk)
    {
        struct Case {
            std::string path;
            std::vector<std::string> made;
            bool ok;
        } cases[] = {
            // The trailing name has no backslash: only "a" is made.
            { "C:\\a\\b", { "mkdir C:\\a" }, true },
            { "C:\\a\\b\\", { "mkdir C:\\a", "mkdir C:\\a\\b" }, true },
            { "\\\\srv\\share\\a\\b\\", { "mkdir \\\\srv\\share\\a", "mkdir \\\\srv\\share\\a\\b" }, true },
            { "\\\\srv\\share", {}, true },
            // A double-byte character whose second byte is a backslash.
            { "C:\\\x81\\x\\", { "mkdir C:\\\x81\\x" }, true },
            { "C:\\file\\b\\", {}, false },
            { "C:\\locked\\b\\", {}, false },
        };
        for (const Case& c : cases) {
            RecordingShellPlatform m;
            m.paths["C:\\file"] = PathKind::kFile;
            m.unwritableFolders = { "C:\\locked" };
            EXPECT_EQ(c.ok, CreateFolderChain(c.path, m)) << c.path;
            EXPECT_EQ(c.made, m.log) << c.path;
        }
    }

} // namespace
} // namespace zdl
