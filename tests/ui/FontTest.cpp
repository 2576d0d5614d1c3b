// The font cache and text drawing: shared fonts and their keys, the fonts
// controls own, measurement, DrawText's layout rules and the opaque text
// rectangle.
#include "gfx/TextDraw.h"
#include "platform/WinDefs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zdl {
namespace {

    // "中文" in GBK.
    const char kChinese[] = "\xD6\xD0\xCE\xC4";

    FontHandle SongTi(int height, int width = 7, int weight = 14)
    {
        return GetFont(FontDesc::Make(kSongTiFace, height, width, weight));
    }

    TEST(FontCacheTest, SameDescriptionSharesOneFont)
    {
        FontHandle a = SongTi(14);
        FontHandle b = SongTi(14);
        ASSERT_NE(nullptr, a);
        EXPECT_EQ(a, b);
        FontHandle taller = SongTi(15);
        ASSERT_NE(nullptr, taller);
        EXPECT_NE(a, taller);
        EXPECT_NE(a, SongTi(14, 8));
        EXPECT_NE(a, SongTi(14, 7, 400));
        EXPECT_NE(a, GetFont(FontDesc::Make("Arial", 14, 7, 14)));

        FontDesc desc;
        ASSERT_TRUE(FindFontDesc(taller, &desc));
        EXPECT_STREQ(kSongTiFace, desc.faceName);
        EXPECT_EQ(15, desc.height);
        EXPECT_EQ(7, desc.width);
        EXPECT_EQ(14, desc.weight);
        EXPECT_FALSE(FindFontDesc(nullptr, &desc));

        FontSpec made;
        ASSERT_TRUE(QueryFontSpec(a, &made));
        EXPECT_EQ(134, made.charSet);
        EXPECT_EQ(48, made.pitchAndFamily);
    }

    TEST(FontCacheTest, KeysOrderByFaceThenHeightWidthWeight)
    {
        struct Case {
            FontDesc a, b;
        };
        const Case cases[] = {
            { FontDesc::Make("A", 20, 20, 20), FontDesc::Make("B", 1, 1, 1) },
            { FontDesc::Make("A", 1, 20, 20), FontDesc::Make("A", 2, 1, 1) },
            { FontDesc::Make("A", 1, 1, 20), FontDesc::Make("A", 1, 2, 1) },
            { FontDesc::Make("A", 1, 1, 1), FontDesc::Make("A", 1, 1, 2) },
            { FontDesc::Make("\x41", 1, 1, 1), FontDesc::Make("\xCB\xCE", 1, 1, 1) }, // bytes, unsigned
        };
        for (const Case& c : cases) {
            EXPECT_TRUE(c.a < c.b);
            EXPECT_FALSE(c.b < c.a);
        }
        EXPECT_TRUE(FontDesc::Make("A", 1, 1, 1) == FontDesc::Make("A", 1, 1, 1));
    }

    TEST(FontCacheTest, LongFaceNamesAreCutWithoutSplittingACharacter)
    {
        std::string face(62, 'a');
        face += kChinese; // 62 + 4 bytes: the first character would straddle byte 63
        FontDesc d = FontDesc::Make(face.c_str(), 1, 1, 1);
        EXPECT_EQ(62u, std::strlen(d.faceName));
    }

    TEST(FontCacheTest, OwnedFontsAreNotInTheCache)
    {
        FontHandle caption = CreateOwnedFont(CaptionFontSpec());
        ASSERT_NE(nullptr, caption);
        FontDesc desc;
        EXPECT_FALSE(FindFontDesc(caption, &desc));
        FontSpec spec;
        ASSERT_TRUE(QueryFontSpec(caption, &spec));
        EXPECT_EQ(12, spec.height);
        EXPECT_EQ(400, spec.weight);
        EXPECT_EQ(0x20, spec.pitchAndFamily);
        EXPECT_EQ(0, spec.charSet);
        EXPECT_STREQ(kSongTiFace, spec.faceName);
        DeleteOwnedFont(caption);
    }

    TEST(FontCacheTest, RichTextFontFollowsTheSegmentStyle)
    {
        struct Case {
            uint32_t style;
            bool perSegment;
            int height;
            int weight;
            bool italic;
            bool underline;
        };
        const Case cases[] = {
            { kSegmentBold | kSegmentUnderline, true, 18, 900, false, true },
            { kSegmentItalic, false, 0, 400, true, false },
            { 0, true, 12, 400, false, false },
        };
        FontHandle font = nullptr;
        for (const Case& c : cases) {
            MakeRichTextFont(&font, kSongTiFace, 18 - (c.style == 0 ? 6 : 0), c.style, c.perSegment);
            ASSERT_NE(nullptr, font);
            FontSpec spec;
            ASSERT_TRUE(QueryFontSpec(font, &spec));
            EXPECT_EQ(c.height, spec.height);
            EXPECT_EQ(c.weight, spec.weight);
            EXPECT_EQ(c.italic, spec.italic);
            EXPECT_EQ(c.underline, spec.underline);
            EXPECT_EQ(2, spec.quality);
            EXPECT_EQ(0x20, spec.pitchAndFamily);
        }
        DeleteOwnedFont(font);
    }

