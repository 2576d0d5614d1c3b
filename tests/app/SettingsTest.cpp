// The settings file and the settings dialog: reading, the page's start
// values, the dialog's round trip through the simulated dialog, and limits
// typed out of range.
#include "PageTestSupport.h"

#include "app/SettingDlg.h"
#include "platform/WindowSystem.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace zdl {
namespace {

    std::string ReadAll(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    void WriteAll(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }

    TEST(StoredSettingsTest, ReaderTrimsMatchesPrefixesAndTheLaterLineWins)
    {
        StoredSettings s = ParseSettings(
            "MaxDownloadSpd=200\nMaxDownloadSpd=500x\r\n LimitUploadSpd=1\nLimitDownloadSpd=2\nMaxUploadSpd=\n"
            "DefaultDir=E:\\Games\\Zephyra\\ \t\r\n");
        EXPECT_EQ(500, s.maxDownloadSpeed);
        EXPECT_EQ(0, s.maxUploadSpeed);
        EXPECT_FALSE(s.limitDownload);
        EXPECT_FALSE(s.limitUpload); // not at the start of the line
        EXPECT_EQ("E:\\Games\\Zephyra\\", s.defaultDir);
        // A 999-byte piece ends a line; the rest reads as a line of its own.
        s = ParseSettings(std::string(999, 'x') + "LimitUploadSpd=1\n");
        EXPECT_TRUE(s.limitUpload);
        EXPECT_EQ(INT_MAX, ParseSettings("MaxUploadSpd=99999999999999999999\n").maxUploadSpeed);
    }

    TEST(StoredSettingsTest, PageStartValues)
    {
        StoredSettings s
            = ParseSettings("MaxDownloadSpd=500\nLimitUploadSpd=1\nMaxUploadSpd=70\nDefaultDir=E:\\Games\n");
        PageStartSettings page = PageSettingsFrom(s, kDefaultInstallDir);
        EXPECT_EQ(-1, page.maxDownloadSpeed); // no "Limit" line
        EXPECT_EQ(kDefaultSpeedLimit, CoreSpeedLimit(page.maxDownloadSpeed));
        EXPECT_EQ(70, page.maxUploadSpeed);
        EXPECT_EQ("E:\\Games\\", page.installDir);
        // Empty, or longer than the folder box holds: the default stays.
        EXPECT_EQ(kDefaultInstallDir, PageSettingsFrom(ParseSettings("DefaultDir=\n"), kDefaultInstallDir).installDir);
        EXPECT_EQ(kDefaultInstallDir,
            PageSettingsFrom(ParseSettings("DefaultDir=C:\\" + std::string(124, 'a') + "\n"), kDefaultInstallDir)
                .installDir);
        EXPECT_EQ("D:\\Program Files\\Orvane\\Zephyra\\", DefaultInstallDir(true, 'C'));
        EXPECT_EQ("C:\\Program Files\\Orvane\\Zephyra\\", DefaultInstallDir(false, 'C'));
    }

    TEST(StoredSettingsTest, WrittenFolderLineIsReadBackWholeOrNotWritten)
    {
        // "DefaultDir=" (11) + folder + CR LF: 986 folder bytes fill the
        // reader's 999-byte line exactly; one more would spill its tail,
        // which here reads as a limit the player never set.
        const std::string tail = "MaxDownloadSpd=7";
        struct Case {
            size_t folderBytes;
            bool written;
        };
        for (const Case& c : { Case { 986, true }, Case { 987, false }, Case { 2000, false } }) {
            SettingsToWrite w;
            w.folder = "E:\\" + std::string(c.folderBytes - 3 - tail.size(), 'a') + tail;
            ASSERT_EQ(c.folderBytes, w.folder.size());
            StoredSettings back = ParseSettings(FormatSettings(w));
            EXPECT_EQ(c.written, back.hasDefaultDir) << c.folderBytes;
            EXPECT_EQ(c.written ? w.folder : std::string(), back.defaultDir) << c.folderBytes;
            EXPECT_EQ(-1, back.maxDownloadSpeed) << c.folderBytes;
        }
        // A folder with a line end of its own would write two lines.
        SettingsToWrite w;
        w.folder = "E:\\a\r\nMaxUploadSpd=9";
        w.limitUpload = true;
        EXPECT_EQ("LimitUploadSpd=1\r\n", FormatSettings(w));
    }

    // Sharing with peers is on unless the file says 0; only "off" is
    // written, so a file written with it on is the same as before.
    TEST(StoredSettingsTest, SharingSwitchReadAndWritten)
    {
        EXPECT_TRUE(ParseSettings("").share);
        EXPECT_TRUE(ParseSettings("P2PShare=1\r\n").share);
        EXPECT_FALSE(ParseSettings("P2PShare=0\r\n").share);
        EXPECT_FALSE(ParseSettings("P2PShare=1\r\nP2PShare=0").share); // a later line wins
        SettingsToWrite w;
        w.folder = "E:\\Z\\";
        EXPECT_EQ("DefaultDir=E:\\Z\\\r\n", FormatSettings(w));
        w.share = false;
        StoredSettings back = ParseSettings(FormatSettings(w));
        EXPECT_FALSE(back.share);
        EXPECT_EQ(w.folder, back.defaultDir);
        EXPECT_FALSE(PageSettingsFrom(back, "D:\\").share);
    }

    // A link in the settings file's place is left as it is, its target
    // untouched; a plain file is written.
    TEST(StoredSettingsTest, WriterRefusesALinkInTheFilesPlace)
    {
        namespace fs = std::filesystem;
        const fs::path dir = fs::temp_directory_path() / ("zdl-settings-link-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        WriteAll((dir / "elsewhere").string(), "kept");
        fs::create_symlink(dir / "elsewhere", dir / kSettingsFileName);
        SettingsToWrite w;
        w.limitUpload = true;
        EXPECT_FALSE(WriteSettingsFile((dir / kSettingsFileName).string(), w));
        EXPECT_EQ("kept", ReadAll((dir / "elsewhere").string()));
        EXPECT_TRUE(fs::is_symlink(dir / kSettingsFileName));
        fs::remove(dir / kSettingsFileName);
        EXPECT_TRUE(WriteSettingsFile((dir / kSettingsFileName).string(), w));
        EXPECT_EQ("LimitUploadSpd=1\r\n", ReadAll((dir / kSettingsFileName).string()));
        fs::remove_all(dir);
    }

    TEST(StoredSettingsTest, DefaultFolderIsOnDOnlyWhenDIsAFixedDisk)
    {
        struct Case {
            DriveType d;
            char system;
            char expected;
        };
        for (const Case& c : { Case { DriveType::kFixed, 'C', 'D' }, Case { DriveType::kOptical, 'C', 'C' },
                 Case { DriveType::kRemovable, 'E', 'E' }, Case { DriveType::kNone, 'C', 'C' },
                 Case { DriveType::kNetwork, 'C', 'C' }, Case { DriveType::kUnknown, 'C', 'C' } }) {
            std::string asked;
            std::string dir = DefaultInstallDir(
                [&](char letter) {
                    asked += letter;
                    return c.d;
                },
                c.system);
            EXPECT_EQ("D", asked);
            EXPECT_EQ(std::string(1, c.expected) + ":\\Program Files\\Orvane\\Zephyra\\", dir) << static_cast<int>(c.d);
        }
        // Natively no letter names a drive: the page starts on the system drive.
        EXPECT_FALSE(DriveExists('D'));
    }

    TEST(StoredSettingsTest, TypedLimitsAreClampedNeverOverflowed)
    {
        EXPECT_EQ(0, ParseTypedLimit(kNoLimitText));
        EXPECT_EQ(0, ParseTypedLimit("nan"));
        EXPECT_EQ(0, ParseTypedLimit("-5"));
        EXPECT_EQ(static_cast<double>(INT_MAX), ParseTypedLimit("1e30"));
        EXPECT_EQ(static_cast<double>(INT_MAX), ParseTypedLimit("inf"));
        EXPECT_EQ(static_cast<double>(INT_MAX), ParseTypedLimit(std::string(400, '9')));
        EXPECT_EQ(INT_MAX, EffectiveLimit(true, ParseTypedLimit("1e30")));
        EXPECT_EQ(300, EffectiveLimit(true, 300.7));
        EXPECT_EQ(-1, EffectiveLimit(false, 300.7));
        EXPECT_EQ(-1, EffectiveLimit(true, 0.000001));
    }

    class SettingsDialogTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            folder_ = std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "settings";
            std::filesystem::remove_all(folder_);
            std::filesystem::create_directories(folder_);
            env_.core = &core_;
            env_.queue = &queue_;
            env_.settingsPath = (folder_ / "zphdownloader.ini").string();
            env_.defaultInstallDir = kDefaultInstallDir;
            env_.pollIntervalMs = 5;
            env_.restartWaitMs = 5;
            env_.runSettingsDialog = RunSettingsDialog;
            page_ = std::make_unique<DownloadPage>(&view_, env_);
        }
        void TearDown() override
        {
            page_.reset();
            WsSetDialogScript(nullptr);
        }

        std::filesystem::path folder_;
        PlatformScript script_;
        UiTaskQueue queue_;
        ScriptedCore core_;
        RecordingView view_;
        PageEnvironment env_;
        std::unique_ptr<DownloadPage> page_;
    };

