// The install folder's checks that need no Windows: the escapes that carry
// the system's UTF-16 names through GBK strings, the refusal of a browsed
// folder GBK cannot name or the player cannot write, and the write probe.
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/WideEscape.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace zdl {
namespace {

    TEST(WideEscapeTest, RoundTripsEveryUnitAndRejectsMalformedEscapes)
    {
        for (uint16_t unit : { 0x0000, 0x00F6, 0xD55C, 0xD83D, 0xFFFF }) {
            std::string text = "C:\\Users\\" + EscapeWideUnit(unit) + "\\";
            ASSERT_EQ(kWideEscapeBytes, EscapeWideUnit(unit).size());
            uint16_t back = 1;
            ASSERT_TRUE(ReadWideEscape(text, 9, &back)) << unit;
            EXPECT_EQ(unit, back);
            EXPECT_TRUE(HoldsWideEscape(text));
            // Nothing in an escape is a backslash or a GBK lead byte.
            for (size_t i = 10; i < 9 + kWideEscapeBytes; ++i)
                EXPECT_TRUE(text[i] != '\\' && static_cast<unsigned char>(text[i]) < 0x80) << unit;
        }
        EXPECT_EQ("\xFF"
                  "00f6",
            EscapeWideUnit(0x00F6));
        uint16_t unit = 0;
        // Short, not hex, no mark, GBK text ("游戏").
        for (const std::string& bad : { std::string("\xFF"
                                                    "00f"),
                 std::string("\xFF"
                             "00g6"),
                 std::string("x00f6"), std::string("\xD3\xCE\xCF\xB7") }) {
            EXPECT_FALSE(ReadWideEscape(bad, 0, &unit)) << bad;
            EXPECT_FALSE(HoldsWideEscape(bad)) << bad;
        }
        EXPECT_FALSE(ReadWideEscape("ab", 5, &unit));
    }

    TEST(FolderCheckTest, RefusesANameGbkCannotHoldOrAFolderThePlayerCannotWrite)
    {
        struct Case {
            BrowsedFolder folder;
            const char* refusal; // null: accepted
        };
        const Case cases[] = {
            { { "E:\\\xD3\xCE\xCF\xB7", "E:\\\xD3\xCE\xCF\xB7", true, true }, nullptr },
            { { "", "E:\\J?rg", false, false }, kTextFolderNameNotGbk },
            // A name that fits but yields no path is refused the same way.
            { { "", "E:\\x", true, true }, kTextFolderNameNotGbk },
            { { "C:\\Program Files", "C:\\Program Files", true, false }, kTextFolderNotWritable },
        };
        for (const Case& c : cases) {
            ScopedMessageBoxRecorder boxes;
            EXPECT_EQ(c.refusal == nullptr, CheckBrowsedFolder(nullptr, c.folder)) << c.folder.shownName;
            if (!c.refusal) {
                EXPECT_TRUE(boxes.boxes.empty());
                continue;
            }
            ASSERT_EQ(1u, boxes.boxes.size());
            EXPECT_EQ(c.folder.shownName + "\r\n\r\n" + c.refusal, boxes.boxes[0].text);
            EXPECT_EQ(kTextFolderCheckTitle, boxes.boxes[0].caption);
        }
    }

    TEST(FolderCheckTest, WriteProbeLeavesNothingBehind)
    {
        char tmpl[] = "/tmp/zdl-probe-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(tmpl));
        EXPECT_TRUE(FolderAcceptsNewFiles(tmpl));
        EXPECT_EQ(0, rmdir(tmpl)) << "the probe file was removed";
        EXPECT_FALSE(FolderAcceptsNewFiles(tmpl)); // gone
        // A read-only file system refuses even the super-user.
        EXPECT_FALSE(FolderAcceptsNewFiles("/sys"));
    }

} // namespace
} // namespace zdl
