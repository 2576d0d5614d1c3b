// The desktop of a top-level window and its page panels: attachment order,
// message order, paint order, removal, child panels and panel dragging.
#include "ProbeControl.h"
#include "skin/UIDesktopWnd.h"

#include <gtest/gtest.h>

namespace zdl {
namespace {

    using test::ProbeControl;

    struct Page : CSBitmapDialog {
        Page(std::vector<std::string>* log, const char* name, uint32_t color)
            : log_(log)
            , name_(name)
        {
            color_ = color;
        }
        ~Page() override { log_->push_back(name_ + ":deleted"); }
        bool OnInit() override
        {
            log_->push_back(name_ + ":init styles=" + std::to_string(styles.size()));
            auto* p = new ProbeControl(log_, name_.c_str());
            p->paintColor = color_;
            p->takeMouse = true;
            AddControl(p);
            p->Place(0, 0, 10, 10);
            controlIds["probe"] = 7;
            p->id = 7;
            probe = p;
            return false; // ignored by the desktop
        }
        void OnAttached() override { log_->push_back(name_ + ":attached"); }
        void AfterPresent() override { log_->push_back(name_ + ":after"); }
        bool CanClose() override { return canClose; }
        std::vector<std::string>* log_;
        std::string name_;
        uint32_t color_;
        ProbeControl* probe = nullptr;
        bool canClose = true;
    };

