// Message routing of a container: mouse messages by the cursor position the
// platform reports, keys to the focus control and hot keys, activation of
// the application, hover tracking.
#include "ProbeControl.h"
#include "skin/ControlContainer.h"

#include <gtest/gtest.h>

namespace zdl {
namespace {

    using test::ProbeControl;

    class RoutingTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            focusControl = nullptr;
            previous_ = SetUiPlatform(&platform_);
            c_.x = 100;
            c_.y = 50;
        }
        void TearDown() override
        {
            SetUiPlatform(previous_);
            focusControl = nullptr;
        }
        ProbeControl* Add(const char* name, int px, int py, int w, int h)
        {
            auto* p = new ProbeControl(&log_, name);
            EXPECT_EQ(0, c_.AddControl(p));
            p->Place(px, py, w, h);
            return p;
        }
        bool Mouse(unsigned msg, int wx, int wy)
        {
            platform_.cursor = UiPoint { wx, wy };
            return c_.HandleMessage(nullptr, msg, 0, MakeLParam(wx, wy));
        }
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::vector<std::string> log_;
        CSControlContainer c_;
    };

    TEST_F(RoutingTest, OverlappingControlsClickGoesToTheEarlier)
    {
        auto* early = Add("early", 0, 0, 20, 20);
        auto* late = Add("late", 10, 10, 20, 20);
        EXPECT_TRUE(Mouse(WM_LBUTTONDOWN, 115, 65)); // (15, 15) in the container
        EXPECT_EQ(1, early->mouseCalls);
        EXPECT_EQ(0, late->mouseCalls);
        EXPECT_EQ(15, early->lastMouseX);
        EXPECT_EQ(15, early->lastMouseY);
        EXPECT_TRUE(Mouse(WM_LBUTTONDOWN, 125, 75));
        EXPECT_EQ(1, late->mouseCalls);
    }

    TEST_F(RoutingTest, HiddenAndDisabledControlsAreNeverHit)
    {
        auto* hidden = Add("hidden", 0, 0, 20, 20);
        auto* disabled = Add("disabled", 0, 0, 20, 20);
        hidden->SetVisible(false);
        disabled->SetEnabled(false);
        EXPECT_EQ(nullptr, c_.HitTestControls(5, 5));
        EXPECT_FALSE(Mouse(WM_LBUTTONDOWN, 105, 55));
        EXPECT_EQ(0, hidden->mouseCalls + disabled->mouseCalls);
        c_.OnMouseMove(105, 55); // the desktop's hover uses window coordinates
        EXPECT_FALSE(hidden->hovered);
        EXPECT_FALSE(disabled->hovered);
        EXPECT_EQ(nullptr, c_.hoverControl);
        // Right and bottom edges are outside.
        disabled->SetEnabled(true);
        EXPECT_EQ(disabled, c_.HitTestControls(19, 19));
        EXPECT_EQ(nullptr, c_.HitTestControls(20, 5));
        EXPECT_EQ(nullptr, c_.HitTestControls(5, 20));
    }

    TEST_F(RoutingTest, ClickOnAnEmptySpotDropsTheFocus)
    {
        auto* a = Add("a", 0, 0, 20, 20);
        a->focusable = true;
        a->takeMouse = false; // the focus control declines the click
        c_.RequestFocus(a);
        EXPECT_FALSE(Mouse(WM_LBUTTONDOWN, 190, 90));
        EXPECT_EQ(nullptr, focusControl);
        EXPECT_FALSE(a->focused);
        // Other buttons leave it alone.
        c_.RequestFocus(a);
        EXPECT_FALSE(Mouse(WM_RBUTTONDOWN, 190, 90));
        EXPECT_EQ(a, focusControl);
    }

    TEST_F(RoutingTest, FocusControlHearsTheMouseFirst)
    {
        auto* under = Add("under", 0, 0, 20, 20);
        auto* focus = Add("focus", 50, 0, 20, 20);
        focus->focusable = true;
        c_.RequestFocus(focus);
        EXPECT_TRUE(Mouse(WM_MOUSEMOVE, 105, 55));
        EXPECT_EQ(1, focus->mouseCalls);
        EXPECT_EQ(0, under->mouseCalls);
        // A disabled focus control is passed over.
        focus->SetEnabled(false);
        EXPECT_TRUE(Mouse(WM_MOUSEMOVE, 105, 55));
        EXPECT_EQ(1, under->mouseCalls);
    }

    TEST_F(RoutingTest, MouseIgnoredWhenDisabledOrInactive)
    {
        auto* a = Add("a", 0, 0, 20, 20);
        c_.mouseEnabled = false;
        EXPECT_FALSE(Mouse(WM_LBUTTONDOWN, 105, 55));
        c_.mouseEnabled = true;
        c_.active = false;
        EXPECT_FALSE(Mouse(WM_LBUTTONDOWN, 105, 55));
        EXPECT_EQ(0, a->mouseCalls);
    }

    TEST_F(RoutingTest, ContainerGetsWindowCoordinatesWhenNoControlTakesIt)
    {
        struct Recorder : CSControlContainer {
            int downX = -1, downY = -1, ups = 0;
            bool OnMouseDown(int px, int py) override
            {
                downX = px;
                downY = py;
                return true;
            }
            bool OnMouseUp(int, int) override
            {
                ++ups;
                return false;
            }
        } r;
        r.x = 30;
        r.y = 40;
        platform_.cursor = UiPoint { 33, 47 };
        EXPECT_TRUE(r.HandleMessage(nullptr, WM_LBUTTONDBLCLK, 0, 0));
        EXPECT_EQ(33, r.downX);
        EXPECT_EQ(47, r.downY);
        EXPECT_FALSE(r.HandleMessage(nullptr, WM_LBUTTONUP, 0, 0));
        EXPECT_EQ(1, r.ups);
        EXPECT_FALSE(r.HandleMessage(nullptr, WM_MOUSEWHEEL, 0, 0));
    }

    TEST_F(RoutingTest, HoverEntersAndLeaves)
    {
        // The base hover tracking works on window coordinates, as the desktop
        // (at the window's origin) uses it.
        c_.x = c_.y = 0;
        auto* a = Add("a", 0, 0, 20, 20);
        auto* b = Add("b", 30, 0, 20, 20);
        a->takeMouse = b->takeMouse = false;
        Mouse(WM_MOUSEMOVE, 5, 5);
        EXPECT_TRUE(a->hovered);
        Mouse(WM_MOUSEMOVE, 35, 5);
        EXPECT_FALSE(a->hovered);
        EXPECT_TRUE(b->hovered);
        EXPECT_EQ(b, c_.hoverControl);
        // Moving or sizing the window drops the hover.
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_SIZE, 0, 0));
        EXPECT_FALSE(b->hovered);
        EXPECT_EQ(nullptr, c_.hoverControl);
    }

    TEST_F(RoutingTest, ActivationKeepsTheFocusControl)
    {
        auto* a = Add("a", 0, 0, 20, 20);
        a->focusable = true;
        c_.RequestFocus(a);
        log_.clear();
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_ACTIVATEAPP, 0, 0));
        EXPECT_EQ(a, focusControl);
        EXPECT_FALSE(a->focused);
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_ACTIVATEAPP, 1, 0));
        EXPECT_EQ(a, focusControl);
        EXPECT_TRUE(a->focused);
        EXPECT_EQ((std::vector<std::string> { "a:killfocus", "a:setfocus" }), log_);
    }

    TEST_F(RoutingTest, HotKeysActivateTheFirstMatchUnlessAnEditBoxHasFocus)
    {
        auto* a = Add("a", 0, 0, 5, 5);
        auto* b = Add("b", 0, 0, 5, 5);
        a->hotKey = 'I';
        b->hotKey = 'I';
        EXPECT_TRUE(c_.HandleMessage(nullptr, WM_KEYDOWN, 'I', 0));
        EXPECT_EQ(1, a->activations);
        EXPECT_EQ(0, b->activations);
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_KEYUP, 'I', 0));
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_KEYDOWN, 'J', 0));
        // A zero key code never matches a control without a hot key.
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_KEYDOWN, 0, 0));

        auto* edit = new ProbeControl(&log_, "edit", kTypeEditBox);
        ASSERT_EQ(0, c_.AddControl(edit));
        edit->focusable = true;
        c_.RequestFocus(edit);
        EXPECT_FALSE(c_.HandleMessage(nullptr, WM_KEYDOWN, 'I', 0));
        EXPECT_EQ(1, a->activations);
        // The focus control sees keys first.
        edit->takeKeys = true;
        EXPECT_TRUE(c_.HandleMessage(nullptr, WM_KEYDOWN, 'X', 0));
    }

    TEST_F(RoutingTest, CaptureLostOnlyToAnotherWindow)
    {
        struct Recorder : CSControlContainer {
            int lost = 0;
            void OnCaptureLost() override { ++lost; }
        } r;
        NativeWindow main = reinterpret_cast<NativeWindow>(0x1234);
        SetSkinMainWindow(main);
        r.HandleMessage(nullptr, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(main));
        EXPECT_EQ(0, r.lost);
        r.HandleMessage(nullptr, WM_CAPTURECHANGED, 0, 0);
        EXPECT_EQ(1, r.lost);
        SetSkinMainWindow(nullptr);
    }

} // namespace
} // namespace zdl
