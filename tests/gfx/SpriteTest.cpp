#include "gfx/Sprite.h"
#include "gfx/ImageLoader.h"
#include "tests/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>

using namespace zdl;
using zdl::test::Bgra;
using zdl::test::MakeSprite;
using zdl::test::PixelAt;
using zdl::test::SpriteFrameSpec;

namespace {

bool LoadBytes(const std::vector<uint8_t>& bytes, SpriteFile* sprite)
{
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    return LoadSpriteFromStream(s.get(), sprite);
}

bool StripFrom(const std::vector<uint8_t>& bytes, DibImage* image)
{
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    return DecodeSpriteStrip(s.get(), image);
}

// A frame of w x h filled with palette colour |index| (opaque).
SpriteFrameSpec Solid(int w, int h, uint8_t index, int keyX = 0, int keyY = 0)
{
    SpriteFrameSpec f;
    f.keyX = keyX;
    f.keyY = keyY;
    f.width = w;
    f.height = h;
    for (int r = 0; r < h; ++r)
        f.rows.push_back({ uint8_t(0x80 | w), index });
    return f;
}

TEST(SpritePalette, ExpansionCopiesTheFieldsOwnLowBits)
{
    struct Case {
        uint16_t c;
        uint8_t r, g, b;
    } cases[] = {
        { 0xFFFF, 255, 255, 255 },
        { 0x0000, 0, 0, 0 },
        { 0x8410, 128, 128, 128 }, // R5 16, G6 32, B5 16
        { uint16_t(17 << 11), 137, 0, 0 }, // R5 17
        { uint16_t(33 << 5), 0, 133, 0 }, // G6 33
        { uint16_t(1), 0, 0, 9 }, // B5 1: 8 | 1
        { uint16_t(7 << 11 | 7), 63, 0, 63 },
        { uint16_t(0x1F << 11), 255, 0, 0 },
    };
    for (const Case& c : cases) {
        Rgb rgb = ExpandRgb565(c.c);
        EXPECT_EQ(rgb.r, c.r) << std::hex << c.c;
        EXPECT_EQ(rgb.g, c.g) << std::hex << c.c;
        EXPECT_EQ(rgb.b, c.b) << std::hex << c.c;
    }
}

TEST(SpriteStrip, CellOrderForFourThreeTwoAndOtherCounts)
{
    struct Case {
        int frames;
        int cells;
        std::vector<int> order;
    } cases[] = {
        { 4, 4, { 0, 2, 1, 3 } },
        { 3, 4, { 0, 2, 1, 0 } },
        { 2, 2, { 0, 1 } },
        { 1, 1, { 0 } },
        { 5, 5, { 0, 1, 2, 3, 4 } },
        { 15, 15, { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14 } },
    };
    for (const Case& c : cases) {
        // Frame k is a solid block of palette colour k + 1.
        std::vector<uint16_t> palette(256);
        for (int k = 0; k < 256; ++k)
            palette[size_t(k)] = uint16_t(k << 5); // green = (k << 2) | (k & 3) for k < 64
        std::vector<SpriteFrameSpec> frames;
        for (int k = 0; k < c.frames; ++k)
            frames.push_back(Solid(3, 2, uint8_t(k + 1)));
        DibImage strip;
        ASSERT_TRUE(StripFrom(MakeSprite(3, 2, palette, frames), &strip)) << c.frames;
        ASSERT_EQ(strip.BitsPerPixel(), 32);
        ASSERT_EQ(strip.Width(), c.cells * 3) << c.frames;
        ASSERT_EQ(strip.Height(), 2);
        for (int cell = 0; cell < c.cells; ++cell) {
            int k = c.order[size_t(cell)] + 1;
            uint8_t g = uint8_t((k << 2) | (k & 3));
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(PixelAt(strip, cell * 3 + x, 1), (Bgra { 0, g, 0, 255 }))
                    << c.frames << " frames, cell " << cell;
        }
    }
}

TEST(SpriteDraw, KeyPointMinusOneLandsOnePixelRightAndDown)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    DibImage strip;
    ASSERT_TRUE(StripFrom(MakeSprite(4, 4, palette, { Solid(2, 2, 1, -1, -1) }), &strip));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            bool inside = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            EXPECT_EQ(PixelAt(strip, x, y).a, inside ? 255 : 0) << x << "," << y;
        }
}

