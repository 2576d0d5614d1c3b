// The edit box: byte limits and double-byte characters, the WM_CHAR table,
// keys, the clipboard and what a scrolled field shows.
#include "skin/EditBox.h"
#include "ControlKit.h"

#include <cstring>
#include <string>

namespace zdl {
namespace {

    using test::Place;
    using test::RecordingPage;

    NativeWindow const kWindow = reinterpret_cast<NativeWindow>(0x3000);
    const char kZhong[] = "\xD6\xD0"; // 中: its second byte is in the lead range too

    class EditBoxTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            focusControl = nullptr;
            previous_ = SetUiPlatform(&ui_);
            edit_ = AddEdit();
        }
        void TearDown() override
        {
            SetUiPlatform(previous_);
            focusControl = nullptr;
        }
        CSEditBox* AddEdit()
        {
            auto* e = new CSEditBox();
            EXPECT_EQ(0, page_.AddControl(e));
            Place(e, 10, 10, 200, 16);
            e->SetText("");
            return e;
        }
        void Type(const std::string& bytes, CSEditBox* e = nullptr)
        {
            for (unsigned char c : bytes)
                EXPECT_TRUE((e ? e : edit_)->OnMessage(WM_CHAR, c, 0));
        }
        void Char(unsigned c) { EXPECT_TRUE(edit_->OnMessage(WM_CHAR, c, 0)); }
        void Key(int vk) { edit_->OnMessage(WM_KEYDOWN, static_cast<WParam>(vk), 0); }
        std::string Text() const { return std::string(edit_->buffer, static_cast<size_t>(edit_->length)); }

