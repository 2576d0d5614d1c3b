// The web view's states with a fake browser: offline or failed navigation
// keeps the placeholder and never shows the popup; a page that completes
// later is revealed by the next paint; the popup follows the main window,
// clipped; a failed embedding is safe to click; teardown frees the host
// before the popup, and a second navigation reuses the host.
#include "skin/HtmlCtrl.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "platform/WindowSystem.h"
#include "skin/BitmapDialog.h"
#include "skin/ControlFactories.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zdl {

namespace {

    // The fake's hosts; handed out as the platform's opaque BrowserHost.
    struct FakeHost {
        int serial = 0;
    };

    NativeWindow const kMainWindow = reinterpret_cast<NativeWindow>(0x1000);
    NativeWindow const kPopup = reinterpret_cast<NativeWindow>(0x7000);

    class FakeBrowser : public BrowserPlatform {
    public:
        NativeWindow CreateBrowserWindow(NativeWindow owner, int width, int height) override
        {
            log.push_back("window");
            popupOwner = owner;
            createdSize = { width, height };
            return windowFails ? nullptr : kPopup;
        }
        void DestroyBrowserWindow(NativeWindow) override { log.push_back("destroy window"); }
        void ShowBrowserWindow(NativeWindow, bool show) override
        {
            popupVisible = show;
            shownEver = shownEver || show;
        }
        void PlaceBrowserWindow(NativeWindow, int x, int y, int w, int h, int clipW, int clipH) override
        {
            placements.push_back({ x, y, w, h, clipW, clipH });
        }
        void UpdateBrowserWindow(NativeWindow) override { }
        BrowserHost* CreateHost() override
        {
            ++hostsMade;
            auto* host = new FakeHost;
            host->serial = hostsMade;
            return reinterpret_cast<BrowserHost*>(host);
        }
        int32_t EmbedBrowser(BrowserHost*, NativeWindow) override { return embedStatus; }
        int32_t NavigateTo(BrowserHost*, const char* url) override
        {
            urls.push_back(url);
            return navigateStatus;
        }
        bool IsPageComplete(BrowserHost*) override { return complete; }
        bool ClickAt(BrowserHost*, int x, int y) override
        {
            clicks.push_back({ x, y });
            return true;
        }
        void DestroyHost(BrowserHost* host) override
        {
            if (host)
                log.push_back("destroy host");
            delete reinterpret_cast<FakeHost*>(host);
        }
        bool IsOnline() override { return online; }

        struct Placement {
            int x, y, w, h, clipW, clipH;
        };
        std::vector<std::string> log;
        std::vector<std::string> urls;
        std::vector<Placement> placements;
        std::vector<std::pair<int, int>> clicks;
        std::pair<int, int> createdSize;
        NativeWindow popupOwner = nullptr;
        bool popupVisible = false;
        bool shownEver = false;
        bool windowFails = false;
        int32_t embedStatus = 0;
        int32_t navigateStatus = 0;
        bool complete = false;
        bool online = true;
        int hostsMade = 0;
    };

    class HtmlCtrlTest : public ::testing::Test {
    protected:
        static void SetUpTestSuite() { LoadResourceArchive(); }
        void SetUp() override
        {
            previousBrowser_ = SetBrowserPlatform(&browser_);
            previousUi_ = SetUiPlatform(&ui_);
            SetSkinMainWindow(kMainWindow);
            ASSERT_TRUE(CreateDib(&canvas_, 32, 868, 513));
            panel_ = std::make_unique<CSBitmapDialog>();
            CSControl* made = nullptr;
            ASSERT_EQ(0, CreateWebView(panel_.get(), 13, 262, 125, 392, 124, &made));
            web_ = static_cast<CSHtmlCtrl*>(made);
        }
        void TearDown() override
        {
            panel_.reset();
            SetSkinMainWindow(nullptr);
            SetUiPlatform(previousUi_);
            SetBrowserPlatform(previousBrowser_);
        }
        // True when any pixel of the banner's area was drawn.
        bool PlaceholderPainted()
        {
            for (int y = 0; y < 513; ++y)
                std::memset(canvas_.Row(y), 0, static_cast<size_t>(canvas_.stride));
            panel_->Paint(&canvas_, 0, 0);
            for (int y = 125; y < 125 + 124; ++y)
                for (int x = 262; x < 262 + 392; ++x)
                    if (canvas_.Pixel(x, y)[3] != 0)
                        return true;
            return false;
        }
        FakeBrowser browser_;
        TestUiPlatform ui_;
        BrowserPlatform* previousBrowser_ = nullptr;
        UiPlatform* previousUi_ = nullptr;
        DibImage canvas_;
        std::unique_ptr<CSBitmapDialog> panel_;
        CSHtmlCtrl* web_ = nullptr;
    };

