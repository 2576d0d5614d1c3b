// Checks the skin archive that the build packs into the executable: its
// names and layout, that every picture decodes through the downloader's own
// loaders with the sizes the pages rely on, that the layout scripts run in
// Lua 5.1 and describe the expected controls, that the nested "image.dat" is
// an archive of the same names, and that the licence text is GBK with CRLF
// line ends.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gfx/DibImage.h"
#include "gfx/ImageLoader.h"
#include "gfx/ResourceArchive.h"
#include "gfx/Sprite.h"

namespace {

using zdl::QfaArchive;

// "安装包_最终用户许可.txt" in GBK.
const char kLicenceName[] = "\xB0\xB2\xD7\xB0\xB0\xFC_\xD7\xEE\xD6\xD5\xD3\xC3\xBB\xA7\xD0\xED\xBF\xC9.txt";

// The 42 entries, in the archive's order.
std::vector<std::string> ExpectedNames()
{
    std::vector<std::string> names = { "banner.png", "bg.png", "btn_accept.tcp", "btn_age.tcp", "btn_choose.tcp",
        "btn_continue.tcp", "btn_down.tcp", "btn_exit.tcp", "btn_finish.tcp", "btn_install.tcp", "btn_min.tcp",
        "btn_refuse.tcp", "btn_set.tcp", "btn_stop.tcp", "btn_thumb.tcp", "btn_up.tcp", "char.png", "check_btn.tcp",
        "edit_bg.png", "image.dat" };
    for (int d = 0; d < 10; ++d)
        names.push_back("loading_num_" + std::to_string(d) + ".png");
    for (const char* n : { "logo.png", "msg_box.png", "percent_num.png", "progress.png", "progress_head.tcp",
             "save.png", "scroll.png", "ui_msgbox.lua", "ui_panel1.lua", "ui_panel2.lua", "web_bg.png" }) {
        names.push_back(n);
    }
    names.push_back(kLicenceName);
    return names;
}

std::vector<uint8_t> ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class SkinAssets : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        bytes_ = new std::vector<uint8_t>(ReadFile(ZDL_SKIN_ARCHIVE));
        archive_ = new QfaArchive;
        archive_->Assign(bytes_->data(), bytes_->size());
        zdl::LoadResourceArchiveFromBytes(bytes_->data(), bytes_->size());
    }
    static void TearDownTestSuite()
    {
        zdl::UnloadResourceArchive();
        delete archive_;
        delete bytes_;
    }

    static std::string Entry(const std::string& name)
    {
        QfaArchive::Entry e;
        if (!archive_->Find(name.c_str(), &e))
            return {};
        return std::string(reinterpret_cast<const char*>(e.data), e.size);
    }

    static std::vector<uint8_t>* bytes_;
    static QfaArchive* archive_;
};

std::vector<uint8_t>* SkinAssets::bytes_ = nullptr;
QfaArchive* SkinAssets::archive_ = nullptr;

// Names, order and the data-area layout of an archive.
void ExpectSkinArchive(const uint8_t* data, size_t size, const char* what)
{
    SCOPED_TRACE(what);
    QfaArchive archive;
    ASSERT_TRUE(archive.Assign(data, size));
    ASSERT_EQ(0, std::memcmp(data, "QFA\0", 4));
    std::vector<std::string> expected = ExpectedNames();
    ASSERT_EQ(expected.size(), archive.Count());
    size_t count = archive.Count();
    const uint8_t* area = data + 8 + 72 * count;
    uint64_t next = 0;
    for (uint32_t i = 0; i < count; ++i) {
        QfaArchive::Entry e;
        ASSERT_TRUE(archive.EntryAt(i, &e));
        EXPECT_EQ(expected[i], e.name);
        if (i > 0) {
            QfaArchive::Entry prev;
            archive.EntryAt(i - 1, &prev);
            EXPECT_LT(zdl::CompareQfaNames(prev.name.c_str(), e.name.c_str()), 0) << e.name;
        }
        // The raw table: offsets follow each other in table order, each
        // file followed by one 0xFF byte.
        const uint8_t* raw = data + 8 + 72 * i;
        uint32_t offset = raw[64] | raw[65] << 8 | raw[66] << 16 | uint32_t(raw[67]) << 24;
        uint32_t length = raw[68] | raw[69] << 8 | raw[70] << 16 | uint32_t(raw[71]) << 24;
        EXPECT_EQ(next, offset) << e.name;
        EXPECT_EQ(e.size, length) << e.name;
        EXPECT_GT(length, 0u) << e.name;
        ASSERT_LT(8 + 72 * count + offset + length, size) << e.name;
        EXPECT_EQ(0xFF, area[offset + length]) << e.name;
        EXPECT_EQ(0, raw[63]) << e.name;
        next = uint64_t(offset) + length + 1;
        QfaArchive::Entry found;
        EXPECT_TRUE(archive.Find(e.name.c_str(), &found)) << e.name;
    }
    EXPECT_EQ(8 + 72 * count + next, size);
}