TEST(SpriteDraw, FramesAreClippedToTheImageNotToTheCell)
{
    std::vector<uint16_t> palette = { 0, 0xF800 };
    // Frame 0 one row above its cell (loses that row); frame 1 spills two
    // pixels into the left cell.
    DibImage strip;
    ASSERT_TRUE(StripFrom(MakeSprite(3, 2, palette, { Solid(3, 3, 1, 0, 1), Solid(2, 1, 1, 2, 0) }), &strip));
    ASSERT_EQ(strip.Width(), 6);
    EXPECT_EQ(PixelAt(strip, 0, 0).a, 255);
    EXPECT_EQ(PixelAt(strip, 2, 1).a, 255);
    EXPECT_EQ(PixelAt(strip, 1, 0), (Bgra { 0, 0, 255, 255 }));
    EXPECT_EQ(PixelAt(strip, 3, 0).a, 0); // frame 1 drawn at x = 3 - 2 = 1..2
    EXPECT_EQ(PixelAt(strip, 3, 1).a, 0);
}

TEST(SpriteDraw, AlphaPixelOnTransparentTargetKeepsThePaletteColour)
{
    std::vector<uint16_t> palette = { 0, 0x8410 };
    SpriteFrameSpec f;
    f.width = 3;
    f.height = 1;
    // alpha pixel 0x3F (alpha 248), alpha run of 2 with a = 16 (alpha 128).
    f.rows = { { 0x3F, 1, 0x02, 16, 1 } };
    DibImage strip;
    ASSERT_TRUE(StripFrom(MakeSprite(3, 1, palette, { f }), &strip));
    EXPECT_EQ(PixelAt(strip, 0, 0), (Bgra { 128, 128, 128, 248 }));
    EXPECT_EQ(PixelAt(strip, 1, 0), (Bgra { 128, 128, 128, 128 }));
    EXPECT_EQ(PixelAt(strip, 2, 0), (Bgra { 128, 128, 128, 128 }));
}

TEST(SpriteDraw, AlphaRunOverOpaqueBlendsAndKeepsAlpha255)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF, 0x0000 };
    SpriteFrameSpec f;
    f.width = 4;
    f.height = 1;
    f.rows = { { 0x82, 2, 0x42, 2, 2, 0 } }; // four opaque black pixels
    SpriteFrameSpec g;
    g.width = 4;
    g.height = 1;
    // alpha run of 3 white at alpha 128, then an alpha byte that wraps:
    // a = 0x21 gives (0x21 * 8) mod 256 = 8.
    g.rows = { { 0x03, 16, 1, 0x01, 0x21, 1 } };
    DibImage image;
    ASSERT_TRUE(CreateDib(&image, 32, 4, 1));
    SpriteFile a, b;
    ASSERT_TRUE(LoadBytes(MakeSprite(4, 1, palette, { f }), &a));
    ASSERT_TRUE(LoadBytes(MakeSprite(4, 1, palette, { g }), &b));
    DrawSpriteFrame(&image, a.Frame(0, 0), 0, 0);
    DrawSpriteFrame(&image, b.Frame(0, 0), 0, 0);
    // 0 + ((255 - 0) * 128 >> 8) = 127
    EXPECT_EQ(PixelAt(image, 0, 0), (Bgra { 127, 127, 127, 255 }));
    EXPECT_EQ(PixelAt(image, 2, 0), (Bgra { 127, 127, 127, 255 }));
    // 0 + (255 * 8 >> 8) = 7
    EXPECT_EQ(PixelAt(image, 3, 0), (Bgra { 7, 7, 7, 255 }));
    // Blending down: white under black at alpha 128 uses the signed shift.
    SpriteFile c;
    SpriteFrameSpec h;
    h.width = 1;
    h.height = 1;
    h.rows = { { 0x30, 2 } }; // alpha pixel, alpha 128, black
    ASSERT_TRUE(LoadBytes(MakeSprite(1, 1, palette, { h }), &c));
    DibImage white;
    ASSERT_TRUE(CreateDib(&white, 32, 1, 1));
    zdl::test::SetPixel(&white, 0, 0, Bgra { 255, 255, 255, 100 });
    DrawSpriteFrame(&white, c.Frame(0, 0), 0, 0);
    // 255 + ((0 - 255) * 128 >> 8) = 255 - 128 = 127; alpha max(100, 128)
    EXPECT_EQ(PixelAt(white, 0, 0), (Bgra { 127, 127, 127, 128 }));
}

