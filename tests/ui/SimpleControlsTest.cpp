// Buttons, check boxes, pictures, bars and animations: their frames, their
// press/release cycle through the container's routing, their notifications
// and the capture of their own top-level window.
#include "ControlKit.h"
#include "skin/Animate.h"
#include "skin/Bubble.h"
#include "skin/CheckBox.h"
#include "skin/ClickableStatic.h"
#include "skin/ControlInput.h"
#include "skin/ProgressBar.h"

#include <cstring>
#include <string>

namespace zdl {
namespace {

    using test::FrameAt;
    using test::MakeStrip;
    using test::Place;
    using test::RecordingPage;

    // Two distinct fake top-level windows: the main one and the licence window.
    NativeWindow const kMainWindow = reinterpret_cast<NativeWindow>(0x1000);
    NativeWindow const kSecondWindow = reinterpret_cast<NativeWindow>(0x2000);

    class SimpleControlsTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            focusControl = nullptr;
            previous_ = SetUiPlatform(&ui_);
            SetSkinMainWindow(kMainWindow);
            ASSERT_TRUE(CreateDib(&canvas_, 32, 200, 60));
        }
        void TearDown() override
        {
            SetUiPlatform(previous_);
            SetSkinMainWindow(nullptr);
            SetTooltipTextSetter(previousSetter_);
            focusControl = nullptr;
        }
        // A 4-frame 20 x 10 button at (10, 10) of the page.
        CSButton* AddButton()
        {
            auto* b = new CSButton();
            EXPECT_EQ(0, page_.AddControl(b));
            b->layers.resize(1);
            b->layers[0].image = strip_.get();
            b->layers[0].frameWidth = 20;
            Place(b, 10, 10, 20, 10);
            return b;
        }
        // A mouse message of the second window at window point (wx, wy).
        bool Mouse(unsigned msg, int wx, int wy)
        {
            ui_.cursor = UiPoint { wx, wy };
            return page_.HandleMessage(kSecondWindow, msg, 0, MakeLParam(wx, wy));
        }
        int PaintedFrame(CSControl* c)
        {
            std::memset(canvas_.bits, 0, static_cast<size_t>(canvas_.stride) * canvas_.Height());
            c->Paint(&canvas_, 0, 0);
            return FrameAt(canvas_, c->x + 1, c->y + 1);
        }

