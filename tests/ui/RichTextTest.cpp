// Rich text: the "#" markup parser, wrapping (double-byte characters kept
// whole, any width ends), the tooltip's size, and the scroll static's bar
// (disabled arrows when the text fits, stops and the thumb, auto-repeat).
#include "platform/UiPlatform.h"
#include "skin/MarkupParser.h"
#include "skin/MultiColorStatic.h"
#include "skin/ScrollStatic.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zdl {
namespace {

    // "最终用户使用许可协议" and "中" in GBK. The trail of "中" (D0) lies in the
    // lead range, so only a walk from the start tells where characters begin.
    const char kTitle[] = "\xD7\xEE\xD6\xD5\xD3\xC3\xBB\xA7\xCA\xB9\xD3\xC3\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9";
    const char kZhong[] = "\xD6\xD0";

    std::vector<TextSegment> Parse(const std::string& markup)
    {
        std::vector<TextSegment> out;
        EXPECT_TRUE(ParseMarkup(markup.data(), markup.size(), &out)) << markup;
        return out;
    }

    TEST(MarkupTest, TagsThatChangeNothingYetAreDropped)
    {
        auto title = Parse(std::string("#K#h14#d") + kTitle);
        ASSERT_EQ(1u, title.size());
        EXPECT_EQ(kTitle, title[0].text);
        EXPECT_EQ(14, title[0].height);
        EXPECT_EQ(kSegmentBold, title[0].style); // black, bold

        auto twice = Parse("x#d#dy");
        ASSERT_EQ(2u, twice.size());
        EXPECT_EQ("x", twice[0].text);
        EXPECT_EQ(0u, twice[0].style);
        EXPECT_EQ("y", twice[1].text);
        EXPECT_EQ(kSegmentBold, twice[1].style);

        auto colour = Parse("#c102030a");
        ASSERT_EQ(1u, colour.size());
        EXPECT_EQ(0x302010u, colour[0].style); // read as R, G, B; stored as a COLORREF
    }

    TEST(MarkupTest, MalformedTagsAreTextAndNeverSwallowTheNextTag)
    {
        struct Case {
            const char* markup;
            const char* firstText; // the plain segment
            size_t segments;
        };
        const Case cases[] = {
            { "a#Zb", "a#Zb", 1 },
            { "#c12", "#c12", 1 },
            { "#c12#dX", "#c12", 2 }, // "#d" still makes X bold
            { "#c12345G#dX", "#c12345G", 2 },
            { "#h1#dX", "#h1", 2 },
            { "#h", "#h", 1 },
            { "x#", "x#", 1 },
        };
        for (const Case& c : cases) {
            auto segs = Parse(c.markup);
            ASSERT_EQ(c.segments, segs.size()) << c.markup;
            EXPECT_EQ(c.firstText, segs[0].text) << c.markup;
            EXPECT_EQ(0u, segs[0].style) << c.markup;
            if (c.segments == 2) {
                EXPECT_EQ("X", segs[1].text);
                EXPECT_EQ(kSegmentBold, segs[1].style);
            }
        }
        std::vector<TextSegment> none;
        EXPECT_FALSE(ParseMarkup("", 0, &none));
        EXPECT_FALSE(ParseMarkup(nullptr, 3, &none));
    }

    // A line break is never a redundant tag: at the very start (nothing changed
    // yet) it still breaks, and "A#rB" shows on two lines, 16 + 6 apart.
    TEST(MarkupTest, LineBreaksAreNeverDropped)
    {
        auto lead = Parse("#rA");
        ASSERT_EQ(2u, lead.size());
        EXPECT_EQ("", lead[0].text);
        EXPECT_EQ(kSegmentLineMode, lead[0].style);

        CSMultiColorStatic text;
        ASSERT_TRUE(text.SetMarkupText("A#rB"));
        text.Layout(200);
        ASSERT_EQ(2u, text.lines.size());
        EXPECT_EQ("A", text.lines[0].text);
        EXPECT_EQ(0, text.lines[0].y);
        EXPECT_EQ("B", text.lines[1].text);
        EXPECT_EQ(0, text.lines[1].x);
        EXPECT_EQ(22, text.lines[1].y);

        // A break after text taller than 16 + 6 pixels moves below that text.
        ASSERT_TRUE(text.SetMarkupText("#h40Tall#rB"));
        text.Layout(200);
        ASSERT_EQ(2u, text.lines.size());
        EXPECT_GE(text.lines[1].y, text.lines[0].bottom);
    }

