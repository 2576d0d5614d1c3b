// Modal dialogs on real Windows: a CSDialog made from an in-memory template
// binds on WM_INITDIALOG and a WM_CLOSE ends its modal loop with 1.
#include "app/SkinDialog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace zdl {
namespace {

    // A DLGTEMPLATE with no controls, no menu, the default class and no title.
    std::vector<uint16_t> EmptyTemplate()
    {
        std::vector<uint16_t> t(32, 0);
        uint32_t style = 0x80000000u | 0x00C00000u; // WS_POPUP | WS_CAPTION
        std::memcpy(&t[0], &style, 4);
        // exStyle 0, cdit 0, x 10, y 10, cx 100, cy 50, then menu, class, title = 0.
        t[5] = 10;
        t[6] = 10;
        t[7] = 100;
        t[8] = 50;
        return t;
    }

    class ClosingDialog : public CSDialog {
    public:
        std::vector<std::string> log;
        bool closeInInit = true;
        bool OnInitDialog() override
        {
            log.push_back("init");
            EXPECT_EQ(this, WsGetDialogUserData(dialog));
            if (closeInInit)
                WsPostMessage(dialog, WM_CLOSE, 0, 0);
            return true;
        }
        void OnClose() override { log.push_back("close"); }
        void OnDestroy() override { log.push_back("destroy"); }
    };

    TEST(DialogWinTest, CloseEndsTheModalLoopWithOne)
    {
        std::vector<uint16_t> t = EmptyTemplate();
        ClosingDialog d;
        intptr_t result = WsDialogBoxIndirect(WsModuleInstance(), t.data(), nullptr, SkinDialogProc, &d);
        EXPECT_EQ(1, result);
        ASSERT_GE(d.log.size(), 3u);
        EXPECT_EQ("init", d.log[0]);
        EXPECT_EQ("close", d.log[1]);
        EXPECT_EQ("destroy", d.log[2]);
        EXPECT_NE(nullptr, d.dialog);
    }

    TEST(DialogWinTest, RefusedInitClosesAtOnce)
    {
        struct Refusing : ClosingDialog {
            bool OnInitDialog() override
            {
                log.push_back("init");
                return false;
            }
        } d;
        std::vector<uint16_t> t = EmptyTemplate();
        EXPECT_EQ(1, WsDialogBoxIndirect(WsModuleInstance(), t.data(), nullptr, SkinDialogProc, &d));
        ASSERT_GE(d.log.size(), 2u);
        EXPECT_EQ("close", d.log[1]);
    }

} // namespace
} // namespace zdl
