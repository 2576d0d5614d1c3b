#include "gfx/DibImage.h"
#include "gfx/DibRows.h"
#include "tests/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace zdl;
using zdl::test::Bgra;
using zdl::test::PixelAt;
using zdl::test::SetPixel;

namespace {

// The blend rule written out pixel by pixel, for comparison.
Bgra ReferenceBlend(Bgra t, Bgra s)
{
    if (s.a == 0)
        return t;
    auto mix = [&](uint8_t tc, uint8_t sc) { return uint8_t(tc + (((int(sc) - int(tc)) * s.a) >> 8)); };
    return Bgra { mix(t.b, s.b), mix(t.g, s.g), mix(t.r, s.r),
        uint8_t(255 - (((255 - s.a) * (255 - t.a) + 255) >> 8)) };
}

TEST(DibLayout, HeaderMasksStrideAndBottomUpRows)
{
    struct Case {
        int bits, width, height;
        int stride, bytesPerPixel;
        uint32_t compression;
        uint32_t masks[3];
    } cases[] = {
        { 32, 3, 2, 12, 4, kBiRgb, { 0xFF0000, 0xFF00, 0xFF } },
        { 24, 3, 2, 12, 3, kBiRgb, { 0, 0, 0 } },
        { 24, 5, 1, 16, 3, kBiRgb, { 0, 0, 0 } },
        { 24, 1, 1, 4, 3, kBiRgb, { 0, 0, 0 } },
        { 16, 3, 2, 8, 2, kBiBitfields, { 0x7C00, 0x3E0, 0x1F } },
    };
    for (const Case& c : cases) {
        DibImage image;
        ASSERT_TRUE(CreateDib(&image, c.bits, c.width, c.height)) << c.bits;
        const DibInfoHeader& h = image.info.header;
        EXPECT_EQ(h.size, 40u);
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.height, c.height);
        EXPECT_EQ(h.planes, 1);
        EXPECT_EQ(h.bitCount, c.bits);
        EXPECT_EQ(h.compression, c.compression) << c.bits;
        EXPECT_EQ(image.stride, c.stride) << c.bits << " " << c.width;
        EXPECT_EQ(image.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(h.sizeImage, uint32_t(c.stride * c.height));
        EXPECT_EQ(h.xPelsPerMeter | h.yPelsPerMeter | int32_t(h.clrUsed | h.clrImportant), 0);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(image.info.masks[k], c.masks[k]) << c.bits;
        for (uint32_t i = 0; i < h.sizeImage; ++i)
            ASSERT_EQ(image.bits[i], 0) << "new pixels are 0";
        // Picture row 0 is the last row in memory.
        EXPECT_EQ(image.Pixel(1, 0), image.bits + (c.height - 1) * c.stride + c.bytesPerPixel);
    }
    EXPECT_EQ(offsetof(DibImage, info), 0u);
}

TEST(DibLayout, BadSizesFailAndLeaveTheImageEmpty)
{
    DibImage image;
    ASSERT_TRUE(CreateDib(&image, 32, 4, 4));
    EXPECT_FALSE(CreateDib(&image, 32, 0, 4));
    EXPECT_TRUE(image.Empty());
    EXPECT_FALSE(CreateDib(&image, 32, 4, -1));
    EXPECT_FALSE(CreateDib(&image, 32, kMaxDibDimension + 1, 1));
    EXPECT_FALSE(CreateDib(&image, 0, 4, 4));
    EXPECT_TRUE(image.Empty());
}

TEST(AlphaBlend, Alpha128OverTransparentBlackAndOverOpaque)
{
    DibImage src, dst;
    ASSERT_TRUE(CreateDib(&src, 32, 2, 1));
    ASSERT_TRUE(CreateDib(&dst, 32, 2, 1));
    SetPixel(&src, 0, 0, Bgra { 201, 100, 7, 128 });
    SetPixel(&src, 1, 0, Bgra { 201, 100, 7, 128 });
    SetPixel(&dst, 1, 0, Bgra { 10, 20, 30, 255 });
    AlphaBlendDib(src, &dst, 0, 0, 2, 1, 0, 0);
    EXPECT_EQ(PixelAt(dst, 0, 0), (Bgra { 100, 50, 3, 128 }));
    EXPECT_EQ(PixelAt(dst, 1, 0),
        (Bgra { uint8_t(10 + ((191 * 128) >> 8)), uint8_t(20 + ((80 * 128) >> 8)), uint8_t(30 + ((-23 * 128) >> 8)),
            255 }));
    EXPECT_EQ(PixelAt(dst, 1, 0).r, 18); // 30 + floor(-11.5) = 18: arithmetic shift
}

TEST(AlphaBlend, EveryAlphaAgainstTheWrittenRule)
{
    // Source and target alpha over all values, with colours that go up and down.
    DibImage src, dst, want;
    ASSERT_TRUE(CreateDib(&src, 32, 256, 256));
    ASSERT_TRUE(CreateDib(&dst, 32, 256, 256));
    ASSERT_TRUE(CreateDib(&want, 32, 256, 256));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            Bgra s { uint8_t(x * 7), uint8_t(255 - y), uint8_t(x ^ y), uint8_t(x) };
            Bgra t { uint8_t(y * 3), uint8_t(x), uint8_t(200), uint8_t(y) };
            SetPixel(&src, x, y, s);
            SetPixel(&dst, x, y, t);
            SetPixel(&want, x, y, ReferenceBlend(t, s));
        }
    AlphaBlendDib(src, &dst, 0, 0, 256, 256, 0, 0);
    ASSERT_EQ(std::memcmp(dst.bits, want.bits, dst.info.header.sizeImage), 0);
}