    TEST_F(HtmlCtrlTest, OfflineAtStartHidesTheViewAndNeverShowsThePopup)
    {
        browser_.online = false;
        browser_.complete = true; // an error page the browser would call complete
        ASSERT_TRUE(web_->Navigate("http://127.0.0.1/client/news_2014.html"));
        EXPECT_EQ(kMainWindow, browser_.popupOwner);
        EXPECT_FALSE(web_->IsVisible());
        EXPECT_FALSE(web_->pageShown);
        web_->SetVisible(true); // the page shows the banner again
        EXPECT_TRUE(web_->IsVisible());
        if (GetImage(kWebPlaceholderImage)) {
            EXPECT_TRUE(PlaceholderPainted());
        }
        EXPECT_FALSE(web_->pageShown);
        EXPECT_FALSE(browser_.shownEver);
    }

    TEST_F(HtmlCtrlTest, APageThatCompletesLaterIsShownByTheNextPaint)
    {
        ASSERT_TRUE(web_->Navigate("http://127.0.0.1/client/news_2014.html"));
        EXPECT_EQ(std::vector<std::string> { "http://127.0.0.1/client/news_2014.html" }, browser_.urls);
        EXPECT_FALSE(web_->IsVisible()); // not complete yet
        web_->SetVisible(true);
        EXPECT_FALSE(browser_.popupVisible); // an unfinished page never floats over the skin
        if (GetImage(kWebPlaceholderImage)) {
            EXPECT_TRUE(PlaceholderPainted());
        }
        browser_.complete = true;
        EXPECT_FALSE(PlaceholderPainted()); // this paint finds the page complete
        EXPECT_TRUE(web_->pageShown);
        EXPECT_TRUE(browser_.popupVisible);
        EXPECT_FALSE(PlaceholderPainted());
        web_->SetVisible(false);
        EXPECT_FALSE(browser_.popupVisible);
        web_->SetVisible(true);
        EXPECT_TRUE(browser_.popupVisible);
        // A failed navigation later hides it again and no longer polls.
        browser_.navigateStatus = static_cast<int32_t>(0x80004005u);
        ASSERT_TRUE(web_->Navigate("http://127.0.0.1/other.html"));
        EXPECT_FALSE(browser_.popupVisible);
        web_->SetVisible(true);
        EXPECT_FALSE(browser_.popupVisible);
        PlaceholderPainted();
        EXPECT_FALSE(web_->pageShown);
        EXPECT_EQ(1, browser_.hostsMade); // the second navigation reused the host
    }

