// The release signature against files made by the real minisign tool
// (tests/data/signature/make-fixtures.sh), and against changes of them.
#include "core/ReleaseSignature.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace zdl;
using namespace zdl::core;

namespace {

std::string Fixture(const std::string& name)
{
    std::ifstream in(std::string(ZDL_TEST_DATA_DIR) + "/signature/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    EXPECT_TRUE(in.good() || in.eof()) << name;
    EXPECT_FALSE(s.str().empty()) << name;
    return s.str();
}

PublicKey Key(const std::string& file)
{
    PublicKey k;
    EXPECT_TRUE(ParsePublicKey(Fixture(file), &k)) << file;
    return k;
}

// The signature file's lines, to change one of them.
std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

// Flips one bit of the base64 character at `at` (staying in the alphabet).
std::string FlipChar(std::string line, size_t at)
{
    line[at] = line[at] == 'A' ? 'B' : 'A';
    return line;
}

TEST(ReleaseSignature, PublicKeyFileAndLine)
{
    const std::string file = Fixture("release.pub");
    PublicKey fromFile, fromLine;
    ASSERT_TRUE(ParsePublicKey(file, &fromFile));
    ASSERT_TRUE(ParsePublicKey("  " + LinesOf(file)[1] + "\r\n", &fromLine));
    EXPECT_EQ(fromFile.id, fromLine.id);
    EXPECT_EQ(fromFile.key, fromLine.key);
    // minisign names the key in the comment line: the same id, as it prints it.
    EXPECT_NE(file.find("minisign public key " + KeyIdText(fromFile.id) + "\n"), std::string::npos) << file;

    PublicKey k;
    const std::string line = LinesOf(file)[1];
    for (const std::string& bad : { std::string(), line.substr(0, line.size() - 4), line + "AAAA", "comment\n" + line,
             LinesOf(Fixture("release.digest.ED.minisig"))[1], line + "\n" + line })
        EXPECT_FALSE(ParsePublicKey(bad, &k)) << bad;
}

TEST(ReleaseSignature, BothSignatureFormsVerify)
{
    const std::string digest = Fixture("release.digest");
    const PublicKey key = Key("release.pub");
    for (const char* name : { "release.digest.ED.minisig", "release.digest.Ed.minisig" }) {
        const std::string sig = Fixture(name);
        SignatureCheck c = VerifyReleaseSignature(sig, digest, { key });
        EXPECT_EQ(c.verdict, SignatureVerdict::Valid) << name << ": " << c.reason;
        EXPECT_EQ(c.keyId, key.id) << name;
        EXPECT_EQ(c.reason, "");
        EXPECT_EQ("trusted comment: " + c.trustedComment, LinesOf(sig)[2]) << name;
        EXPECT_NE(c.trustedComment.find("timestamp:" + std::to_string(c.timestamp) + "\t"), std::string::npos);
        EXPECT_GT(c.timestamp, 1600000000);
        // Carriage returns, as an editor on Windows may leave them.
        std::string crlf;
        for (const std::string& l : LinesOf(sig))
            crlf += l + "\r\n";
        EXPECT_EQ(VerifyReleaseSignature(crlf, digest, { key }).verdict, SignatureVerdict::Valid) << name;
    }
}

TEST(ReleaseSignature, RefusedChanges)
{
    const std::string digest = Fixture("release.digest");
    const PublicKey key = Key("release.pub"), other = Key("other.pub");
    for (const char* name : { "release.digest.ED.minisig", "release.digest.Ed.minisig" }) {
        const std::string sig = Fixture(name);
        const std::vector<std::string> lines = LinesOf(sig);
        auto with = [&](size_t i, const std::string& line) {
            std::vector<std::string> l = lines;
            l[i] = line;
            return Join(l);
        };
        std::string changedDigest = digest;
        changedDigest[20] = changedDigest[20] == 'a' ? 'c' : 'a';
        // The second base64 character carries the algorithm's second
        // letter: "U" for "ED", "W" for "Ed", "X" for neither.
        auto algorithm = [&](char c) { return with(1, lines[1].substr(0, 1) + c + lines[1].substr(2)); };
        const std::string algorithmSwapped = algorithm(lines[1][1] == 'U' ? 'W' : 'U');
        struct Case {
            const char* what;
            std::string signature;
            std::string signedBytes;
            SignatureVerdict want;
        } cases[] = {
            { "bit flipped in the signature", with(1, FlipChar(lines[1], 40)), digest, SignatureVerdict::BadSignature },
            { "bit flipped in the global signature", with(3, FlipChar(lines[3], 10)), digest,
                SignatureVerdict::BadSignature },
            { "trusted comment changed", with(2, lines[2] + "x"), digest, SignatureVerdict::BadSignature },
            { "older time stamp written in", with(2, "trusted comment: timestamp:1600000000\tfile:release.digest"),
                digest, SignatureVerdict::BadSignature },
            { "digest changed after signing", sig, changedDigest, SignatureVerdict::BadSignature },
            { "another release's signature", Fixture("older.digest.minisig"), digest, SignatureVerdict::BadSignature },
            { "signature form swapped", algorithmSwapped, digest, SignatureVerdict::BadSignature },
            { "another key", Fixture("release.digest.other.minisig"), digest, SignatureVerdict::UnknownKey },
            { "no time stamp", Fixture("release.digest.notime.minisig"), digest, SignatureVerdict::NoTimestamp },
            { "empty", "", digest, SignatureVerdict::Malformed },
            { "no untrusted comment", with(0, "comment: x"), digest, SignatureVerdict::Malformed },
            { "no trusted comment prefix", with(2, lines[2].substr(8)), digest, SignatureVerdict::Malformed },
            { "a fifth line", sig + "untrusted comment: more\n", digest, SignatureVerdict::Malformed },
            { "signature line too long", with(1, lines[1] + "AAAA"), digest, SignatureVerdict::Malformed },
            { "unknown algorithm", algorithm('X'), digest, SignatureVerdict::Malformed },
            { "global signature not base64", with(3, "*" + lines[3].substr(1)), digest, SignatureVerdict::Malformed },
            { "oversized", sig + std::string(kMaxSignatureBytes, '\n'), digest, SignatureVerdict::Malformed },
        };
        for (const Case& c : cases) {
            SignatureCheck r = VerifyReleaseSignature(c.signature, c.signedBytes, { key });
            EXPECT_EQ(r.verdict, c.want) << name << ": " << c.what << " (" << r.reason << ")";
            EXPECT_FALSE(r.reason.empty()) << name << ": " << c.what;
        }
        // Cut anywhere short of its last line feed, the file never verifies.
        for (size_t n = 0; n + 1 < sig.size(); ++n)
            ASSERT_NE(VerifyReleaseSignature(sig.substr(0, n), digest, { key }).verdict, SignatureVerdict::Valid)
                << name << " cut to " << n << " bytes";
        // With no trusted key, nothing is valid.
        EXPECT_EQ(VerifyReleaseSignature(sig, digest, {}).verdict, SignatureVerdict::UnknownKey);
    }
    // The other key's signature verifies once that key is trusted too (a
    // rotation), and only then.
    SignatureCheck r = VerifyReleaseSignature(Fixture("release.digest.other.minisig"), digest, { key, other });
    EXPECT_EQ(r.verdict, SignatureVerdict::Valid) << r.reason;
    EXPECT_EQ(r.keyId, other.id);
    EXPECT_EQ(KeyIdText(r.keyId).size(), 16u);
    EXPECT_NE(KeyIdText(key.id), KeyIdText(other.id));
}

TEST(ReleaseSignature, TrustedTimestamp)
{
    struct {
        const char* comment;
        bool ok;
        int64_t value;
    } cases[] = {
        { "timestamp:1796852021\tfile:release.digest\thashed", true, 1796852021 },
        { "timestamp:7", true, 7 },
        { "file:x timestamp:42", true, 42 },
        { "file:x\ttimestamp:0\tz", true, 0 },
        { "xtimestamp:5", false, 0 },
        { "timestamp:", false, 0 },
        { "timestamp:12a", false, 0 },
        { "timestamp:-5", false, 0 },
        { "timestamp:99999999999999999999", false, 0 },
        { "signed by hand", false, 0 },
        { "", false, 0 },
    };
    for (const auto& c : cases) {
        int64_t t = -1;
        EXPECT_EQ(TrustedTimestamp(c.comment, &t), c.ok) << c.comment;
        if (c.ok) {
            EXPECT_EQ(t, c.value) << c.comment;
        }
    }
}

TEST(ReleaseSignature, ReleaseRecordOrdersReleases)
{
    ReleaseRecord a { 1796852021, {} }, back;
    a.description[0] = 0xab;
    const std::string text = MakeReleaseRecord(a);
    EXPECT_EQ(text, "ZDLRELEASE 1 1796852021 ab" + std::string(62, '0') + "\n");
    ASSERT_TRUE(ParseReleaseRecord(text, &back));
    EXPECT_EQ(back.timestamp, a.timestamp);
    EXPECT_EQ(back.description, a.description);
    for (const std::string& bad : { std::string(), text.substr(0, 30), "ZDLRELEASE 2" + text.substr(12),
             "ZDLRELEASE 1 x " + std::string(64, '0'), text + std::string(100, ' ') })
        EXPECT_FALSE(ParseReleaseRecord(bad, &back)) << bad;

    ReleaseRecord same = a, newer = a, older = a, sameSecond = a;
    newer.timestamp += 1;
    older.timestamp -= 1;
    sameSecond.description[1] = 1;
    EXPECT_TRUE(MayFollow(a, same));
    EXPECT_TRUE(MayFollow(a, newer));
    EXPECT_FALSE(MayFollow(a, older));
    EXPECT_FALSE(MayFollow(a, sameSecond));
}

} // namespace
