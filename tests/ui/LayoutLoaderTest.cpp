// The layout loader: every message of its failure table with its caption,
// hostile scripts (errors, endless loops, endless allocation, compiled
// chunks, odd tables and numbers) that must end in a message and never in
// a crash or a hang, creation order and ids, and the download page's script
// from the real archive.
#include "skin/LayoutLoader.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "platform/MessageBox.h"
#include "skin/LayoutLua.h"

extern "C" {
#include <lua.h>
}

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace zdl {
namespace {

    // The installer's texts, written out independently of the loader's table.
    const char kOpen[] = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE!~";
    const char kCompile[] = "\xBD\xE2\xCE\xF6\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB3\xF6\xB4\xED!~";
    const char kNotTable[]
        = "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xBA\xAF\xCA\xFD\xD3\xA6\xB8\xC3\xB7\xB5\xBB\xD8\xD2\xBB\xB8\xF6\xB1\xED!~";
    const char kRootType[] = "panel \xC0\xE0\xD0\xCD\xB1\xD8\xD0\xEB\xCE\xAA UImage";
    const char kNoArg[] = "panel \xB1\xD8\xD0\xEB\xD3\xD0 arg";
    const char kHint[] = "\xCC\xE1\xCA\xBE";
    const char kNoSons[] = "panel \xB1\xD8\xD0\xEB\xD3\xD0 son_list\xB1\xED";
    const char kChildNoArg[] = "\xD7\xD3\xBF\xD8\xBC\xFE\xD2\xB2\xD3\xA6\xB8\xC3\xD3\xD0"
                               "arg\xB1\xED";
    const char kBubble[] = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xC6\xF8\xC5\xDD\xD7\xCA\xD4\xB4";
    const char kButton[] = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xB0\xB4\xC5\xA5\xD7\xCA\xD4\xB4";
    const char kAnimation[] = "\xB4\xF2\xB2\xBB\xBF\xAA\xD6\xB8\xB6\xA8\xB5\xC4\xB6\xAF\xBB\xAD\xD7\xCA\xD4\xB4";

    // Wraps children in a valid root.
    std::string Panel(const std::string& sons, const char* background = "bg.png")
    {
        return std::string("return { type_name = 'UImagePanel', arg = { 0, 0, '") + background
            + "', 'resource', true, true }, son_list = {" + sons + "} }";
    }

    const char kGoodButton[] = "[1] = { type_name = 'UImageButton', name = 'set', arg = { 5, 6, 'btn_set.tcp', 4 } },";

    class LayoutLoaderTest : public ::testing::Test {
    protected:
        static void SetUpTestSuite() { LoadResourceArchive(); }
        void SetUp() override
        {
            ASSERT_TRUE(GetImage("btn_set.tcp") && GetImage("bg.png")) << "the embedded archive has no skin";
            panel_.FillDefaultStyles();
        }
        bool Load(const std::string& script)
        {
            return LoadLayoutFromBuffer("test.lua", script.data(), script.size(), &panel_);
        }
        CSControl* Control(const char* name)
        {
            auto it = panel_.controlIds.find(name);
            if (it == panel_.controlIds.end())
                return nullptr;
            for (CSControl* c : panel_.controls)
                if (c->id == it->second)
                    return c;
            return nullptr;
        }
        ScopedMessageBoxRecorder boxes_;
        CSBitmapDialog panel_;
    };

    TEST_F(LayoutLoaderTest, EveryFailureRowShowsItsMessageAndCaption)
    {
        struct Row {
            const char* what;
            std::string script;
            const char* text;
            const char* caption;
            size_t controlsLeft;
        };
        const Row rows[] = {
            { "syntax", "return {", kCompile, "", 0 },
            { "number", "return 5", kNotTable, "", 0 },
            { "nothing", "", kNotTable, "", 0 },
            { "root type", "return { type_name = 'UImageButton', arg = {}, son_list = {} }", kRootType, "", 0 },
            { "root type case", "return { type_name = 'uimage', arg = {}, son_list = {} }", kRootType, "", 0 },
            { "no arg", "return { type_name = 'UImage', son_list = {} }", kNoArg, kHint, 0 },
            { "no son_list", "return { type_name = 'UImage', arg = {} }", kNoSons, "hehe", 0 },
            { "son_list string", "return { type_name = 'UImage', arg = {}, son_list = 'x' }", kNoSons, "hehe", 0 },
            { "child without arg", Panel(std::string(kGoodButton) + "[2] = { type_name = 'UBubble', name = 'b' },"),
                kChildNoArg, "", 0 },
            { "bubble",
                Panel(std::string(kGoodButton) + "[2] = { type_name = 'UBubble', arg = { 0, 0, 'gone.png' } },"),
                kBubble, "gone.png", 1 },
            { "button",
                Panel(std::string(kGoodButton) + "[2] = { type_name = 'UImageButton', arg = { 0, 0, 'gone.tcp' } },"),
                kButton, "gone.tcp", 1 },
            { "progress",
                Panel(std::string(kGoodButton) + "[2] = { type_name = 'UProgress', arg = { 0, 0, 'gone.png', 9 } },"),
                kButton, "gone.png", 1 },
            { "check box",
                Panel(std::string(kGoodButton) + "[2] = { type_name = 'UCheckButton', arg = { 0, 0, 'x.tcp' } },"),
                kButton, "x.tcp", 1 },
            { "animation",
                Panel(std::string(kGoodButton) + "[2] = { type_name = 'UAnimate', arg = { 0, 0, 'gone.tcp', 3 } },"),
                kAnimation, "gone.tcp", 1 },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            CSBitmapDialog panel;
            panel.FillDefaultStyles();
            boxes_.boxes.clear();
            EXPECT_FALSE(LoadLayoutFromBuffer("t.lua", row.script.data(), row.script.size(), &panel));
            ASSERT_EQ(1u, boxes_.boxes.size());
            EXPECT_EQ(row.text, boxes_.boxes[0].text);
            EXPECT_TRUE(boxes_.boxes[0].hasCaption);
            EXPECT_EQ(row.caption, boxes_.boxes[0].caption);
            EXPECT_EQ(nullptr, boxes_.boxes[0].owner);
            EXPECT_EQ(static_cast<unsigned>(MB_OK), boxes_.boxes[0].flags);
            EXPECT_EQ(row.controlsLeft, panel.controls.size());
        }
        boxes_.boxes.clear();
        EXPECT_FALSE(LoadLayout("no_such_layout_script.lua", &panel_));
        ASSERT_EQ(1u, boxes_.boxes.size());
        EXPECT_EQ(kOpen, boxes_.boxes[0].text);
        EXPECT_EQ("", boxes_.boxes[0].caption);
    }

    // Scripts that would end or hang the process with a stock Lua state. The
    // limits end each of them in well under a second on an idle machine; the
    // bound only tells a hang from a busy machine.
    TEST_F(LayoutLoaderTest, HostileScriptsEndInAMessageAndNeverHang)
    {
        struct Row {
            const char* what;
            std::string script;
            const char* text;
        };
        const Row rows[] = {
            { "run-time error", "local t = nil; return t.x", kLayoutRunErrorText },
            { "calls a library", "print('x') return {}", kLayoutRunErrorText },
            { "loops forever", "while true do end", kLayoutTooManyStepsText },
            { "recurses forever", "local function f() return f() + 1 end return f()", kLayoutRunErrorText },
            { "allocates forever", "local t = {} local i = 1 while true do t[i] = {i} i = i + 1 end",
                kLayoutOutOfMemoryText },
            { "doubles a string", "local s = 'x' while true do s = s .. s end", kLayoutOutOfMemoryText },
            { "compiled chunk", std::string("\x1bLua\x51\x00 and the rest", 17), kLayoutPrecompiledText },
            { "child is a string", Panel("[1] = 'UImageButton',"), kLayoutChildNotTableText },
            { "type name of 32 bytes", Panel("[1] = { type_name = '" + std::string(32, 'U') + "', arg = {} },"),
                kLayoutBadTypeNameText },
            { "name of 32 bytes",
                Panel("[1] = { type_name = 'UEdit', name = '" + std::string(32, 'n') + "', arg = {} },"),
                kLayoutBadNameText },
            { "file name of 64 bytes",
                Panel("[1] = { type_name = 'UBubble', arg = { 0, 0, '" + std::string(64, 'f') + "' } },"),
                kLayoutBadFileNameText },
            { "file name a number", Panel("[1] = { type_name = 'UBubble', arg = { 0, 0, 7 } },"),
                kLayoutBadFileNameText },
            { "too large", "return {}" + std::string(kMaxLayoutScriptBytes, ' '), kLayoutTooLargeText },
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            boxes_.boxes.clear();
            int top = layoutLuaState ? lua_gettop(layoutLuaState) : 0;
            auto start = std::chrono::steady_clock::now();
            EXPECT_FALSE(Load(row.script));
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_LT(seconds, 15.0);
            ASSERT_EQ(1u, boxes_.boxes.size());
            EXPECT_EQ(0u, boxes_.boxes[0].text.rfind(row.text, 0)) << boxes_.boxes[0].text;
            EXPECT_EQ("", boxes_.boxes[0].caption);
            ASSERT_NE(nullptr, layoutLuaState);
            EXPECT_EQ(top, lua_gettop(layoutLuaState));
        }
        // The state is still good for a real script afterwards, and a script's
        // globals do not reach the next one.
        boxes_.boxes.clear();
        EXPECT_FALSE(Load("leaked = 1 return leaked2"));
        EXPECT_FALSE(Load("return leaked"));
        EXPECT_EQ(2u, boxes_.boxes.size());
        EXPECT_EQ(kNotTable, boxes_.boxes[1].text);
        EXPECT_TRUE(Load(Panel(kGoodButton)));
        EXPECT_LT(LayoutLuaMemoryInUse(layoutLuaState), size_t(1) << 20);
    }

    TEST_F(LayoutLoaderTest, ChildrenAreCreatedInKeyOrderWithIdsForKnownTypesOnly)
    {
        // Keys out of order, as numbers and numeric strings; an unknown type in
        // the middle; a repeated name.
        ASSERT_TRUE(
            Load(Panel("[3] = { type_name = 'URichText', name = 'third', arg = { 1, 2, 30, 40 } },"
                       "['2'] = { type_name = 'UImage', name = 'skipped', arg = { 0, 0, 'bg.png' } },"
                       "[1] = { type_name = 'UContainer', name = 'first', arg = { 7, 8, 90, 20 } },"
                       "[10] = { type_name = 'UEdit', name = 'first', arg = { 1, 1, 50, 14 } },"
                       "['4'] = { type_name = 'UImageButton', name = 'age', arg = { 3, 4, 'btn_set.tcp', 0 } },")));
        EXPECT_TRUE(boxes_.boxes.empty());
        ASSERT_EQ(4u, panel_.controls.size());
        EXPECT_EQ(kTypeHtmlCtrl, panel_.controls[0]->typeCode);
        EXPECT_EQ(1, panel_.controls[0]->id);
        EXPECT_EQ(kTypeMultiColorStatic, panel_.controls[1]->typeCode);
        EXPECT_EQ(2, panel_.controls[1]->id);
        EXPECT_EQ(kTypeButton, panel_.controls[2]->typeCode);
        EXPECT_EQ(3, panel_.controls[2]->id);
        EXPECT_EQ(kTypeEditBox, panel_.controls[3]->typeCode);
        EXPECT_EQ(4, panel_.controls[3]->id);
        EXPECT_EQ(0u, panel_.controlIds.count("skipped"));
        EXPECT_EQ(4, panel_.controlIds["first"]); // the later of the two
        EXPECT_EQ(3, panel_.controlIds["age"]);
        // Frame 0 leaves the button 1 x 1 with the whole strip as its picture.
        CSControl* age = panel_.controls[2];
        EXPECT_EQ(1, age->width);
        EXPECT_EQ(1, age->height);
        EXPECT_EQ(GetImage("btn_set.tcp"), age->layers[0].image);
        EXPECT_EQ(3, age->x);
        // The panel takes its background's size at (0, 0).
        EXPECT_EQ(GetImage("bg.png"), panel_.background);
        EXPECT_EQ(868, panel_.width);
        EXPECT_EQ(513, panel_.height);
    }

    TEST_F(LayoutLoaderTest, MissingBackgroundLeavesAZeroPanelWithItsChildren)
    {
        ASSERT_TRUE(Load(Panel(kGoodButton, "no_such_background.png")));
        EXPECT_EQ(nullptr, panel_.background);
        EXPECT_EQ(0, panel_.width);
        EXPECT_EQ(0, panel_.height);
        ASSERT_EQ(1u, panel_.controls.size());
        DibImage* strip = GetImage("btn_set.tcp");
        EXPECT_EQ(strip->Width() / 4, panel_.controls[0]->width);
        EXPECT_EQ(strip->Height(), panel_.controls[0]->height);
    }

    TEST_F(LayoutLoaderTest, NumbersFromTheScriptAreClamped)
    {
        DibImage* head = GetImage("progress_head.tcp");
        ASSERT_NE(nullptr, head);
        ASSERT_TRUE(Load(
            Panel("[1] = { type_name = 'UAnimate', name = 'zero', arg = { 0/0, 1e300, 'progress_head.tcp', 0, -5 } },"
                  "[2] = { type_name = 'UAnimate', name = 'neg', arg = { -1e300, '12', 'progress_head.tcp', -3 } },"
                  "[3] = { type_name = 'UImageButton', name = 'b', arg = { 1, 1, 'btn_set.tcp', -2 } },"
                  "[4] = { type_name = 'URichText', name = 'r', arg = { 1, 1, -50, 1e9 } },"
                  "[5] = { type_name = 'UProgress', name = 'p', arg = { 1, 1, 'progress.png', 'x' } },")));
        CSControl* zero = Control("zero");
        ASSERT_NE(nullptr, zero);
        EXPECT_EQ(0, zero->x); // NaN
        EXPECT_EQ(kMaxLayoutCoordinate, zero->y);
        EXPECT_EQ(head->Width(), zero->width); // 0 frames count as 1
        EXPECT_EQ(head->Height(), zero->height);
        CSControl* neg = Control("neg");
        EXPECT_EQ(-kMaxLayoutCoordinate, neg->x);
        EXPECT_EQ(12, neg->y); // a numeric string is a number
        EXPECT_EQ(head->Width(), neg->width);
        CSControl* button = Control("b");
        EXPECT_EQ(1, button->width); // negative frames count as 0: 1 x 1
        CSControl* rich = Control("r");
        EXPECT_EQ(0, rich->width);
        EXPECT_EQ(kMaxLayoutCoordinate, rich->height);
        CSControl* bar = Control("p");
        EXPECT_EQ(GetImage("progress.png")->Width(), bar->width); // no number: length 0, the image's width
    }

    TEST_F(LayoutLoaderTest, DownloadPageScriptGivesTheIdsThePagesExpect)
    {
        ASSERT_TRUE(LoadLayout("ui_panel1.lua", &panel_));
        EXPECT_TRUE(boxes_.boxes.empty());
        const char* names[] = { "set", "minsize", "exit", "scan", "install", "continue", "stop", "finish", "edit_dir",
            "progress", "logo", "char", "banner", "save", "percent_hun", "percent_ten", "percent_one", "percent_num",
            "edit_bg", "progress_head", "web_back", "check_accept", "age" };
        ASSERT_EQ(23u, panel_.controls.size());
        ASSERT_EQ(23u, panel_.controlIds.size());
        for (int i = 0; i < 23; ++i) {
            EXPECT_EQ(i + 1, panel_.controlIds[names[i]]) << names[i];
            EXPECT_EQ(i + 1, panel_.controls[i]->id);
        }
        EXPECT_EQ(868, panel_.width);
        CSControl* banner = Control("banner");
        EXPECT_EQ(kTypeHtmlCtrl, banner->typeCode);
        EXPECT_EQ(262, banner->x);
        EXPECT_EQ(392, banner->width);
        EXPECT_EQ(124, banner->height);
        CSControl* character = Control("char");
        EXPECT_EQ(-149, character->x);
        EXPECT_FALSE(character->IsEnabled()); // pictures never take the mouse
        CSControl* progress = Control("progress");
        EXPECT_EQ(638, progress->width);
        CSControl* age = Control("age");
        EXPECT_EQ(GetImage("btn_age.tcp")->Width(), age->width); // one frame
        EXPECT_EQ(kTypeAnimate, Control("progress_head")->typeCode);

        CSBitmapDialog licence;
        licence.FillDefaultStyles();
        ASSERT_TRUE(LoadLayout("ui_panel2.lua", &licence));
        EXPECT_EQ(1, licence.controlIds["refuse"]);
        EXPECT_EQ(2, licence.controlIds["accept"]);
        EXPECT_EQ(3, licence.controlIds["exit"]);
    }

} // namespace
} // namespace zdl