    TEST(TextMeasureTest, MetricsFollowTheRequestedCell)
    {
        TextMetrics m;
        ASSERT_TRUE(GetFontMetrics(SongTi(14), &m));
        EXPECT_EQ(14, m.height);
        EXPECT_EQ(m.height, m.ascent + m.descent);
        EXPECT_GT(m.aveCharWidth, 0);
        EXPECT_LE(m.aveCharWidth, 8);
        EXPECT_GE(m.overhang, 0);
        ASSERT_TRUE(GetFontMetrics(SongTi(20, 0, 400), &m));
        EXPECT_EQ(20, m.height);
        EXPECT_FALSE(GetFontMetrics(nullptr, &m));

        TextSize one, two, wide;
        FontHandle f = SongTi(14);
        ASSERT_TRUE(MeasureText(f, "a", 1, &one));
        ASSERT_TRUE(MeasureText(f, "aa", -1, &two));
        ASSERT_TRUE(MeasureText(f, kChinese, 2, &wide)); // one double-byte character
        EXPECT_EQ(2 * one.cx, two.cx);
        EXPECT_EQ(14, two.cy);
        EXPECT_GT(wide.cx, one.cx);
    }

    TEST(TextMeasureTest, WordBreakWrapsAndSingleLineDoesNot)
    {
        FontHandle f = SongTi(14);
        const char* text = "alpha beta gamma delta";
        DibRect r { 0, 0, 60, 0 };
        int h = CalcTextRect(f, text, -1, &r, DT_WORDBREAK | DT_NOPREFIX);
        EXPECT_GE(h, 3 * 14);
        EXPECT_EQ(h, r.bottom);
        EXPECT_LE(r.right, 60);
        DibRect single { 0, 0, 60, 0 };
        EXPECT_EQ(14, CalcTextRect(f, text, -1, &single, DT_SINGLELINE | DT_NOPREFIX));
        EXPECT_GT(single.right, 60);
        // Line breaks count unless single line.
        DibRect lines { 0, 0, 500, 0 };
        EXPECT_EQ(3 * 14, CalcTextRect(f, "a\r\nb\nc", -1, &lines, DT_NOPREFIX));
        // A prefix '&' takes no room; "&&" shows one '&'.
        DibRect plain { 0, 0, 0, 0 }, prefixed { 0, 0, 0, 0 }, amp { 0, 0, 0, 0 }, raw { 0, 0, 0, 0 };
        CalcTextRect(f, "ab", -1, &plain, DT_SINGLELINE);
        CalcTextRect(f, "&ab", -1, &prefixed, DT_SINGLELINE);
        CalcTextRect(f, "&&", -1, &amp, DT_SINGLELINE);
        CalcTextRect(f, "&", -1, &raw, DT_SINGLELINE | DT_NOPREFIX);
        EXPECT_EQ(plain.right, prefixed.right);
        EXPECT_EQ(raw.right, amp.right);
    }

#ifndef _WIN32
    // The native layout may break between two double-byte characters, as GDI
    // does for Chinese text; blanks are the only other break.
    TEST(TextMeasureTest, ChineseTextWrapsBetweenCharacters)
    {
        FontHandle f = SongTi(14);
        std::string text;
        for (int i = 0; i < 6; ++i)
            text += kChinese; // twelve characters, no blank
        TextSize one;
        ASSERT_TRUE(MeasureText(f, kChinese, 2, &one));
        DibRect r { 0, 0, one.cx * 5, 0 };
        int h = CalcTextRect(f, text.c_str(), -1, &r, DT_WORDBREAK | DT_NOPREFIX);
        EXPECT_EQ(3 * 14, h); // 5 + 5 + 2 characters
        EXPECT_LE(r.right, one.cx * 5);
    }
#endif

    struct Ink {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
        int count = 0;
    };

    // Pixels that differ from the fill colour (blue 10, green 20, red 30).
    Ink FindInk(const DibImage& canvas)
    {
        Ink ink;
        for (int y = 0; y < canvas.Height(); ++y) {
            for (int x = 0; x < canvas.Width(); ++x) {
                const uint8_t* p = canvas.Pixel(x, y);
                if (p[0] == 10 && p[1] == 20 && p[2] == 30)
                    continue;
                ++ink.count;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
            }
        }
        return ink;
    }

    void Fill(DibImage* canvas)
    {
        for (int y = 0; y < canvas->Height(); ++y) {
            for (int x = 0; x < canvas->Width(); ++x) {
                uint8_t* p = canvas->Pixel(x, y);
                p[0] = 10;
                p[1] = 20;
                p[2] = 30;
                p[3] = 0;
            }
        }
    }