TEST(SpriteDraw, SkipsLiteralsFillsAndRowEnds)
{
    std::vector<uint16_t> palette = { 0, 0xF800, 0x07E0, 0x001F };
    SpriteFrameSpec f;
    f.width = 6;
    f.height = 3;
    f.rows = {
        { 0xC1, 0x43, 1, 2, 3, 0x00 }, // skip 1, literal red green blue, end
        { 0x88, 2 }, // fill 8 green: cut at the width of 6
        { 0x00, 0x86, 1 }, // end byte first: nothing
    };
    DibImage strip;
    ASSERT_TRUE(StripFrom(MakeSprite(6, 3, palette, { f }), &strip));
    EXPECT_EQ(PixelAt(strip, 0, 0).a, 0);
    EXPECT_EQ(PixelAt(strip, 1, 0), (Bgra { 0, 0, 255, 255 }));
    EXPECT_EQ(PixelAt(strip, 2, 0), (Bgra { 0, 255, 0, 255 }));
    EXPECT_EQ(PixelAt(strip, 3, 0), (Bgra { 255, 0, 0, 255 }));
    EXPECT_EQ(PixelAt(strip, 4, 0).a, 0);
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(PixelAt(strip, x, 1), (Bgra { 0, 255, 0, 255 }));
        EXPECT_EQ(PixelAt(strip, x, 2).a, 0);
    }
}

TEST(SpriteDraw, EmptyFrameLeavesItsCellTransparent)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    SpriteFrameSpec empty;
    empty.empty = true;
    DibImage strip;
    ASSERT_TRUE(StripFrom(MakeSprite(2, 2, palette, { Solid(2, 2, 1), empty }), &strip));
    ASSERT_EQ(strip.Width(), 4);
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(PixelAt(strip, 1, y).a, 255);
        EXPECT_EQ(PixelAt(strip, 2, y), (Bgra { 0, 0, 0, 0 }));
        EXPECT_EQ(PixelAt(strip, 3, y), (Bgra { 0, 0, 0, 0 }));
    }
}

TEST(SpriteDraw, ExtremeKeyPointsDrawNothingAndDoNotOverflow)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    for (int32_t key : { INT32_MAX, INT32_MIN, INT32_MAX - 1, -5, 5 }) {
        DibImage strip;
        ASSERT_TRUE(StripFrom(MakeSprite(4, 4, palette, { Solid(4, 4, 1, key, key) }), &strip)) << key;
        int opaque = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                opaque += PixelAt(strip, x, y).a == 255;
        EXPECT_EQ(opaque, 0) << key;
    }
}

TEST(SpriteDraw, MissingImageOrFrameDoesNothing)
{
    DibImage image;
    SpriteFrame frame;
    DrawSpriteFrame(nullptr, &frame, 0, 0);
    DrawSpriteFrame(&image, nullptr, 0, 0);
    DrawSpriteFrame(&image, &frame, 0, 0);
    SUCCEED();
}

TEST(SpriteLoad, HeaderFieldsAndRecords)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    SpriteFrameSpec empty;
    empty.empty = true;
    SpriteFile s;
    ASSERT_TRUE(LoadBytes(MakeSprite(5, 4, palette, { Solid(2, 3, 1, -1, -1), empty }), &s));
    EXPECT_EQ(s.magic, 0x5053);
    EXPECT_EQ(s.headerLength, 12);
    EXPECT_EQ(s.directions, 1);
    EXPECT_EQ(s.frames, 2);
    EXPECT_EQ(s.width, 5);
    EXPECT_EQ(s.height, 4);
    ASSERT_EQ(s.records.size(), 2u);
    EXPECT_EQ(s.Frame(0, 0)->keyX, -1);
    EXPECT_EQ(s.Frame(0, 0)->height, 3);
    EXPECT_TRUE(s.Frame(0, 1)->Empty());
    EXPECT_EQ(s.Frame(0, 1)->width, 0);
    FreeSprite(&s);
    EXPECT_TRUE(s.records.empty());
    EXPECT_TRUE(s.block.empty());
}

