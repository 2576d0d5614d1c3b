// A button on a second top-level window (as on the licence window) pressed
// and released with real mouse input: the capture must go to the button's
// own window, so the button-up reaches it and the click fires once.
#include "skin/Button.h"
#include "skin/ControlContainer.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace zdl {
namespace {

    class ClickPage : public CSControlContainer {
    public:
        void OnNotify(int code, int, CSControl*) override { clicks += code == kNotifyClicked; }
        int clicks = 0;
    };

    LRESULT CALLBACK PageProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        auto* page = reinterpret_cast<CSControlContainer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (page && page->HandleMessage(window, msg, wParam, lParam))
            return 0;
        return DefWindowProcA(window, msg, wParam, lParam);
    }

    HWND MakeWindow(const char* title, int x, int y, CSControlContainer* page)
    {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = PageProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
            wc.lpszClassName = "ZdlPageTestWindow";
            registered = RegisterClassA(&wc) != 0;
        }
        HWND w = CreateWindowExA(WS_EX_TOPMOST, "ZdlPageTestWindow", title, WS_POPUP | WS_VISIBLE, x, y, 200, 120,
            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
        UpdateWindow(w);
        return w;
    }

    // Pumps messages until |done| holds or about five seconds have passed.
    template <typename Pred> bool PumpUntil(Pred done)
    {
        for (int i = 0; i < 500 && !done(); ++i) {
            MSG m;
            while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            if (!done())
                Sleep(10);
        }
        return done();
    }

    void SendButton(DWORD flag)
    {
        INPUT in = {};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        SendInput(1, &in, sizeof(in));
    }

    class SecondWindowTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            mainWindow_ = MakeWindow("main", 20, 20, &mainPage_);
            SetSkinMainWindow(mainWindow_);
            button_ = new CSButton();
            ASSERT_EQ(0, secondPage_.AddControl(button_));
            button_->x = 20;
            button_->y = 20;
            button_->width = 80;
            button_->height = 40;
            button_->UpdateRect();
            secondWindow_ = MakeWindow("second", 300, 20, &secondPage_);
            SetForegroundWindow(secondWindow_);
            // Let both windows appear before input arrives.
            DWORD start = GetTickCount();
            PumpUntil([start] { return GetTickCount() - start > 300; });
        }
        void TearDown() override
        {
            SetSkinMainWindow(nullptr);
            DestroyWindow(secondWindow_);
            DestroyWindow(mainWindow_);
            focusControl = nullptr;
        }
        void MoveTo(int clientX, int clientY)
        {
            POINT p = { clientX, clientY };
            ClientToScreen(secondWindow_, &p);
            SetCursorPos(p.x, p.y);
            PumpUntil([] { return true; });
        }

        ClickPage mainPage_;
        ClickPage secondPage_;
        CSButton* button_ = nullptr; // owned by secondPage_
        HWND mainWindow_ = nullptr;
        HWND secondWindow_ = nullptr;
    };

    TEST_F(SecondWindowTest, PressAndReleaseClicksOnce)
    {
        MoveTo(60, 40);
        SendButton(MOUSEEVENTF_LEFTDOWN);
        ASSERT_TRUE(PumpUntil([&] { return button_->pressed; })) << "the press never reached the button";
        EXPECT_EQ(secondWindow_, GetCapture());
        SendButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(PumpUntil([&] { return secondPage_.clicks > 0; })) << "the release never reached the button";
        EXPECT_EQ(1, secondPage_.clicks);
        EXPECT_FALSE(button_->pressed);
        EXPECT_EQ(nullptr, GetCapture());
        EXPECT_EQ(0, mainPage_.clicks);
    }

    TEST_F(SecondWindowTest, ReleaseOffTheButtonDoesNotClick)
    {
        MoveTo(60, 40);
        SendButton(MOUSEEVENTF_LEFTDOWN);
        ASSERT_TRUE(PumpUntil([&] { return button_->pressed; }));
        MoveTo(150, 100); // still in the window, off the button
        SendButton(MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(PumpUntil([&] { return !button_->pressed; }));
        EXPECT_EQ(0, secondPage_.clicks);
        EXPECT_EQ(nullptr, GetCapture());
    }

} // namespace
} // namespace zdl
