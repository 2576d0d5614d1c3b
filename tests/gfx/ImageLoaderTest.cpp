#include "gfx/ImageLoader.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "tests/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace zdl;
using zdl::test::Bgra;
using zdl::test::PixelAt;

namespace {

using Decoder = bool (*)(ResourceStream*, DibImage*);

bool Decode(Decoder d, const std::vector<uint8_t>& bytes, DibImage* image)
{
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    return d(s.get(), image);
}

void Put16(std::vector<uint8_t>* b, uint16_t v)
{
    b->push_back(uint8_t(v));
    b->push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>* b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b->push_back(uint8_t(v >> (8 * i)));
}

// A 24-bit BMP of w x h whose pixel (x, y from the bottom) is (x, y, 7).
std::vector<uint8_t> MakeBmp(int w, int h, uint32_t imageSizeField, int bits = 24, uint32_t pixelOffset = 54)
{
    std::vector<uint8_t> b = { 'B', 'M' };
    uint32_t stride = uint32_t((w * 3 + 3) / 4 * 4);
    Put32(&b, 54 + stride * uint32_t(h));
    Put32(&b, 0);
    Put32(&b, pixelOffset);
    Put32(&b, 40);
    Put32(&b, uint32_t(w));
    Put32(&b, uint32_t(h));
    Put16(&b, 1);
    Put16(&b, uint16_t(bits));
    Put32(&b, 0);
    Put32(&b, imageSizeField);
    for (int i = 0; i < 4; ++i)
        Put32(&b, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.push_back(uint8_t(x));
            b.push_back(uint8_t(y));
            b.push_back(7);
        }
        for (uint32_t p = uint32_t(w) * 3; p < stride; ++p)
            b.push_back(0xEE);
    }
    return b;
}

TEST(Bmp, ImageSizeZeroIsReadWithPaddedRows)
{
    for (uint32_t sizeField : { 0u, uint32_t(((5 * 3 + 3) / 4 * 4) * 3) }) {
        DibImage image;
        ASSERT_TRUE(Decode(DecodeBmp, MakeBmp(5, 3, sizeField), &image)) << sizeField;
        EXPECT_EQ(image.BitsPerPixel(), 24);
        EXPECT_EQ(image.Width(), 5);
        EXPECT_EQ(image.Height(), 3);
        EXPECT_EQ(image.stride, 16);
        // Stored bottom-up like the image: file row 0 is picture row 2.
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(PixelAt(image, x, y), (Bgra { uint8_t(x), uint8_t(2 - y), 7, 255 }));
    }
}

TEST(Bmp, RefusedForms)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        { "8 bits per pixel", MakeBmp(4, 2, 0, 8) },
        { "32 bits per pixel", MakeBmp(4, 2, 0, 32) },
        { "signature",
            [] {
                auto b = MakeBmp(4, 2, 0);
                b[0] = 'X';
                return b;
            }() },
        { "short data",
            [] {
                auto b = MakeBmp(4, 2, 0);
                b.resize(b.size() - 1);
                return b;
            }() },
        { "short header",
            [] {
                auto b = MakeBmp(4, 2, 0);
                b.resize(40);
                return b;
            }() },
        { "top-down",
            [] {
                auto b = MakeBmp(4, 2, 0);
                b[22] = 0xFE;
                b[23] = b[24] = b[25] = 0xFF;
                return b;
            }() },
        { "image size too small for a row", MakeBmp(4, 2, 4) },
        { "huge image size", MakeBmp(4, 2, 0xFFFFFFF0u) },
        { "huge width",
            [] {
                auto b = MakeBmp(4, 2, 0);
                b[18] = b[19] = b[20] = 0xFF;
                b[21] = 0x7F;
                return b;
            }() },
    };
    for (const Case& c : cases) {
        DibImage image;
        EXPECT_FALSE(Decode(DecodeBmp, c.bytes, &image)) << c.what;
        EXPECT_TRUE(image.Empty()) << c.what;
    }
}

TEST(Bmp, PixelDataOffsetIsNotConsulted)
{
    DibImage image;
    ASSERT_TRUE(Decode(DecodeBmp, MakeBmp(2, 1, 0, 24, 1000), &image));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 1, 0, 7, 255 }));
}

