// One panel with a control of each kind from the real archive, drawn
// natively (FreeType for the text) and compared with the committed picture
// tests/data/ui/controls_panel.png. Text may differ slightly between FreeType
// versions, so a few pixels may differ a little; a control drawn from the
// wrong frame, place or part changes whole blocks. The frame is left in
// build/native/ui/controls_panel.png; ZDL_UPDATE_REFERENCE=1 rewrites the
// reference from it.
#include "ControlShowcase.h"
#include "PngWrite.h"

#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

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
        mkdir(dir.c_str(), 0755);
        std::string out = dir + "/controls_panel.png";
        ASSERT_TRUE(test::WritePng(canvas, out));
        const char* update = std::getenv("ZDL_UPDATE_REFERENCE");
        if (update && update[0] == '1') {
            ASSERT_TRUE(test::WritePng(canvas, kReference));
        }

        int w = 0, h = 0;
        std::vector<uint8_t> ref;
        ASSERT_TRUE(ReadPng(kReference, &w, &h, &ref)) << "no reference " << kReference;
        ASSERT_EQ(canvas.Width(), w);
        ASSERT_EQ(canvas.Height(), h);
        // A pixel differs when a channel is off by more than 32; at most
        // 0.3 % of the pixels (glyph edges) may.
        int differing = 0;
        for (int y = 0; y < h; ++y) {
            const uint8_t* mine = canvas.Pixel(0, y);
            const uint8_t* theirs = ref.data() + static_cast<size_t>(y) * w * 4;
            for (int i = 0; i < w * 4; i += 4) {
                for (int c = 0; c < 4; ++c) {
                    if (std::abs(mine[i + c] - theirs[i + c]) > 32) {
                        ++differing;
                        break;
                    }
                }
            }
        }
        EXPECT_LE(differing, w * h * 3 / 1000) << "compare " << out << " with " << kReference;
    }

} // namespace
} // namespace zdl