TEST_F(SkinAssets, ArchiveHoldsExactlyTheSkinInOrder)
{
    ASSERT_FALSE(bytes_->empty()) << "no archive at " << ZDL_SKIN_ARCHIVE;
    ExpectSkinArchive(bytes_->data(), bytes_->size(), "outer archive");
}

TEST_F(SkinAssets, NestedImageDatIsAnArchiveOfTheSameNames)
{
    std::string inner = Entry("image.dat");
    ASSERT_FALSE(inner.empty());
    auto* p = reinterpret_cast<const uint8_t*>(inner.data());
    ExpectSkinArchive(p, inner.size(), "image.dat");
    QfaArchive nested;
    ASSERT_TRUE(nested.Assign(p, inner.size()));
    QfaArchive::Entry innermost;
    ASSERT_TRUE(nested.Find("image.dat", &innermost));
    QfaArchive last;
    EXPECT_TRUE(last.Assign(innermost.data, innermost.size));
    // No name with a folder part reaches into the nested archive.
    QfaArchive::Entry e;
    EXPECT_FALSE(archive_->Find("image.dat/bg.png", &e));
}

struct PictureCase {
    const char* name;
    int width, height; // 0: not checked
};

TEST_F(SkinAssets, EveryPngDecodesWithItsSize)
{
    const PictureCase cases[] = {
        { "bg.png", 868, 513 },
        { "web_bg.png", 868, 513 },
        { "msg_box.png", 488, 510 },
        { "banner.png", 0, 0 },
        { "char.png", 0, 0 },
        { "edit_bg.png", 0, 0 },
        { "logo.png", 0, 0 },
        { "save.png", 0, 0 },
        { "scroll.png", 0, 0 },
        { "percent_num.png", 0, 0 },
        { "progress.png", 0, 0 },
    };
    for (const PictureCase& c : cases) {
        zdl::DibImage image;
        ASSERT_TRUE(zdl::LoadImageFile(&image, c.name)) << c.name;
        EXPECT_EQ(32, image.BitsPerPixel()) << c.name;
        if (c.width) {
            EXPECT_EQ(c.width, image.Width()) << c.name;
            EXPECT_EQ(c.height, image.Height()) << c.name;
        }
    }
    zdl::DibImage bar;
    ASSERT_TRUE(zdl::LoadImageFile(&bar, "progress.png"));
    EXPECT_GE(bar.Width(), 638);
}

TEST_F(SkinAssets, DigitsShareOneCellThatFitsTheirPlaces)
{
    zdl::DibImage first;
    ASSERT_TRUE(zdl::LoadImageFile(&first, "loading_num_0.png"));
    for (int d = 0; d < 10; ++d) {
        std::string name = "loading_num_" + std::to_string(d) + ".png";
        zdl::DibImage digit;
        ASSERT_TRUE(zdl::LoadImageFile(&digit, name.c_str())) << name;
        EXPECT_EQ(first.Width(), digit.Width()) << name;
        EXPECT_EQ(first.Height(), digit.Height()) << name;
    }
    // Places 690, 708, 726 and the sign at 744: a digit at most 18 wide.
    EXPECT_LE(first.Width(), 18);
}

struct SpriteCase {
    const char* name;
    int frames;
    bool pressedShift; // stored frame 2 has key point (-1, -1)
};

