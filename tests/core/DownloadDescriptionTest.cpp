#include "core/DownloadDescription.h"

#include <gtest/gtest.h>

using namespace zdl;
using namespace zdl::core;

namespace {

const std::string kHashA(64, 'a');
const std::string kHashB(64, 'b');

// A valid description: 16 KiB pieces, files of 20000, 0 and 16384 bytes.
std::string Valid()
{
    return "ZDLDESC 1\n"
           "title Zephyra\n"
           "root files\n"
           "piecesize 16384\n"
           "totalsize 36384\n"
           "files 3\n"
           "pieces 3\n"
           "f 20000 "
        + kHashA
        + " zpc.exe\n"
          "f 0 "
        + kHashA
        + " logs/empty.log\n"
          "f 16384 "
        + kHashB
        + " data/pack00.pak\n"
          "p "
        + kHashA
        + "\n"
          "p "
        + kHashA
        + "\n"
          "p "
        + kHashB
        + "\n"
          "end\n";
}

std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
}

TEST(DownloadDescription, ParsesAndLaysOutPieces)
{
    DownloadDescription d;
    std::string error;
    ASSERT_TRUE(ParseDescription(Valid(), &d, &error)) << error;
    ASSERT_EQ(d.files.size(), 3u);
    EXPECT_EQ(d.PieceCount(), 3u);
    EXPECT_EQ(d.files[0].pieceCount, 2u);
    EXPECT_EQ(d.files[1].pieceCount, 0u);
    EXPECT_EQ(d.files[2].firstPiece, 2u);
    PieceLocation l = d.Locate(1);
    EXPECT_EQ(l.file, 0u);
    EXPECT_EQ(l.offset, 16384u);
    EXPECT_EQ(l.length, 20000u - 16384u);
    l = d.Locate(2);
    EXPECT_EQ(l.file, 2u);
    EXPECT_EQ(l.offset, 0u);
    EXPECT_EQ(l.length, 16384u);
}

TEST(DownloadDescription, SerializeRoundTrip)
{
    DownloadDescription d, again;
    std::string error;
    ASSERT_TRUE(ParseDescription(Valid(), &d, &error));
    EXPECT_EQ(SerializeDescription(d), Valid());
    ASSERT_TRUE(ParseDescription(SerializeDescription(d), &again, &error));
    EXPECT_EQ(again.files[2].path, "data/pack00.pak");
}

TEST(DownloadDescription, RefusesMalformedAndMaliciousInput)
{
    struct Case {
        std::string from, to;
    } cases[] = {
        { "ZDLDESC 1", "ZDLDESC 2" },
        { "piecesize 16384", "piecesize 1024" },
        { "piecesize 16384", "piecesize 0016384" },
        { "totalsize 36384", "totalsize 36385" },
        { "totalsize 36384", "totalsize 99999999999999999999999" },
        { "files 3", "files 4" },
        { "pieces 3", "pieces 2" },
        { " zpc.exe\n", " /etc/passwd\n" },
        { " zpc.exe\n", " C:/Windows/zpc.exe\n" },
        { " zpc.exe\n", " ../zpc.exe\n" },
        { " zpc.exe\n", " data/../../zpc.exe\n" },
        { " zpc.exe\n", " data\\..\\zpc.exe\n" },
        { " zpc.exe\n", " CON\n" },
        { " zpc.exe\n", " data/nul.txt\n" },
        { " zpc.exe\n", " data/com1\n" },
        { " zpc.exe\n", " zpc.exe:stream\n" },
        { " zpc.exe\n", " zpc.exe.\n" },
        { " zpc.exe\n", " a//b\n" },
        { " zpc.exe\n", " ./zpc.exe\n" },
        { " zpc.exe\n", " DATA/PACK00.PAK\n" }, // same file twice on Windows
        { " zpc.exe\n", " data/pack00.pak/x\n" }, // a file used as a folder
        { " zpc.exe\n", " .zdlcore/state\n" }, // the core's own folder
        { " zpc.exe\n", " .zdlcore\n" }, // ... and the folder itself,
        { " zpc.exe\n", " .ZDLCORE\n" }, // in any case
        { " zpc.exe\n", " \n" },
        { "root files", "root ../up" },
        { "f 20000 " + kHashA, "f 20000 " + kHashA.substr(1) + "g" },
        { "f 20000 ", "f -20000 " },
        { "p " + kHashB + "\n", "p " + kHashB + "0\n" },
        { "end\n", "end\nextra\n" },
        { "end\n", "end" },
        { "title Zephyra\n", "title Zephyra\r\n" },
        { "title Zephyra\n", std::string("title Zeph\0yra\n", 15) },
    };
    for (const Case& c : cases) {
        DownloadDescription d;
        std::string error;
        EXPECT_FALSE(ParseDescription(Replace(Valid(), c.from, c.to), &d, &error)) << c.to;
        EXPECT_FALSE(error.empty());
    }
    DownloadDescription d;
    std::string error;
    EXPECT_FALSE(ParseDescription("", &d, &error));
    EXPECT_FALSE(ParseDescription(Valid().substr(0, Valid().size() / 2), &d, &error));
}

