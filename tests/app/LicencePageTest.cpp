// The licence page: its text (line ends, a missing or oversized file) and,
// on the simulated windows, its build and its buttons — and any other close
// of its window — acting on the download page's logic through the gate.
#include "PageTestSupport.h"
#include "app/BeginDlg.h"
#include "app/LicenceGate.h"
#include "app/LicenceText.h"
#include "app/RuleDlg.h"
#include "app/SampleApp.h"
#include "gfx/ResourceArchive.h"
#include "platform/Resources.h"
#include "skin/CheckBox.h"
#include "skin/Control.h"
#include "skin/MultiColorStatic.h"
#include "skin/ScrollStatic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zdl {
namespace {

    TEST(LicenceTextTest, OnlyCrLfPairsBecomeMarkupBreaks)
    {
        struct Case {
            std::string in, out;
        } cases[] = {
            { "One line without a line end", "One line without a line end" },
            { "A\r\nB", "A#rB" },
            { "A\rB\nC\n\r", "A\rB\nC\n\r" },
            { "\r\r\n\r\n", "\r#r#r" },
            { "\xD7\xEE\r\n", "\xD7\xEE#r" },
            { "", "" },
        };
        for (const Case& c : cases) {
            std::string text = c.in;
            MarkLineBreaks(&text);
            EXPECT_EQ(c.out, text);
        }
    }

    TEST(LicenceTextTest, OversizedLooseFileIsReadOnlyUpToTheLimitAndNeverSplitsACharacter)
    {
        char old[PATH_MAX] = {};
        char dir[] = "/tmp/zdl-licence-XXXXXX";
        ASSERT_NE(nullptr, getcwd(old, sizeof old));
        ASSERT_NE(nullptr, mkdtemp(dir));
        ASSERT_EQ(0, chdir(dir));
        auto writeLoose = [](const std::string& bytes) {
            std::ofstream out(kLicenceFileName, std::ios::binary);
            out << bytes;
        };
        // A lead byte at the limit whose trail byte lies beyond it.
        std::string big(kMaxLicenceBytes - 1, 'a');
        big += "\xD7\xEE and more";
        writeLoose(big);
        std::string text;
        EXPECT_TRUE(ReadLicenceText(&text));
        EXPECT_EQ(kMaxLicenceBytes - 1, text.size());
        writeLoose("A\r\nB");
        EXPECT_TRUE(ReadLicenceText(&text));
        EXPECT_EQ("A\r\nB", text);
        std::remove(kLicenceFileName);
        EXPECT_EQ(0, chdir(old));
        rmdir(dir);
    }

    // Stands in for CSBeginDlg on the main window: the download page's logic on
    // a recording view, locked while the licence window is open.
    class GatePage : public CSBitmapDialog, public LicenceGate {
    public:
        GatePage()
        {
            env.core = &core;
            env.queue = &queue;
            env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "none.ini").string();
            env.defaultInstallDir = "D:\\Games\\Zephyra\\";
            env.pollIntervalMs = 5;
            env.restartWaitMs = 5;
            logic = std::make_unique<DownloadPage>(&view, env);
            view.accept = false;
        }
        void OnAttached() override
        {
            navigationKeys = false;
            mouseEnabled = false;
            view.banner = false;
        }
        void ResumeAfterLicence() override
        {
            ++resumes;
            navigationKeys = true;
            mouseEnabled = true;
            view.banner = true;
        }
        void SetLicenceAccepted(bool accepted) override
        {
            view.accept = accepted;
            logic->OnAcceptanceChanged();
        }