    class DesktopTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            focusControl = nullptr;
            previous_ = SetUiPlatform(&platform_);
        }
        void TearDown() override
        {
            SetUiPlatform(previous_);
            focusControl = nullptr;
        }
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::vector<std::string> log_;
    };

    TEST_F(DesktopTest, AttachFillsStylesThenInitThenAttached)
    {
        CSUIDesktopWnd desktop;
        auto* page = new Page(&log_, "p", 0);
        desktop.AttachPanel(page);
        ASSERT_EQ(1u, desktop.panels.size());
        EXPECT_EQ(&desktop, page->desktop);
        EXPECT_EQ((std::vector<std::string> { "p:init styles=17", "p:attached" }), log_);
        EXPECT_EQ(page->probe, page->FindControlByName("probe", kTypeButton));
        EXPECT_EQ(nullptr, page->FindControlByName("probe", kTypeStatic));
        EXPECT_EQ(nullptr, page->FindControlByName("missing", kTypeButton));
    }

    TEST_F(DesktopTest, LastPanelHearsFirstAndPaintsOnTop)
    {
        CSUIDesktopWnd desktop;
        auto* lower = new Page(&log_, "lower", 0x0000FF);
        auto* upper = new Page(&log_, "upper", 0x00FF00);
        desktop.AttachPanel(lower);
        desktop.AttachPanel(upper);
        log_.clear();

        platform_.cursor = UiPoint { 5, 5 };
        EXPECT_TRUE(desktop.HandleMessage(nullptr, WM_LBUTTONDOWN, 0, 0));
        EXPECT_EQ(1, upper->probe->mouseCalls);
        EXPECT_EQ(0, lower->probe->mouseCalls);

        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 16, 16));
        log_.clear();
        desktop.Paint(&canvas, 0, 0);
        EXPECT_EQ((std::vector<std::string> { "lower:paint", "upper:paint" }), log_);
        EXPECT_EQ(0xFF, canvas.Pixel(3, 3)[1]);
        EXPECT_EQ(0x00, canvas.Pixel(3, 3)[2]);

        log_.clear();
        desktop.AfterPresent();
        EXPECT_EQ((std::vector<std::string> { "lower:after", "upper:after" }), log_);

        upper->canClose = false;
        EXPECT_FALSE(desktop.CanClose());
    }

    TEST_F(DesktopTest, RemovePanelDeletesOnlyPanelsItHolds)
    {
        CSUIDesktopWnd desktop;
        auto* a = new Page(&log_, "a", 0);
        auto* b = new Page(&log_, "b", 0);
        desktop.AttachPanel(a);
        desktop.AttachPanel(b);
        log_.clear();
        desktop.RemovePanel(a);
        EXPECT_EQ((std::vector<std::string> { "a:deleted" }), log_);
        ASSERT_EQ(1u, desktop.panels.size());
        desktop.RemovePanel(a); // no longer held: nothing happens
        EXPECT_EQ(1u, log_.size());
    }

    TEST_F(DesktopTest, ChildPanelIsRemovedWithItsParentWhateverTheOrder)
    {
        for (bool childFirst : { false, true }) {
            SCOPED_TRACE(childFirst ? "child attached first" : "parent attached first");
            log_.clear();
            {
                CSUIDesktopWnd desktop;
                auto* parent = new Page(&log_, "parent", 0);
                auto* child = new Page(&log_, "child", 0);
                if (childFirst) {
                    desktop.AttachPanel(child);
                    desktop.AttachPanel(parent);
                } else {
                    desktop.AttachPanel(parent);
                    desktop.AttachPanel(child);
                }
                parent->childPanel = child;
                parent->hasChildPanel = true;
            }
            int deletedChild = 0, deletedParent = 0;
            for (const auto& line : log_) {
                deletedChild += line == "child:deleted";
                deletedParent += line == "parent:deleted";
            }
            EXPECT_EQ(1, deletedChild);
            EXPECT_EQ(1, deletedParent);
        }
        // Removing the parent takes the child with it.
        log_.clear();
        CSUIDesktopWnd desktop;
        auto* parent = new Page(&log_, "parent", 0);
        auto* child = new Page(&log_, "child", 0);
        desktop.AttachPanel(parent);
        desktop.AttachPanel(child);
        parent->childPanel = child;
        desktop.RemovePanel(parent);
        EXPECT_TRUE(desktop.panels.empty());
    }

    TEST_F(DesktopTest, MovablePanelDragsWithCapture)
    {
        NativeWindow main = reinterpret_cast<NativeWindow>(0x99);
        SetSkinMainWindow(main);
        CSBitmapDialog panel;
        panel.x = 10;
        panel.y = 20;
        panel.width = 100;
        panel.height = 50;
        EXPECT_FALSE(panel.OnMouseDown(15, 25)); // not movable
        EXPECT_FALSE(panel.OnMouseUp(15, 25));
        panel.movable = true;
        EXPECT_FALSE(panel.OnMouseDown(5, 25)); // outside
        EXPECT_TRUE(panel.OnMouseDown(15, 25));
        EXPECT_EQ(main, platform_.capture);
        EXPECT_FALSE(panel.OnMouseDown(16, 26)); // a drag is running
        EXPECT_TRUE(panel.OnMouseMove(115, 125));
        EXPECT_EQ(110, panel.x);
        EXPECT_EQ(120, panel.y);
        EXPECT_TRUE(panel.OnMouseUp(115, 125));
        EXPECT_EQ(nullptr, platform_.capture);
        EXPECT_FALSE(panel.dragging);
        EXPECT_TRUE(panel.OnMouseUp(115, 125)); // inside, no drag
        EXPECT_FALSE(panel.OnMouseUp(0, 0));
        panel.OnMouseDown(115, 125);
        panel.OnCaptureLost();
        EXPECT_FALSE(panel.dragging);
        SetSkinMainWindow(nullptr);
    }

    // A panel of a second top-level window (the licence window) drags with that
    // window's capture, and only a capture taken by another window ends it.
    TEST_F(DesktopTest, PanelOfASecondWindowCapturesItsOwnWindow)
    {
        NativeWindow main = reinterpret_cast<NativeWindow>(0x99);
        NativeWindow second = reinterpret_cast<NativeWindow>(0x77);
        SetSkinMainWindow(main);
        CSBitmapDialog panel;
        panel.width = 100;
        panel.height = 50;
        panel.movable = true;
        platform_.cursor = UiPoint { 15, 25 };
        EXPECT_TRUE(panel.HandleMessage(second, WM_LBUTTONDOWN, 0, 0));
        EXPECT_EQ(second, platform_.capture);
        panel.HandleMessage(second, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(second));
        EXPECT_TRUE(panel.dragging);
        panel.HandleMessage(second, WM_CAPTURECHANGED, 0, reinterpret_cast<LParam>(main));
        EXPECT_FALSE(panel.dragging);
        SetSkinMainWindow(nullptr);
    }

    TEST_F(DesktopTest, PanelHoverIsRelativeToThePanel)
    {
        CSBitmapDialog panel;
        panel.x = 100;
        panel.y = 100;
        auto* p = new ProbeControl(&log_, "p");
        ASSERT_EQ(0, panel.AddControl(p));
        p->Place(0, 0, 10, 10);
        EXPECT_FALSE(panel.OnMouseMove(105, 105));
        EXPECT_TRUE(p->hovered);
        EXPECT_FALSE(panel.OnMouseMove(5, 5));
        EXPECT_FALSE(p->hovered);
    }

} // namespace
} // namespace zdl