// 0x8141 and 0x8161 are two different GBK characters; only ASCII letters
// compare without case, as on Windows.
TEST(DownloadDescription, GbkNamesDifferingInASecondByteLetterAreDistinct)
{
    DownloadDescription d;
    std::string error;
    std::string text
        = Replace(Replace(Valid(), " zpc.exe\n", " \x81\x41.exe\n"), " logs/empty.log\n", " \x81\x61.exe\n");
    EXPECT_TRUE(ParseDescription(text, &d, &error)) << error;
    text = Replace(Replace(Valid(), " zpc.exe\n",
                       " \x81\x41"
                       "A.exe\n"),
        " logs/empty.log\n",
        " \x81\x41"
        "a.exe\n");
    EXPECT_FALSE(ParseDescription(text, &d, &error));
}

TEST(DownloadDescription, SafePaths)
{
    for (const char* ok : { "zpc.exe", "data/pack00.pak", "a/b/c/d.txt", "console.txt", "COM10",
             "\xd7\xd6\xcc\xe5 readme.txt", "..a", "a..b", "data/\x95\x5c.txt", "\x81\x7c" })
        EXPECT_TRUE(IsSafeRelativePath(ok)) << ok;
    for (const char* bad : { "", "/abs", "\\abs", "C:x", "a/../b", "..", ".", "a/./b", "a/", "aux.txt", "Lpt3.log",
             "a\x01", "a*b", "a?b", "a|b", "a<b", "dir /x", "CLOCK$", "con.d/x", "a\xd7", "a\xd7/b", "\x81\x7f" })
        EXPECT_FALSE(IsSafeRelativePath(bad)) << bad;
    EXPECT_FALSE(IsSafeRelativePath(std::string(kMaxPathBytes + 1, 'a')));
}

TEST(DownloadDescription, DigestText)
{
    std::string bytes = Valid();
    std::string text = MakeDigestText(bytes);
    Sha256Digest d {};
    uint64_t size = 0;
    ASSERT_TRUE(ParseDigestText(text, &d, &size));
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(d, Sha256::Of(bytes.data(), bytes.size()));
    EXPECT_FALSE(ParseDigestText("ZDLDIGEST 1 xyz 5\n", &d, &size));
    EXPECT_FALSE(ParseDigestText(text.substr(0, 40), &d, &size));
    EXPECT_FALSE(ParseDigestText(std::string(300, 'Z'), &d, &size));
}

TEST(DownloadDescription, UrlEncoding)
{
    EXPECT_EQ(EncodeUrlPath("data/pack00.pak"), "data/pack00.pak");
    EXPECT_EQ(EncodeUrlPath("data/\xd7\xd6 a+b%.txt"), "data/%D7%D6%20a%2Bb%25.txt");
}

// Version 2 adds the "names" line after "root"; version 1 (no such line)
// keeps the GBK addresses of old releases; newer versions are refused with
// a reason that says so.
TEST(DownloadDescription, VersionsAndServerNames)
{
    const std::string v2
        = Replace(Replace(Valid(), "ZDLDESC 1", "ZDLDESC 2"), "root files\n", "root files\nnames utf-8\n");
    struct Case {
        std::string text;
        bool ok;
        ServerNames names;
        std::string error;
    } cases[] = {
        { Valid(), true, ServerNames::Gbk, "" },
        { v2, true, ServerNames::Utf8, "" },
        { Replace(v2, "names utf-8", "names gbk"), true, ServerNames::Gbk, "" },
        { Replace(v2, "names utf-8", "names UTF-8"), false, {}, "bad names line" },
        { Replace(v2, "names utf-8", "names"), false, {}, "bad names line" },
        { Replace(v2, "names utf-8\n", ""), false, {}, "bad names line" },
        { Replace(Valid(), "root files\n", "root files\nnames gbk\n"), false, {}, "bad piece size" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC 3"), false, {},
            "description version 3 is newer than this core, which reads up to 2" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC 99999"), false, {},
            "description version 99999 is newer than this core, which reads up to 2" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC 0"), false, {}, "not a download description" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC 02"), false, {}, "not a download description" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC 99999999999"), false, {}, "not a download description" },
        { Replace(v2, "ZDLDESC 2", "ZDLDESC"), false, {}, "not a download description" },
        // A UTF-8 address is made from the GBK name: one without a UTF-8
        // form (0xA2AB is no GBK character) could never be fetched.
        { Replace(v2, " zpc.exe\n", " \xa2\xab.exe\n"), false, {}, "path without a UTF-8 form in file line 0" },
        { Replace(v2, "root files", "root \xa2\xab"), false, {}, "root has no UTF-8 form" },
        { Replace(Valid(), " zpc.exe\n", " \xa2\xab.exe\n"), true, ServerNames::Gbk, "" },
    };
    for (const Case& c : cases) {
        DownloadDescription d;
        std::string error;
        EXPECT_EQ(ParseDescription(c.text, &d, &error), c.ok) << c.text.substr(0, 60);
        EXPECT_EQ(error, c.error);
        if (c.ok) {
            EXPECT_EQ(d.serverNames, c.names);
            // Written back in the lowest version that holds it.
            EXPECT_EQ(
                SerializeDescription(d).compare(0, 10, c.names == ServerNames::Utf8 ? "ZDLDESC 2\n" : "ZDLDESC 1\n"),
                0);
            DownloadDescription again;
            ASSERT_TRUE(ParseDescription(SerializeDescription(d), &again, &error)) << error;
            EXPECT_EQ(again.serverNames, c.names);
        }
    }
    DownloadDescription d;
    std::string error;
    ASSERT_TRUE(ParseDescription(v2, &d, &error));
    EXPECT_EQ(SerializeDescription(d), v2);
}