    // Every width, down to ones that hold no character at all, ends with whole
    // characters on every line and the text complete and in order.
    TEST(RichTextLayoutTest, WrappingKeepsDoubleByteCharactersWhole)
    {
        std::string markup = "a"; // shifts every character to an odd offset
        for (int i = 0; i < 30; ++i)
            markup += kZhong;
        markup += "b";
        CSMultiColorStatic text;
        ASSERT_TRUE(text.SetMarkupText(markup.c_str()));
        for (int width : { -5, 0, 3, 5, 20, 21, 37, 60, 97, 200, 1000 }) {
            text.Layout(width);
            std::string joined;
            for (const TextLine& line : text.lines) {
                ASSERT_FALSE(line.text.empty()) << width;
                ASSERT_EQ(line.length, static_cast<int>(line.text.size()));
                size_t at = joined.size(); // characters start at 0, 1, 3, 5, ...
                EXPECT_TRUE(at == 0 || at % 2 == 1) << "split at byte " << at << ", width " << width;
                joined += line.text;
            }
            EXPECT_EQ(markup, joined) << width;
            if (width <= 5) {
                EXPECT_EQ(32u, text.lines.size()) << "one character per line at width " << width;
            }
            if (width >= 1000) {
                EXPECT_EQ(1u, text.lines.size());
            }
        }
    }

    // Long texts lay out in linear time: at a width that holds no character
    // the layout stops at its line limit, at the licence's width every byte is
    // placed.
    TEST(RichTextLayoutTest, LongTextsLayOutInBoundedTime)
    {
        std::string markup(300000, 'x');
        CSMultiColorStatic text;
        ASSERT_TRUE(text.SetMarkupText(markup.c_str()));
        text.Layout(3);
        EXPECT_EQ(kMaxRichTextLines, text.lines.size());
        text.Layout(387);
        size_t placed = 0;
        for (const TextLine& line : text.lines)
            placed += line.text.size();
        EXPECT_EQ(markup.size(), placed);
    }

    // The tooltip is sized by the layout it is painted with: a short tip keeps
    // all of its text on one line.
    TEST(RichTextLayoutTest, TooltipSizedToItsTextShowsAllOfIt)
    {
        CSControl* made = CreateTooltipControl();
        std::unique_ptr<CSControl> owner(made);
        SetTooltipMarkup(made, "#WPause");
        auto* tip = static_cast<CSMultiColorStatic*>(made);
        EXPECT_GT(tip->width, 0);
        EXPECT_LT(tip->width, 100);
        tip->Layout(tip->width);
        ASSERT_EQ(1u, tip->lines.size());
        EXPECT_EQ("Pause", tip->lines[0].text);
        EXPECT_GE(tip->height, tip->lines[0].bottom);

        SetTooltipMarkup(made, "a rather longer tip that cannot fit in one hundred pixels");
        EXPECT_EQ(100, tip->width);
        tip->Layout(tip->width);
        EXPECT_GT(tip->lines.size(), 1u);
        EXPECT_GE(tip->height, tip->lines.back().bottom);
    }

    // A 32-bit strip of |frames| frames, each filled with its own opaque colour.
    void MakeStrip(DibImage* image, int frames, int frameWidth, int height, const uint32_t* colors)
    {
        ASSERT_TRUE(CreateDib(image, 32, frames * frameWidth, height));
        for (int yy = 0; yy < height; ++yy) {
            for (int xx = 0; xx < frames * frameWidth; ++xx) {
                uint32_t c = colors[xx / frameWidth];
                uint8_t* p = image->Pixel(xx, yy);
                p[0] = c & 0xFF;
                p[1] = (c >> 8) & 0xFF;
                p[2] = (c >> 16) & 0xFF;
                p[3] = 255;
            }
        }
    }

    uint32_t PixelAt(const DibImage& image, int xx, int yy)
    {
        const uint8_t* p = image.Pixel(xx, yy);
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }

    class ScrollStaticTest : public ::testing::Test {
    protected:
        // Frame colours: normal, pressed, hover, disabled.
        static constexpr uint32_t kFrames[4] = { 0x000011, 0x000022, 0x000033, 0x000044 };
        static constexpr uint32_t kTrack = 0x555555;
        static constexpr uint32_t kThumbFrames[4] = { 0x110000, 0x220000, 0x330000, 0x440000 };

        void SetUp() override
        {
            previous_ = SetUiPlatform(&ui_);
            uint32_t track[1] = { kTrack };
            MakeStrip(&up_, 4, 10, 10, kFrames);
            MakeStrip(&down_, 4, 10, 10, kFrames);
            MakeStrip(&track_, 1, 10, 100, track);
            MakeStrip(&thumb_, 4, 10, 10, kThumbFrames);
            view_.trackImage = &track_;
            view_.upImage = &up_;
            view_.downImage = &down_;
            view_.thumbImage = &thumb_;
            view_.thumbMarginTop = 5;
            view_.thumbMarginBottom = 5;
            view_.x = 0;
            view_.y = 0;
            view_.width = 200;
            view_.height = 100;
            view_.UpdateRect(); // track 0..100, thumb travel 100 - 10 - 5 - 5 = 80
        }
        void TearDown() override { SetUiPlatform(previous_); }

        void SetLines(int count)
        {
            std::string markup;
            for (int i = 0; i < count; ++i)
                markup += "line#r";
            ASSERT_TRUE(view_.SetMarkupText(markup.c_str()));
            view_.Layout(0);
        }

        TestUiPlatform ui_;
        UiPlatform* previous_ = nullptr;
        DibImage up_, down_, track_, thumb_;
        CSScrollStatic view_;
    };