    TEST(TextDrawTest, TextRectangleIsOpaqueAfterDrawing)
    {
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 120, 60));
        Fill(&canvas);
        DibRect rect { 10, 10, 110, 40 };
        std::string text = std::string("Go ") + kChinese;
        DrawTextOnCanvas(&canvas, SongTi(14), MakeRgb(255, 255, 255), text.c_str(), -1, rect,
            DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 120; ++x) {
                bool inside = x >= 10 && x < 110 && y >= 10 && y < 40;
                ASSERT_EQ(inside ? 255 : 0, canvas.Pixel(x, y)[3]) << x << "," << y;
            }
        }
        Ink ink = FindInk(canvas);
        ASSERT_GT(ink.count, 20);
        // Drawn inside the rectangle, centred both ways within a few pixels.
        EXPECT_GE(ink.left, 10);
        EXPECT_LT(ink.right, 110);
        EXPECT_NEAR((ink.left + ink.right) / 2, 60, 4);
        EXPECT_NEAR((ink.top + ink.bottom) / 2, 25, 4);
        // White text: the brightest pixel is (nearly) white.
        int brightest = 0;
        for (int y = ink.top; y <= ink.bottom; ++y)
            for (int x = ink.left; x <= ink.right; ++x)
                brightest = std::max(brightest, int(canvas.Pixel(x, y)[0]));
        EXPECT_GT(brightest, 200);
    }

    // A text drawn again on the same pixels is the same bytes (the remembered
    // result); on other pixels it is drawn anew on those, never pasted.
    TEST(TextDrawTest, RedrawingReusesTheResultOnlyOnTheSamePixels)
    {
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 120, 40));
        const size_t bytes = static_cast<size_t>(canvas.stride) * 40;
        const DibRect rect { 10, 5, 110, 35 };
        const std::string text = std::string("Go ") + kChinese;
        auto draw = [&] {
            DrawTextOnCanvas(
                &canvas, SongTi(14), MakeRgb(255, 255, 255), text.c_str(), -1, rect, DT_SINGLELINE | DT_CENTER);
        };
        Fill(&canvas);
        draw();
        const std::vector<uint8_t> first(canvas.bits, canvas.bits + bytes);
        Fill(&canvas);
        draw();
        EXPECT_EQ(0, std::memcmp(first.data(), canvas.bits, bytes));
        // Another background under the same text: its colour shows at a corner.
        Fill(&canvas);
        canvas.Pixel(10, 5)[0] = 99;
        draw();
        EXPECT_EQ(99, canvas.Pixel(10, 5)[0]);
        EXPECT_EQ(255, canvas.Pixel(10, 5)[3]);
    }

    TEST(TextDrawTest, TextIsClippedToItsRectangle)
    {
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 100, 40));
        Fill(&canvas);
        DibRect rect { 0, 0, 20, 40 };
        DrawTextOnCanvas(&canvas, SongTi(14), 0xFFFFFF, "WWWWWWWWWWWW", -1, rect, DT_SINGLELINE | DT_NOPREFIX);
        Ink ink = FindInk(canvas);
        ASSERT_GT(ink.count, 0);
        EXPECT_LT(ink.right, 20);
        EXPECT_LT(ink.bottom, 14);
    }

    TEST(TextDrawTest, RightAlignmentAndWrappedLines)
    {
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 100, 60));
        Fill(&canvas);
        DrawTextOnCanvas(
            &canvas, SongTi(14), 0xFFFFFF, "ii", -1, DibRect { 0, 0, 100, 20 }, DT_SINGLELINE | DT_RIGHT | DT_NOPREFIX);
        Ink right = FindInk(canvas);
        EXPECT_GT(right.left, 80);
        Fill(&canvas);
        DrawTextOnCanvas(
            &canvas, SongTi(14), 0xFFFFFF, "aaaa bbbb", -1, DibRect { 0, 0, 40, 60 }, DT_WORDBREAK | DT_NOPREFIX);
        Ink wrapped = FindInk(canvas);
        EXPECT_GT(wrapped.bottom, 14); // the second word went to the second line
    }

    TEST(TextDrawTest, EmptyCanvasAndTextAreHarmless)
    {
        DibImage empty;
        EXPECT_EQ(0, DrawTextOnCanvas(&empty, SongTi(14), 0, "x", -1, DibRect { 0, 0, 5, 5 }, 0));
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 8, 8));
        DrawTextOnCanvas(&canvas, nullptr, 0, nullptr, -1, DibRect { -5, -5, 50, 50 }, DT_NOPREFIX);
        DrawTextOnCanvas(&canvas, SongTi(14), 0, "\xD6", -1, DibRect { 0, 0, 8, 8 }, 0); // cut character
        EXPECT_EQ(255, canvas.Pixel(0, 0)[3]);
    }

} // namespace
} // namespace zdl