        UiTaskQueue queue;
        ScriptedCore core;
        RecordingView view;
        PageEnvironment env;
        std::unique_ptr<DownloadPage> logic;
        int resumes = 0;
    };

    GatePage* gatePage = nullptr;

    CSBitmapDialog* MakeGatePage(CMainWin*)
    {
        gatePage = new GatePage;
        return gatePage;
    }

    class LicencePageTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            previous_ = SetUiPlatform(&platform_);
            SetMainPageFactory(MakeGatePage);
            SetLicencePageFactory(MakeLicencePage);
            app_ = std::make_unique<CSampleApp>();
            ASSERT_TRUE(app_->InitInstance());
        }
        void TearDown() override
        {
            FreeClosedWindows();
            if (app_->mainWin.handle())
                WsDestroyWindow(app_->mainWin.handle());
            app_.reset();
            gatePage = nullptr;
            SetMainPageFactory(nullptr);
            SetLicencePageFactory(nullptr);
            SetUiPlatform(previous_);
            focusControl = nullptr;
            LoadResourceArchive();
        }
        CSRuleDlg* Open()
        {
            app_->OpenLicenceWindow();
            if (!app_->licenceWindow || app_->licenceWindow->desktop.panels.empty())
                return nullptr;
            return dynamic_cast<CSRuleDlg*>(app_->licenceWindow->desktop.panels[0]);
        }
        void Click(CSRuleDlg* page, int id)
        {
            CSControl* button = nullptr;
            for (CSControl* c : page->controls)
                if (c->id == id)
                    button = c;
            ASSERT_NE(nullptr, button);
            NotifyOwner(button, kNotifyClicked);
        }
        void FreeClosedWindows()
        {
            platform_.ticks += 5000;
            app_->OnIdle(0);
        }
        bool HasTooltip(CSRuleDlg* page)
        {
            for (CSControl* c : page->controls)
                if (c->id == kTooltipId)
                    return true;
            return false;
        }

        PlatformScript script_;
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::unique_ptr<CSampleApp> app_;
    };

    TEST_F(LicencePageTest, BuildShowsTitleAndTheWholeTextWithBreaksAndATooltip)
    {
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        EXPECT_TRUE(app_->licenceWindow->draggable);
        ASSERT_NE(0, page->acceptId);
        ASSERT_NE(0, page->refuseId);
        ASSERT_NE(0, page->exitId);
        ASSERT_NE(nullptr, page->title);
        ASSERT_EQ(1u, page->title->segments.size());
        EXPECT_EQ(14, page->title->segments[0].height);
        EXPECT_EQ(1u << 24, page->title->segments[0].style); // bold black
        EXPECT_STREQ(kSongTiFace, page->title->fontFace);
        ASSERT_NE(nullptr, page->text);
        EXPECT_EQ(kLicenceTextId, page->text->id);
        EXPECT_EQ(kLicenceTextWidth, page->text->textWidth);
        EXPECT_FALSE(page->text->autoTextWidth);
        EXPECT_NE(nullptr, page->text->thumbImage);
        // Every CR LF became a break segment; no line end is left in any text.
        int breaks = 0;
        for (const TextSegment& s : page->text->segments) {
            EXPECT_EQ(std::string::npos, s.text.find_first_of("\r\n"));
            breaks += s.text.empty() && s.style == (1u << 27);
        }
        EXPECT_GT(breaks, 5);
        EXPECT_TRUE(HasTooltip(page));
        // The download page takes no input while the licence window is open.
        EXPECT_FALSE(gatePage->mouseEnabled);
        EXPECT_FALSE(gatePage->view.banner);
    }

    TEST_F(LicencePageTest, AcceptChecksTheBoxAndUnlocksTheDownloadPage)
    {
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        Click(page, page->acceptId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_EQ(1, gatePage->resumes);
        EXPECT_TRUE(gatePage->view.accept);
        EXPECT_TRUE(gatePage->mouseEnabled);
        EXPECT_TRUE(gatePage->navigationKeys);
        EXPECT_TRUE(gatePage->view.banner);
        EXPECT_EQ(0, gatePage->core.Stops());
    }

    TEST_F(LicencePageTest, RefuseDuringADownloadStopsTheCoreAndShowsContinue)
    {
        gatePage->view.accept = true;
        gatePage->core.SetStatus(CoreStatus());
        gatePage->logic->OnStart();
        ASSERT_EQ(static_cast<int>(PageButton::kStop), gatePage->view.State());
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        Click(page, page->refuseId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_FALSE(gatePage->view.accept);
        EXPECT_EQ(1, gatePage->core.Stops());
        EXPECT_EQ(static_cast<int>(PageButton::kContinue), gatePage->view.State());
        EXPECT_TRUE(gatePage->view.banner);
    }

    TEST_F(LicencePageTest, ExitAndAltF4KeepTheBoxAndUnlockThePage)
    {
        gatePage->view.accept = true;
        for (bool altF4 : { false, true }) {
            CSRuleDlg* page = Open();
            ASSERT_NE(nullptr, page);
            NativeWindow handle = app_->licenceWindow->handle();
            if (altF4)
                WsSendMessage(handle, WM_CLOSE, 0, 0);
            else
                Click(page, page->exitId);
            EXPECT_EQ(nullptr, app_->licenceWindow) << altF4;
            EXPECT_FALSE(WsIsWindow(handle));
            EXPECT_TRUE(gatePage->view.accept);
            EXPECT_TRUE(gatePage->mouseEnabled);
            NativeMessage m;
            while (WsMessageWaiting())
                EXPECT_NE(0, WsGetMessage(&m)) << "the application must go on";
            FreeClosedWindows();
        }
        EXPECT_EQ(2, gatePage->resumes);
    }

    TEST_F(LicencePageTest, MissingLicenceFileLeavesTheTextEmptyWithoutTooltipAndButtonsWork)
    {
        // The same archive with the licence entry renamed.
        ResourceBlob blob;
        ASSERT_TRUE(FindResourceBlob(kResTypeRcData, kResArchive, &blob));
        std::string bytes(reinterpret_cast<const char*>(blob.data), blob.size);
        const std::string name = kLicenceFileName;
        for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1))
            bytes[at + name.size() - 1] = 'x';
        ASSERT_TRUE(LoadResourceArchiveFromBytes(bytes.data(), bytes.size()));
        std::string text;
        ASSERT_FALSE(ReadLicenceText(&text));

        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        ASSERT_NE(nullptr, page->text);
        EXPECT_TRUE(page->text->segments.empty());
        EXPECT_FALSE(HasTooltip(page));
        Click(page, page->acceptId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_TRUE(gatePage->view.accept);
    }

    ScriptedCore* beginCore = nullptr;

    CSBitmapDialog* MakeBeginPage(CMainWin* window)
    {
        PageEnvironment env;
        env.core = beginCore;
        env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "absent.ini").string();
        env.defaultInstallDir = "C:\\Zephyra\\";
        return new CSBeginDlg(window, env);
    }

    // The real download page opens the licence window after its build and
    // takes the verdict of its buttons.
    TEST(LicenceOnTheDownloadPageTest, TheRealPageOpensItAndTakesTheVerdict)
    {
        PlatformScript script;
        ScriptedCore core;
        beginCore = &core;
        TestUiPlatform platform;
        UiPlatform* previous = SetUiPlatform(&platform);
        SetMainPageFactory(MakeBeginPage);
        SetLicencePageFactory(MakeLicencePage);
        {
            CSampleApp app;
            ASSERT_TRUE(app.InitInstance());
            auto* page = static_cast<CSBeginDlg*>(app.mainWin.desktop.panels[0]);
            ASSERT_NE(nullptr, page->accept);
            ASSERT_NE(nullptr, app.licenceWindow);
            EXPECT_FALSE(page->mouseEnabled);
            auto* rule = static_cast<CSRuleDlg*>(app.licenceWindow->desktop.panels[0]);
            NotifyOwner(rule->FindControl(rule->acceptId, kTypeButton), kNotifyClicked);
            EXPECT_EQ(nullptr, app.licenceWindow);
            EXPECT_TRUE(page->accept->isChecked);
            EXPECT_TRUE(page->mouseEnabled);
            EXPECT_TRUE(page->navigationKeys);

            page->OnLicenceLink();
            ASSERT_NE(nullptr, app.licenceWindow);
            rule = static_cast<CSRuleDlg*>(app.licenceWindow->desktop.panels[0]);
            NotifyOwner(rule->FindControl(rule->refuseId, kTypeButton), kNotifyClicked);
            EXPECT_FALSE(page->accept->isChecked);
            EXPECT_TRUE(page->mouseEnabled);
            platform.ticks += 5000;
            app.OnIdle(0);
            WsDestroyWindow(app.mainWin.handle());
        }
        SetMainPageFactory(nullptr);
        SetLicencePageFactory(nullptr);
        SetUiPlatform(previous);
        focusControl = nullptr;
        beginCore = nullptr;
    }

} // namespace
} // namespace zdl
