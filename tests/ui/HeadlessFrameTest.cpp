// One frame of the main window drawn headless with the real resource
// archive: the application starts on the simulated window system, a page
// with a caption is attached, and the frame is checked against "bg.png" and
// written to build/ui/headless_frame.png.
#include "PngWrite.h"
#include "app/SampleApp.h"
#include "gfx/ImageCache.h"
#include "gfx/ImageLoader.h"
#include "gfx/TextDraw.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sys/stat.h>

namespace zdl {
namespace {

    // "Zephyra免费版下载器"
    const char kCaption[] = "Zephyra\xC3\xE2\xB7\xD1\xB0\xE6\xCF\xC2\xD4\xD8\xC6\xF7";
    const DibRect kCaptionRect { 300, 300, 568, 324 };

    // A static that draws its caption with its first layer's font and format.
    class Caption : public CSControl {
    public:
        Caption()
            : CSControl(kTypeStatic)
        {
        }
        void Paint(DibImage* surface, int ox, int oy) override
        {
            if (!visible || layers.empty())
                return;
            DibRect r { ox + rect.left, oy + rect.top, ox + rect.right, oy + rect.bottom };
            DrawTextOnCanvas(surface, layers[0].font, MakeRgb(60, 40, 20), kCaption, -1, r,
                DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
        }
    };

    class CaptionPage : public CSBitmapDialog {
    public:
        bool OnInit() override
        {
            auto* c = new Caption;
            if (AddControl(c) != 0) {
                delete c;
                return false;
            }
            c->x = kCaptionRect.left;
            c->y = kCaptionRect.top;
            c->width = kCaptionRect.right - kCaptionRect.left;
            c->height = kCaptionRect.bottom - kCaptionRect.top;
            c->UpdateRect();
            return true;
        }
    };

    CSBitmapDialog* MakeCaptionPage(CMainWin* window)
    {
        window->draggable = true;
        return new CaptionPage;
    }

    TEST(HeadlessFrameTest, MainWindowFrameIsTheBackgroundWithThePageOnTop)
    {
        TestUiPlatform platform;
        UiPlatform* previous = SetUiPlatform(&platform);
        {
            CSampleApp app;
            app.mainWin.makePage = MakeCaptionPage;
            ASSERT_TRUE(app.InitInstance());
            CMainWin& w = app.mainWin;
            DibImage* bg = GetImage("bg.png");
            ASSERT_NE(nullptr, bg) << "the archive has no bg.png";
            ASSERT_EQ(868, bg->Width());
            ASSERT_EQ(513, bg->Height());
            ASSERT_TRUE(w.RenderFrame());

            // Outside the caption every pixel is the background's; inside, the
            // rectangle is opaque and some text was drawn.
            int textPixels = 0;
            for (int y = 0; y < 513; ++y) {
                for (int x = 0; x < 868; ++x) {
                    const uint8_t* p = w.canvas.Pixel(x, y);
                    const uint8_t* b = bg->Pixel(x, y);
                    bool inText = x >= kCaptionRect.left && x < kCaptionRect.right && y >= kCaptionRect.top
                        && y < kCaptionRect.bottom;
                    if (inText) {
                        ASSERT_EQ(255, p[3]);
                        textPixels += p[0] != b[0] || p[1] != b[1] || p[2] != b[2];
                    } else {
                        ASSERT_EQ(0, std::memcmp(p, b, 4)) << x << "," << y;
                    }
                }
            }
            EXPECT_GT(textPixels, 50);

            std::string dir = std::string(ZDL_BUILD_DIR) + "/ui";
            mkdir(dir.c_str(), 0755);
            std::string path = dir + "/headless_frame.png";
            ASSERT_TRUE(test::WritePng(w.canvas, path));
            DibImage back;
            ASSERT_TRUE(LoadImageFile(&back, path.c_str()));
            ASSERT_EQ(868, back.Width());
            EXPECT_EQ(0, std::memcmp(back.Pixel(0, 100), w.canvas.Pixel(0, 100), 868 * 4));

            // The full frame premultiplies and presents at the window's place.
            DibImage straight;
            ASSERT_TRUE(CreateDib(&straight, 32, 868, 513));
            CopyDib(w.canvas, &straight);
            platform.ticks = 100;
            app.OnIdle(0);
            platform.ticks = 140;
            app.OnIdle(1);
            EXPECT_EQ(1, WsSimulatedStats(w.handle()).presentedFrames);
            for (int y = 0; y < 513; y += 7) {
                for (int x = 0; x < 868; x += 5) {
                    const uint8_t* s = straight.Pixel(x, y);
                    const uint8_t* p = w.canvas.Pixel(x, y);
                    ASSERT_EQ(s[3], p[3]);
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(s[3] == 255 ? s[c] : s[c] * s[3] / 255, p[c]) << x << "," << y;
                }
            }
            WsDestroyWindow(w.handle());
        }
        SetUiPlatform(previous);
    }

} // namespace
} // namespace zdl