TEST_F(SkinAssets, EverySpriteDecodesWithItsFrames)
{
    const SpriteCase cases[] = {
        { "btn_accept.tcp", 4, true },
        { "btn_choose.tcp", 4, true },
        { "btn_continue.tcp", 4, true },
        { "btn_exit.tcp", 4, true },
        { "btn_finish.tcp", 4, true },
        { "btn_install.tcp", 4, true },
        { "btn_min.tcp", 4, true },
        { "btn_refuse.tcp", 4, true },
        { "btn_set.tcp", 4, true },
        { "btn_stop.tcp", 4, true },
        { "btn_up.tcp", 4, true },
        { "btn_down.tcp", 4, true },
        { "btn_thumb.tcp", 4, true },
        { "btn_age.tcp", 1, false },
        { "check_btn.tcp", 2, false },
        { "progress_head.tcp", 15, false },
    };
    for (const SpriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        zdl::SpriteFile sprite;
        ASSERT_TRUE(zdl::LoadSprite(c.name, &sprite));
        EXPECT_EQ(1, sprite.directions);
        EXPECT_EQ(12, sprite.headerLength);
        EXPECT_EQ(c.frames, sprite.frames);
        for (int f = 0; f < sprite.frames; ++f) {
            const zdl::SpriteFrame* frame = sprite.Frame(0, f);
            ASSERT_FALSE(frame->Empty()) << "frame " << f;
        }
        int w = sprite.width, h = sprite.height;
        zdl::FreeSprite(&sprite);
        zdl::DibImage strip;
        ASSERT_TRUE(zdl::LoadImageFile(&strip, c.name));
        EXPECT_EQ(w * zdl::SpriteStripCells(c.frames), strip.Width());
        EXPECT_EQ(h, strip.Height());
        // No cell is blank.
        int cells = zdl::SpriteStripCells(c.frames);
        for (int cell = 0; cell < cells; ++cell) {
            int opaque = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x)
                    opaque += strip.Pixel(cell * w + x, y)[3] > 0;
            }
            EXPECT_GT(opaque, 0) << "cell " << cell;
        }
        // Each cell shows its stored frame, the pressed one (stored frame 2,
        // cell 1) one pixel right and down: compare the coverage with the
        // frames that artgen drew.
        std::string source
            = std::string(ZDL_SKIN_ART_DIR) + "/frames/" + std::string(c.name, std::strlen(c.name) - 4) + ".png";
        zdl::DibImage drawn;
        ASSERT_TRUE(zdl::LoadImageFile(&drawn, source.c_str())) << source;
        ASSERT_EQ(w * c.frames, drawn.Width());
        for (int cell = 0; cell < cells; ++cell) {
            int frame = zdl::SpriteStripFrameOfCell(c.frames, cell);
            int shift = c.pressedShift && frame == 2 ? 1 : 0;
            int mismatched = 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int sx = x - shift, sy = y - shift;
                    int a = sx >= 0 && sy >= 0 ? drawn.Pixel(frame * w + sx, sy)[3] : 0;
                    int got = strip.Pixel(cell * w + x, y)[3];
                    mismatched += (a == 0 && got != 0) || (a >= 8 && got == 0);
                }
            }
            EXPECT_EQ(0, mismatched) << "cell " << cell;
        }
        if (!c.pressedShift)
            continue;
        // Buttons keep their last column and row clear, so the shifted
        // pressed look stays inside its own cell.
        int stray = 0;
        for (int y = 0; y < h; ++y) {
            for (int f = 0; f < c.frames; ++f)
                stray += drawn.Pixel(f * w + w - 1, y)[3] != 0;
        }
        for (int x = 0; x < drawn.Width(); ++x)
            stray += drawn.Pixel(x, h - 1)[3] != 0;
        EXPECT_EQ(0, stray);
    }
}

struct Rect {
    const char* what;
    int x, y, w, h;
};

// Text drawn at run time makes its rectangle opaque, so the background must
// be opaque wherever that text stands.
void ExpectOpaque(const char* picture, const std::vector<Rect>& rects)
{
    zdl::DibImage image;
    ASSERT_TRUE(zdl::LoadImageFile(&image, picture));
    for (const Rect& r : rects) {
        int clear = 0;
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x)
                clear += image.Pixel(x, y)[3] != 255;
        }
        EXPECT_EQ(0, clear) << picture << ": " << r.what;
    }
}

TEST_F(SkinAssets, BackgroundsAreOpaqueUnderRunTimeText)
{
    const std::vector<Rect> main = { { "status line", 216, 373, 300, 20 }, { "info line", 438, 373, 300, 20 },
        { "agreement label", 305, 315, 120, 20 }, { "licence link", 425, 315, 160, 20 },
        { "folder field", 323, 272, 292, 14 }, { "banner", 262, 125, 392, 124 } };
    ExpectOpaque("bg.png", main);
    ExpectOpaque("web_bg.png", main);
    ExpectOpaque("msg_box.png", { { "licence title", 168, 35, 200, 20 }, { "licence text", 59, 55, 395, 392 } });
}

