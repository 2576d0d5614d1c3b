// Parsing of the core's status lines and their conversion into CoreStatus.
#include "core_client/StatusProtocol.h"

#include <gtest/gtest.h>

namespace zdl {
namespace {

    TEST(TrimBlanks, RemovesSpaceTabCrLfAtBothEndsOnly)
    {
        struct Case {
            const char* in;
            const char* out;
        } cases[] = {
            { "", "" }, { " \t\r\n", "" }, { "  a b  ", "a b" }, { "\r\nx\t", "x" }, { "a\r", "a" },
            { "\va\f", "\va\f" }, // only the four blanks go
        };
        for (const Case& c : cases) {
            std::string s = c.in;
            TrimBlanks(s);
            EXPECT_EQ(s, c.out) << "input [" << c.in << "]";
        }
    }

    TEST(SplitKeyValue, SplitsAtFirstEqualsAndTrims)
    {
        std::string key, value;
        ASSERT_TRUE(SplitKeyValue(" FileName = x=y ", key, value));
        EXPECT_EQ(key, "FileName");
        EXPECT_EQ(value, "x=y");
        ASSERT_TRUE(SplitKeyValue("=", key, value));
        EXPECT_EQ(key, "");
        EXPECT_EQ(value, "");
        EXPECT_FALSE(SplitKeyValue("no equals here", key, value));
    }

    TEST(ParseStatusLine, AcceptsAndRejectsLikeTheCore)
    {
        struct Case {
            const char* line;
            bool taken;
            const char* key;
            const char* value;
        } cases[] = {
            { "[a] Percentage = 42.5\r", true, "Percentage", "42.5" },
            { "[a]P2PState=14", true, "P2PState", "14" },
            { "[a] FileName=x=y", true, "FileName", "x=y" },
            { "[stat][x] Key=V", true, "[x] Key", "V" }, // key text starts after the first "]"
            { "junk [t] Key=V", true, "Key", "V" },
            { "] before [ Key=V", true, "before [ Key", "V" }, // brackets in any order
            { "Percentage=42", false, "", "" },
            { "[a Percentage=42", false, "", "" },
            { "a] Percentage=42", false, "", "" },
            { "[a] no key value", false, "", "" },
            { "", false, "", "" },
            { "[a] Empty=", true, "Empty", "" },
        };
        for (const Case& c : cases) {
            StatusValues values;
            EXPECT_EQ(ParseStatusLine(c.line, values), c.taken) << c.line;
            if (c.taken) {
                ASSERT_EQ(values.size(), 1u) << c.line;
                EXPECT_EQ(values.begin()->first, c.key) << c.line;
                EXPECT_EQ(values.begin()->second, c.value) << c.line;
            } else {
                EXPECT_TRUE(values.empty()) << c.line;
            }
        }
    }

    TEST(ParseStatusLine, LaterValueOfAKeyWins)
    {
        StatusValues values;
        ParseStatusLine("[a] Percentage=10", values);
        ParseStatusLine("[a] Percentage=20", values);
        EXPECT_EQ(values.size(), 1u);
        EXPECT_EQ(values["Percentage"], "20");
    }

    TEST(NumberPrefixes, Int32)
    {
        struct Case {
            const char* text;
            bool ok;
            int32_t value;
        } cases[] = {
            { "14", true, 14 },
            { "  -3x", true, -3 },
            { "+7", true, 7 },
            { "12abc", true, 12 },
            { "abc", false, 0 },
            { "", false, 0 },
            { "-", false, 0 },
            { "\t\r\n 5", true, 5 },
            { "99999999999", true, 2147483647 },
            { "-99999999999", true, -2147483647 - 1 },
            { "2147483647", true, 2147483647 },
            { " 0x10", true, 0 },
        };
        for (const Case& c : cases) {
            int32_t v = 1234;
            EXPECT_EQ(ParseInt32Prefix(c.text, &v), c.ok) << c.text;
            EXPECT_EQ(v, c.ok ? c.value : 1234) << c.text;
        }
    }

    TEST(NumberPrefixes, UInt64)
    {
        struct Case {
            const char* text;
            bool ok;
            uint64_t value;
        } cases[] = {
            { "12abc", true, 12 },
            { "18446744073709551615", true, 18446744073709551615ull },
            { "18446744073709551616", true, 18446744073709551615ull }, // saturates
            { "99999999999999999999999", true, 18446744073709551615ull },
            { "  4294967296", true, 4294967296ull },
            { "abc", false, 0 },
            { "-5", false, 0 }, // a byte count is never negative
            { "+5", true, 5 },
        };
        for (const Case& c : cases) {
            uint64_t v = 77;
            EXPECT_EQ(ParseUInt64Prefix(c.text, &v), c.ok) << c.text;
            EXPECT_EQ(v, c.ok ? c.value : 77u) << c.text;
        }
    }

