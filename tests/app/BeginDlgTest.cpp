// The download page in the main window on the simulated windows: its build
// from "ui_panel1.lua", clicks through the container to the handlers, and
// the poll run's changes reaching the controls through the idle pass.
#include "PageTestSupport.h"

#include "app/BeginDlg.h"
#include "app/SampleApp.h"
#include "skin/Animate.h"
#include "skin/Bubble.h"
#include "skin/Button.h"
#include "skin/CheckBox.h"
#include "skin/EditBox.h"
#include "skin/ProgressBar.h"

#include <filesystem>

namespace zdl {
namespace {

    ScriptedCore* theCore = nullptr;

    CSBitmapDialog* MakeTestPage(CMainWin* window)
    {
        PageEnvironment env;
        env.core = theCore;
        env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "absent.ini").string();
        env.defaultInstallDir = "C:\\Zephyra\\";
        env.pollIntervalMs = 5;
        env.writeVersionRecord = [](const std::string&) { return true; };
        return new CSBeginDlg(window, env);
    }

    class BeginDlgTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            theCore = &core_;
            previous_ = SetUiPlatform(&platform_);
            SetMainPageFactory(MakeTestPage);
            app_ = std::make_unique<CSampleApp>();
            ASSERT_TRUE(app_->InitInstance());
            ASSERT_EQ(1u, app_->mainWin.desktop.panels.size());
            page_ = static_cast<CSBeginDlg*>(app_->mainWin.desktop.panels[0]);
            page_->mouseEnabled = true; // as after the licence window
        }
        void TearDown() override
        {
            if (app_->mainWin.handle())
                WsDestroyWindow(app_->mainWin.handle());
            app_.reset();
            SetMainPageFactory(nullptr);
            SetUiPlatform(previous_);
            focusControl = nullptr;
            theCore = nullptr;
        }
        void Click(CSControl* control)
        {
            ASSERT_NE(nullptr, control);
            int x = control->x + control->width / 2;
            int y = control->y + control->height / 2;
            platform_.cursor = UiPoint { x, y };
            NativeWindow h = app_->mainWin.handle();
            WsSendMessage(h, WM_MOUSEMOVE, 0, MakeLParam(x, y));
            WsSendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, y));
            WsSendMessage(h, WM_LBUTTONUP, 0, MakeLParam(x, y));
        }

        PlatformScript script_;
        ScriptedCore core_;
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::unique_ptr<CSampleApp> app_;
        CSBeginDlg* page_ = nullptr;
    };

    TEST_F(BeginDlgTest, BuildFindsEveryControlAndClicksReachTheHandlers)
    {
        ASSERT_NE(nullptr, page_->install);
        ASSERT_NE(nullptr, page_->stop);
        ASSERT_NE(nullptr, page_->resume);
        ASSERT_NE(nullptr, page_->finish);
        ASSERT_NE(nullptr, page_->accept);
        ASSERT_NE(nullptr, page_->progress);
        ASSERT_NE(nullptr, page_->progressHead);
        ASSERT_NE(nullptr, page_->statusLine);
        ASSERT_NE(nullptr, page_->infoLine);
        ASSERT_NE(nullptr, page_->licenceLink);
        for (CSBubble* digit : page_->digits) {
            ASSERT_NE(nullptr, digit);
            EXPECT_FALSE(digit->IsVisible());
        }
        ASSERT_NE(nullptr, page_->folderEdit);
        EXPECT_STREQ("C:\\Zephyra\\", page_->folderEdit->buffer);
        EXPECT_FALSE(page_->folderEdit->IsEnabled());
        EXPECT_TRUE(page_->install->IsVisible());
        EXPECT_FALSE(page_->stop->IsVisible());
        EXPECT_FALSE(page_->resume->IsVisible());
        EXPECT_FALSE(page_->finish->IsVisible());
        EXPECT_TRUE(app_->mainWin.draggable);

        // Unaccepted: a reminder, nothing started.
        Click(page_->install);
        ASSERT_EQ(1u, script_.Boxes().size());
        EXPECT_EQ(kTextAcceptFirst, script_.Boxes()[0].text);
        EXPECT_EQ(0, core_.Starts());

        Click(page_->accept);
        ASSERT_TRUE(page_->accept->isChecked);
        CoreStatus status;
        status.p2pState = kStateDownloading;
        status.percentage = 42.5f;
        core_.SetStatus(status);
        Click(page_->install);
        EXPECT_EQ(1, core_.Starts());
        EXPECT_TRUE(page_->stop->IsVisible());
        EXPECT_FALSE(page_->install->IsVisible());

        // The tick reaches the controls through the application's idle pass.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (page_->progress->percent != 42 && std::chrono::steady_clock::now() < deadline) {
            app_->OnIdle(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(42, page_->progress->percent);
        EXPECT_TRUE(page_->digits[static_cast<int>(PercentPart::kOnes)]->IsVisible());
        EXPECT_TRUE(page_->digits[static_cast<int>(PercentPart::kTens)]->IsVisible());
        EXPECT_EQ(100 + 42 * 638 / 100, page_->progressHead->x);

        // Unchecking stops the download.
        Click(page_->accept);
        EXPECT_EQ(1, core_.Stops());
        EXPECT_TRUE(page_->resume->IsVisible());
        EXPECT_FALSE(page_->stop->IsVisible());
        EXPECT_EQ(0, page_->progress->percent);

        // "exit" asks, then closes the main window, which ends the loop.
        script_.Answer(IDYES);
        Click(page_->FindControlByName("exit", kTypeButton));
        ASSERT_EQ(2u, script_.Boxes().size());
        EXPECT_EQ(kTextConfirmExit, script_.Boxes()[1].text);
        NativeMessage m;
        bool quit = false;
        while (!quit && WsMessageWaiting())
            quit = WsGetMessage(&m) == 0;
        EXPECT_TRUE(quit);
    }

} // namespace
} // namespace zdl