TEST_F(SkinAssets, WindowsHaveTransparentMargins)
{
    for (const char* name : { "bg.png", "msg_box.png" }) {
        zdl::DibImage image;
        ASSERT_TRUE(zdl::LoadImageFile(&image, name));
        int w = image.Width(), h = image.Height();
        for (auto [x, y] : { std::pair { 0, 0 }, { w - 1, 0 }, { 0, h - 1 }, { w - 1, h - 1 } }) {
            EXPECT_EQ(0, image.Pixel(x, y)[3]) << name << " corner " << x << "," << y;
        }
    }
}

// One child of a layout script as the loader reads it.
struct Child {
    std::string type, name, fn;
    int x, y, third, fourth;
};

// Runs |script| as the layout loader does: compile from memory, call with no
// arguments for one result, read the table.
bool RunLayout(const std::string& script, std::string* type, std::string* background, std::vector<Child>* children)
{
    lua_State* L = luaL_newstate();
    bool ok = luaL_loadbuffer(L, script.data(), script.size(), "layout") == 0 && lua_pcall(L, 0, 1, 0) == 0
        && lua_istable(L, -1);
    if (ok) {
        int root = lua_gettop(L);
        lua_getfield(L, root, "type_name");
        *type = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_getfield(L, root, "arg");
        lua_rawgeti(L, -1, 3);
        *background = lua_isstring(L, -1) ? lua_tostring(L, -1) : "";
        lua_settop(L, root);
        lua_getfield(L, root, "son_list");
        int list = lua_gettop(L);
        int n = static_cast<int>(lua_objlen(L, list));
        for (int key = 1; ok && key <= n; ++key) {
            lua_rawgeti(L, list, key);
            int child = lua_gettop(L);
            Child c;
            lua_getfield(L, child, "type_name");
            c.type = lua_tostring(L, -1) ? lua_tostring(L, -1) : "";
            lua_getfield(L, child, "name");
            c.name = lua_tostring(L, -1) ? lua_tostring(L, -1) : "";
            lua_getfield(L, child, "arg");
            int arg = lua_gettop(L);
            ok = lua_istable(L, arg);
            if (ok) {
                lua_rawgeti(L, arg, 1);
                lua_rawgeti(L, arg, 2);
                lua_rawgeti(L, arg, 3);
                lua_rawgeti(L, arg, 4);
                c.x = static_cast<int>(lua_tonumber(L, -4));
                c.y = static_cast<int>(lua_tonumber(L, -3));
                c.third = static_cast<int>(lua_tonumber(L, -2));
                c.fn = lua_type(L, -2) == LUA_TSTRING ? lua_tostring(L, -2) : "";
                c.fourth = lua_isnil(L, -1) ? -1 : static_cast<int>(lua_tonumber(L, -1));
            }
            lua_settop(L, list);
            children->push_back(c);
        }
    }
    lua_close(L);
    return ok;
}

struct ExpectedChild {
    const char* type;
    const char* name;
    int x, y;
    const char* fn; // or null for the sized types
    int fourth; // frame count, bar length or height; -1 unchecked
};

void ExpectLayout(const std::string& script, const char* background, const std::vector<ExpectedChild>& expected)
{
    std::string type, bg;
    std::vector<Child> children;
    ASSERT_TRUE(RunLayout(script, &type, &bg, &children));
    EXPECT_EQ("UImagePanel", type);
    EXPECT_EQ(background, bg);
    ASSERT_EQ(expected.size(), children.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedChild& e = expected[i];
        const Child& c = children[i];
        SCOPED_TRACE(std::string("id ") + std::to_string(i + 1) + " " + e.name);
        EXPECT_EQ(e.type, c.type);
        EXPECT_EQ(e.name, c.name);
        EXPECT_EQ(e.x, c.x);
        EXPECT_EQ(e.y, c.y);
        if (e.fn) {
            EXPECT_EQ(e.fn, c.fn);
            zdl::DibImage image;
            EXPECT_TRUE(zdl::LoadImageFile(&image, c.fn.c_str()));
        }
        if (e.fourth >= 0) {
            EXPECT_EQ(e.fourth, c.fourth);
        }
    }
}