        TestUiPlatform ui_;
        UiPlatform* previous_ = nullptr;
        TooltipTextSetter previousSetter_ = GetTooltipTextSetter();
        RecordingPage page_;
        DibImage canvas_;
        std::unique_ptr<DibImage> strip_ = MakeStrip(4, 20, 10);
    };

    TEST_F(SimpleControlsTest, ButtonClicksOnlyWhenReleasedOnIt)
    {
        CSButton* b = AddButton();
        EXPECT_TRUE(Mouse(WM_LBUTTONDOWN, 15, 15));
        EXPECT_TRUE(b->pressed);
        // The capture goes to the button's own window, not the main window.
        EXPECT_EQ(kSecondWindow, ui_.capture);
        EXPECT_EQ(CursorShape::kHand, ui_.cursorShape);
        Mouse(WM_MOUSEMOVE, 100, 40);
        EXPECT_TRUE(Mouse(WM_LBUTTONUP, 100, 40));
        EXPECT_EQ(0, page_.Count(kNotifyClicked));
        EXPECT_EQ(nullptr, ui_.capture);
        EXPECT_FALSE(b->pressed);

        Mouse(WM_LBUTTONDOWN, 15, 15);
        Mouse(WM_MOUSEMOVE, 100, 40);
        Mouse(WM_MOUSEMOVE, 16, 16);
        Mouse(WM_LBUTTONUP, 16, 16);
        EXPECT_EQ(1, page_.Count(kNotifyClicked));
        EXPECT_TRUE(b->notified);
        // Losing the capture to our own window is no loss; to another it is.
        EXPECT_EQ(kSecondWindow, page_.CaptureWindow());

        // A button that is no tab stop never has the focus, yet its release
        // off the button still ends the press.
        b->tabStop = false;
        Mouse(WM_LBUTTONDOWN, 15, 15);
        EXPECT_TRUE(b->pressed);
        EXPECT_TRUE(Mouse(WM_LBUTTONUP, 100, 40));
        EXPECT_FALSE(b->pressed);
        EXPECT_EQ(nullptr, ui_.capture);
        EXPECT_EQ(1, page_.Count(kNotifyClicked));
    }

    TEST_F(SimpleControlsTest, ButtonFrameFollowsState)
    {
        CSButton* b = AddButton();
        EXPECT_EQ(0, PaintedFrame(b));
        b->hovered = true;
        EXPECT_EQ(2, PaintedFrame(b));
        b->pressed = true;
        EXPECT_EQ(1, PaintedFrame(b));
        b->SetEnabled(false);
        EXPECT_EQ(3, PaintedFrame(b));
        // Focused without hover: state 5 lies past a 4-frame strip, so frame 0.
        b->SetEnabled(true);
        b->hovered = false;
        b->focused = true;
        EXPECT_EQ(kStateFocused, b->State());
        EXPECT_EQ(0, PaintedFrame(b));
        // A single-frame strip draws frame 0 in every state.
        b->layers[0].frameWidth = 80;
        b->SetEnabled(false);
        EXPECT_EQ(0, PaintedFrame(b));
    }

    TEST_F(SimpleControlsTest, ButtonAlphaHitTest)
    {
        CSButton* b = AddButton();
        auto faint = MakeStrip(1, 20, 10, 50);
        // Left half alpha 50, right half 51; the button is wider than the picture.
        for (int y = 0; y < 10; ++y)
            for (int x = 10; x < 20; ++x)
                faint->Pixel(x, y)[3] = 51;
        b->layers[0].image = faint.get();
        b->layers[0].frameWidth = 20;
        Place(b, 10, 10, 30, 10);
        EXPECT_TRUE(b->HitTest(12, 12)); // without alphaHitTest every point of rect hits
        b->alphaHitTest = true;
        EXPECT_FALSE(b->HitTest(12, 12));
        EXPECT_TRUE(b->HitTest(22, 12));
        // Beyond the picture there is no pixel to read: a miss.
        EXPECT_FALSE(b->HitTest(35, 12));
        EXPECT_FALSE(Mouse(WM_LBUTTONDOWN, 12, 12));
        EXPECT_FALSE(b->pressed);
    }

    TEST_F(SimpleControlsTest, HidingOrDisablingAPressedButtonEndsThePress)
    {
        CSButton* b = AddButton();
        for (bool hide : { true, false }) {
            Mouse(WM_LBUTTONDOWN, 15, 15);
            ASSERT_TRUE(b->pressed);
            ASSERT_EQ(kSecondWindow, ui_.capture);
            if (hide)
                b->SetVisible(false);
            else
                b->SetEnabled(false);
            EXPECT_FALSE(b->pressed);
            EXPECT_EQ(nullptr, ui_.capture);
            b->SetVisible(true);
            b->SetEnabled(true);
            // The release that follows is no click.
            Mouse(WM_LBUTTONUP, 15, 15);
            EXPECT_EQ(0, page_.Count(kNotifyClicked));
        }
        // A capture some other window holds is left alone.
        ui_.capture = kMainWindow;
        b->pressed = true;
        b->SetVisible(false);
        EXPECT_EQ(kMainWindow, ui_.capture);
    }

    // A message box (another window) taking the capture ends the press: a
    // later release over the button is no click.
    TEST_F(SimpleControlsTest, CaptureTakenByAnotherWindowEndsThePress)
    {
        CSButton* b = AddButton();
        Mouse(WM_LBUTTONDOWN, 15, 15);
        page_.HandleMessage(kSecondWindow, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(kSecondWindow));
        EXPECT_TRUE(b->pressed);
        page_.HandleMessage(kSecondWindow, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(kMainWindow));
        EXPECT_FALSE(b->pressed);
        Mouse(WM_LBUTTONUP, 15, 15);
        EXPECT_EQ(0, page_.Count(kNotifyClicked));
    }

    TEST_F(SimpleControlsTest, ButtonKeysAndHotKey)
    {
        CSButton* b = AddButton();
        EXPECT_TRUE(b->OnKey(WM_KEYUP, VK_RETURN, 0)); // a release without a press
        EXPECT_EQ(0, page_.Count(kNotifyClicked));
        EXPECT_TRUE(b->OnKey(WM_KEYDOWN, VK_SPACE, 0));
        EXPECT_TRUE(b->OnKey(WM_KEYUP, VK_SPACE, 0));
        EXPECT_EQ(1, page_.Count(kNotifyClicked));
        EXPECT_FALSE(b->OnKey(WM_KEYDOWN, 'A', 0));
        b->hotKey = 'I';
        EXPECT_TRUE(page_.HandleMessage(kSecondWindow, WM_KEYDOWN, 'I', 0));
        EXPECT_EQ(2, page_.Count(kNotifyClicked));
    }

    TEST_F(SimpleControlsTest, TooltipShownThroughTheOwnerAndSkippedWithoutOne)
    {
        CSButton* b = AddButton();
        b->tipText = "#ctip";
        b->notifyOnHover = true;
        ui_.cursor = UiPoint { 15, 15 };
        b->OnMouseEnter(); // no tooltip on this page: nothing to show
        EXPECT_TRUE(b->hovered);
        EXPECT_EQ(1, page_.Count(kNotifyClicked));
        b->OnMouseLeave();

        auto* tip = new CSStatic();
        ASSERT_EQ(0, page_.AddControl(tip));
        tip->SetVisible(false);
        page_.tooltip = tip;
        static std::string shownText;
        SetTooltipTextSetter([](CSControl*, const char* markup) { shownText = markup; });
        b->OnMouseEnter();
        EXPECT_EQ("#ctip", shownText);
        EXPECT_TRUE(tip->visible);
        EXPECT_EQ(23, tip->rect.left);
        EXPECT_EQ(33, tip->rect.top);
        b->OnMouseLeave();
        EXPECT_FALSE(tip->visible);
    }

    TEST_F(SimpleControlsTest, StaticCaptionIsCutAtACharacterBoundary)
    {
        CSStatic s;
        std::string text(254, 'a');
        text += "\xD6\xD0"; // 中: its second byte would be the 256th
        s.SetCaption(text.c_str());
        EXPECT_EQ(254u, std::strlen(s.caption));
        text.assign(300, 'b');
        s.SetCaption(text.c_str());
        EXPECT_EQ(255u, std::strlen(s.caption));
        s.SetCaption(nullptr);
        EXPECT_EQ('\0', s.caption[0]);
        EXPECT_FALSE(s.HitTest(0, 0));
    }

    TEST_F(SimpleControlsTest, CheckBoxCaptionClickToggles)
    {
        auto* c = new CSCheckBox();
        ASSERT_EQ(0, page_.AddControl(c));
        c->layers.resize(1);
        auto box = MakeStrip(2, 12, 12);
        c->layers[0].image = box.get();
        c->layers[0].frameWidth = 12;
        c->SetCaption("accept");
        Place(c, 10, 10, 100, 20);
        EXPECT_EQ(22, c->boxRect.right);
        EXPECT_EQ(22, c->rect.bottom); // the picture's height
        EXPECT_EQ(25, c->textRect.left); // 12 * 1.25 after the box

        // A click on the caption, well right of the box.
        EXPECT_TRUE(Mouse(WM_LBUTTONDOWN, 60, 15));
        EXPECT_EQ(kSecondWindow, ui_.capture);
        EXPECT_TRUE(Mouse(WM_LBUTTONUP, 60, 15));
        EXPECT_TRUE(c->isChecked);
        EXPECT_EQ(1, page_.Count(kNotifyCheckChanged));
        EXPECT_EQ(c, focusControl); // the box keeps the focus
        EXPECT_EQ(1, PaintedFrame(c));
        // A release off the box does not toggle.
        Mouse(WM_LBUTTONDOWN, 15, 15);
        Mouse(WM_LBUTTONUP, 150, 50);
        EXPECT_TRUE(c->isChecked);
        EXPECT_EQ(1, page_.Count(kNotifyCheckChanged));
    }

    TEST_F(SimpleControlsTest, CheckBoxSetByTheProgramIsSilentUnlessAllChangesReported)
    {
        auto* c = new CSCheckBox();
        ASSERT_EQ(0, page_.AddControl(c));
        c->SetChecked(true, false);
        EXPECT_TRUE(c->isChecked);
        EXPECT_TRUE(page_.notices.empty());
        EXPECT_FALSE(c->notified);
        c->SetChecked(false, true);
        EXPECT_EQ(1, page_.Count(kNotifyCheckChanged));
        page_.reportAllChanges = true;
        c->SetChecked(true, false);
        EXPECT_EQ(2, page_.Count(kNotifyCheckChanged));
    }

    TEST_F(SimpleControlsTest, ProgressBarFillsItsShareAndClampsPercent)
    {
        auto image = MakeStrip(1, 40, 10);
        CSProgressBar bar;
        bar.image = image.get();
        Place(&bar, 0, 0, 100, 10); // wider than its picture
        auto drawn = [&](int percent, bool fromLeft) {
            bar.percent = percent;
            bar.growFromLeft = fromLeft;
            std::memset(canvas_.bits, 0, static_cast<size_t>(canvas_.stride) * canvas_.Height());
            bar.Paint(&canvas_, 0, 0);
            int n = 0;
            for (int x = 0; x < 200; ++x)
                n += FrameAt(canvas_, x, 5) == 0;
            return n;
        };
        EXPECT_EQ(0, drawn(0, true));
        EXPECT_EQ(0, drawn(-20, true));
        EXPECT_EQ(30, drawn(30, true));
        // Never more than the picture holds, never past the bar.
        EXPECT_EQ(40, drawn(100, true));
        EXPECT_EQ(40, drawn(250, true));
        EXPECT_EQ(100, bar.FilledWidth());
        // Growing from the right draws the right end of the picture's part.
        Place(&bar, 0, 0, 40, 10);
        EXPECT_EQ(10, drawn(25, false));
        EXPECT_EQ(0, FrameAt(canvas_, 35, 5));
        EXPECT_EQ(-1, FrameAt(canvas_, 25, 5));
    }

    TEST_F(SimpleControlsTest, AnimationAdvancesEverySpeedRepaintsAndHoldsWhileHidden)
    {
        auto strip = MakeStrip(3, 10, 10);
        CSAnimate a;
        a.SetAnimationImage(strip.get(), 3);
        EXPECT_EQ(10, a.width);
        EXPECT_EQ(10, a.height);
        a.UpdateRect();
        a.speed = 1;
        EXPECT_EQ(0, PaintedFrame(&a));
        EXPECT_EQ(1, PaintedFrame(&a));
        EXPECT_EQ(2, PaintedFrame(&a));
        EXPECT_EQ(0, PaintedFrame(&a));
        a.speed = 3;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(1, PaintedFrame(&a));
        a.SetVisible(false);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(-1, PaintedFrame(&a));
        a.SetVisible(true);
        EXPECT_EQ(2, a.currentFrame);
        EXPECT_EQ(2, PaintedFrame(&a));

        // One frame: always frame 0. No frames: the picture is set, nothing divided.
        a.SetAnimationImage(strip.get(), 1);
        a.speed = 1;
        EXPECT_EQ(0, PaintedFrame(&a));
        EXPECT_EQ(0, PaintedFrame(&a));
        a.SetAnimationImage(strip.get(), 0);
        EXPECT_EQ(0, PaintedFrame(&a));
    }

    TEST_F(SimpleControlsTest, ClickableStaticClicksAndBubbleHides)
    {
        auto* link = new CSClickableStatic();
        ASSERT_EQ(0, page_.AddControl(link));
        Place(link, 10, 10, 40, 12);
        Mouse(WM_LBUTTONDOWN, 20, 15);
        EXPECT_TRUE(link->pressed);
        link->SetVisible(false);
        EXPECT_FALSE(link->pressed);
        EXPECT_EQ(nullptr, ui_.capture);
        link->SetVisible(true);
        Mouse(WM_LBUTTONDOWN, 20, 15);
        Mouse(WM_LBUTTONUP, 20, 15);
        EXPECT_EQ(1, page_.Count(kNotifyClicked));

        auto* bubble = new CSBubble();
        ASSERT_EQ(0, page_.AddControl(bubble));
        Place(bubble, 100, 10, 20, 20);
        bubble->SetEnabled(false);
        Mouse(WM_LBUTTONDOWN, 105, 15);
        EXPECT_TRUE(bubble->visible);
        bubble->SetEnabled(true);
        Mouse(WM_LBUTTONDOWN, 105, 15);
        EXPECT_FALSE(bubble->visible);
    }

} // namespace
} // namespace zdl
