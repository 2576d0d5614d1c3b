#include "core/DescriptionBuilder.h"
#include "core/LocalChecker.h"
#include "core/PieceStore.h"
#include "core/PieceWriter.h"
#include "core/ResumeState.h"
#include "platform/FileSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zdl;
using namespace zdl::core;

namespace {

std::string TempDir(const std::string& name)
{
    std::string dir = std::string(ZDL_BUILD_DIR) + "/tests/core/tmp/" + name;
    FsStatus st;
    EXPECT_TRUE(CreateDirectories(dir, &st)) << dir;
    return dir;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    FsStatus st;
    size_t slash = path.rfind('/');
    ASSERT_TRUE(CreateDirectories(path.substr(0, slash), &st));
    File f;
    ASSERT_TRUE(f.Open(path, File::Mode::ReadWrite, &st));
    ASSERT_TRUE(f.Allocate(0, &st));
    ASSERT_TRUE(f.WriteAt(0, bytes.data(), bytes.size(), &st));
}

std::string Pattern(size_t n, char seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + i * 7 + (i >> 9));
    return s;
}

constexpr uint32_t kPiece = 16 * 1024;

// A client of three files: 40000 bytes (3 pieces), empty, 16384 (1 piece).
void MakeClient(const std::string& dir)
{
    WriteBytes(dir + "/zpc.exe", Pattern(40000, 'a'));
    WriteBytes(dir + "/logs/empty.log", "");
    WriteBytes(dir + "/data/pack.pak", Pattern(16384, 'q'));
}

DownloadDescription Describe(const std::string& dir)
{
    BuildSettings s;
    s.pieceSize = kPiece;
    DownloadDescription d;
    std::string error;
    EXPECT_TRUE(BuildDescription(dir, s, &d, &error)) << error;
    return d;
}

TEST(FileSystem, AtomicReplaceLockAndAllocate)
{
    std::string dir = TempDir("fs");
    FsStatus st;
    ASSERT_TRUE(WriteFileAtomically(dir + "/f", "one", &st));
    ASSERT_TRUE(WriteFileAtomically(dir + "/f", "second", &st));
    std::string back;
    ASSERT_TRUE(ReadWholeFile(dir + "/f", 100, &back, &st));
    EXPECT_EQ(back, "second");
    EXPECT_FALSE(PathExists(dir + "/f.tmp"));
    EXPECT_FALSE(ReadWholeFile(dir + "/f", 3, &back, &st)); // over the limit

    FileLock a, b;
    ASSERT_TRUE(a.TryAcquireBelow(dir, "lock", &st));
    EXPECT_FALSE(b.TryAcquireBelow(dir, "lock", &st));
    EXPECT_EQ(st.kind, FsErrorKind::InUse);
    a.Release();
    EXPECT_TRUE(b.TryAcquireBelow(dir, "lock", &st));

    File f;
    ASSERT_TRUE(f.Open(dir + "/big", File::Mode::ReadWrite, &st));
    ASSERT_TRUE(f.Allocate(0, &st));
    ASSERT_TRUE(f.Allocate(5'000'000, &st));
    uint64_t size = 0;
    ASSERT_TRUE(f.GetSize(&size, &st));
    EXPECT_EQ(size, 5'000'000u);
    char c = 1;
    size_t got = 0;
    ASSERT_TRUE(f.ReadAt(4'999'999, &c, 1, &got, &st));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(c, 0);

    File missing;
    EXPECT_FALSE(missing.Open(dir + "/nope/x", File::Mode::Read, &st));
    EXPECT_EQ(st.kind, FsErrorKind::NotFound);
}

