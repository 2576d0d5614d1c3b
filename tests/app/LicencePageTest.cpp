// The licence page: its text (line ends, a loose file that is missing or
// oversized) and its buttons' effects on the download page.
#include "app/LicenceText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace zdl {
namespace {

    TEST(LicenceTextTest, OnlyCrLfPairsBecomeMarkupBreaks)
    {
        struct Case {
            std::string in, out;
        } cases[] = {
            { "One line without a line end", "One line without a line end" },
            { "A\r\nB", "A#rB" },
            { "A\rB\nC\n\r", "A\rB\nC\n\r" },
            { "\r\r\n\r\n", "\r#r#r" },
            { "\xD7\xEE\r\n", "\xD7\xEE#r" },
            { "", "" },
        };
        for (const Case& c : cases) {
            std::string text = c.in;
            MarkLineBreaks(&text);
            EXPECT_EQ(c.out, text);
        }
    }

    // Runs the test body in a fresh current folder, where a loose licence file
    // is found before the archive's.
    class LooseLicenceTest : public ::testing::Test {
    protected:
        void SetUp() override
        {
            ASSERT_NE(nullptr, getcwd(old_, sizeof old_));
            ASSERT_NE(nullptr, mkdtemp(dir_));
            ASSERT_EQ(0, chdir(dir_));
        }
        void TearDown() override
        {
            std::remove(kLicenceFileName);
            EXPECT_EQ(0, chdir(old_));
            rmdir(dir_);
        }
        void WriteLoose(const std::string& bytes)
        {
            std::ofstream out(kLicenceFileName, std::ios::binary);
            out << bytes;
        }
        char old_[PATH_MAX] = {};
        char dir_[32] = "/tmp/zdl-licence-XXXXXX";
    };

    TEST_F(LooseLicenceTest, OversizedFileIsReadOnlyUpToTheLimitAndNeverSplitsACharacter)
    {
        // A lead byte at the limit whose trail byte lies beyond it.
        std::string big(kMaxLicenceBytes - 1, 'a');
        big += "\xD7\xEE and more";
        WriteLoose(big);
        std::string text;
        ASSERT_TRUE(ReadLicenceText(&text));
        EXPECT_EQ(kMaxLicenceBytes - 1, text.size());
        WriteLoose("A\r\nB");
        ASSERT_TRUE(ReadLicenceText(&text));
        EXPECT_EQ("A\r\nB", text);
    }

} // namespace
} // namespace zdl
