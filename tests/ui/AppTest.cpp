// The application object and the top-level windows, run on the simulated
// window system: start-up, window placement and style,
// frame pacing, dragging, closing, and the licence window.
#include "ProbeControl.h"
#include "app/SampleApp.h"
#include "gfx/ImageCache.h"
#include "platform/UiQueue.h"
#include "skin/LayoutLua.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zdl {
namespace {

    class AppTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            previous_ = SetUiPlatform(&platform_);
            app_ = std::make_unique<CSampleApp>();
        }
        void TearDown() override
        {
            if (app_->mainWin.handle())
                WsDestroyWindow(app_->mainWin.handle());
            app_.reset();
            SetUiPlatform(previous_);
            focusControl = nullptr;
        }
        // Drains queued messages; true if WM_QUIT came with |code|.
        bool QuitPosted(int* code)
        {
            NativeMessage m;
            while (WsMessageWaiting()) {
                if (WsGetMessage(&m) == 0) {
                    *code = static_cast<int>(m.wParam);
                    return true;
                }
            }
            return false;
        }
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::unique_ptr<CSampleApp> app_;
    };

    TEST_F(AppTest, StartUpCreatesTheCentredLayeredMainWindow)
    {
        EXPECT_EQ(app_.get(), CSWinApp::current());
        app_->commandLine = "zdl.exe --vxp_setup  abc";
        ASSERT_TRUE(app_->InitInstance());
        EXPECT_EQ("abc", app_->setupArgument);
        EXPECT_NE(nullptr, layoutLuaState);
        CMainWin& w = app_->mainWin;
        EXPECT_EQ(&w, app_->mainWindow);
        ASSERT_NE(nullptr, w.handle());
        EXPECT_TRUE(WsClassRegistered(SkinInstance(), "MyMainWindow"));
        // The simulated screen is 1024 x 768 and windows have no frame.
        EXPECT_EQ((1024 - 868) / 2, w.left);
        EXPECT_EQ((768 - 513) / 2, w.top);
        uint32_t ex = WsGetExStyle(w.handle());
        EXPECT_EQ(static_cast<uint32_t>(WS_EX_WINDOWEDGE | WS_EX_LAYERED | WS_EX_STATICEDGE | WS_EX_CONTROLPARENT), ex);
        EXPECT_EQ(868, w.canvas.Width());
        EXPECT_EQ(513, w.canvas.Height());
        EXPECT_EQ(3472, w.canvas.stride);
        EXPECT_EQ(32, w.canvas.BitsPerPixel());
        EXPECT_EQ(GetImage("bg.png"), w.background);
        ASSERT_EQ(1u, w.desktop.panels.size());
        EXPECT_EQ(&w.desktop, w.desktop.panels[0]->desktop);
        EXPECT_EQ(17u, w.desktop.panels[0]->styles.size());
    }

    TEST_F(AppTest, NarrowScreenStillCentresTheWindow)
    {
        WsSimulateScreenSize(640, 480);
        bool created = app_->InitInstance();
        WsSimulateScreenSize(1024, 768);
        ASSERT_TRUE(created);
        EXPECT_EQ(-114, app_->mainWin.left); // (640 - 868) / 2
        EXPECT_EQ(-16, app_->mainWin.top); // (480 - 513) / 2, rounded toward zero
        WindowRect r;
        ASSERT_TRUE(WsGetWindowRect(app_->mainWin.handle(), &r));
        EXPECT_EQ(-114, r.left);
        EXPECT_EQ(868, r.right - r.left);
    }

    TEST_F(AppTest, CanvasFailureIsReported)
    {
        app_->mainWin.clientWidth = kMaxDibDimension + 1;
        const char* text = nullptr;
        int before = WsSimulatedMessageBoxes(&text);
        EXPECT_FALSE(app_->InitInstance());
        EXPECT_EQ(nullptr, app_->mainWindow);
        EXPECT_EQ(nullptr, layoutLuaState);
        EXPECT_EQ(before + 1, WsSimulatedMessageBoxes(&text));
        EXPECT_STREQ(kCanvasFailedText, text);
        EXPECT_STREQ("\xB4\xB4\xBD\xA8\xBB\xAD\xB2\xBC\xB3\xF6\xB4\xED\xA1\xA3", text);
    }

    TEST_F(AppTest, FramesArePacedAt40MillisecondsAndAnUnchangedFrameIsNotPushedAgain)
    {
        ASSERT_TRUE(app_->InitInstance());
        ASSERT_TRUE(app_->mainWin.background) << "the shipped skin has no bg.png";
        NativeWindow h = app_->mainWin.handle();
        const int& frames = app_->mainWin.renderedFrames;
        platform_.ticks = 1000;
        EXPECT_TRUE(app_->OnIdle(0)); // starts the clock
        EXPECT_EQ(0, frames);
        platform_.ticks = 1039;
        EXPECT_TRUE(app_->OnIdle(1));
        EXPECT_EQ(0, frames);
        platform_.ticks = 1040;
        EXPECT_TRUE(app_->OnIdle(2));
        EXPECT_EQ(1, frames);
        EXPECT_EQ(1, WsSimulatedStats(h).presentedFrames);
        EXPECT_EQ(app_->mainWin.left, WsSimulatedStats(h).lastX);
        platform_.ticks = 1079;
        app_->OnIdle(3);
        EXPECT_EQ(1, frames);
        // The tick count wraps like GetTickCount.
        platform_.ticks = 0xFFFFFFF0u;
        app_->OnIdle(4);
        EXPECT_EQ(2, frames);
        platform_.ticks = 0x30;
        app_->OnIdle(5);
        EXPECT_EQ(3, frames);
        // Nothing changed on the page: the layered window keeps the first frame.
        EXPECT_EQ(1, WsSimulatedStats(h).presentedFrames);
    }

    // After the first frame only the changed part is premultiplied and handed
    // over: a part too small leaves old pixels on the screen, premultiplying the
    // wrong pixels darkens them.
    TEST_F(AppTest, AFrameChangedInPartPresentsOnlyThatPart)
    {
        ASSERT_TRUE(app_->InitInstance());
        CMainWin& w = app_->mainWin;
        ASSERT_FALSE(w.desktop.panels.empty());
        CSControl* head = nullptr;
        for (CSControl* c : w.desktop.panels[0]->controls) {
            if (c->typeCode == kTypeAnimate) {
                c->SetVisible(false);
                head = c;
            }
        }
        ASSERT_NE(nullptr, head);
        NativeWindow h = w.handle();
        w.OnIdle(0);
        ASSERT_EQ(1, WsSimulatedStats(h).presentedFrames);
        EXPECT_EQ(868, WsSimulatedStats(h).lastDirty.right);
        EXPECT_EQ(513, WsSimulatedStats(h).lastDirty.bottom);
        DibImage first; // premultiplied in whole
        ASSERT_TRUE(CreateDib(&first, 32, 868, 513));
        CopyDib(w.canvas, &first);

        head->SetVisible(true);
        w.OnIdle(0);
        ASSERT_EQ(2, WsSimulatedStats(h).presentedFrames);
        const WindowRect part = WsSimulatedStats(h).lastDirty;
        EXPECT_LT(part.left, part.right);
        EXPECT_LT(part.top, part.bottom);
        EXPECT_GE(part.left, head->rect.left);
        EXPECT_GE(part.top, head->rect.top);
        EXPECT_LE(part.right, head->rect.right);
        EXPECT_LE(part.bottom, head->rect.bottom);

        // Hidden again: the same part goes back to the first frame's pixels.
        head->SetVisible(false);
        w.OnIdle(0);
        ASSERT_EQ(3, WsSimulatedStats(h).presentedFrames);
        const WindowRect back = WsSimulatedStats(h).lastDirty;
        EXPECT_EQ(part.left, back.left);
        EXPECT_EQ(part.top, back.top);
        EXPECT_EQ(part.right, back.right);
        EXPECT_EQ(part.bottom, back.bottom);
        for (int y = back.top; y < back.bottom; ++y) {
            ASSERT_EQ(0,
                std::memcmp(first.Pixel(back.left, y), w.canvas.Pixel(back.left, y),
                    static_cast<size_t>(back.right - back.left) * 4))
                << "row " << y;
        }
        w.OnIdle(0); // unchanged
        EXPECT_EQ(3, WsSimulatedStats(h).presentedFrames);
    }

    // An unchanged screen slows frames to one per 500 ms; posted work (the poll
    // thread's display changes) brings the full rate back at once, so a percent
    // shown by the poll thread is never half a second late.
    TEST_F(AppTest, AnUnchangedScreenSlowsFramesUntilWorkIsPosted)
    {
        ASSERT_TRUE(app_->InitInstance());
        // The page's progress head animates (a new picture every third frame)
        // and so keeps the full rate; with it hidden nothing changes.
        ASSERT_FALSE(app_->mainWin.desktop.panels.empty());
        for (CSControl* c : app_->mainWin.desktop.panels[0]->controls) {
            if (c->typeCode == kTypeAnimate)
                c->SetVisible(false);
        }
        const int& frames = app_->mainWin.renderedFrames;
        uint32_t t = 1000;
        platform_.ticks = t;
        app_->OnIdle(0);
        for (int i = 0; i <= kQuietFramesBeforeSlowing; ++i) {
            platform_.ticks = t += kFrameIntervalMs;
            app_->OnIdle(0);
        }
        const int quiet = frames;
        platform_.ticks = t += kFrameIntervalMs;
        app_->OnIdle(0);
        EXPECT_EQ(quiet, frames) << "still at the full rate after " << kQuietFramesBeforeSlowing << " unchanged frames";
        platform_.ticks = t += kQuietFrameIntervalMs - kFrameIntervalMs;
        app_->OnIdle(0);
        EXPECT_EQ(quiet + 1, frames);
        bool ran = false;
        TheUiQueue().Post([&ran] { ran = true; });
        platform_.ticks = t += kFrameIntervalMs;
        app_->OnIdle(0);
        EXPECT_TRUE(ran);
        EXPECT_EQ(quiet + 2, frames);
    }

    TEST_F(AppTest, DraggingMovesTheWindowUntilTheButtonIsReleased)
    {
        ASSERT_TRUE(app_->InitInstance());
        ASSERT_TRUE(app_->mainWin.background) << "the shipped skin has no bg.png";
        CMainWin& w = app_->mainWin;
        NativeWindow h = w.handle();
        platform_.cursor = UiPoint { 10, 20 };
        WsSendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(10, 20));
        ASSERT_TRUE(w.dragging);
        platform_.keys[VK_LBUTTON] = true;
        platform_.cursor = UiPoint { 500, 300 };
        w.OnIdle(0);
        EXPECT_EQ(490, WsSimulatedStats(h).lastX);
        EXPECT_EQ(280, WsSimulatedStats(h).lastY);
        EXPECT_EQ(490, w.left);
        // Released outside the window: the next frame ends the drag and is skipped.
        platform_.keys[VK_LBUTTON] = false;
        int frames = WsSimulatedStats(h).presentedFrames;
        w.OnIdle(0);
        EXPECT_FALSE(w.dragging);
        EXPECT_EQ(frames, WsSimulatedStats(h).presentedFrames);
        // Later frames stay where the window is.
        platform_.cursor = UiPoint { 0, 0 };
        w.OnIdle(0);
        EXPECT_EQ(490, WsSimulatedStats(h).lastX);
    }

    TEST_F(AppTest, ClickOnAControlDoesNotStartADrag)
    {
        ASSERT_TRUE(app_->InitInstance());
        CMainWin& w = app_->mainWin;
        ASSERT_EQ(1u, w.desktop.panels.size());
        auto* button = new test::ProbeControl(nullptr, "button");
        ASSERT_EQ(0, w.desktop.panels[0]->AddControl(button));
        button->Place(100, 100, 50, 20);
        NativeWindow h = w.handle();
        platform_.cursor = UiPoint { 110, 105 };
        EXPECT_EQ(0, WsSendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(110, 105)));
        EXPECT_EQ(1, button->mouseCalls);
        EXPECT_FALSE(w.dragging);
        platform_.cursor = UiPoint { 400, 450 };
        WsSendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(400, 450));
        EXPECT_TRUE(w.dragging);
        EXPECT_EQ(400, w.dragOffsetX);
        WsSendMessage(h, WM_LBUTTONUP, 0, MakeLParam(400, 450));
        EXPECT_FALSE(w.dragging);
        EXPECT_EQ(0, WsSendMessage(h, WM_ERASEBKGND, 0, 0));
    }

    TEST_F(AppTest, CloseRequestEndsTheMessageLoop)
    {
        ASSERT_TRUE(app_->InitInstance());
        WsPostMessage(app_->mainWin.handle(), WM_CLOSE, 0, 0);
        EXPECT_EQ(0, app_->Run());
    }

    TEST_F(AppTest, ControlWithIdOneClosesTheWindow)
    {
        ASSERT_TRUE(app_->InitInstance());
        auto* control = new CSControl(kTypeButton);
        ASSERT_EQ(0, app_->mainWin.desktop.AddControl(control));
        control->id = 2;
        NotifyOwner(control, kNotifyClicked);
        int code = -5;
        EXPECT_FALSE(QuitPosted(&code));
        control->id = 1;
        NotifyOwner(control, kNotifyClicked);
        EXPECT_TRUE(QuitPosted(&code));
        EXPECT_EQ(0, code);
    }

    TEST_F(AppTest, LicenceWindowOpensOwnedAndCloses)
    {
        ASSERT_TRUE(app_->InitInstance());
        int live = LiveSkinWindowCount();
        app_->OpenLicenceWindow();
        CRuleWin* rule = app_->licenceWindow;
        ASSERT_NE(nullptr, rule);
        EXPECT_EQ(live + 1, LiveSkinWindowCount());
        EXPECT_TRUE(WsClassRegistered(SkinInstance(), "MyRuleWindow"));
        EXPECT_EQ(488, rule->canvas.Width());
        EXPECT_EQ(510, rule->canvas.Height());
        EXPECT_EQ(1952, rule->canvas.stride);
        EXPECT_EQ(GetImage("msg_box.png"), rule->background);
        EXPECT_EQ((1024 - 488) / 2, rule->left);
        app_->OpenLicenceWindow(); // a second request keeps the one window
        EXPECT_EQ(rule, app_->licenceWindow);
        NativeWindow handle = rule->handle();
        app_->CloseLicenceWindow();
        EXPECT_EQ(nullptr, app_->licenceWindow);
        EXPECT_FALSE(WsIsWindow(handle));
        EXPECT_EQ(live, LiveSkinWindowCount());
        // The licence window's close request only destroys it; the loop goes on.
        int code = 0;
        EXPECT_FALSE(QuitPosted(&code));
        app_->CloseLicenceWindow(); // nothing open: harmless
        platform_.ticks = 5000;
        app_->OnIdle(0); // frees the closed window object
    }

    // A layered window appears with its first frame; a display without a
    // window manager puts the one that appeared last on top, so the owned
    // licence window is presented after its owner.
    TEST_F(AppTest, TheLicenceWindowAppearsAfterItsOwner)
    {
        ASSERT_TRUE(app_->InitInstance());
        app_->OpenLicenceWindow();
        ASSERT_NE(nullptr, app_->licenceWindow);
        platform_.ticks = 1000;
        app_->OnIdle(0); // starts the clock
        platform_.ticks = 1040;
        app_->OnIdle(1);
        int main = WsSimulatedStats(app_->mainWin.handle()).firstPresentOrder;
        int licence = WsSimulatedStats(app_->licenceWindow->handle()).firstPresentOrder;
        ASSERT_NE(0, main);
        ASSERT_NE(0, licence);
        EXPECT_LT(main, licence);
        app_->CloseLicenceWindow();
        platform_.ticks = 5000;
        app_->OnIdle(2); // frees the closed window object
    }

    TEST_F(AppTest, AltF4OnTheLicenceWindowDismissesItLikeItsExitButton)
    {
        ASSERT_TRUE(app_->InitInstance());
        for (bool withHandler : { true, false }) {
            app_->OpenLicenceWindow();
            CRuleWin* rule = app_->licenceWindow;
            ASSERT_NE(nullptr, rule);
            int dismissed = 0;
            if (withHandler)
                rule->onDismiss = [&] {
                    ++dismissed;
                    app_->CloseLicenceWindow();
                };
            NativeWindow handle = rule->handle();
            WsSendMessage(handle, WM_CLOSE, 0, 0);
            EXPECT_EQ(withHandler ? 1 : 0, dismissed);
            EXPECT_EQ(nullptr, app_->licenceWindow);
            EXPECT_FALSE(WsIsWindow(handle));
            int code = 0;
            EXPECT_FALSE(QuitPosted(&code));
            platform_.ticks += 5000;
            app_->OnIdle(0); // frees the closed window object
        }
    }

} // namespace
} // namespace zdl