TEST(AlphaBlend, ClippedAtTheLeftAndTopDrawsOnlyTheVisiblePartShifted)
{
    DibImage src, dst;
    ASSERT_TRUE(CreateDib(&src, 32, 4, 4));
    ASSERT_TRUE(CreateDib(&dst, 32, 3, 3));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel(&src, x, y, Bgra { uint8_t(x), uint8_t(y), 50, 255 });
    AlphaBlendDib(src, &dst, -2, -1, 4, 4, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            bool covered = x < 2 && y < 3;
            // An opaque source still goes through the rule (t + (s - t) * 255 >> 8).
            Bgra none { 0, 0, 0, 0 };
            Bgra want = covered ? ReferenceBlend(none, Bgra { uint8_t(x + 2), uint8_t(y + 1), 50, 255 }) : none;
            EXPECT_EQ(PixelAt(dst, x, y), want) << x << "," << y;
        }
}

TEST(AlphaBlend, ClippedAtTheRightAndBottomAndWiderThanTheTarget)
{
    DibImage src, dst;
    ASSERT_TRUE(CreateDib(&src, 32, 8, 8));
    ASSERT_TRUE(CreateDib(&dst, 32, 3, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel(&src, x, y, Bgra { uint8_t(x), uint8_t(y), 1, 255 });
    // Starts left of the target and is wider than it: both edges clip.
    AlphaBlendDib(src, &dst, -1, 1, 8, 8, 0, 0);
    EXPECT_EQ(PixelAt(dst, 0, 0), (Bgra { 0, 0, 0, 0 }));
    Bgra none { 0, 0, 0, 0 };
    EXPECT_EQ(PixelAt(dst, 0, 1), ReferenceBlend(none, Bgra { 1, 0, 1, 255 }));
    EXPECT_EQ(PixelAt(dst, 2, 2), ReferenceBlend(none, Bgra { 3, 1, 1, 255 }));
    EXPECT_EQ(PixelAt(dst, 2, 2).b, 2); // 3 * 255 >> 8: an opaque pixel over black loses one step
    // Entirely outside: nothing happens.
    AlphaBlendDib(src, &dst, 3, 0, 2, 2, 0, 0);
    AlphaBlendDib(src, &dst, -2, 0, 2, 2, 0, 0);
    EXPECT_EQ(PixelAt(dst, 0, 0), (Bgra { 0, 0, 0, 0 }));
}

TEST(AlphaBlend, OnTo24BitTargetAndFrom24BitSource)
{
    DibImage src, dst24, src24, dst32;
    ASSERT_TRUE(CreateDib(&src, 32, 1, 1));
    ASSERT_TRUE(CreateDib(&dst24, 24, 1, 1));
    SetPixel(&src, 0, 0, Bgra { 255, 255, 255, 128 });
    SetPixel(&dst24, 0, 0, Bgra { 0, 100, 255, 255 });
    AlphaBlendDib(src, &dst24, 0, 0, 1, 1, 0, 0);
    EXPECT_EQ(PixelAt(dst24, 0, 0), (Bgra { 127, 177, 255, 255 }));
    // A 24-bit source is copied, with alpha 255 on a 32-bit target.
    ASSERT_TRUE(CreateDib(&src24, 24, 2, 1));
    ASSERT_TRUE(CreateDib(&dst32, 32, 2, 1));
    SetPixel(&src24, 1, 0, Bgra { 1, 2, 3, 255 });
    AlphaBlendDib(src24, &dst32, -1, 0, 2, 1, 0, 0);
    EXPECT_EQ(PixelAt(dst32, 0, 0), (Bgra { 1, 2, 3, 255 }));
    EXPECT_EQ(PixelAt(dst32, 1, 0), (Bgra { 0, 0, 0, 0 }));
}

TEST(Blit, CopiesAllFourBytesBetween32BitImages)
{
    DibImage src, dst;
    ASSERT_TRUE(CreateDib(&src, 32, 3, 3));
    ASSERT_TRUE(CreateDib(&dst, 32, 4, 4));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            SetPixel(&src, x, y, Bgra { uint8_t(x), uint8_t(y), 9, uint8_t(10 * x + y) });
    BlitDib(src, &dst, 2, 1, 2, 2, 1, 1);
    EXPECT_EQ(PixelAt(dst, 2, 1), (Bgra { 1, 1, 9, 11 }));
    EXPECT_EQ(PixelAt(dst, 3, 2), (Bgra { 2, 2, 9, 22 }));
    EXPECT_EQ(PixelAt(dst, 1, 1), (Bgra { 0, 0, 0, 0 }));
    CopyDib(src, &dst);
    EXPECT_EQ(PixelAt(dst, 0, 0), (Bgra { 0, 0, 9, 0 }));
    EXPECT_EQ(PixelAt(dst, 2, 2), (Bgra { 2, 2, 9, 22 }));
    EXPECT_EQ(PixelAt(dst, 3, 2), (Bgra { 2, 2, 9, 22 })); // outside the copy: still the blit
    EXPECT_EQ(PixelAt(dst, 3, 3), (Bgra { 0, 0, 0, 0 }));
}

TEST(Fill, FilledPixelsGetTheColourAndAlphaZero)
{
    DibImage image;
    ASSERT_TRUE(CreateDib(&image, 32, 4, 3));
    SetPixel(&image, 0, 0, Bgra { 1, 1, 1, 255 });
    FillDibRect(&image, DibRect { 1, 1, 3, 3 }, 0x00332211); // COLORREF: red 0x11
    EXPECT_EQ(PixelAt(image, 1, 1), (Bgra { 0x33, 0x22, 0x11, 0 }));
    EXPECT_EQ(PixelAt(image, 2, 2), (Bgra { 0x33, 0x22, 0x11, 0 }));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 1, 1, 1, 255 }));
    EXPECT_EQ(PixelAt(image, 3, 1), (Bgra { 0, 0, 0, 0 }));
}