    TEST_F(SettingsDialogTest, RoundTripThroughTheDialog)
    {
        WriteAll(env_.settingsPath, "MaxDownloadSpd=500\r\n");
        page_->LoadSettings();
        EXPECT_EQ(-1, page_->maxDownloadSpeed());

        std::string shownLimit;
        bool shownChecked = true;
        std::string shownFolder;
        WsSetDialogScript([&](NativeWindow dialog, int templateId) {
            EXPECT_EQ(kSettingsDialogTemplate, templateId);
            shownLimit = WsGetDlgItemText(dialog, kIdMaxDownloadEdit, 100);
            shownChecked = WsIsDlgButtonChecked(dialog, kIdLimitDownloadCheck);
            shownFolder = WsGetDlgItemText(dialog, kIdFolderEdit, 300);
            EXPECT_EQ(kNoLimitText, WsGetDlgItemText(dialog, kIdMaxUploadEdit, 100));
            WsCheckDlgButton(dialog, kIdLimitDownloadCheck, true);
            WsSetDlgItemText(dialog, kIdMaxDownloadEdit, "300.7");
            // Browse: owned by the dialog, starting from the folder box.
            script_.Choose("F:\\");
            WsSendDialogMessage(dialog, WM_COMMAND, kIdBrowseButton, 0);
            EXPECT_EQ("F:\\Zephyra\\", WsGetDlgItemText(dialog, kIdFolderEdit, 300));
            WsSendDialogMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        page_->OnSettings();
        EXPECT_EQ("500", shownLimit);
        EXPECT_FALSE(shownChecked);
        EXPECT_EQ(kDefaultInstallDir, shownFolder);
        ASSERT_EQ(1u, script_.Browses().size());
        EXPECT_NE(nullptr, script_.Browses()[0].owner);
        EXPECT_EQ(kDefaultInstallDir, script_.Browses()[0].initialFolder);
        EXPECT_TRUE(view_.banner);

        EXPECT_EQ(
            "LimitDownloadSpd=1\r\nMaxDownloadSpd=301\r\nDefaultDir=F:\\Zephyra\\\r\n", ReadAll(env_.settingsPath));
        EXPECT_EQ(300, page_->maxDownloadSpeed());
        EXPECT_EQ(-1, page_->maxUploadSpeed());
        EXPECT_EQ(kDefaultInstallDir, page_->installDir()); // takes effect at the next start
        EXPECT_EQ(0, core_.Starts()); // nothing ran, nothing restarts
    }

    // The sharing box shows the stored switch with its note; switched off it
    // writes "P2PShare=0" and the page's next core start passes it on.
    TEST_F(SettingsDialogTest, SharingBoxRoundTrip)
    {
        WriteAll(env_.settingsPath, "P2PShare=0\r\n");
        page_->LoadSettings();
        EXPECT_FALSE(page_->share());
        bool shown = true;
        std::string note;
        WsSetDialogScript([&](NativeWindow dialog, int) {
            shown = WsIsDlgButtonChecked(dialog, kIdShareCheck);
            note = WsGetDlgItemText(dialog, kIdShareNote, 1000);
            WsCheckDlgButton(dialog, kIdShareCheck, true);
            WsSendDialogMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        page_->OnSettings();
        EXPECT_FALSE(shown);
        EXPECT_EQ(kShareNote, note);
        EXPECT_EQ("DefaultDir=" + std::string(kDefaultInstallDir) + "\r\n", ReadAll(env_.settingsPath));
        EXPECT_TRUE(page_->share());

        WsSetDialogScript([&](NativeWindow dialog, int) {
            shown = WsIsDlgButtonChecked(dialog, kIdShareCheck);
            WsCheckDlgButton(dialog, kIdShareCheck, false);
            WsSendDialogMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        page_->OnSettings();
        EXPECT_TRUE(shown);
        EXPECT_EQ("P2PShare=0\r\nDefaultDir=" + std::string(kDefaultInstallDir) + "\r\n", ReadAll(env_.settingsPath));
        EXPECT_FALSE(page_->share());
    }

    TEST_F(SettingsDialogTest, NoLimitWritesNoMaxLineAndCancelWritesNothing)
    {
        WsSetDialogScript([&](NativeWindow dialog, int) {
            WsCheckDlgButton(dialog, kIdLimitDownloadCheck, true);
            WsSendDialogMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        page_->OnSettings();
        EXPECT_EQ(
            "LimitDownloadSpd=1\r\nDefaultDir=" + std::string(kDefaultInstallDir) + "\r\n", ReadAll(env_.settingsPath));
        EXPECT_EQ(-1, page_->maxDownloadSpeed());

        WsSetDialogScript([&](NativeWindow dialog, int) {
            WsSetDlgItemText(dialog, kIdMaxDownloadEdit, "77");
            WsSendDialogMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        page_->OnSettings();
        EXPECT_EQ(
            "LimitDownloadSpd=1\r\nDefaultDir=" + std::string(kDefaultInstallDir) + "\r\n", ReadAll(env_.settingsPath));
    }

    TEST_F(SettingsDialogTest, SavingDuringADownloadRestartsItWithTheNewLimits)
    {
        core_.status.p2pState = kStateDownloading;
        core_.status.percentage = 12;
        page_->OnStart();
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return view_.progress == 12; }));
        WsSetDialogScript([&](NativeWindow dialog, int) {
            WsCheckDlgButton(dialog, kIdLimitUploadCheck, true);
            WsSetDlgItemText(dialog, kIdMaxUploadEdit, "64");
            WsSendDialogMessage(dialog, WM_COMMAND, IDOK, 0);
        });
        page_->OnSettings();
        EXPECT_EQ(1, core_.Stops());
        ASSERT_EQ(2, core_.Starts());
        {
            std::lock_guard<std::mutex> lock(core_.mutex);
            EXPECT_EQ(64, core_.requests[1].maxUploadSpeed);
            EXPECT_EQ(4, core_.requests[1].httpThreads);
        }
        EXPECT_EQ(static_cast<int>(PageButton::kStop), view_.State());
        ASSERT_TRUE(RunUiUntil(queue_, [&] { return page_->LivePollThreads() == 1 && page_->PollRunning(); }));
    }

} // namespace
} // namespace zdl