// "mirror" lines: version 2 only, right after "names", each a plain http or
// https base; a description with mirrors is written in version 2 even for
// GBK names, and an older version cannot carry them.
TEST(DownloadDescription, MirrorLines)
{
    const std::string v2 = Replace(Replace(Valid(), "ZDLDESC 1", "ZDLDESC 2"), "root files\n",
        "root files\nnames gbk\nmirror http://m1.example/z\nmirror https://m2.example\n");
    DownloadDescription d;
    std::string error;
    ASSERT_TRUE(ParseDescription(v2, &d, &error)) << error;
    EXPECT_EQ(d.mirrors, (std::vector<std::string> { "http://m1.example/z", "https://m2.example" }));
    EXPECT_EQ(SerializeDescription(d), v2);
    d.mirrors.clear();
    EXPECT_EQ(SerializeDescription(d).compare(0, 10, "ZDLDESC 1\n"), 0);

    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        { Replace(v2, "ZDLDESC 2\ntitle Zephyra\nroot files\nnames gbk\n", "ZDLDESC 1\ntitle Zephyra\nroot files\n"),
            "bad piece size" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://m2.example/\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror ftp://m2.example\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://a;http://b\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://m2 .example\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://m2.example\x80\n"), "bad mirror line" },
        { Replace(v2, "mirror https://m2.example\n", "mirror https://m2.example\nnames gbk\n"), "bad piece size" },
        { Replace(v2, "mirror https://m2.example\n", "piecesize 16384\nmirror https://m2.example\n"),
            "bad total size" },
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ParseDescription(c.text, &d, &error)) << c.text.substr(0, 120);
        EXPECT_EQ(error, c.error);
    }
    std::string many = "root files\nnames gbk\n";
    for (size_t i = 0; i <= kMaxDescribedMirrors; ++i)
        many += "mirror http://m" + std::to_string(i) + "\n";
    EXPECT_FALSE(ParseDescription(Replace(v2, "root files\nnames gbk\n", many), &d, &error));
    EXPECT_EQ(error, "too many mirrors");
    EXPECT_FALSE(IsMirrorUrl("http://" + std::string(kMaxMirrorUrlBytes, 'a')));
}

// The one place a file's URL is made: root and path named as the
// description says, each percent-encoded, "/" kept.
TEST(DownloadDescription, FileAddress)
{
    DownloadDescription d;
    std::string error;
    ASSERT_TRUE(
        ParseDescription(Replace(Valid(), " data/pack00.pak\n", " data/\xd7\xd6\xcc\xe5 a+b.pak\n"), &d, &error))
        << error;
    struct Case {
        ServerNames names;
        std::string root;
        uint32_t file;
        std::string url;
    } cases[] = {
        { ServerNames::Gbk, "files", 0, "http://127.0.0.1:8089/base/files/zpc.exe" },
        { ServerNames::Gbk, "files", 2, "http://127.0.0.1:8089/base/files/data/%D7%D6%CC%E5%20a%2Bb.pak" },
        { ServerNames::Utf8, "files", 2, "http://127.0.0.1:8089/base/files/data/%E5%AD%97%E4%BD%93%20a%2Bb.pak" },
        { ServerNames::Utf8, "", 2, "http://127.0.0.1:8089/base/data/%E5%AD%97%E4%BD%93%20a%2Bb.pak" },
        { ServerNames::Gbk, "", 1, "http://127.0.0.1:8089/base/logs/empty.log" },
        { ServerNames::Utf8, "\xb7\xa2/v1", 0, "http://127.0.0.1:8089/base/%E5%8F%91/v1/zpc.exe" }, // 发
        { ServerNames::Gbk, "\xb7\xa2/v1", 0, "http://127.0.0.1:8089/base/%B7%A2/v1/zpc.exe" },
    };
    for (const Case& c : cases) {
        d.serverNames = c.names;
        d.root = c.root;
        EXPECT_EQ(FileAddress("http://127.0.0.1:8089/base", d, c.file), c.url);
    }
}

} // namespace
