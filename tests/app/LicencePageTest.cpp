// The licence page: its text (line ends, a missing or oversized file) and,
// on the simulated windows in the application as zdl.exe builds it, its
// build and its buttons — and any other close of its window — handing the
// verdict to the download page.
#include "PageTestSupport.h"
#include "app/BeginDlg.h"
#include "app/LicenceText.h"
#include "app/RuleDlg.h"
#include "app/SampleApp.h"
#include "gfx/ResourceArchive.h"
#include "platform/Resources.h"
#include "skin/Button.h"
#include "skin/CheckBox.h"
#include "skin/Control.h"
#include "skin/HtmlCtrl.h"
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

    // The application with the installer's pages over a scripted core: the
    // download page opens the licence window after its build.
    class LicencePageTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            previous_ = SetUiPlatform(&platform_);
            PageEnvironment env;
            env.core = &core_;
            env.queue = &queue_;
            env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "app" / "none.ini").string();
            env.defaultInstallDir = "D:\\Games\\Zephyra\\";
            env.pollIntervalMs = 5;
            env.restartWaitMs = 5;
            app_ = std::make_unique<CSampleApp>(env);
            ASSERT_TRUE(app_->InitInstance());
            page_ = app_->downloadPage();
            ASSERT_NE(nullptr, page_);
            accept_ = Named<CSCheckBox>(page_, "check_accept", kTypeCheckBox);
            banner_ = Named<CSHtmlCtrl>(page_, "banner", kTypeHtmlCtrl);
            ASSERT_NE(nullptr, accept_);
            ASSERT_NE(nullptr, banner_);
        }
        void TearDown() override
        {
            FreeClosedWindows();
            if (app_->mainWin.handle())
                WsDestroyWindow(app_->mainWin.handle());
            app_.reset();
            SetUiPlatform(previous_);
            focusControl = nullptr;
            LoadResourceArchive();
        }
        // The licence page, the window opened first when it is closed.
        CSRuleDlg* Open()
        {
            if (!app_->licenceWindow)
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
        bool Visible(const char* button) { return Named<CSButton>(page_, button, kTypeButton)->IsVisible(); }

        PlatformScript script_;
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        UiTaskQueue queue_;
        ScriptedCore core_;
        std::unique_ptr<CSampleApp> app_;
        CSBeginDlg* page_ = nullptr;
        CSCheckBox* accept_ = nullptr;
        CSHtmlCtrl* banner_ = nullptr;
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
        EXPECT_FALSE(page_->mouseEnabled);
        EXPECT_FALSE(page_->navigationKeys);
        EXPECT_FALSE(banner_->IsVisible());
    }

    TEST_F(LicencePageTest, AcceptChecksTheBoxAndUnlocksTheDownloadPage)
    {
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        EXPECT_FALSE(accept_->isChecked);
        Click(page, page->acceptId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_TRUE(accept_->isChecked);
        EXPECT_TRUE(page_->mouseEnabled);
        EXPECT_TRUE(page_->navigationKeys);
        EXPECT_TRUE(banner_->IsVisible());
        EXPECT_EQ(0, core_.Stops());
        EXPECT_TRUE(script_.Boxes().empty());
    }

    TEST_F(LicencePageTest, RefuseDuringADownloadStopsTheCoreAndShowsContinue)
    {
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        Click(page, page->acceptId);
        page_->logic().OnStart();
        ASSERT_TRUE(Visible("stop"));
        page_->OnLicenceLink();
        page = Open();
        ASSERT_NE(nullptr, page);
        Click(page, page->refuseId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_FALSE(accept_->isChecked);
        EXPECT_EQ(1, core_.Stops());
        EXPECT_TRUE(Visible("continue"));
        EXPECT_FALSE(Visible("stop"));
        EXPECT_TRUE(banner_->IsVisible());
    }

    TEST_F(LicencePageTest, ExitAndAltF4KeepTheBoxAndUnlockThePage)
    {
        accept_->SetChecked(true, false);
        for (bool altF4 : { false, true }) {
            if (altF4)
                page_->OnLicenceLink(); // opened again by the link
            CSRuleDlg* page = Open();
            ASSERT_NE(nullptr, page);
            NativeWindow handle = app_->licenceWindow->handle();
            if (altF4)
                WsSendMessage(handle, WM_CLOSE, 0, 0);
            else
                Click(page, page->exitId);
            EXPECT_EQ(nullptr, app_->licenceWindow) << altF4;
            EXPECT_FALSE(WsIsWindow(handle));
            EXPECT_TRUE(accept_->isChecked);
            EXPECT_TRUE(page_->mouseEnabled);
            EXPECT_TRUE(banner_->IsVisible());
            NativeMessage m;
            while (WsMessageWaiting())
                EXPECT_NE(0, WsGetMessage(&m)) << "the application must go on";
            FreeClosedWindows();
        }
        EXPECT_EQ(0, core_.Stops());
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

        app_->CloseLicenceWindow(); // the one opened with the full archive
        FreeClosedWindows();
        CSRuleDlg* page = Open();
        ASSERT_NE(nullptr, page);
        ASSERT_NE(nullptr, page->text);
        EXPECT_TRUE(page->text->segments.empty());
        EXPECT_FALSE(HasTooltip(page));
        Click(page, page->acceptId);
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_TRUE(accept_->isChecked);
    }

} // namespace
} // namespace zdl
