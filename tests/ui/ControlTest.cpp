// The control container's own operations: adding controls with their
// default styles, the style table, focus movement, paint order, notices.
#include "ProbeControl.h"
#include "skin/ControlContainer.h"
#include "skin/MultiColorStatic.h"

#include <gtest/gtest.h>

#include <memory>

namespace zdl {
namespace {

    using test::ProbeControl;

    class ControlTest : public ::testing::Test {
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
        ProbeControl* Add(CSControlContainer* c, const char* name, int px, int py, int w, int h)
        {
            auto* p = new ProbeControl(&log_, name);
            EXPECT_EQ(0, c->AddControl(p));
            p->Place(px, py, w, h);
            return p;
        }
        TestUiPlatform platform_;
        UiPlatform* previous_ = nullptr;
        std::vector<std::string> log_;
    };

    TEST_F(ControlTest, AddControlStatuses)
    {
        CSControlContainer c;
        EXPECT_EQ(kStatusInvalidArg, c.AddControl(nullptr));
        EXPECT_EQ(static_cast<HResult>(0x80070057u), kStatusInvalidArg);

        auto refused = std::make_unique<ProbeControl>();
        refused->attachStatus = static_cast<HResult>(0x80004005u); // E_FAIL
        EXPECT_EQ(refused->attachStatus, c.AddControl(refused.get()));
        EXPECT_TRUE(c.controls.empty());
        EXPECT_EQ(nullptr, refused->owner);

        // A positive status from OnAttach is not a failure.
        auto* kept = new ProbeControl();
        kept->attachStatus = 1;
        EXPECT_EQ(0, c.AddControl(kept));
        auto* second = new ProbeControl();
        EXPECT_EQ(0, c.AddControl(second));
        ASSERT_EQ(2u, c.controls.size());
        EXPECT_EQ(0, kept->index);
        EXPECT_EQ(1, second->index);
        EXPECT_EQ(&c, second->owner);
    }

    TEST_F(ControlTest, AddControlCopiesStylesUpToTheirLayer)
    {
        CSControlContainer c;
        SkinStyle a;
        a.textFormat = 0x11;
        SkinStyle b;
        b.textFormat = 0x22;
        ASSERT_EQ(0, c.SetStyle(kTypeButton, 2, a));
        ASSERT_EQ(0, c.SetStyle(kTypeButton, 0, b));
        ASSERT_EQ(0, c.SetStyle(kTypeStatic, 0, a));
        auto* button = new ProbeControl(nullptr, "b", kTypeButton);
        ASSERT_EQ(0, c.AddControl(button));
        ASSERT_EQ(3u, button->layers.size());
        EXPECT_EQ(0x22u, button->layers[0].textFormat);
        EXPECT_EQ(0u, button->layers[1].textFormat); // grown, empty
        EXPECT_EQ(0x11u, button->layers[2].textFormat);

        auto* bubble = new ProbeControl(nullptr, "x", kTypeBubble);
        ASSERT_EQ(0, c.AddControl(bubble));
        EXPECT_TRUE(bubble->layers.empty());
        bubble->SetTextColor(0x123456); // no layer 0: ignored
        EXPECT_TRUE(bubble->layers.empty());
        button->SetTextColor(0x123456);
        EXPECT_EQ(0x123456u, button->layers[0].textColor[0]);
        EXPECT_EQ(0u, button->layers[0].textColor[1]);
    }

    TEST_F(ControlTest, SetStyleOverwritesAnExistingPair)
    {
        CSControlContainer c;
        SkinStyle s;
        s.frameWidth = 5;
        c.SetStyle(3, 1, s);
        s.frameWidth = 9;
        c.SetStyle(3, 1, s);
        c.SetStyle(3, 2, s);
        ASSERT_EQ(2u, c.styles.size());
        EXPECT_EQ(9, c.styles[0].style.frameWidth);
    }

