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

    class BeginDlgTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            previous_ = SetUiPlatform(&platform_);
            PageEnvironment env;
            env.core = &core_;
            env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "absent.ini").string();
            env.defaultInstallDir = "C:\\Zephyra\\";
            env.pollIntervalMs = 5;
            env.writeVersionRecord = [](const std::string&) { return true; };
            app_ = std::make_unique<CSampleApp>(env);
            ASSERT_TRUE(app_->InitInstance());
            ASSERT_EQ(1u, app_->mainWin.desktop.panels.size());
            page_ = app_->downloadPage();
            ASSERT_EQ(page_, app_->mainWin.desktop.panels[0]);
            // The licence window closed with the box left as it is.
            app_->CloseLicenceWindow();
            page_->TakeLicenceVerdict(LicenceVerdict::kKeep);
            install_ = Named<CSButton>(page_, "install", kTypeButton);
            stop_ = Named<CSButton>(page_, "stop", kTypeButton);
            resume_ = Named<CSButton>(page_, "continue", kTypeButton);
            finish_ = Named<CSButton>(page_, "finish", kTypeButton);
            accept_ = Named<CSCheckBox>(page_, "check_accept", kTypeCheckBox);
            progress_ = Named<CSProgressBar>(page_, "progress", kTypeProgressBar);
            head_ = Named<CSAnimate>(page_, "progress_head", kTypeAnimate);
            ones_ = Named<CSBubble>(page_, "percent_one", kTypeBubble);
            tens_ = Named<CSBubble>(page_, "percent_ten", kTypeBubble);
        }
        void TearDown() override
        {
            platform_.ticks += 5000;
            app_->OnIdle(0); // frees the closed licence window
            if (app_->mainWin.handle())
                WsDestroyWindow(app_->mainWin.handle());
            app_.reset();
            SetUiPlatform(previous_);
            focusControl = nullptr;
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
        CSButton* install_ = nullptr;
        CSButton* stop_ = nullptr;
        CSButton* resume_ = nullptr;
        CSButton* finish_ = nullptr;
        CSCheckBox* accept_ = nullptr;
        CSProgressBar* progress_ = nullptr;
        CSAnimate* head_ = nullptr;
        CSBubble* ones_ = nullptr;
        CSBubble* tens_ = nullptr;
    };

    TEST_F(BeginDlgTest, BuildFindsEveryControlAndClicksReachTheHandlers)
    {
        ASSERT_NE(nullptr, install_);
        ASSERT_NE(nullptr, stop_);
        ASSERT_NE(nullptr, resume_);
        ASSERT_NE(nullptr, finish_);
        ASSERT_NE(nullptr, accept_);
        ASSERT_NE(nullptr, progress_);
        ASSERT_NE(nullptr, head_);
        EXPECT_NE(nullptr, page_->FindControl(kStatusLineId, kTypeMultiColorStatic));
        EXPECT_NE(nullptr, page_->FindControl(kInfoLineId, kTypeMultiColorStatic));
        EXPECT_NE(nullptr, page_->FindControl(kLicenceLinkId, kTypeClickableStatic));
        for (const char* name : { "percent_hun", "percent_ten", "percent_one", "percent_num" }) {
            CSBubble* digit = Named<CSBubble>(page_, name, kTypeBubble);
            ASSERT_NE(nullptr, digit) << name;
            EXPECT_FALSE(digit->IsVisible()) << name;
        }
        auto* folder = Named<CSEditBox>(page_, "edit_dir", kTypeEditBox);
        ASSERT_NE(nullptr, folder);
        EXPECT_STREQ("C:\\Zephyra\\", folder->buffer);
        EXPECT_FALSE(folder->IsEnabled());
        EXPECT_TRUE(install_->IsVisible());
        EXPECT_FALSE(stop_->IsVisible());
        EXPECT_FALSE(resume_->IsVisible());
        EXPECT_FALSE(finish_->IsVisible());
        EXPECT_TRUE(app_->mainWin.draggable);

        // Unaccepted: a reminder, nothing started.
        Click(install_);
        ASSERT_EQ(1u, script_.Boxes().size());
        EXPECT_EQ(kTextAcceptFirst, script_.Boxes()[0].text);
        EXPECT_EQ(0, core_.Starts());

        Click(accept_);
        ASSERT_TRUE(accept_->isChecked);
        CoreStatus status;
        status.p2pState = kStateDownloading;
        status.percentage = 42.5f;
        core_.SetStatus(status);
        Click(install_);
        EXPECT_EQ(1, core_.Starts());
        EXPECT_TRUE(stop_->IsVisible());
        EXPECT_FALSE(install_->IsVisible());

        // The tick reaches the controls through the application's idle pass.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (progress_->percent != 42 && std::chrono::steady_clock::now() < deadline) {
            app_->OnIdle(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(42, progress_->percent);
        EXPECT_TRUE(ones_->IsVisible());
        EXPECT_TRUE(tens_->IsVisible());
        EXPECT_EQ(100 + 42 * 638 / 100, head_->x);

        // Unchecking stops the download.
        Click(accept_);
        EXPECT_EQ(1, core_.Stops());
        EXPECT_TRUE(resume_->IsVisible());
        EXPECT_FALSE(stop_->IsVisible());
        EXPECT_EQ(0, progress_->percent);

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