std::vector<uint8_t> MakeTga(int w, int h, int bits, uint8_t type = 2, uint8_t idLength = 0)
{
    std::vector<uint8_t> b = { idLength, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    Put16(&b, uint16_t(w));
    Put16(&b, uint16_t(h));
    b.push_back(uint8_t(bits));
    b.push_back(0x28); // descriptor (top-left origin bit): ignored
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            b.push_back(uint8_t(x));
            b.push_back(uint8_t(y));
            b.push_back(9);
            if (bits == 32)
                b.push_back(uint8_t(100 + x));
        }
    return b;
}

TEST(Tga, TrueColourLoadsAsStoredWithTheFirstRowAtTheBottom)
{
    for (int bits : { 24, 32 }) {
        DibImage image;
        ASSERT_TRUE(Decode(DecodeTga, MakeTga(3, 2, bits), &image)) << bits;
        EXPECT_EQ(image.BitsPerPixel(), bits);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(PixelAt(image, x, y),
                    (Bgra { uint8_t(x), uint8_t(1 - y), 9, uint8_t(bits == 32 ? 100 + x : 255) }));
    }
}

TEST(Tga, RefusedForms)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        { "RLE true colour (10)", MakeTga(2, 2, 24, 10) },
        { "colour-mapped (1)", MakeTga(2, 2, 24, 1) },
        { "grey (3)", MakeTga(2, 2, 24, 3) },
        { "identification field", MakeTga(2, 2, 24, 2, 4) },
        { "16 bits", MakeTga(2, 2, 16) },
        { "zero width", MakeTga(0, 2, 24) },
        { "short data",
            [] {
                auto b = MakeTga(2, 2, 32);
                b.pop_back();
                return b;
            }() },
        { "colour map present",
            [] {
                auto b = MakeTga(2, 2, 24);
                b[1] = 1;
                return b;
            }() },
        { "origin set",
            [] {
                auto b = MakeTga(2, 2, 24);
                b[8] = 1;
                return b;
            }() },
    };
    for (const Case& c : cases) {
        DibImage image;
        EXPECT_FALSE(Decode(DecodeTga, c.bytes, &image)) << c.what;
        EXPECT_TRUE(image.Empty()) << c.what;
    }
}

TEST(Png, RgbaLoadsStraightIntoBgraBottomUp)
{
    std::vector<uint8_t> rgba = { 10, 20, 30, 40, 50, 60, 70, 80, // row 0
        1, 2, 3, 0, 255, 254, 253, 255 };
    DibImage image;
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(2, 2, PNG_COLOR_TYPE_RGBA, 8, rgba), &image));
    EXPECT_EQ(image.BitsPerPixel(), 32);
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 30, 20, 10, 40 }));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 70, 60, 50, 80 }));
    EXPECT_EQ(PixelAt(image, 0, 1), (Bgra { 3, 2, 1, 0 }));
    EXPECT_EQ(PixelAt(image, 1, 1), (Bgra { 253, 254, 255, 255 }));
    // Picture row 0 is the last row in memory.
    EXPECT_EQ(image.bits[image.stride * 1 + 0], 30);
}

TEST(Png, RgbGetsOpaqueFiller)
{
    std::vector<uint8_t> rgb = { 10, 20, 30, 200, 100, 0 };
    DibImage image;
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(2, 1, PNG_COLOR_TYPE_RGB, 8, rgb), &image));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 30, 20, 10, 255 }));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 0, 100, 200, 255 }));
}

TEST(Png, PaletteWithTransparencyGetsPerPixelAlpha)
{
    std::vector<uint8_t> palette = { 255, 0, 0, 0, 255, 0, 0, 0, 255 };
    std::vector<uint8_t> trns = { 0, 128 }; // entry 2 has no tRNS value: opaque
    std::vector<uint8_t> indices = { 0, 1, 2 };
    DibImage image;
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, indices, palette, trns), &image));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 0, 0, 255, 0 }));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 0, 255, 0, 128 }));
    EXPECT_EQ(PixelAt(image, 2, 0), (Bgra { 255, 0, 0, 255 }));
}

TEST(Png, LowBitDepthPaletteIsExpanded)
{
    std::vector<uint8_t> palette = { 0, 0, 0, 255, 255, 255 };
    std::vector<uint8_t> bits = { 0x50 }; // 1-bit indices 0,1,0,1
    DibImage image;
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(4, 1, PNG_COLOR_TYPE_PALETTE, 1, bits, palette), &image));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 0, 0, 0, 255 }));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 255, 255, 255, 255 }));
}

