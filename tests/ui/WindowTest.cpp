// The window base on the simulated window system: binding objects to
// windows during creation, the list of live windows, the dispatch tables of
// CWindow and CSDialog.
#include "app/Window.h"
#include "app/SampleApp.h"
#include "app/SkinDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zdl {
namespace {

    class Recorder : public CWindow {
    public:
        std::vector<unsigned> seen;
        bool createResult = true;
        bool preCreateResult = true;
        const char* className = "TestRecorderClass";
        int downX = -1, downY = -1, ctlKind = 0, cmdCode = -1, cmdId = -1;
        WParam keys = 0;
        bool closed = false;

        LResult WindowProc(unsigned msg, WParam wParam, LParam lParam) override
        {
            seen.push_back(msg);
            EXPECT_EQ(msg, currentMsg); // stored before the call
            return CWindow::WindowProc(msg, wParam, lParam);
        }
        bool PreCreate(CreateParams* p) override
        {
            if (className) {
                EXPECT_TRUE(RegisterSkinWindowClass(className, nullptr, nullptr, nullptr));
                p->className = className;
            }
            return preCreateResult;
        }
        bool OnCreate(LParam) override { return createResult; }
        void OnLButtonDown(int x, int y, WParam k) override
        {
            downX = x;
            downY = y;
            keys = k;
        }
        LResult OnCtlColor(WParam, LParam, int kind) override
        {
            ctlKind = kind;
            return 77;
        }
        void OnCommand(int code, int id, LParam) override
        {
            cmdCode = code;
            cmdId = id;
        }
        void OnClose() override { closed = true; }
    };

    TEST(SetupArgumentTest, Cases)
    {
        struct Case {
            const char* commandLine;
            const char* expected;
        };
        const Case cases[] = {
            { "--vxp_setup abc", "abc" },
            { "", "" },
            { "--other x", "" },
            { "a --vxp_setup \t  x y  ", "x y  " },
            { "--vxp_setup", "" },
            { "--vxp_setupabc", "abc" },
            { "--vxp_setup 1 --vxp_setup 2", "1 --vxp_setup 2" }, // the first occurrence counts
            { "--VXP_SETUP abc", "" },
        };
        for (const Case& c : cases)
            EXPECT_EQ(c.expected, ParseSetupArgument(c.commandLine)) << c.commandLine;
    }

    TEST(WindowTest, CreationMessagesReachTheObject)
    {
        Recorder w;
        ASSERT_TRUE(CreateSkinWindow("title", nullptr, nullptr, &w));
        ASSERT_NE(nullptr, w.handle());
        // Windows may send a message or two (WM_GETMINMAXINFO) before these.
        auto nc = std::find(w.seen.begin(), w.seen.end(), static_cast<unsigned>(WM_NCCREATE));
        auto create = std::find(w.seen.begin(), w.seen.end(), static_cast<unsigned>(WM_CREATE));
        ASSERT_NE(w.seen.end(), nc);
        ASSERT_NE(w.seen.end(), create);
        EXPECT_LT(nc, create);
        EXPECT_EQ(&w, FindSkinWindow(w.handle()));
        EXPECT_EQ(&w, WsGetWindowUserData(w.handle()));
        WsDestroyWindow(w.handle());
        EXPECT_EQ(nullptr, FindSkinWindow(w.handle()));
    }

    TEST(WindowTest, FailedCreationLeavesNothingBehind)
    {
        int before = LiveSkinWindowCount();
        Recorder refuses;
        refuses.createResult = false;
        EXPECT_FALSE(CreateSkinWindow("t", nullptr, nullptr, &refuses));
        EXPECT_EQ(before, LiveSkinWindowCount());

        Recorder vetoed;
        vetoed.preCreateResult = false;
        EXPECT_FALSE(CreateSkinWindow("t", nullptr, nullptr, &vetoed));
        EXPECT_TRUE(vetoed.seen.empty());

        // An unregistered class never sends a message: creation fails and the
        // object is no longer waiting to be bound.
        struct Unregistered : Recorder {
            bool PreCreate(CreateParams* p) override
            {
                p->className = "NoSuchClass";
                return true;
            }
        } missing;
        EXPECT_FALSE(CreateSkinWindow("t", nullptr, nullptr, &missing));
        Recorder later;
        ASSERT_TRUE(CreateSkinWindow("t", nullptr, nullptr, &later));
        EXPECT_EQ(&later, FindSkinWindow(later.handle()));
        WsDestroyWindow(later.handle());
    }