        TestUiPlatform ui_;
        UiPlatform* previous_ = nullptr;
        RecordingPage page_;
        CSEditBox* edit_ = nullptr;
    };

    TEST_F(EditBoxTest, ByteLimitNeverTakesHalfACharacter)
    {
        ASSERT_TRUE(edit_->SetText(std::string(126, 'a').c_str()));
        Type("b"); // the 127th byte
        EXPECT_EQ(126, edit_->length);
        EXPECT_FALSE(edit_->SetText(std::string(127, 'a').c_str()));
        EXPECT_EQ(126, edit_->length);

        ASSERT_TRUE(edit_->SetText(std::string(125, 'a').c_str()));
        Type(kZhong); // room for one byte only: both halves refused
        EXPECT_EQ(std::string(125, 'a'), Text());
        Type("x");
        EXPECT_EQ(126, edit_->length);
        EXPECT_EQ('x', edit_->buffer[125]);
    }

    TEST_F(EditBoxTest, PendingLeadByteBelongsToItsOwnField)
    {
        CSEditBox* other = AddEdit();
        ASSERT_TRUE(other->SetText(std::string(125, 'a').c_str()));
        Type("\xD6"); // a first half typed into the first field
        Type("x", other);
        EXPECT_EQ(126, other->length);
        // A character whose second half lies below the lead range completes it.
        Type("\x40");
        Type("\xB0\x41");
        EXPECT_EQ(std::string("\xD6\x40\xB0\x41"), Text());
        EXPECT_FALSE(edit_->pendingLeadByte);
    }

    TEST_F(EditBoxTest, BackspaceAndLeftStepOverWholeCharacters)
    {
        ASSERT_TRUE(edit_->SetText((std::string("a") + kZhong).c_str()));
        Key(VK_LEFT);
        EXPECT_EQ(1, edit_->caret);
        Key(VK_RIGHT);
        EXPECT_EQ(3, edit_->caret);
        Char(8);
        EXPECT_EQ("a", Text());
        EXPECT_EQ(1, edit_->caret);
        EXPECT_EQ(1, page_.Count(kNotifyEditChanged));
        // Clicking on the second half of a character puts the caret after it.
        ASSERT_TRUE(edit_->SetText((std::string(kZhong) + "b").c_str()));
        EXPECT_EQ(2, edit_->PositionAt(edit_->textRect.left + 7));
    }

    TEST_F(EditBoxTest, ScrolledFirstCellThatIsASecondHalfShowsAsSpace)
    {
        // Two fields of four cells scrolled to byte 2: one shows the second half
        // of 中 there, the other a real space; both must look the same.
        CSEditBox* spaced = AddEdit();
        for (CSEditBox* e : { edit_, spaced }) {
            e->layers.resize(1);
            e->layers[0].font = GetFont(FontDesc::Make(kSongTiFace, 14, 7, 14));
            Place(e, 0, 0, 28, 16);
        }
        ASSERT_EQ(4, edit_->visibleChars);
        ASSERT_TRUE(edit_->SetText((std::string("a") + kZhong + "bcd").c_str()));
        ASSERT_TRUE(spaced->SetText("aX bcd"));
        EXPECT_EQ(2, edit_->scrollPos);
        EXPECT_TRUE(edit_->firstIsTrail);
        EXPECT_FALSE(spaced->firstIsTrail);
        DibImage a, b;
        ASSERT_TRUE(CreateDib(&a, 32, 40, 20));
        ASSERT_TRUE(CreateDib(&b, 32, 40, 20));
        edit_->Paint(&a, 0, 0);
        spaced->Paint(&b, 0, 0);
        EXPECT_EQ(0, std::memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.Height()));
        // Scrolled back to the start, the last cell holds the first half of 中.
        edit_->SetCaret(0);
        edit_->SetText((std::string("abc") + kZhong).c_str());
        edit_->SetCaret(0);
        EXPECT_TRUE(edit_->lastIsLead);
    }

    TEST_F(EditBoxTest, SelectAllThenTypingReplaces)
    {
        ASSERT_TRUE(edit_->SetText("old text"));
        Char(1);
        EXPECT_EQ(0, edit_->anchor);
        EXPECT_EQ(8, edit_->caret);
        Type("n");
        EXPECT_EQ("n", Text());
        EXPECT_FALSE(edit_->HasSelection());
    }

    TEST_F(EditBoxTest, OverwriteReplacesWholeCharactersAndAppendsAtTheEnd)
    {
        ASSERT_TRUE(edit_->SetText((std::string(kZhong) + "b").c_str()));
        edit_->OnKey(WM_KEYDOWN, VK_INSERT, 0);
        EXPECT_FALSE(edit_->insertMode);
        Key(VK_HOME);
        Type("x"); // replaces both bytes of 中
        EXPECT_EQ("xb", Text());
        Type(kZhong); // replaces 'b' with a whole character
        EXPECT_EQ(std::string("x") + kZhong, Text());
        Type("y"); // at the end: appended
        EXPECT_EQ(std::string("x") + kZhong + "y", Text());
        // A full field refuses a character that would not fit in place of 'x'.
        ASSERT_TRUE(edit_->SetText(std::string(126, 'a').c_str()));
        Key(VK_HOME);
        Type(kZhong);
        EXPECT_EQ(std::string(126, 'a'), Text());
    }

    TEST_F(EditBoxTest, EnterNotifiesAndTabNeitherMovesFocusNorEdits)
    {
        ASSERT_TRUE(edit_->SetText("dir"));
        page_.navigationKeys = true;
        auto* next = AddEdit();
        page_.RequestFocus(edit_);
        ASSERT_EQ(edit_, focusControl);
        EXPECT_TRUE(page_.HandleMessage(kWindow, WM_CHAR, 13, 0));
        EXPECT_EQ(1, page_.Count(kNotifyEditEnter));
        EXPECT_TRUE(page_.HandleMessage(kWindow, WM_KEYDOWN, VK_TAB, 0));
        EXPECT_TRUE(page_.HandleMessage(kWindow, WM_CHAR, 9, 0));
        EXPECT_EQ(edit_, focusControl);
        EXPECT_NE(next, focusControl);
        EXPECT_EQ("dir", Text());
        EXPECT_TRUE(page_.HandleMessage(kWindow, WM_CHAR, 0, 0)); // no character at all
        EXPECT_EQ("dir", Text());
        EXPECT_EQ(0, page_.Count(kNotifyEditChanged));
    }

    TEST_F(EditBoxTest, ClipboardCutPasteAndLimits)
    {
        page_.HandleMessage(kWindow, WM_MOUSEMOVE, 0, 0); // the page learns its window
        ASSERT_TRUE(edit_->SetText("abcdef"));
        edit_->anchor = 1;
        edit_->SetCaret(3);
        // Cut without a clipboard keeps the text.
        ui_.clipboardAvailable = false;
        Char(24);
        EXPECT_EQ("abcdef", Text());
        ui_.clipboardAvailable = true;
        Char(24);
        EXPECT_EQ("bc", ui_.clipboard);
        EXPECT_EQ(kWindow, ui_.clipboardOwner); // opened for the field's own window
        EXPECT_EQ("adef", Text());
        EXPECT_EQ(1, page_.Count(kNotifyEditChanged));

        // A paste stops at the first line break.
        ui_.clipboard = "XY\r\nZ";
        Char(22);
        EXPECT_EQ("aXYdef", Text());
        EXPECT_EQ(3, edit_->caret);

        // A paste that does not fit changes nothing, selection included.
        ASSERT_TRUE(edit_->SetText(std::string(120, 'a').c_str()));
        edit_->anchor = 10;
        edit_->SetCaret(12);
        ui_.clipboard = std::string(9, 'p');
        Char(22);
        EXPECT_EQ(std::string(120, 'a'), Text());
        EXPECT_EQ(10, edit_->anchor);
        EXPECT_EQ(12, edit_->caret);
        ui_.clipboard = std::string(8, 'p');
        Char(22);
        EXPECT_EQ(126, edit_->length);
    }

} // namespace
} // namespace zdl