TEST(LocalFiles, BuildCheckFindsDamageAndMissingData)
{
    std::string src = TempDir("src");
    MakeClient(src);
    DownloadDescription d = Describe(src);
    ASSERT_EQ(d.files.size(), 3u);
    EXPECT_EQ(d.files[0].path, "zpc.exe"); // listed first
    EXPECT_EQ(d.PieceCount(), 4u);
    EXPECT_EQ(d.totalSize, 56384u);
    std::string error;
    DownloadDescription parsed;
    ASSERT_TRUE(ParseDescription(SerializeDescription(d), &parsed, &error)) << error;

    // An install folder with the first piece damaged and the pack missing.
    std::string inst = TempDir("inst");
    std::string exe = Pattern(40000, 'a');
    exe[100] ^= 1;
    WriteBytes(inst + "/zpc.exe", exe);
    RemoveFile(inst + "/data/pack.pak");
    PieceStore store(parsed, inst);
    std::vector<bool> fresh(3);
    for (uint32_t f = 0; f < 3; ++f) {
        bool existed = false;
        FsStatus st;
        ASSERT_TRUE(store.PrepareFile(f, &existed, &st)) << f;
        fresh[f] = !existed;
    }
    ASSERT_EQ(parsed.files[1].path, "data/pack.pak");
    EXPECT_FALSE(fresh[0]);
    EXPECT_TRUE(fresh[1]); // removed above: created anew
    std::vector<bool> good(4, false);
    std::atomic<bool> stop { false };
    uint64_t lastProgress = 0;
    CheckResult r = CheckPieces(
        parsed, store, { 0, 1, 2, 3 }, 2, stop, [&](uint64_t b) { lastProgress = b; }, &good);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.checked, 4u);
    EXPECT_EQ(good, (std::vector<bool> { false, true, true, false }));
    EXPECT_EQ(lastProgress, 56384u);
}

#ifndef _WIN32
// The publisher's tree has UTF-8 names (the build machine's): described in
// GBK and addressed in UTF-8 on the server, a name GBK cannot hold (a
// decomposed accent among them) refused by name; raw names kept as bytes
// and addressed as they are.
TEST(LocalFiles, BuilderDescribesUtf8NamesInGbk)
{
    std::string dir = TempDir("names");
    WriteBytes(dir + "/zpc.exe", "x");
    WriteBytes(dir + "/\xe5\x9b\xbe\xe6\xa0\x87/\xe8\xb5\x84\xe6\xba\x90\xe5\x8c\x85.big", "y"); // 图标/资源包.big
    DownloadDescription d;
    std::string error;
    BuildSettings s;
    s.pieceSize = kPiece;
    ASSERT_TRUE(BuildDescription(dir, s, &d, &error)) << error;
    ASSERT_EQ(d.files.size(), 2u);
    EXPECT_EQ(d.files[1].path, "\xcd\xbc\xb1\xea/\xd7\xca\xd4\xb4\xb0\xfc.big");
    EXPECT_EQ(d.serverNames, ServerNames::Utf8);
    EXPECT_EQ(FileAddress("http://h", d, 1), "http://h/files/%E5%9B%BE%E6%A0%87/%E8%B5%84%E6%BA%90%E5%8C%85.big");

    for (const char* bad : { "\xed\x95\x9c.txt", "cafe\xcc\x81.txt" }) { // 한 (Hangul); e + combining acute
        WriteBytes(dir + "/" + bad, "z");
        EXPECT_FALSE(BuildDescription(dir, s, &d, &error));
        EXPECT_EQ(error, std::string("file name not representable in GBK: ") + bad);
        RemoveFile(dir + "/" + bad);
    }
    s.root = "\xe5\x8f\x91\xe5\xb8\x83"; // 发布: the root is converted like the names
    ASSERT_TRUE(BuildDescription(dir, s, &d, &error)) << error;
    EXPECT_EQ(d.root, "\xb7\xa2\xb2\xbc");
    EXPECT_EQ(FileAddress("http://h", d, 0), "http://h/%E5%8F%91%E5%B8%83/zpc.exe");
    s.root = "files";

    std::string gbk = TempDir("gbknames"); // a tree already named in GBK
    WriteBytes(gbk + "/\xcd\xbc\xb1\xea.txt", "w");
    EXPECT_FALSE(BuildDescription(gbk, s, &d, &error)); // not UTF-8
    s.names = NameEncoding::Raw; // taken as they are
    ASSERT_TRUE(BuildDescription(gbk, s, &d, &error)) << error;
    EXPECT_EQ(d.files[0].path, "\xcd\xbc\xb1\xea.txt");
    EXPECT_EQ(d.serverNames, ServerNames::Gbk);
    EXPECT_EQ(FileAddress("http://h", d, 0), "http://h/files/%CD%BC%B1%EA.txt");
    // Natively the install folder gets the UTF-8 name, whatever the server's.
    PieceStore store(d, "/install");
    EXPECT_EQ(store.PathOf(0), "/install/\xe5\x9b\xbe\xe6\xa0\x87.txt");
    EXPECT_EQ(store.ReportName(0), "\xcd\xbc\xb1\xea.txt"); // status lines stay GBK
}
#endif