    // A window procedure in the system's calling convention (stdcall on
    // 32-bit Windows) that leaves every message to the default.
    LResult ZDL_CALLBACK PlainWindowProc(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
    {
        return WsDefWindowProc(window, msg, wParam, lParam);
    }

    TEST_F(HtmlCtrlTest, ThePopupFollowsTheMainWindowClipped)
    {
        WindowRect r;
        // A layered main window (simulated natively), moved by presenting frames.
        ASSERT_TRUE(WsRegisterClass(nullptr, "HtmlCtrlTestMain", PlainWindowProc, nullptr, nullptr, nullptr)
            || WsClassRegistered(nullptr, "HtmlCtrlTestMain"));
        WindowCreateParams p;
        p.className = "HtmlCtrlTestMain";
        p.style = WS_POPUP;
        p.exStyle = WS_EX_LAYERED;
        p.x = 78;
        p.y = 127;
        p.width = 868;
        p.height = 513;
        NativeWindow main = WsCreateWindow(p);
        ASSERT_NE(nullptr, main);
        SetSkinMainWindow(main);
        browser_.complete = true;
        ASSERT_TRUE(web_->Navigate("http://127.0.0.1/client/news_2014.html"));
        EXPECT_TRUE(browser_.popupVisible);
        ASSERT_FALSE(browser_.placements.empty());
        FakeBrowser::Placement a = browser_.placements.back();
        EXPECT_EQ(78 + 262, a.x);
        EXPECT_EQ(127 + 125, a.y);
        EXPECT_EQ(392 + 26, a.w);
        EXPECT_EQ(124 + 10, a.h);
        EXPECT_EQ(392, a.clipW);
        EXPECT_EQ(124, a.clipH);
        size_t placed = browser_.placements.size();
        web_->FollowMainWindow(); // nothing moved: nothing to do
        EXPECT_EQ(placed, browser_.placements.size());
        ASSERT_TRUE(WsPresentLayered(main, canvas_.Surface(), 300, 40, 868, 513, 0, 0));
        ASSERT_TRUE(WsGetWindowRect(main, &r));
        web_->FollowMainWindow();
        FakeBrowser::Placement b = browser_.placements.back();
        EXPECT_EQ(300 + 262, b.x);
        EXPECT_EQ(40 + 125, b.y);
        EXPECT_EQ(392 + 26, b.w);
        EXPECT_EQ(392, b.clipW);
        EXPECT_EQ(124, b.clipH);
        WsDestroyWindow(main);
    }

    TEST_F(HtmlCtrlTest, FailedEmbeddingKeepsThePlaceholderAndClicksAreSafe)
    {
        browser_.embedStatus = kBrowserCreateFailed;
        browser_.complete = true;
        EXPECT_FALSE(web_->Navigate("http://127.0.0.1/client/news_2014.html"));
        EXPECT_EQ(nullptr, web_->host);
        EXPECT_TRUE(browser_.urls.empty());
        EXPECT_TRUE(web_->IsVisible());
        if (GetImage(kWebPlaceholderImage)) {
            EXPECT_TRUE(PlaceholderPainted());
        }
        EXPECT_FALSE(browser_.shownEver);
        EXPECT_TRUE(web_->OnMouse(WM_LBUTTONDOWN, 300, 150, 0, 0));
        EXPECT_TRUE(web_->OnMouse(WM_LBUTTONUP, 300, 150, 0, 0));
        EXPECT_TRUE(browser_.clicks.empty());
        EXPECT_FALSE(web_->OnMouse(WM_LBUTTONUP, 10, 10, 0, 0)); // outside
        // The host that failed was freed at once.
        EXPECT_EQ((std::vector<std::string> { "window", "destroy host" }), browser_.log);
    }

    TEST_F(HtmlCtrlTest, ClicksReachThePageAndTeardownFreesTheHostBeforeThePopup)
    {
        browser_.complete = true;
        web_->handCursor = true;
        ASSERT_TRUE(web_->Navigate("http://127.0.0.1/client/news_2014.html"));
        EXPECT_TRUE(web_->OnMouse(WM_LBUTTONUP, 300, 150, 0, 0));
        EXPECT_EQ(CursorShape::kHand, ui_.cursorShape);
        ASSERT_EQ(1u, browser_.clicks.size());
        EXPECT_EQ(300 - 262, browser_.clicks[0].first);
        EXPECT_EQ(150 - 125, browser_.clicks[0].second);
        panel_.reset();
        EXPECT_EQ((std::vector<std::string> { "window", "destroy host", "destroy window" }), browser_.log);
    }

} // namespace
} // namespace zdl