    TEST(WindowTest, DefaultClassIsWindow)
    {
        Recorder w;
        w.className = nullptr;
        ASSERT_TRUE(CreateSkinWindow("t", nullptr, nullptr, &w));
        EXPECT_TRUE(WsClassRegistered(SkinInstance(), "Window"));
        WsDestroyWindow(w.handle());
    }

    TEST(WindowTest, TwoWindowsAreFoundByHandleAndUnlinkedOneAtATime)
    {
        int before = LiveSkinWindowCount();
        Recorder a, b;
        ASSERT_TRUE(CreateSkinWindow("a", nullptr, nullptr, &a));
        ASSERT_TRUE(CreateSkinWindow("b", nullptr, nullptr, &b));
        EXPECT_NE(a.handle(), b.handle());
        EXPECT_EQ(&a, FindSkinWindow(a.handle()));
        EXPECT_EQ(&b, FindSkinWindow(b.handle()));
        EXPECT_EQ(before + 2, LiveSkinWindowCount());
        // Destroying the older one keeps the newer one (the list's head) linked.
        WsDestroyWindow(a.handle());
        EXPECT_EQ(nullptr, FindSkinWindow(a.handle()));
        EXPECT_EQ(&b, FindSkinWindow(b.handle()));
        WsSendMessage(b.handle(), WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(3, 4));
        EXPECT_EQ(3, b.downX);
        WsDestroyWindow(b.handle());
        EXPECT_EQ(before, LiveSkinWindowCount());
    }

    TEST(WindowTest, ObjectDestroyedBeforeItsWindowIsUnlinked)
    {
        NativeWindow handle;
        {
            Recorder w;
            ASSERT_TRUE(CreateSkinWindow("t", nullptr, nullptr, &w));
            handle = w.handle();
        }
        EXPECT_EQ(nullptr, FindSkinWindow(handle));
        WsDestroyWindow(handle); // goes to the default procedure
    }

    TEST(WindowTest, DispatchTable)
    {
        Recorder w;
        ASSERT_TRUE(CreateSkinWindow("t", nullptr, nullptr, &w));
        NativeWindow h = w.handle();
        // Mouse coordinates are unsigned 16-bit words.
        WsSendMessage(h, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MakeLParam(-1, 7));
        EXPECT_EQ(65535, w.downX);
        EXPECT_EQ(7, w.downY);
        EXPECT_EQ(static_cast<WParam>(MK_LBUTTON | MK_SHIFT), w.keys);
        EXPECT_EQ(77, WsSendMessage(h, WM_CTLCOLORSTATIC, 0, 0));
        EXPECT_EQ(WM_CTLCOLORSTATIC - WM_CTLCOLORMSGBOX, w.ctlKind);
        WsSendMessage(h, WM_COMMAND, (5u << 16) | 1001u, 0);
        EXPECT_EQ(5, w.cmdCode);
        EXPECT_EQ(1001, w.cmdId);
        WsSendMessage(h, WM_ACTIVATEAPP, 1, 0);
        EXPECT_TRUE(w.appActive);
        WsSendMessage(h, WM_CLOSE, 0, 0);
        EXPECT_TRUE(w.closed);
        EXPECT_TRUE(WsIsWindow(h)); // OnClose decides; nothing else happens
        // Keyboard messages pass untranslated without an accelerator table.
        NativeMessage key { h, WM_KEYDOWN, 'A', 0 };
        EXPECT_FALSE(w.PreTranslateMessage(key));
        WsDestroyWindow(h);
    }