TEST(Png, GreyLoadsAsGreyColourWithAlpha255)
{
    std::vector<uint8_t> grey = { 0, 77, 255 };
    DibImage image;
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(3, 1, PNG_COLOR_TYPE_GRAY, 8, grey), &image));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 0, 0, 0, 255 }));
    EXPECT_EQ(PixelAt(image, 1, 0), (Bgra { 77, 77, 77, 255 }));
    EXPECT_EQ(PixelAt(image, 2, 0), (Bgra { 255, 255, 255, 255 }));
    std::vector<uint8_t> greyAlpha = { 77, 9 };
    ASSERT_TRUE(Decode(DecodePng, zdl::test::MakePng(1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, greyAlpha), &image));
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 77, 77, 77, 9 }));
}

TEST(Png, SixteenBitsPerChannelIsRefused)
{
    for (int type : { PNG_COLOR_TYPE_RGBA, PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_GRAY }) {
        int channels = type == PNG_COLOR_TYPE_RGBA ? 4 : type == PNG_COLOR_TYPE_RGB ? 3 : 1;
        std::vector<uint8_t> samples(size_t(2 * channels * 2 * 2), 0x80);
        DibImage image;
        CreateDib(&image, 32, 4, 4); // a previous bitmap is dropped too
        EXPECT_FALSE(Decode(DecodePng, zdl::test::MakePng(2, 2, type, 16, samples), &image)) << type;
        EXPECT_TRUE(image.Empty());
    }
}

TEST(Png, TruncatedAndCorruptFilesFail)
{
    std::vector<uint8_t> rgba(4 * 8 * 8, 0x55);
    auto good = zdl::test::MakePng(8, 8, PNG_COLOR_TYPE_RGBA, 8, rgba);
    for (size_t cut : { size_t(0), size_t(7), size_t(30), good.size() / 2, good.size() - 13 }) {
        std::vector<uint8_t> bytes(good.begin(), good.begin() + long(cut));
        DibImage image;
        EXPECT_FALSE(Decode(DecodePng, bytes, &image)) << cut;
        EXPECT_TRUE(image.Empty());
    }
}

TEST(Jpeg, ColourAndGreyLoadAs24Bit)
{
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 16 * 8; ++i) {
        rgb.push_back(200);
        rgb.push_back(100);
        rgb.push_back(50);
    }
    DibImage image;
    ASSERT_TRUE(Decode(DecodeJpeg, zdl::test::MakeJpeg(16, 8, 3, rgb), &image));
    EXPECT_EQ(image.BitsPerPixel(), 24);
    EXPECT_EQ(image.Width(), 16);
    Bgra p = PixelAt(image, 5, 5);
    EXPECT_NEAR(p.r, 200, 3);
    EXPECT_NEAR(p.g, 100, 3);
    EXPECT_NEAR(p.b, 50, 3);
    std::vector<uint8_t> grey(8 * 8, 90);
    ASSERT_TRUE(Decode(DecodeJpeg, zdl::test::MakeJpeg(8, 8, 1, grey), &image));
    p = PixelAt(image, 3, 3);
    EXPECT_NEAR(p.r, 90, 2);
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
}

TEST(Jpeg, GarbageFailsWithoutAnImage)
{
    jpegMessagesToStderr = false;
    std::vector<uint8_t> rgb(3 * 8 * 8, 0);
    auto good = zdl::test::MakeJpeg(8, 8, 3, rgb);
    for (std::vector<uint8_t> bytes : { std::vector<uint8_t> {}, std::vector<uint8_t> { 0xFF, 0xD8, 0xFF },
             std::vector<uint8_t>(good.begin(), good.begin() + 20), std::vector<uint8_t>(100, 0x42) }) {
        DibImage image;
        EXPECT_FALSE(Decode(DecodeJpeg, bytes, &image)) << bytes.size();
        EXPECT_TRUE(image.Empty());
    }
    jpegMessagesToStderr = true;
}

