// One panel with a control of each kind from the real archive, drawn
// natively (FreeType for the text) or on Windows (GDI), and compared with
// the committed picture tests/data/ui/controls_panel.png, which the native
// build drew. Natively the whole picture must match; on Windows everything
// outside the text areas, since only the fonts differ. A control drawn from
// the wrong frame, place or part changes whole blocks. The frame is left in
// <build tree>/ui/controls_panel.png; natively ZDL_UPDATE_REFERENCE=1
// rewrites the reference from it.
#include "ControlShowcase.h"
#include "PngWrite.h"

#include <png.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace zdl {
namespace {

    const char kReference[] = ZDL_TEST_DATA_DIR "/ui/controls_panel.png";

    // Reads a PNG as top-down BGRA rows; false when it cannot.
    bool ReadPng(const char* path, int* width, int* height, std::vector<uint8_t>* pixels)
    {
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path))
            return false;
        image.format = PNG_FORMAT_BGRA;
        pixels->resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr)) {
            png_image_free(&image);
            return false;
        }
        *width = static_cast<int>(image.width);
        *height = static_cast<int>(image.height);
        return true;
    }

    TEST(ControlRenderTest, PanelMatchesTheReference)
    {
        TestUiPlatform ui;
        UiPlatform* previous = SetUiPlatform(&ui);
        ASSERT_TRUE(LoadResourceArchive());
        DibImage* bg = GetImage("bg.png");
        ASSERT_NE(nullptr, bg);
        CSControlContainer page;
        page.FillDefaultStyles();
        ASSERT_TRUE(test::BuildControlShowcase(&page)) << "a showcase picture is missing from the archive";
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, bg->Width(), bg->Height()));
        CopyDib(*bg, &canvas);
        page.Paint(&canvas, 0, 0);
        SetUiPlatform(previous);

        std::string dir = std::string(ZDL_BUILD_DIR) + "/ui";
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
        std::string out = dir + "/controls_panel.png";
        ASSERT_TRUE(test::WritePng(canvas, out));
#ifndef _WIN32
        const char* update = std::getenv("ZDL_UPDATE_REFERENCE");
        if (update && update[0] == '1') {
            ASSERT_TRUE(test::WritePng(canvas, kReference));
        }
        const std::vector<DibRect> skipped;
#else
        const std::vector<DibRect> skipped = test::ShowcaseTextAreas(page);
#endif
        auto isSkipped = [&skipped](int x, int y) {
            for (const DibRect& r : skipped) {
                if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                    return true;
            }
            return false;
        };

        int w = 0, h = 0;
        std::vector<uint8_t> ref;
        ASSERT_TRUE(ReadPng(kReference, &w, &h, &ref)) << "no reference " << kReference;
        ASSERT_EQ(canvas.Width(), w);
        ASSERT_EQ(canvas.Height(), h);
        // A pixel differs when a channel is off by more than 24; at most 40
        // may (glyph edges), fewer than the settings button's disabled
        // frame changes. The page is still alive here: its text areas are
        // read above.
        int differing = 0;
        for (int y = 0; y < h; ++y) {
            const uint8_t* mine = canvas.Pixel(0, y);
            const uint8_t* theirs = ref.data() + static_cast<size_t>(y) * w * 4;
            for (int i = 0; i < w * 4; i += 4) {
                if (isSkipped(i / 4, y))
                    continue;
                for (int c = 0; c < 4; ++c) {
                    if (std::abs(mine[i + c] - theirs[i + c]) > 24) {
                        ++differing;
                        break;
                    }
                }
            }
        }
        std::printf("controls panel: %d of %d pixels differ from the reference\n", differing, w * h);
        EXPECT_LE(differing, 40) << "compare " << out << " with " << kReference;
    }

} // namespace
} // namespace zdl