    TEST_F(ScrollStaticTest, TextThatFitsShowsDisabledArrowsNoThumbAndIgnoresTheMouse)
    {
        SetLines(2);
        EXPECT_FALSE(view_.hasScrollBar);
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 200, 100));
        view_.Paint(&canvas, 0, 0);
        EXPECT_EQ(kFrames[kScrollFrameDisabled], PixelAt(canvas, view_.upRect.left + 5, view_.upRect.top + 5));
        EXPECT_EQ(kFrames[kScrollFrameDisabled], PixelAt(canvas, view_.downRect.left + 5, view_.downRect.top + 5));
        // No thumb: the track shows (blended with alpha 255 over black, so one less).
        EXPECT_EQ(kTrack - 0x010101, PixelAt(canvas, view_.thumbRect.left + 5, view_.thumbRect.top + 5));

        int cx = view_.upRect.left + 2, cy = view_.upRect.top + 2;
        EXPECT_FALSE(view_.OnMouse(WM_LBUTTONDOWN, cx, cy, MK_LBUTTON, 0));
        EXPECT_FALSE(view_.OnMouse(WM_MOUSEWHEEL, 50, 50, static_cast<WParam>(0xFF880000u), 0));
        EXPECT_EQ(kScrollPartNone, view_.pressedPart);
        EXPECT_EQ(nullptr, ui_.capture);
        EXPECT_EQ(0, view_.stopIndex);
    }

    // Dragging the thumb onto the place where ScrollBy puts it for a stop shows
    // that stop; the ends of the travel show the first and the last stop.
    TEST_F(ScrollStaticTest, DraggingTheThumbOntoAStopShowsThatStop)
    {
        SetLines(12); // 12 lines 22 apart: 264 + a last row in a 100-pixel view
        ASSERT_TRUE(view_.hasScrollBar);
        ASSERT_GE(view_.stops.size(), 5u);
        const int last = static_cast<int>(view_.stops.size()) - 1;
        for (int k = 0; k <= last; ++k) {
            view_.ScrollBy(-1000);
            view_.ScrollBy(k);
            ASSERT_EQ(k, view_.stopIndex);
            int top = view_.thumbRect.top;
            view_.ScrollBy(1000); // thumb at the bottom, so the drag point lies above it
            view_.DragThumbTo(top);
            EXPECT_EQ(top, view_.thumbRect.top);
            EXPECT_EQ(k, view_.stopIndex) << "thumb at " << top;
        }
        view_.DragThumbTo(-500);
        EXPECT_EQ(0, view_.stopIndex);
        EXPECT_EQ(5, view_.thumbRect.top);
        view_.DragThumbTo(5000);
        EXPECT_EQ(last, view_.stopIndex);
        EXPECT_EQ(85, view_.thumbRect.top);
    }

    // A held arrow repeats once per repeatDelay while painted and hovered; a
    // button release that happened off the control ends the press at the next
    // move, so the arrow does not go on repeating when the pointer comes back.
    TEST_F(ScrollStaticTest, HeldArrowRepeatsUntilReleasedEvenOffTheControl)
    {
        SetLines(12);
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 200, 100));
        int ax = view_.downRect.left + 2, ay = view_.downRect.top + 2;
        view_.OnMouse(WM_MOUSEMOVE, ax, ay, 0, 0);
        ASSERT_TRUE(view_.OnMouse(WM_LBUTTONDOWN, ax, ay, MK_LBUTTON, 0));
        EXPECT_EQ(1, view_.stopIndex);
        EXPECT_EQ(kScrollFramePressed, view_.PartFrame(kScrollPartDown));
        ui_.ticks += 99;
        view_.Paint(&canvas, 0, 0);
        EXPECT_EQ(1, view_.stopIndex);
        ui_.ticks += 1;
        view_.Paint(&canvas, 0, 0);
        EXPECT_EQ(2, view_.stopIndex);

        view_.OnMouseLeave(); // pointer off; the release happens elsewhere
        view_.OnMouse(WM_MOUSEMOVE, ax, ay, 0, 0); // back, button no longer held
        EXPECT_EQ(kScrollPartNone, view_.pressedPart);
        ui_.ticks += 1000;
        view_.Paint(&canvas, 0, 0);
        EXPECT_EQ(2, view_.stopIndex);
    }

    // Without any picture the bar has no size: laying out, scrolling, dragging
    // and painting still work and divide by nothing.
    TEST(ScrollStaticNoImagesTest, MissingPicturesDivideByNothing)
    {
        CSScrollStatic view;
        view.width = 120;
        view.height = 40;
        view.UpdateRect();
        std::string markup;
        for (int i = 0; i < 10; ++i)
            markup += std::string(kZhong) + "#r";
        ASSERT_TRUE(view.SetMarkupText(markup.c_str()));
        view.Layout(0);
        ASSERT_TRUE(view.hasScrollBar);
        view.ScrollBy(3);
        EXPECT_EQ(3, view.stopIndex);
        view.DragThumbTo(30);
        EXPECT_EQ(3, view.stopIndex); // no thumb travel: the drag chooses nothing
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 120, 40));
        view.Paint(&canvas, 0, 0);
    }

} // namespace
} // namespace zdl