TEST(AlphaOpaque, SetsAlphaInsideTheClippedRectangleOnly)
{
    struct Case {
        DibRect rect;
        int opaque; // pixels expected at 255 out of 4 x 3
    } cases[] = {
        { { 1, 1, 3, 2 }, 2 },
        { { 0, 0, 100, 100 }, 12 },
        { { 4, 0, 9, 3 }, 0 },
        { { -1, 0, 2, 2 }, 0 },
        { { 0, 3, 4, 9 }, 0 },
        { { 5, 0, 9, 3 }, 0 },
        { { 2, 2, 1, 1 }, 0 },
    };
    for (const Case& c : cases) {
        DibImage image;
        ASSERT_TRUE(CreateDib(&image, 32, 4, 3));
        SetDibAlphaOpaque(c.rect, &image);
        int n = 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                n += PixelAt(image, x, y).a == 255;
        EXPECT_EQ(n, c.opaque) << c.rect.left << "," << c.rect.top;
    }
}

TEST(GetAlpha, InsideOutsideAndWithoutAlpha)
{
    DibImage image, rgb;
    ASSERT_TRUE(CreateDib(&image, 32, 3, 2));
    ASSERT_TRUE(CreateDib(&rgb, 24, 3, 2));
    SetPixel(&image, 2, 1, Bgra { 0, 0, 0, 17 });
    EXPECT_EQ(GetDibAlpha(image, 2, 1), 17);
    EXPECT_EQ(GetDibAlpha(image, 0, 0), 0);
    EXPECT_EQ(GetDibAlpha(image, 3, 1), 255); // x = width
    EXPECT_EQ(GetDibAlpha(image, 0, 2), 255); // y = height
    EXPECT_EQ(GetDibAlpha(image, -1, 0), 255);
    EXPECT_EQ(GetDibAlpha(rgb, 0, 0), 255);
    EXPECT_EQ(GetDibAlpha(DibImage(), 0, 0), 255);
}

