// The main window's frame with the download page as zdl.exe makes it
// (CSBeginDlg over a scripted core, no stored settings), drawn headless with
// the real archive: its controls in their initial state, the licence window
// open over it, and the banner's placeholder (no browser natively). The frame as the
// screen shows it (premultiplied over black) is written to
// build/ui/download_page.png and compared with the committed reference
// tests/data/ui/download_page.png, which the Wine check of zdl.exe also uses.
#include "../app/PageTestSupport.h"
#include "PngWrite.h"
#include "app/BeginDlg.h"
#include "app/SampleApp.h"
#include "app/StoredSettings.h"
#include "gfx/ImageCache.h"
#include "gfx/ImageLoader.h"
#include "skin/Button.h"
#include "skin/CheckBox.h"
#include "skin/HtmlCtrl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>

namespace zdl {
namespace {

    // zdl.exe's pages over a scripted core, no stored settings.
    PageEnvironment FrameEnvironment(ScriptedCore* core)
    {
        PageEnvironment env;
        env.core = core;
        env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "ui" / "absent.ini").string();
        env.defaultInstallDir = DefaultInstallDir(false, 'C'); // no D: drive, as under Wine
        return env;
    }

    TEST(DownloadPageFrameTest, MainWindowShowsTheDownloadPageWithTheBannerPlaceholder)
    {
        PlatformScript script;
        TestUiPlatform platform;
        UiPlatform* previous = SetUiPlatform(&platform);
        {
            ScriptedCore core;
            CSampleApp app(FrameEnvironment(&core));
            ASSERT_TRUE(app.InitInstance());
            CMainWin& w = app.mainWin;
            ASSERT_TRUE(w.background) << "no skin in the archive";
            ASSERT_EQ(1u, w.desktop.panels.size());
            CSBeginDlg* page = app.downloadPage();
            ASSERT_NE(nullptr, page);
            auto* install = Named<CSButton>(page, "install", kTypeButton);
            ASSERT_NE(nullptr, install);
            EXPECT_TRUE(install->IsVisible());
            auto* accept = Named<CSCheckBox>(page, "check_accept", kTypeCheckBox);
            ASSERT_NE(nullptr, accept);
            EXPECT_FALSE(accept->isChecked);
            // The licence window is over the page, which takes no input.
            EXPECT_NE(nullptr, app.licenceWindow);
            EXPECT_FALSE(page->mouseEnabled);
            auto* banner = Named<CSHtmlCtrl>(page, "banner", kTypeHtmlCtrl);
            ASSERT_NE(nullptr, banner);
            EXPECT_FALSE(banner->IsVisible()); // until the licence is settled
            EXPECT_FALSE(banner->pageShown);
            EXPECT_TRUE(w.draggable);

            // The banner paints its part of "web_bg.png": hiding it changes the
            // banner's area wherever the frame picture "web_back" lets it show.
            ASSERT_NE(nullptr, GetImage(kWebPlaceholderImage));
            banner->SetVisible(false);
            ASSERT_TRUE(w.RenderFrame());
            DibImage without;
            ASSERT_TRUE(CreateDib(&without, 32, 868, 513));
            CopyDib(w.canvas, &without);
            banner->SetVisible(true);
            ASSERT_TRUE(w.RenderFrame());
            int changed = 0;
            for (int y = 125; y < 125 + 124; ++y)
                for (int x = 262; x < 262 + 392; ++x)
                    changed += std::memcmp(w.canvas.Pixel(x, y), without.Pixel(x, y), 4) != 0;
            EXPECT_GT(changed, 392 * 124 / 2);
            banner->SetVisible(false); // back to the state at start
            ASSERT_TRUE(w.RenderFrame());

            // As the screen shows it: premultiplied over black.
            PremultiplyDib(&w.canvas);
            for (int y = 0; y < 513; ++y)
                for (int x = 0; x < 868; ++x)
                    w.canvas.Pixel(x, y)[3] = 255;
            std::string dir = std::string(ZDL_BUILD_DIR) + "/ui";
            mkdir(dir.c_str(), 0755);
            ASSERT_TRUE(test::WritePng(w.canvas, dir + "/download_page.png"));

            DibImage reference;
            std::string referencePath = std::string(ZDL_TEST_DATA_DIR) + "/ui/download_page.png";
            ASSERT_TRUE(LoadImageFile(&reference, referencePath.c_str())) << referencePath;
            ASSERT_EQ(868, reference.Width());
            ASSERT_EQ(513, reference.Height());
            int differing = 0;
            for (int y = 0; y < 513; ++y) {
                for (int x = 0; x < 868; ++x) {
                    const uint8_t* a = w.canvas.Pixel(x, y);
                    const uint8_t* b = reference.Pixel(x, y);
                    for (int c = 0; c < 3; ++c) {
                        if (std::abs(a[c] - b[c]) > 2) {
                            ++differing;
                            break;
                        }
                    }
                }
            }
            EXPECT_EQ(0, differing) << "see " << dir << "/download_page.png";
            WsDestroyWindow(w.handle());
        }
        focusControl = nullptr;
        SetUiPlatform(previous);
    }

    // The entry point releases the pages before OLE ends: the banner's popup
    // (and, on Windows, its browser) is gone while the main window still is.
    TEST(DownloadPageFrameTest, ReleasingThePagesClosesTheBannerBeforeTheWindowGoes)
    {
        PlatformScript script;
        TestUiPlatform platform;
        UiPlatform* previous = SetUiPlatform(&platform);
        {
            ScriptedCore core;
            CSampleApp app(FrameEnvironment(&core));
            ASSERT_TRUE(app.InitInstance());
            CMainWin& w = app.mainWin;
            ASSERT_EQ(1u, w.desktop.panels.size());
            ASSERT_NE(nullptr, app.downloadPage());
            auto* banner = Named<CSHtmlCtrl>(app.downloadPage(), "banner", kTypeHtmlCtrl);
            ASSERT_TRUE(banner) << "no skin in the archive";
            NativeWindow popup = banner->window;
            ASSERT_NE(nullptr, popup);
            EXPECT_TRUE(WsIsWindow(popup));
            app.ReleasePages();
            EXPECT_TRUE(w.desktop.panels.empty());
            EXPECT_FALSE(WsIsWindow(popup));
            EXPECT_TRUE(WsIsWindow(w.handle()));
            WsDestroyWindow(w.handle());
        }
        focusControl = nullptr;
        SetUiPlatform(previous);
    }

} // namespace
} // namespace zdl