// A loose 16384 x 16384 progressive picture: decoding would keep over a
// gigabyte of coefficients, so it is refused on its header, before libjpeg
// reads (and allocates for) the scans behind it.
TEST(Jpeg, HugePictureIsRefusedOnItsHeader)
{
    const std::string path = std::string(ZDL_TEST_DATA_DIR) + "/fuzz/jpeg/huge-progressive.jpg";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(file) << path;
    auto stream = ResourceStream::FromFile(file);
    const size_t size = stream->TotalSize();
    jpegMessagesToStderr = false;
    DibImage image;
    EXPECT_FALSE(DecodeJpeg(stream.get(), &image));
    jpegMessagesToStderr = true;
    EXPECT_TRUE(image.Empty());
    EXPECT_LT(std::ftell(file), long(size)) << "the scans were read";
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<uint8_t> rgba = { 1, 2, 3, 4 };
        std::vector<uint8_t> png = zdl::test::MakePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, rgba);
        std::string p(png.begin(), png.end());
        auto bmp = MakeBmp(2, 2, 0);
        auto tga = MakeTga(2, 2, 32);
        std::vector<uint8_t> rgb(3 * 8 * 8, 128);
        auto jpg = zdl::test::MakeJpeg(8, 8, 3, rgb);
        archive_ = zdl::test::MakeQfa({
            { "a.bmp", std::string(bmp.begin(), bmp.end()) },
            { "a.jpeg", std::string(jpg.begin(), jpg.end()) },
            { "a.jpg", std::string(jpg.begin(), jpg.end()) },
            { "a.png", p },
            { "a.tga", std::string(tga.begin(), tga.end()) },
            { "bg.png", p },
            { "bmp", p },
            { "png.txt", p },
        });
        ASSERT_TRUE(LoadResourceArchiveFromBytes(archive_.data(), archive_.size()));
    }
    void TearDown() override
    {
        ClearImageCache();
        UnloadResourceArchive();
    }
    std::vector<uint8_t> archive_;
};

TEST_F(LoaderTest, DecoderIsChosenByTheExtensionWithoutCase)
{
    struct Case {
        const char* name;
        bool ok;
        int bits;
    } cases[] = {
        { "a.bmp", true, 24 },
        { "A.BMP", true, 24 },
        { "a.tga", true, 32 },
        { "a.jpg", true, 24 },
        { "a.PNG", true, 32 },
        { "a.jpeg", false, 0 },
        { "bmp", false, 0 },
        { "png.txt", false, 0 },
        { "missing.png", false, 0 },
    };
    for (const Case& c : cases) {
        DibImage image;
        EXPECT_EQ(LoadImageFile(&image, c.name), c.ok) << c.name;
        if (c.ok)
            EXPECT_EQ(image.BitsPerPixel(), c.bits) << c.name;
        else
            EXPECT_TRUE(image.Empty()) << c.name;
    }
}

TEST_F(LoaderTest, CacheSharesOneImagePerNameWhateverTheCase)
{
    DibImage* a = GetImage("bg.png");
    ASSERT_TRUE(a);
    EXPECT_EQ(GetImage("Bg.PNG"), a);
    EXPECT_EQ(GetImage("BG.PNG"), a);
    EXPECT_NE(GetImage("a.png"), a);
    EXPECT_EQ(ImageCacheSize(), 2u);
    EXPECT_EQ(PixelAt(*a, 0, 0), (Bgra { 3, 2, 1, 4 }));
}

TEST_F(LoaderTest, FailedLoadIsNotCachedAndIsRetried)
{
    EXPECT_EQ(GetImage("late.png"), nullptr);
    EXPECT_EQ(ImageCacheSize(), 0u);
    std::vector<uint8_t> rgba = { 9, 9, 9, 9 };
    ASSERT_TRUE(zdl::test::WriteFile("late.png", zdl::test::MakePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, rgba)));
    DibImage* image = GetImage("late.png");
    std::remove("late.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(ImageCacheSize(), 1u);
    EXPECT_EQ(GetImage("LATE.png"), image); // now served from the cache
}

TEST_F(LoaderTest, OverlongNamesAreRefused)
{
    std::string name(127 - 4, 'x');
    EXPECT_EQ(GetImage((name + ".png").c_str()), nullptr); // 127 bytes: allowed, just absent
    EXPECT_EQ(GetImage((name + "x.png").c_str()), nullptr);
    EXPECT_EQ(ImageCacheSize(), 0u);
}

TEST_F(LoaderTest, ClearEmptiesTheCache)
{
    ASSERT_TRUE(GetImage("a.png"));
    ClearImageCache();
    EXPECT_EQ(ImageCacheSize(), 0u);
    EXPECT_TRUE(GetImage("a.png"));
}

} // namespace