    TEST_F(ControlTest, DefaultStylesInheritDownTheRows)
    {
        CSControlContainer c;
        c.FillDefaultStyles();
        struct Row {
            int type;
            int layer;
            uint32_t format;
        };
        const Row rows[] = {
            { 1, 0, 0x810 },
            { 16, 0, 0x810 },
            { 17, 0, 0x810 },
            { 0, 0, 0x825 },
            { 15, 0, 0x825 },
            { 11, 0, 0x825 },
            { 2, 0, 0x825 },
            { 6, 0, 0x825 },
            { 7, 0, 0x825 },
            { 7, 1, 0x825 },
            { 9, 0, 0x825 },
            { 8, 0, 0x825 },
            { 8, 5, 0x825 },
        };
        ASSERT_EQ(17u, c.styles.size());
        FontHandle font = c.styles[0].style.font;
        ASSERT_NE(nullptr, font);
        FontDesc desc;
        ASSERT_TRUE(FindFontDesc(font, &desc));
        EXPECT_STREQ(kSongTiFace, desc.faceName);
        EXPECT_EQ(14, desc.height);
        EXPECT_EQ(7, desc.width);
        EXPECT_EQ(14, desc.weight);
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << "type " << row.type << " layer " << row.layer);
            const StyleEntry* found = nullptr;
            for (const StyleEntry& e : c.styles)
                if (e.typeCode == row.type && e.layerIndex == row.layer)
                    found = &e;
            ASSERT_NE(nullptr, found);
            EXPECT_EQ(row.format, found->style.textFormat);
            EXPECT_EQ(font, found->style.font); // the font carries over every row
            EXPECT_EQ(nullptr, found->style.image); // none of the images ships
            for (ColorRef color : found->style.textColor)
                EXPECT_EQ(0u, color);
        }
        // A scroll-bar control gets all six layers.
        auto* bar = new ProbeControl(nullptr, "sb", 8);
        ASSERT_EQ(0, c.AddControl(bar));
        EXPECT_EQ(6u, bar->layers.size());
    }

    TEST_F(ControlTest, TabWithoutFocusTakesTheFirstFocusableControl)
    {
        CSControlContainer c;
        auto* a = Add(&c, "a", 0, 0, 10, 10);
        auto* b = Add(&c, "b", 20, 0, 10, 10);
        auto* d = Add(&c, "d", 40, 0, 10, 10);
        b->focusable = true;
        d->focusable = true;
        c.navigationKeys = true;

        // Right and Down do nothing while nothing has the focus.
        EXPECT_FALSE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_RIGHT, 0));
        EXPECT_FALSE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_DOWN, 0));
        EXPECT_EQ(nullptr, focusControl);

        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_TAB, 0));
        EXPECT_EQ(b, focusControl);
        EXPECT_TRUE(b->focused);
        EXPECT_EQ(1, a->canFocusCalls);

        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_RIGHT, 0));
        EXPECT_EQ(d, focusControl);
        EXPECT_FALSE(b->focused);
        // Forward past the end wraps to the start of the ring (this container).
        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_TAB, 0));
        EXPECT_EQ(b, focusControl);
        // Shift+Tab goes backward and wraps at the start.
        platform_.keys[VK_SHIFT] = true;
        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_TAB, 0));
        EXPECT_EQ(d, focusControl);
        platform_.keys[VK_SHIFT] = false;
        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_UP, 0));
        EXPECT_EQ(b, focusControl);
    }

    TEST_F(ControlTest, TabGivesUpAfterTenTries)
    {
        CSControlContainer c;
        std::vector<ProbeControl*> probes;
        for (int i = 0; i < 3; ++i)
            probes.push_back(Add(&c, "p", i * 10, 0, 10, 10));
        c.navigationKeys = true;
        EXPECT_TRUE(c.HandleMessage(nullptr, WM_KEYDOWN, VK_TAB, 0));
        EXPECT_EQ(nullptr, focusControl);
        int calls = 0;
        for (auto* p : probes)
            calls += p->canFocusCalls;
        EXPECT_EQ(10, calls);

        // With a focus that nobody else can take, it stays where it is.
        probes[1]->focusable = true;
        c.RequestFocus(probes[1]);
        probes[1]->focusable = false;
        EXPECT_TRUE(c.MoveFocus(true));
        EXPECT_EQ(probes[1], focusControl);
        EXPECT_TRUE(probes[1]->focused);
    }

    TEST_F(ControlTest, FocusMovesIntoTheNextContainerOfTheRing)
    {
        CSControlContainer first, empty, second;
        auto* a = Add(&first, "a", 0, 0, 5, 5);
        auto* b = Add(&second, "b", 0, 0, 5, 5);
        a->focusable = b->focusable = true;
        first.nextContainer = &empty; // containers without controls are skipped
        empty.nextContainer = &second;
        second.prevContainer = &first;
        first.RequestFocus(a);
        EXPECT_TRUE(first.MoveFocus(true));
        EXPECT_EQ(b, focusControl);
        // The focus now belongs to another container: this one refuses to move it.
        EXPECT_FALSE(first.MoveFocus(true));
        EXPECT_TRUE(second.MoveFocus(false));
        EXPECT_EQ(a, focusControl);
    }

    TEST_F(ControlTest, RequestFocusNeedsCanFocusAndClearFocusReleasesCapture)
    {
        CSControlContainer c;
        auto* a = Add(&c, "a", 0, 0, 5, 5);
        c.RequestFocus(a);
        EXPECT_EQ(nullptr, focusControl);
        a->focusable = true;
        c.RequestFocus(a);
        EXPECT_EQ(a, focusControl);
        platform_.capture = reinterpret_cast<NativeWindow>(0x10);
        c.ClearFocus();
        EXPECT_EQ(nullptr, focusControl);
        EXPECT_FALSE(a->focused);
        EXPECT_EQ(nullptr, platform_.capture);
    }

    TEST_F(ControlTest, FocusControlIsPaintedLast)
    {
        CSControlContainer c;
        c.x = 5;
        auto* first = Add(&c, "first", 0, 0, 10, 10);
        auto* later = Add(&c, "later", 0, 0, 10, 10);
        first->paintColor = 0x0000FF;
        later->paintColor = 0x00FF00;
        DibImage canvas;
        ASSERT_TRUE(CreateDib(&canvas, 32, 20, 20));

        c.Paint(&canvas, 0, 0);
        EXPECT_EQ(0xFF, canvas.Pixel(5, 0)[1]); // the later control is on top
        EXPECT_EQ(0x00, canvas.Pixel(5, 0)[2]);
        EXPECT_EQ(0x00, canvas.Pixel(4, 0)[3]); // origin offset by the container's x

        first->focusable = true;
        c.RequestFocus(first);
        log_.clear();
        c.Paint(&canvas, 0, 0);
        EXPECT_EQ((std::vector<std::string> { "later:paint", "first:paint" }), log_);
        EXPECT_EQ(0xFF, canvas.Pixel(5, 0)[2]);

        c.active = false;
        log_.clear();
        c.Paint(&canvas, 0, 0);
        EXPECT_TRUE(log_.empty());
    }

    TEST_F(ControlTest, NotifyGoesToTheCallbackOrTheContainer)
    {
        struct Page : CSControlContainer {
            int code = 0, id = 0;
            void OnNotify(int c, int i, CSControl*) override
            {
                code = c;
                id = i;
            }
        } page;
        auto* a = Add(&page, "a", 0, 0, 5, 5);
        a->id = 42;
        NotifyOwner(a, kNotifyClicked);
        EXPECT_TRUE(a->notified);
        EXPECT_EQ(257, page.code);
        EXPECT_EQ(42, page.id);

        static int seenCode, seenId;
        static uintptr_t seenData;
        page.notifyCallback = [](int code, int id, CSControl*, uintptr_t data) {
            seenCode = code;
            seenId = id;
            seenData = data;
        };
        page.notifyUserData = 77;
        page.code = 0;
        NotifyOwner(a, kNotifyCheckChanged);
        EXPECT_EQ(1025, seenCode);
        EXPECT_EQ(42, seenId);
        EXPECT_EQ(77u, seenData);
        EXPECT_EQ(0, page.code);
    }

    TEST_F(ControlTest, DestroyingTheContainerDropsItsFocus)
    {
        auto c = std::make_unique<CSControlContainer>();
        auto* a = Add(c.get(), "a", 0, 0, 5, 5);
        a->focusable = true;
        c->RequestFocus(a);
        c.reset();
        EXPECT_EQ(nullptr, focusControl);
    }

    TEST_F(ControlTest, CaptionFontBelongsToTheControl)
    {
        CSControlContainer c;
        c.FillDefaultStyles();
        auto* link = new ProbeControl(nullptr, "link", kTypeClickableStatic);
        ASSERT_EQ(0, c.AddControl(link));
        FontHandle shared = link->layers[0].font;
        MakeCaptionFont(link);
        FontHandle first = link->layers[0].font;
        ASSERT_NE(nullptr, first);
        EXPECT_NE(shared, first);
        FontDesc desc;
        EXPECT_FALSE(FindFontDesc(first, &desc)); // not a cached font
        EXPECT_TRUE(FindFontDesc(shared, &desc)); // the shared one is untouched
        FontSpec spec;
        ASSERT_TRUE(QueryFontSpec(first, &spec));
        EXPECT_EQ(12, spec.height);
        EXPECT_EQ(400, spec.weight);
        MakeCaptionFont(link); // the previous caption font is deleted (ASan would see a leak)
        EXPECT_EQ(link->captionFont, link->layers[0].font);

        auto* bubble = new ProbeControl(nullptr, "bubble", kTypeBubble);
        ASSERT_EQ(0, c.AddControl(bubble));
        MakeCaptionFont(bubble);
        EXPECT_EQ(nullptr, bubble->captionFont);
    }

    TEST_F(ControlTest, TooltipComesFromTheInstalledFactory)
    {
        CSControlContainer rich; // the default maker: a hidden rich text on black
        rich.OnAttached();
        ASSERT_NE(nullptr, rich.tooltip);
        EXPECT_EQ(kTypeMultiColorStatic, rich.tooltip->typeCode);
        EXPECT_TRUE(static_cast<CSMultiColorStatic*>(rich.tooltip)->fillBackground);

        SetTooltipFactory(nullptr);
        CSControlContainer without;
        without.OnAttached();
        EXPECT_EQ(nullptr, without.tooltip);

        SetTooltipFactory([]() -> CSControl* { return new ProbeControl(nullptr, "tip", kTypeMultiColorStatic); });
        CSControlContainer with;
        with.OnAttached();
        SetTooltipFactory(&CreateTooltipControl);
        ASSERT_NE(nullptr, with.tooltip);
        EXPECT_EQ(kTooltipId, with.tooltip->id);
        EXPECT_FALSE(with.tooltip->visible);
        EXPECT_EQ(280, with.tooltip->rect.left);
        EXPECT_EQ(440, with.tooltip->rect.bottom);
        EXPECT_EQ(1u, with.controls.size());
    }

} // namespace
} // namespace zdl