TEST_F(SkinAssets, DownloadPageLayout)
{
    ExpectLayout(Entry("ui_panel1.lua"), "bg.png",
        { { "UImageButton", "set", 675, 85, "btn_set.tcp", 4 },
            { "UImageButton", "minsize", 705, 90, "btn_min.tcp", 4 },
            { "UImageButton", "exit", 735, 87, "btn_exit.tcp", 4 },
            { "UImageButton", "scan", 615, 270, "btn_choose.tcp", 4 },
            { "UImageButton", "install", 680, 270, "btn_install.tcp", 4 },
            { "UImageButton", "continue", 680, 270, "btn_continue.tcp", 4 },
            { "UImageButton", "stop", 680, 270, "btn_stop.tcp", 4 },
            { "UImageButton", "finish", 680, 270, "btn_finish.tcp", 4 }, { "UEdit", "edit_dir", 323, 272, nullptr, 14 },
            { "UProgress", "progress", 120, 392, "progress.png", 638 }, { "UBubble", "logo", 236, 68, "logo.png", -1 },
            { "UBubble", "char", -149, -35, "char.png", -1 }, { "UContainer", "banner", 262, 125, nullptr, 124 },
            { "UBubble", "save", 238, 271, "save.png", -1 },
            { "UBubble", "percent_hun", 690, 360, "loading_num_1.png", -1 },
            { "UBubble", "percent_ten", 708, 360, "loading_num_0.png", -1 },
            { "UBubble", "percent_one", 726, 360, "loading_num_0.png", -1 },
            { "UBubble", "percent_num", 744, 375, "percent_num.png", -1 },
            { "UBubble", "edit_bg", 317, 269, "edit_bg.png", -1 },
            { "UAnimate", "progress_head", 100, 384, "progress_head.tcp", 15 },
            { "UBubble", "web_back", 254, 117, "banner.png", -1 },
            { "UCheckButton", "check_accept", 280, 310, "check_btn.tcp", -1 },
            { "UImageButton", "age", 190, 335, "btn_age.tcp", 1 } });
}

TEST_F(SkinAssets, LicencePageAndMessageLayouts)
{
    ExpectLayout(Entry("ui_panel2.lua"), "msg_box.png",
        { { "UImageButton", "refuse", 300, 452, "btn_refuse.tcp", 4 },
            { "UImageButton", "accept", 120, 452, "btn_accept.tcp", 4 },
            { "UImageButton", "exit", 440, 25, "btn_exit.tcp", 4 } });
    ExpectLayout(Entry("ui_msgbox.lua"), "msg_box.png",
        { { "URichText", "text", 59, 60, nullptr, -1 }, { "UImageButton", "stop", 300, 452, "btn_stop.tcp", 4 },
            { "UImageButton", "continue", 110, 452, "btn_continue.tcp", 4 } });
}

TEST_F(SkinAssets, ButtonsFitTheDownloadPage)
{
    // The four action buttons share (680, 270) and must stay on the panel;
    // the scroll column of the licence text is 12 pixels wide.
    struct Fit {
        const char* name;
        int cells, maxWidth, maxHeight;
    };
    for (const Fit& f :
        { Fit { "btn_install.tcp", 4, 120, 40 }, Fit { "btn_stop.tcp", 4, 120, 40 }, Fit { "btn_up.tcp", 4, 12, 12 },
            Fit { "btn_thumb.tcp", 4, 12, 60 }, Fit { "check_btn.tcp", 2, 24, 24 } }) {
        zdl::DibImage strip;
        ASSERT_TRUE(zdl::LoadImageFile(&strip, f.name)) << f.name;
        EXPECT_LE(strip.Width() / f.cells, f.maxWidth) << f.name;
        EXPECT_LE(strip.Height(), f.maxHeight) << f.name;
    }
}

// GBK: single bytes below 0x80; lead 0x81-0xFE with trail 0x40-0xFE except 0x7F.
bool IsGbk(const std::string& s, size_t* bad)
{
    for (size_t i = 0; i < s.size(); ++i) {
        auto b = static_cast<uint8_t>(s[i]);
        if (b < 0x80)
            continue;
        if (b == 0x80 || b == 0xFF || i + 1 >= s.size()) {
            *bad = i;
            return false;
        }
        auto t = static_cast<uint8_t>(s[i + 1]);
        if (t < 0x40 || t == 0x7F || t == 0xFF) {
            *bad = i;
            return false;
        }
        ++i;
    }
    return true;
}