    TEST(NumberPrefixes, Float)
    {
        struct Case {
            const char* text;
            bool ok;
            float value;
        } cases[] = {
            { "42.5", true, 42.5f },
            { " 42.5\r", true, 42.5f },
            { "1e2", true, 100.0f },
            { "1e", true, 1.0f },
            { "1e+", true, 1.0f },
            { ".5", true, 0.5f },
            { "5.", true, 5.0f },
            { "-0.25x", true, -0.25f },
            { "2.5E-1", true, 0.25f },
            { "abc", false, 0 },
            { ".", false, 0 },
            { "nan", false, 0 },
            { "inf", false, 0 },
            { "1e999", false, 0 },
            { "0x10", true, 0.0f },
            { "12.5.3", true, 12.5f },
        };
        for (const Case& c : cases) {
            float v = -9;
            EXPECT_EQ(ParseFloatPrefix(c.text, &v), c.ok) << c.text;
            EXPECT_FLOAT_EQ(v, c.ok ? c.value : -9.0f) << c.text;
        }
    }

    // Feeds lines into a fresh table and extracts them into |status|.
    void Feed(std::initializer_list<const char*> lines, CoreStatus& status, bool& awaiting,
        const FreeSpaceQuery& freeSpace = nullptr)
    {
        StatusValues values;
        for (const char* l : lines)
            ParseStatusLine(l, values);
        ExtractStatus(values, status, awaiting, freeSpace);
    }

    TEST(ExtractStatus, FillsEveryFieldFromItsKey)
    {
        CoreStatus s;
        bool awaiting = true;
        Feed({ "[s] P2PState=14", "[s] DownloadBandWidth=800.5", "[s] UploadBandWidth=12", "[s] VerifyPercentage=0.5",
                 "[s] Percentage = 42.5\r", "[s] PercentageDownloaded=40", "[s] TotalByte=2147483648000",
                 "[s] IncompleteByte=1000", "[q] FileName=data/zpc.exe", "[e] ErrorCode=5", "[e] ErrorFile=a.pak",
                 "[e] Error=OpenFile" },
            s, awaiting);
        EXPECT_EQ(s.p2pState, 14);
        EXPECT_FLOAT_EQ(s.downloadBandWidth, 800.5f);
        EXPECT_FLOAT_EQ(s.uploadBandWidth, 12.0f);
        EXPECT_FLOAT_EQ(s.verifyPercentage, 0.5f);
        EXPECT_FLOAT_EQ(s.percentage, 42.5f);
        EXPECT_FLOAT_EQ(s.percentageDownloaded, 40.0f);
        EXPECT_EQ(s.totalByte, 2147483648000ull);
        EXPECT_EQ(s.incompleteByte, 1000u);
        EXPECT_EQ(s.fileName, "data/zpc.exe");
        EXPECT_FALSE(awaiting);
        EXPECT_EQ(s.errorCode, 5);
        EXPECT_EQ(s.errorFile, "a.pak");
        EXPECT_EQ(s.errorKind, kErrorOpenFile);
    }

    TEST(ExtractStatus, MissingKeysAndBadNumbersKeepFields)
    {
        CoreStatus s;
        s.totalByte = 99;
        s.p2pState = 12;
        s.percentage = 7;
        bool awaiting = true;
        Feed({ "[s] TotalByte=abc", "[s] percentage=50", "[s] P2PSTATE=14" }, s, awaiting);
        EXPECT_EQ(s.totalByte, 99u);
        EXPECT_FLOAT_EQ(s.percentage, 7.0f); // keys are case-sensitive
        EXPECT_EQ(s.p2pState, 12);
        Feed({ "[s] TotalByte=12abc" }, s, awaiting);
        EXPECT_EQ(s.totalByte, 12u);
    }

    TEST(ExtractStatus, ColonIsNotAFileNameButEmptyIs)
    {
        CoreStatus s;
        bool awaiting = true;
        Feed({ "[q] FileName=:" }, s, awaiting);
        EXPECT_TRUE(awaiting);
        EXPECT_EQ(s.fileName, "");
        Feed({ "[q] FileName=" }, s, awaiting);
        EXPECT_FALSE(awaiting);
        EXPECT_EQ(s.fileName, "");
    }

