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
#include "app/RuleDlg.h"
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

    ScriptedCore* frameCore = nullptr;

    CSBitmapDialog* MakeFramePage(CMainWin* window)
    {
        PageEnvironment env;
        env.core = frameCore;
        env.settingsPath = (std::filesystem::path(ZDL_BUILD_DIR) / "tests" / "ui" / "absent.ini").string();
        env.defaultInstallDir = DefaultInstallDir(false, 'C'); // no D: drive, as under Wine
        return new CSBeginDlg(window, env);
    }

    // zdl.exe's page factories for the duration of a test.
    class ProductPages {
    public:
        ProductPages()
        {
            frameCore = &core_;
            SetMainPageFactory(MakeFramePage);
            SetLicencePageFactory(MakeLicencePage);
        }
        ~ProductPages()
        {
            SetMainPageFactory(nullptr);
            SetLicencePageFactory(nullptr);
            focusControl = nullptr;
            frameCore = nullptr;
        }

    private:
        ScriptedCore core_;
    };

    TEST(DownloadPageFrameTest, MainWindowShowsTheDownloadPageWithTheBannerPlaceholder)
    {
        PlatformScript script;
        TestUiPlatform platform;
        UiPlatform* previous = SetUiPlatform(&platform);
        {
            ProductPages pages;
            CSampleApp app;
            ASSERT_TRUE(app.InitInstance());
            CMainWin& w = app.mainWin;
            ASSERT_TRUE(w.background) << "no skin in the archive";
            ASSERT_EQ(1u, w.desktop.panels.size());
            auto* page = dynamic_cast<CSBeginDlg*>(w.desktop.panels[0]);
            ASSERT_NE(nullptr, page);
            ASSERT_NE(nullptr, page->install);
            EXPECT_TRUE(page->install->IsVisible());
            ASSERT_NE(nullptr, page->accept);
            EXPECT_FALSE(page->accept->isChecked);
            // The licence window is over the page, which takes no input.
            EXPECT_NE(nullptr, app.licenceWindow);
            EXPECT_FALSE(page->mouseEnabled);
            ASSERT_NE(nullptr, page->banner);
            EXPECT_FALSE(page->banner->IsVisible()); // until the licence is settled
            EXPECT_FALSE(page->banner->pageShown);
            EXPECT_TRUE(w.draggable);

            // The banner paints its part of "web_bg.png": hiding it changes the
            // banner's area wherever the frame picture "web_back" lets it show.
            ASSERT_NE(nullptr, GetImage(kWebPlaceholderImage));
            page->banner->SetVisible(false);
            ASSERT_TRUE(w.RenderFrame());
            DibImage without;
            ASSERT_TRUE(CreateDib(&without, 32, 868, 513));
            CopyDib(w.canvas, &without);
            page->banner->SetVisible(true);
            ASSERT_TRUE(w.RenderFrame());
            int changed = 0;
            for (int y = 125; y < 125 + 124; ++y)
                for (int x = 262; x < 262 + 392; ++x)
                    changed += std::memcmp(w.canvas.Pixel(x, y), without.Pixel(x, y), 4) != 0;
            EXPECT_GT(changed, 392 * 124 / 2);
            page->banner->SetVisible(false); // back to the state at start
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
            ProductPages pages;
            CSampleApp app;
            ASSERT_TRUE(app.InitInstance());
            CMainWin& w = app.mainWin;
            ASSERT_EQ(1u, w.desktop.panels.size());
            auto* page = dynamic_cast<CSBeginDlg*>(w.desktop.panels[0]);
            ASSERT_NE(nullptr, page);
            ASSERT_TRUE(page->banner) << "no skin in the archive";
            NativeWindow popup = page->banner->window;
            ASSERT_NE(nullptr, popup);
            EXPECT_TRUE(WsIsWindow(popup));
            app.ReleasePages();
            EXPECT_TRUE(w.desktop.panels.empty());
            EXPECT_FALSE(WsIsWindow(popup));
            EXPECT_TRUE(WsIsWindow(w.handle()));
            WsDestroyWindow(w.handle());
        }
        SetUiPlatform(previous);
    }

} // namespace
} // namespace zdl