TEST_F(SkinAssets, LicenceTextIsGbkWithCrlfAndMarkup)
{
    std::string text = Entry(kLicenceName);
    ASSERT_GT(text.size(), 2000u);
    size_t bad = 0;
    EXPECT_TRUE(IsGbk(text, &bad)) << "byte " << bad;
    int lines = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ('\r', text[i - 1]) << "LF without CR at " << i;
            ++lines;
        }
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << i;
        }
    }
    EXPECT_GT(lines, 40);
    EXPECT_EQ("\r\n", text.substr(text.size() - 2));
    EXPECT_NE(std::string::npos, text.find("Zephyra\xC3\xE2\xB7\xD1\xB0\xE6")); // Zephyra免费版
    for (const char* tag : { "#h12", "#d", "#n", "#u", "#c" }) {
        EXPECT_NE(std::string::npos, text.find(tag)) << tag;
    }
    // Every "#" starts a tag the markup knows, so no stray "#" shows as text.
    for (size_t i = text.find('#'); i != std::string::npos; i = text.find('#', i + 1)) {
        ASSERT_LT(i + 1, text.size());
        EXPECT_NE(std::string::npos, std::string("BGKRWYchdiutnr").find(text[i + 1])) << i;
    }
}

TEST_F(SkinAssets, ScriptsAreGbkAndRunWithoutLibraries)
{
    for (const char* name : { "ui_panel1.lua", "ui_panel2.lua", "ui_msgbox.lua" }) {
        std::string script = Entry(name);
        size_t bad = 0;
        EXPECT_TRUE(IsGbk(script, &bad)) << name << " byte " << bad;
        // The loader opens no library: the script must not call any.
        lua_State* L = luaL_newstate();
        EXPECT_EQ(0, luaL_loadbuffer(L, script.data(), script.size(), name)) << name;
        EXPECT_EQ(0, lua_pcall(L, 0, 1, 0)) << name;
        EXPECT_TRUE(lua_istable(L, -1)) << name;
        lua_close(L);
    }
}

uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

TEST(SkinIcon, HoldsFiveSizesAsDibsAndOnePng)
{
    std::vector<uint8_t> ico = ReadFile(ZDL_SKIN_ICON);
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(0, Le16(&ico[0]));
    EXPECT_EQ(1, Le16(&ico[2])); // icon, not cursor
    const int sizes[] = { 16, 24, 32, 48, 256 };
    ASSERT_EQ(5, Le16(&ico[4]));
    ASSERT_GE(ico.size(), 6u + 16 * 5);
    uint32_t end = 6 + 16 * 5;
    for (int i = 0; i < 5; ++i) {
        const uint8_t* dir = &ico[6 + 16 * i];
        int size = sizes[i];
        SCOPED_TRACE(size);
        EXPECT_EQ(size % 256, dir[0]);
        EXPECT_EQ(size % 256, dir[1]);
        EXPECT_EQ(32, Le16(dir + 6));
        uint32_t bytes = Le32(dir + 8), offset = Le32(dir + 12);
        EXPECT_EQ(end, offset); // images follow the directory without gaps
        ASSERT_LE(uint64_t(offset) + bytes, ico.size());
        end = offset + bytes;
        const uint8_t* image = &ico[offset];
        if (size == 256) {
            EXPECT_EQ(0, std::memcmp(image, "\x89PNG\r\n\x1a\n", 8));
            continue;
        }
        // BITMAPINFOHEADER of a 32-bit DIB twice as high (colour and mask).
        EXPECT_EQ(40u, Le32(image));
        EXPECT_EQ(uint32_t(size), Le32(image + 4));
        EXPECT_EQ(uint32_t(size * 2), Le32(image + 8));
        EXPECT_EQ(32, Le16(image + 14));
        int maskStride = ((size + 31) / 32) * 4;
        EXPECT_EQ(uint32_t(40 + size * size * 4 + maskStride * size), bytes);
        // Opaque middle, clear corner (rows bottom-up: row 0 is the bottom).
        const uint8_t* pixels = image + 40;
        EXPECT_EQ(255, pixels[((size / 2) * size + size / 2) * 4 + 3]);
        EXPECT_EQ(0, pixels[3]);
    }
    EXPECT_EQ(ico.size(), end);
}

} // namespace