    TEST(ExtractStatus, WriteFileErrorDependsOnFreeSpace)
    {
        struct Case {
            bool known;
            uint64_t freeBytes;
            uint64_t incomplete;
            const char* reserved;
            int32_t kind;
        } cases[] = {
            { true, 100, 1000, nullptr, kErrorDiskFull },
            { true, 1000, 1000, nullptr, kErrorWriteFile }, // equal is enough
            { true, 5000, 1000, nullptr, kErrorWriteFile },
            { false, 0, 1000, nullptr, kErrorWriteFile }, // unknown space is not "full"
            { true, 0, 0, nullptr, kErrorWriteFile },
            // Space the core already holds for the missing bytes counts.
            { true, 0, 1000, "1000", kErrorWriteFile }, { true, 100, 1000, "900", kErrorWriteFile },
            { true, 99, 1000, "900", kErrorDiskFull }, { true, 0, 1000, "5000", kErrorWriteFile }, // more than missing
            { true, 100, 1000, "x", kErrorDiskFull }, // unreadable: none reserved
        };
        for (const Case& c : cases) {
            CoreStatus s;
            bool awaiting = true;
            std::string incomplete = "[s] IncompleteByte=" + std::to_string(c.incomplete);
            std::string reserved = std::string("[s] ReservedByte=") + (c.reserved ? c.reserved : "");
            FreeSpaceQuery query = [&](uint64_t* bytes) {
                *bytes = c.freeBytes;
                return c.known;
            };
            if (c.reserved)
                Feed({ "[e] Error=WriteFile", incomplete.c_str(), reserved.c_str() }, s, awaiting, query);
            else
                Feed({ "[e] Error=WriteFile", incomplete.c_str() }, s, awaiting, query);
            EXPECT_EQ(s.errorKind, c.kind) << c.freeBytes << " free, " << c.incomplete << " missing";
        }
    }

    TEST(ExtractStatus, ClearedErrorEndsTheKind)
    {
        CoreStatus s;
        bool awaiting = true;
        FreeSpaceQuery none;
        Feed({ "[e] Error=OpenFile", "[e] ErrorCode=32", "[e] ErrorFile=zpc.exe" }, s, awaiting, none);
        EXPECT_EQ(s.errorKind, kErrorOpenFile);
        Feed({ "[e] Error=None", "[e] ErrorCode=0", "[e] ErrorFile=" }, s, awaiting, none);
        EXPECT_EQ(s.errorKind, kErrorNone);
        EXPECT_EQ(s.errorCode, 0);
        EXPECT_EQ(s.errorFile, "");
    }

    TEST(ExtractStatus, ErrorWordsMapExactlyOthersKeepKind)
    {
        struct Case {
            const char* word;
            int32_t kind;
        } cases[] = {
            { "OpenFile", kErrorOpenFile },
            { "SetFileSize", kErrorSetFileSize },
            { "ReadSeed", kErrorReadSeed },
            { "DownloadTorrent", kErrorDownloadTorrent },
            { "DownloadSeed", kErrorDownloadSeed },
            { "openfile", 3 },
            { "Unknown", 3 },
            { "OpenFile2", 3 },
        };
        for (const Case& c : cases) {
            CoreStatus s;
            s.errorKind = 3;
            bool awaiting = false;
            std::string line = std::string("[e] Error=") + c.word;
            Feed({ line.c_str() }, s, awaiting);
            EXPECT_EQ(s.errorKind, c.kind) << c.word;
        }
    }

    TEST(ExtractStatus, ServerBusyTakesOneAndZeroOnly)
    {
        struct Case {
            const char* line;
            bool before;
            bool after;
        } cases[] = {
            { "[zdl] ServerBusy=1", false, true }, { "[zdl] ServerBusy = 1 ", false, true },
            { "[zdl] ServerBusy=0", true, false },
            { "[zdl] ServerBusy=yes", true, true }, // not a value of the key: kept
            { "[zdl] ServerBusy=10", false, false }, { "[zdl] ServerBusy=", true, true },
            { "[zdl] serverbusy=1", false, false }, // keys are case-sensitive
        };
        for (const Case& c : cases) {
            CoreStatus s;
            s.serverBusy = c.before;
            bool awaiting = false;
            Feed({ c.line }, s, awaiting);
            EXPECT_EQ(s.serverBusy, c.after) << c.line;
        }
    }

    TEST(ResetStatus, KeepsErrorCodeAndErrorFile)
    {
        CoreStatus s;
        s.downloadBandWidth = 1;
        s.uploadBandWidth = 2;
        s.incompleteByte = 3;
        s.totalByte = 4;
        s.percentageDownloaded = 5;
        s.percentage = 6;
        s.verifyPercentage = 7;
        s.p2pState = 14;
        s.errorKind = 1;
        s.serverBusy = true;
        s.errorCode = 112;
        s.fileName = "x";
        s.errorFile = "y";
        ResetStatus(s);
        EXPECT_EQ(s.downloadBandWidth, 0);
        EXPECT_EQ(s.uploadBandWidth, 0);
        EXPECT_EQ(s.incompleteByte, 0u);
        EXPECT_EQ(s.totalByte, 0u);
        EXPECT_EQ(s.percentageDownloaded, 0);
        EXPECT_EQ(s.percentage, 0);
        EXPECT_EQ(s.verifyPercentage, 0);
        EXPECT_EQ(s.p2pState, 0);
        EXPECT_EQ(s.errorKind, 0);
        EXPECT_FALSE(s.serverBusy);
        EXPECT_EQ(s.fileName, "");
        EXPECT_EQ(s.errorCode, 112);
        EXPECT_EQ(s.errorFile, "y");
    }

} // namespace
} // namespace zdl