TEST(SpriteLoad, DamagedSpritesAreRejected)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    const std::vector<uint8_t> good = MakeSprite(4, 2, palette, { Solid(4, 2, 1) });
    {
        SpriteFile s;
        ASSERT_TRUE(LoadBytes(good, &s));
    }
    const size_t table = 16 + 512;
    const size_t frame = table + 4; // the one frame follows the table
    auto put32 = [](std::vector<uint8_t>* b, size_t at, uint32_t v) { std::memcpy(&(*b)[at], &v, 4); };
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>*)> damage;
    } cases[] = {
        { "wrong magic", [](std::vector<uint8_t>* b) { (*b)[0] = 'X'; } },
        { "short header", [](std::vector<uint8_t>* b) { b->resize(10); } },
        { "no palette", [](std::vector<uint8_t>* b) { b->resize(16 + 100); } },
        { "frame table cut", [](std::vector<uint8_t>* b) { b->resize(table + 2); } },
        { "frame offset beyond file", [&](std::vector<uint8_t>* b) { put32(b, table, 100000); } },
        { "frame header cut", [&](std::vector<uint8_t>* b) { put32(b, table, uint32_t(b->size() - 16 - 8)); } },
        { "negative height", [&](std::vector<uint8_t>* b) { put32(b, frame + 12, 0xFFFFFFFFu); } },
        { "negative width", [&](std::vector<uint8_t>* b) { put32(b, frame + 8, 0x80000000u); } },
        { "row table beyond file", [&](std::vector<uint8_t>* b) { put32(b, frame + 12, 1000); } },
        { "row offset beyond file", [&](std::vector<uint8_t>* b) { put32(b, frame + 16, 5000); } },
        { "row offset wraps", [&](std::vector<uint8_t>* b) { put32(b, frame + 16, 0xFFFFFFF0u); } },
        { "fill index cut", [](std::vector<uint8_t>* b) { b->pop_back(); } },
        { "literal runs past the end",
            [](std::vector<uint8_t>* b) {
                (*b)[b->size() - 2] = 0x44; /* literal 4, one byte left */
            } },
        { "header length below 12", [](std::vector<uint8_t>* b) { (*b)[2] = 8; } },
        { "too many frames",
            [](std::vector<uint8_t>* b) {
                (*b)[4] = 0xFF;
                (*b)[6] = 0xFF;
            } },
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(&bytes);
        SpriteFile s;
        EXPECT_FALSE(LoadBytes(bytes, &s)) << c.what;
        DibImage strip;
        EXPECT_FALSE(StripFrom(bytes, &strip)) << c.what;
        EXPECT_TRUE(strip.Empty()) << c.what;
    }
}

TEST(SpriteLoad, ZeroFramesGiveNoImage)
{
    DibImage strip;
    EXPECT_FALSE(StripFrom(MakeSprite(4, 4, {}, {}), &strip));
    EXPECT_TRUE(strip.Empty());
}

TEST(SpriteLoad, LongerHeaderIsSkipped)
{
    std::vector<uint16_t> palette = { 0, 0xFFFF };
    std::vector<uint8_t> bytes = MakeSprite(2, 1, palette, { Solid(2, 1, 1) });
    bytes[2] = 14; // two extra header bytes before the palette
    bytes.insert(bytes.begin() + 16, { 0xAA, 0xBB });
    DibImage strip;
    ASSERT_TRUE(StripFrom(bytes, &strip));
    EXPECT_EQ(PixelAt(strip, 1, 0), (Bgra { 255, 255, 255, 255 }));
}

} // namespace