    TEST(WindowTest, AcceleratorsTranslateOnlyWhileATableIsSet)
    {
        Recorder w;
        ASSERT_TRUE(CreateSkinWindow("t", nullptr, nullptr, &w));
        NativeMessage key { w.handle(), WM_KEYDOWN, VK_RETURN, 0 };
        EXPECT_FALSE(w.PreTranslateMessage(key));
        EXPECT_EQ(-1, w.cmdId);
        AcceleratorEntry entry { VK_RETURN, 4321 };
        NativeAccel table = WsCreateAcceleratorTable(&entry, 1);
        ASSERT_NE(nullptr, table);
        w.accelerators = table;
        EXPECT_TRUE(w.PreTranslateMessage(key));
        EXPECT_EQ(4321, w.cmdId);
        EXPECT_EQ(1, w.cmdCode); // from an accelerator
        // Mouse messages and unmapped keys pass.
        w.cmdId = -1;
        EXPECT_FALSE(w.PreTranslateMessage(NativeMessage { w.handle(), WM_LBUTTONDOWN, VK_RETURN, 0 }));
        EXPECT_FALSE(w.PreTranslateMessage(NativeMessage { w.handle(), WM_KEYDOWN, VK_ESCAPE, 0 }));
        EXPECT_EQ(-1, w.cmdId);
        w.accelerators = nullptr;
        EXPECT_FALSE(w.PreTranslateMessage(key));
        WsDestroyAcceleratorTable(table);
        WsDestroyWindow(w.handle());
    }

    class DialogRecorder : public CSDialog {
    public:
        std::vector<std::string> log;
        bool init = true;
        int kind = 0;
        void OnClose() override { log.push_back("close"); }
        bool OnInitDialog() override
        {
            log.push_back("init");
            return init;
        }
        void OnCommand(int id) override { log.push_back("command " + std::to_string(id)); }
        void OnOtherMessage(unsigned msg) override { log.push_back("other " + std::to_string(msg)); }
        intptr_t OnCtlColor(WParam, LParam, int k) override
        {
            kind = k;
            return 5;
        }
        intptr_t OnNcHitTest(int x, int y) override { return x * 1000 + y; }
    };

    TEST(DialogTest, DispatchTable)
    {
        DialogRecorder d;
        EXPECT_EQ(1, d.DialogProc(WM_CLOSE, 0, 0));
        EXPECT_EQ(1, d.DialogProc(WM_COMMAND, (3u << 16) | 42u, 0));
        EXPECT_EQ(0, d.DialogProc(WM_TIMER, 0, 0));
        EXPECT_EQ((std::vector<std::string> { "close", "command 42", "other 275" }), d.log);
        EXPECT_EQ(5, d.DialogProc(WM_VSCROLL, 0, 0));
        EXPECT_EQ(-29, d.kind);
        EXPECT_EQ(5, d.DialogProc(WM_CTLCOLORDLG, 0, 0));
        EXPECT_EQ(4, d.kind);
        EXPECT_EQ(12034, d.DialogProc(WM_NCHITTEST, 0, MakeLParam(12, 34)));
        d.log.clear();
        d.init = false;
        EXPECT_EQ(1, d.DialogProc(WM_INITDIALOG, 0, 0));
        EXPECT_EQ((std::vector<std::string> { "init", "close" }), d.log);
    }

    TEST(DialogTest, ProcedureBindsOnInitDialog)
    {
        DialogRecorder d;
        // Messages before WM_INITDIALOG find no object.
        EXPECT_EQ(0, SkinDialogProc(nullptr, WM_COMMAND, 1, 0));
        EXPECT_TRUE(d.log.empty());
        NativeWindow fake = reinterpret_cast<NativeWindow>(0x77);
        EXPECT_EQ(1, SkinDialogProc(fake, WM_INITDIALOG, 0, reinterpret_cast<LParam>(&d)));
        EXPECT_EQ(fake, d.dialog);
        EXPECT_EQ((std::vector<std::string> { "init" }), d.log);
    }

} // namespace
} // namespace zdl