// Progress comes from several checking threads; whatever their order, the
// figures only grow, never overlap in the callback and end at the total.
TEST(LocalFiles, CheckProgressGrowsOneCallAtATimeAndEndsAtTheTotal)
{
    std::string src = TempDir("many");
    WriteBytes(src + "/zpc.exe", Pattern(160 * kPiece - 100, 'm'));
    DownloadDescription d = Describe(src);
    ASSERT_EQ(d.PieceCount(), 160u);
    PieceStore store(d, src);
    std::vector<uint32_t> all(d.PieceCount());
    for (uint32_t p = 0; p < all.size(); ++p)
        all[p] = p;
    for (int round = 0; round < 3; ++round) {
        std::vector<bool> good(all.size(), false);
        std::atomic<bool> stop { false };
        std::atomic<int> inside { 0 };
        bool overlapped = false, shrank = false;
        uint64_t last = 0;
        CheckResult r = CheckPieces(
            d, store, all, 8, stop,
            [&](uint64_t b) {
                overlapped |= inside.fetch_add(1) != 0;
                shrank |= b <= last;
                last = b;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                inside.fetch_sub(1);
            },
            &good);
        EXPECT_EQ(r.good, 160u);
        EXPECT_FALSE(overlapped) << "two threads in the callback at once";
        EXPECT_FALSE(shrank) << "a figure not above the one before";
        EXPECT_EQ(last, d.totalSize);
    }
}

TEST(LocalFiles, WriterVerifiesWritesAndRecordsState)
{
    std::string src = TempDir("src2");
    MakeClient(src);
    DownloadDescription d = Describe(src);
    std::string inst = TempDir("inst2");
    RemoveFile(inst + "/zpc.exe");
    PieceStore store(d, inst);
    for (uint32_t f = 0; f < 3; ++f) {
        bool existed = false;
        FsStatus st;
        ASSERT_TRUE(store.PrepareFile(f, &existed, &st));
    }
    StatusBoard board;
    Sha256Digest digest = Sha256::Of("desc", 4);
    std::string statePath = inst + "/state";
    RemoveFile(statePath);
    {
        PieceWriter writer(d, digest, store, board, "state", 50, 8);
        writer.Start(std::vector<bool>(4, false));
        std::string exe = Pattern(40000, 'a');
        std::vector<uint8_t> p0(exe.begin(), exe.begin() + kPiece);
        std::vector<uint8_t> bad(p0);
        bad[5] ^= 0x40;
        writer.Submit(1, bad); // wrong bytes for piece 1
        writer.Submit(0, p0);
        std::vector<PieceVerdict> v;
        for (int i = 0; i < 200 && v.size() < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            writer.TakeVerdicts(&v);
        }
        ASSERT_EQ(v.size(), 2u);
        EXPECT_EQ(v[0].piece, 1u);
        EXPECT_FALSE(v[0].good);
        EXPECT_TRUE(v[1].good);
        writer.Finish();
    }
    std::string bytes;
    FsStatus st;
    ASSERT_TRUE(ReadWholeFile(statePath, 1 << 20, &bytes, &st));
    ResumeState rs;
    ASSERT_TRUE(DecodeResumeState(bytes, 4, &rs));
    EXPECT_EQ(rs.description, digest);
    EXPECT_EQ(rs.good, (std::vector<bool> { true, false, false, false }));
    EXPECT_TRUE(rs.recheck[0]); // recent: hashed again at the next start
    // The bad bytes never reached the file: piece 1's region is still zero.
    File f;
    ASSERT_TRUE(f.Open(inst + "/zpc.exe", File::Mode::Read, &st));
    char buf[16];
    size_t got = 0;
    ASSERT_TRUE(f.ReadAt(kPiece, buf, sizeof buf, &got, &st));
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '\0'));
    ASSERT_TRUE(f.ReadAt(0, buf, sizeof buf, &got, &st));
    EXPECT_EQ(std::string(buf, sizeof buf), Pattern(40000, 'a').substr(0, sizeof buf));
}

} // namespace
