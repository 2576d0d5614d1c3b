// The eight control factories: the kind, id, place and size of what each
// makes, and the null-image and bad-count cases.
#include "skin/ControlFactories.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "skin/Animate.h"
#include "skin/BitmapDialog.h"
#include "skin/CheckBox.h"
#include "skin/EditBox.h"
#include "skin/HtmlCtrl.h"

#include <gtest/gtest.h>

namespace zdl {
namespace {

    class ControlFactoriesTest : public ::testing::Test {
    protected:
        static void SetUpTestSuite() { LoadResourceArchive(); }
        void SetUp() override
        {
            strip_ = GetImage("progress_head.tcp");
            picture_ = GetImage("progress.png");
            box_ = GetImage("check_btn.tcp");
            ASSERT_TRUE(strip_ && picture_ && box_) << "the embedded archive has no skin";
            panel_.FillDefaultStyles();
        }
        CSBitmapDialog panel_;
        DibImage* strip_ = nullptr;
        DibImage* picture_ = nullptr;
        DibImage* box_ = nullptr;
    };

    TEST_F(ControlFactoriesTest, EachFactoryMakesItsControlInPlace)
    {
        struct Row {
            const char* what;
            HResult status;
            CSControl* made;
            int32_t type;
            int width, height;
        };
        CSControl* c[8] = {};
        const HResult st[8] = {
            CreateImageButton(&panel_, 1, 10, 20, &c[0]),
            CreateCheckBox(&panel_, 2, 10, 20, box_, &c[1]),
            CreateBubble(&panel_, picture_, 3, 10, 20, &c[2]),
            CreateProgressBar(&panel_, picture_, 4, 10, 20, 638, &c[3]),
            CreateAnimation(&panel_, 5, 10, 20, strip_, 15, 3, &c[4]),
            CreateRichText(&panel_, 6, 10, 20, 300, 40, &c[5]),
            CreateEditBox(&panel_, 7, 10, 20, 292, 14, &c[6]),
            CreateWebView(&panel_, 8, 10, 20, 392, 124, &c[7]),
        };
        const Row rows[] = {
            { "button", st[0], c[0], kTypeButton, 1, 1 },
            { "check box", st[1], c[1], kTypeCheckBox, box_->Width() / 2, box_->Height() },
            { "bubble", st[2], c[2], kTypeBubble, picture_->Width(), picture_->Height() },
            { "progress", st[3], c[3], kTypeProgressBar, 638, picture_->Height() },
            { "animation", st[4], c[4], kTypeAnimate, strip_->Width() / 15, strip_->Height() },
            { "rich text", st[5], c[5], kTypeMultiColorStatic, 300, 40 },
            { "edit box", st[6], c[6], kTypeEditBox, 292, -1 },
            { "web view", st[7], c[7], kTypeHtmlCtrl, 392, 124 },
        };
        ASSERT_EQ(8u, panel_.controls.size());
        for (int i = 0; i < 8; ++i) {
            const Row& r = rows[i];
            SCOPED_TRACE(r.what);
            EXPECT_EQ(0, r.status);
            ASSERT_EQ(panel_.controls[i], r.made);
            EXPECT_EQ(r.type, r.made->typeCode);
            EXPECT_EQ(i + 1, r.made->id);
            EXPECT_EQ(10, r.made->x);
            EXPECT_EQ(20, r.made->y);
            EXPECT_EQ(r.width, r.made->width);
            if (r.height >= 0) {
                EXPECT_EQ(r.height, r.made->height);
            }
            EXPECT_EQ(10, r.made->rect.left);
            EXPECT_EQ(20, r.made->rect.top);
        }
        EXPECT_EQ(box_->Width() / 2, c[1]->layers[0].frameWidth);
        EXPECT_EQ(3, static_cast<CSAnimate*>(c[4])->speed);
        EXPECT_EQ(15, static_cast<CSAnimate*>(c[4])->frameCount);
        EXPECT_EQ(0, static_cast<CSEditBox*>(c[6])->length);
    }

    TEST_F(ControlFactoriesTest, BadInputCreatesNothingOrSomethingSafe)
    {
        CSControl* made = reinterpret_cast<CSControl*>(1);
        EXPECT_EQ(1, CreateBubble(&panel_, nullptr, 1, 0, 0, &made));
        EXPECT_EQ(nullptr, made);
        EXPECT_EQ(1, CreateProgressBar(&panel_, nullptr, 1, 0, 0, 10));
        EXPECT_TRUE(panel_.controls.empty());
        EXPECT_EQ(kStatusInvalidArg, CreateRichText(nullptr, 1, 0, 0, 5, 5));
        // A bar of length 0 takes the picture's width.
        ASSERT_EQ(0, CreateProgressBar(&panel_, picture_, 1, 0, 0, 0, &made));
        EXPECT_EQ(picture_->Width(), made->width);
        // Zero or negative frame counts never divide by zero.
        ASSERT_EQ(0, CreateAnimation(&panel_, 2, 0, 0, strip_, 0, 3, &made));
        EXPECT_EQ(strip_->Width(), made->width);
        ASSERT_EQ(0, CreateAnimation(&panel_, 3, 0, 0, strip_, -4, 3, &made));
        EXPECT_EQ(1, static_cast<CSAnimate*>(made)->frameCount);
    }

} // namespace
} // namespace zdl