TEST(Premultiply, EveryColourAndAlphaRoundsDown)
{
    DibImage image;
    ASSERT_TRUE(CreateDib(&image, 32, 256, 256));
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v)
            SetPixel(&image, v, a, Bgra { uint8_t(v), uint8_t(255 - v), uint8_t(v / 2), uint8_t(a) });
    PremultiplyDib(&image);
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v) {
            Bgra want { uint8_t(v * a / 255), uint8_t((255 - v) * a / 255), uint8_t((v / 2) * a / 255), uint8_t(a) };
            ASSERT_EQ(PixelAt(image, v, a), want) << v << " " << a;
        }
}

// A part reaching past the image is clipped; pixels outside it keep their
// straight colours (a window shows them again when they change).
TEST(Premultiply, APartChangesOnlyItsPixels)
{
    DibImage image;
    ASSERT_TRUE(CreateDib(&image, 32, 40, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 40; ++x)
            SetPixel(&image, x, y, Bgra { 200, 100, 50, uint8_t(x * 6) });
    PremultiplyDibRect(&image, DibRect { 3, 2, 60, 4 });
    PremultiplyDibRect(&image, DibRect { -5, -5, 2, 1 });
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 40; ++x) {
            const int a = x * 6;
            const bool inside = (x >= 3 && y >= 2 && y < 4) || (x < 2 && y < 1);
            Bgra want = inside
                ? Bgra { uint8_t(200 * a / 255), uint8_t(100 * a / 255), uint8_t(50 * a / 255), uint8_t(a) }
                : Bgra { 200, 100, 50, uint8_t(a) };
            ASSERT_EQ(PixelAt(image, x, y), want) << x << "," << y;
        }
}

TEST(Stretch, SameSizeCopiesAndUniformAreasStayUniform)
{
    for (bool nt : { true, false }) {
        platformIsNt = nt;
        DibImage src, dst;
        ASSERT_TRUE(CreateDib(&src, 32, 4, 4));
        ASSERT_TRUE(CreateDib(&dst, 32, 2, 2));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                SetPixel(&src, x, y, Bgra { 40, 80, 120, 255 });
        StretchDib(&dst, 0, 0, 2, 2, src, 0, 0, 4, 4);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) {
                Bgra p = PixelAt(dst, x, y);
                EXPECT_EQ(p.b, 40) << nt;
                EXPECT_EQ(p.g, 80) << nt;
                EXPECT_EQ(p.r, 120) << nt;
            }
    }
    platformIsNt = true;
}

TEST(EmptyImages, OperationsDoNothing)
{
    DibImage empty, image;
    ASSERT_TRUE(CreateDib(&image, 32, 2, 2));
    AlphaBlendDib(empty, &image, 0, 0, 2, 2, 0, 0);
    AlphaBlendDib(image, &empty, 0, 0, 2, 2, 0, 0);
    BlitDib(empty, &image, 0, 0, 2, 2, 0, 0);
    CopyDib(empty, &image);
    PremultiplyDib(&empty);
    FillDibRect(&empty, DibRect { 0, 0, 2, 2 }, 0);
    SetDibAlphaOpaque(DibRect { 0, 0, 2, 2 }, &empty);
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 0, 0, 0, 0 }));
}

} // namespace

namespace {

TEST(RowKernels, EveryKernelSetGivesThePortablePixels)
{
    // Random rows with every length up to 40 so that vector bodies and
    // their remainders are both exercised, plus whole alpha sweeps.
    std::mt19937 rng(42);
    std::vector<RowKernels> all = AllRowKernels();
    ASSERT_GE(all.size(), 1u);
    EXPECT_STREQ(all[0].name, "portable");
    for (int count = 0; count <= 40; ++count) {
        for (int round = 0; round < 20; ++round) {
            std::vector<uint8_t> src(size_t(count) * 4 + 1), dst(size_t(count) * 4 + 1);
            for (auto& v : src)
                v = uint8_t(rng());
            for (auto& v : dst)
                v = uint8_t(rng());
            if (round == 0)
                for (int i = 0; i < count; ++i)
                    src[size_t(i) * 4 + 3] = i % 2 ? 255 : 0; // the two exact ends
            std::vector<uint8_t> wantBlend = dst, wantPre = src;
            BlendRow32Portable(wantBlend.data(), src.data(), count);
            PremultiplyRow32Portable(wantPre.data(), count);
            for (const RowKernels& k : all) {
                std::vector<uint8_t> b = dst, p = src;
                k.blend(b.data(), src.data(), count);
                k.premultiply(p.data(), count);
                ASSERT_EQ(b, wantBlend) << k.name << " blend, " << count << " pixels";
                ASSERT_EQ(p, wantPre) << k.name << " premultiply, " << count << " pixels";
            }
        }
    }
}

} // namespace
