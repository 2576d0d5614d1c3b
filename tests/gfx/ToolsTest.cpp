// The asset tools: the sprite encoder round trip through the decoder, and
// the qfapack and tcpenc programs on good and bad input.
#include "gfx/ImageLoader.h"
#include "gfx/ResourceArchive.h"
#include "gfx/Sprite.h"
#include "tests/gfx/GfxTestUtil.h"
#include "tools/tcpenc/SpriteEncoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

using namespace zdl;
using zdl::test::Bgra;
using zdl::test::PixelAt;

namespace {

// A representable pixel: colour from an RGB565 value, alpha from the steps.
void PutRepresentable(uint8_t* p, uint16_t c565, uint8_t alpha)
{
    Rgb c = ExpandRgb565(c565);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    p[3] = alpha;
}

// Frames of random pictures with transparent margins, runs, single pixels
// and partial alpha, over a palette of |colours| RGB565 values.
std::vector<EncoderFrame> RandomFrames(int count, int w, int h, int colours, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint16_t> palette;
    for (int i = 0; i < colours; ++i)
        palette.push_back(uint16_t(rng()));
    std::vector<EncoderFrame> frames;
    for (int f = 0; f < count; ++f) {
        EncoderFrame fr;
        fr.width = w;
        fr.height = h;
        fr.bgra = std::vector<uint8_t>(size_t(w) * h * 4, 0);
        for (int y = 1; y < h - 1; ++y) {
            int x = 1;
            while (x < w - 1) {
                int run = 1 + int(rng() % 70);
                int kind = int(rng() % 4);
                uint16_t c = palette[rng() % palette.size()];
                uint8_t alpha = kind == 0 ? 0 : kind == 1 ? uint8_t(8 * (1 + rng() % 31)) : 255;
                for (int k = 0; k < run && x < w - 1; ++k, ++x) {
                    if (kind == 3) // a literal stretch: a new colour per pixel
                        c = palette[rng() % palette.size()];
                    PutRepresentable(&fr.bgra[(size_t(y) * w + x) * 4], c, alpha);
                }
            }
        }
        frames.push_back(std::move(fr));
    }
    return frames;
}

void ExpectStripMatches(const DibImage& strip, const std::vector<EncoderFrame>& frames)
{
    int n = int(frames.size());
    int w = frames[0].width, h = frames[0].height;
    ASSERT_EQ(strip.Width(), SpriteStripCells(n) * w);
    ASSERT_EQ(strip.Height(), h);
    for (int cell = 0; cell < SpriteStripCells(n); ++cell) {
        const EncoderFrame& fr = frames[size_t(SpriteStripFrameOfCell(n, cell))];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // The decoder draws the frame shifted by minus its key point.
                int sx = x + fr.keyX, sy = y + fr.keyY;
                Bgra want { 0, 0, 0, 0 };
                if (sx >= 0 && sx < w && sy >= 0 && sy < h) {
                    const uint8_t* p = &fr.bgra[(size_t(sy) * w + sx) * 4];
                    if (p[3] != 0)
                        want = Bgra { p[0], p[1], p[2], p[3] };
                }
                ASSERT_EQ(PixelAt(strip, cell * w + x, y), want)
                    << "cell " << cell << " at " << x << "," << y << ": "
                    << zdl::test::ToString(PixelAt(strip, cell * w + x, y));
            }
    }
}

bool DecodeStrip(const std::vector<uint8_t>& bytes, DibImage* strip)
{
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    return DecodeSpriteStrip(s.get(), strip);
}

TEST(SpriteEncoder, RepresentablePixelsRoundTripExactly)
{
    struct Case {
        int frames, w, h, colours;
    } cases[] = { { 4, 40, 12, 256 }, { 3, 9, 5, 3 }, { 2, 70, 3, 17 }, { 1, 1, 1, 1 }, { 15, 20, 20, 200 },
        { 4, 130, 4, 2 } };
    unsigned seed = 1;
    for (const Case& c : cases) {
        auto frames = RandomFrames(c.frames, c.w + 2, c.h + 2, c.colours, seed++);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(EncodeSprite(frames, EncoderOptions(), &bytes, &error)) << error;
        DibImage strip;
        ASSERT_TRUE(DecodeStrip(bytes, &strip)) << c.frames;
        ExpectStripMatches(strip, frames);
    }
}

TEST(SpriteEncoder, KeyPointsAndEmptyFramesRoundTrip)
{
    auto frames = RandomFrames(4, 12, 10, 30, 99);
    frames[2].keyX = -1;
    frames[2].keyY = -1; // pressed look: one pixel right and down
    frames[1].keyX = 1; // one pixel left: the transparent margin keeps it inside its cell
    std::fill(frames[3].bgra.begin(), frames[3].bgra.end(), uint8_t(0)); // nothing visible
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeSprite(frames, EncoderOptions(), &bytes, &error)) << error;
    SpriteFile sprite;
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(LoadSpriteFromStream(s.get(), &sprite));
    EXPECT_TRUE(sprite.Frame(0, 3)->Empty());
    DibImage strip;
    ASSERT_TRUE(DecodeStrip(bytes, &strip));
    ExpectStripMatches(strip, frames);
}

TEST(SpriteEncoder, SolidAreasCodeSmall)
{
    EncoderFrame fr;
    fr.width = 60;
    fr.height = 40;
    fr.bgra = std::vector<uint8_t>(60 * 40 * 4, 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 10; x < 50; ++x)
            PutRepresentable(&fr.bgra[(size_t(y) * 60 + x) * 4], 0x1234, 255);
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeSprite({ fr }, EncoderOptions(), &bytes, &error));
    // Header, palette, table, frame header, row table and one fill (2 bytes)
    // per row: cropping removes the margins, no end byte is needed.
    EXPECT_EQ(bytes.size(), 16u + 512 + 4 + 16 + 4 * 40 + 2 * 40);
}

TEST(SpriteEncoder, ManyColoursAreReducedToThePalette)
{
    EncoderFrame fr;
    fr.width = 64;
    fr.height = 64;
    fr.bgra.resize(64 * 64 * 4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = &fr.bgra[(size_t(y) * 64 + x) * 4];
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 4);
            p[2] = uint8_t((x + y) * 2);
            p[3] = 255;
        }
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(EncodeSprite({ fr }, EncoderOptions(), &bytes, &error));
    DibImage strip;
    ASSERT_TRUE(DecodeStrip(bytes, &strip));
    double err = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            Bgra p = PixelAt(strip, x, y);
            const uint8_t* s = &fr.bgra[(size_t(y) * 64 + x) * 4];
            EXPECT_EQ(p.a, 255);
            err += std::abs(p.b - s[0]) + std::abs(p.g - s[1]) + std::abs(p.r - s[2]);
        }
    EXPECT_LT(err / (64 * 64 * 3), 12.0); // average error per channel
}

TEST(SpriteEncoder, AlphaQuantisation)
{
    struct Case {
        uint8_t in, out;
    } cases[] = { { 0, 0 }, { 3, 0 }, { 4, 8 }, { 8, 8 }, { 11, 8 }, { 12, 16 }, { 128, 128 }, { 248, 248 },
        { 251, 248 }, { 252, 255 }, { 255, 255 } };
    for (const Case& c : cases)
        EXPECT_EQ(QuantizeSpriteAlpha(c.in), c.out) << int(c.in);
    for (int v = 0; v < 65536; v += 7) {
        Rgb c = ExpandRgb565(uint16_t(v));
        ASSERT_EQ(NearestRgb565(c.r, c.g, c.b), v);
    }
}

TEST(SpriteEncoder, BadInputIsRefused)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(EncodeSprite({}, EncoderOptions(), &bytes, &error));
    auto frames = RandomFrames(2, 4, 4, 2, 5);
    frames[1].width = 5;
    EXPECT_FALSE(EncodeSprite(frames, EncoderOptions(), &bytes, &error));
    EXPECT_NE(error.find("frame 1"), std::string::npos);
}

// ---- the programs ----

struct ToolRun {
    int status;
    std::string err;
};

ToolRun RunTool(const std::string& command)
{
    std::string errFile = "tool_stderr.txt";
    int status = std::system((command + " 2>" + errFile).c_str());
    std::ifstream in(errFile);
    std::stringstream ss;
    ss << in.rdbuf();
    std::remove(errFile.c_str());
    return ToolRun { status, ss.str() };
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Qfapack, PacksSortedWithSeparatorsAndNestedArchives)
{
    ASSERT_TRUE(zdl::test::WriteFile("t_b.png", { 'b', 'b' }));
    ASSERT_TRUE(zdl::test::WriteFile("T_A.lua", { 'a' }));
    ASSERT_TRUE(zdl::test::WriteFile("t_empty.txt", {}));
    ASSERT_TRUE(zdl::test::WriteFile("t_\xb0\xb2.txt", { 'g', 'b', 'k' }));
    ASSERT_EQ(RunTool(std::string(QFAPACK_PATH) + " inner.qfa t_b.png T_A.lua").status, 0);
    ToolRun r = RunTool(
        std::string(QFAPACK_PATH) + " outer.qfa t_b.png --as image.dat inner.qfa ./T_A.lua t_empty.txt t_\xb0\xb2.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint8_t> inner = ReadFileBytes("inner.qfa");
    std::vector<uint8_t> outer = ReadFileBytes("outer.qfa");
    // Sorted without case, the GBK name last; offsets in table order with
    // one 0xFF after each file.
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> want
        = { { "image.dat", inner }, { "T_A.lua", { 'a' } }, { "t_b.png", { 'b', 'b' } }, { "t_empty.txt", {} },
              { "t_\xb0\xb2.txt", { 'g', 'b', 'k' } } };
    ASSERT_EQ(outer.size(), 8 + 72 * want.size() + inner.size() + 1 + 1 + 1 + 2 + 1 + 0 + 1 + 3 + 1);
    EXPECT_EQ(std::memcmp(outer.data(), "QFA\0", 4), 0);
    uint32_t count;
    std::memcpy(&count, &outer[4], 4);
    ASSERT_EQ(count, want.size());
    size_t data = 8 + 72 * want.size();
    uint32_t expectOffset = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const uint8_t* e = &outer[8 + 72 * i];
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(e)), want[i].first);
        uint32_t offset, size;
        std::memcpy(&offset, e + 64, 4);
        std::memcpy(&size, e + 68, 4);
        EXPECT_EQ(offset, expectOffset) << want[i].first;
        ASSERT_EQ(size, want[i].second.size());
        EXPECT_TRUE(std::equal(want[i].second.begin(), want[i].second.end(), outer.begin() + long(data + offset)));
        EXPECT_EQ(outer[data + offset + size], 0xFF);
        expectOffset = offset + size + 1;
    }
    // Every entry is found by the downloader's lookup, in any case.
    ASSERT_TRUE(LoadResourceArchiveFromBytes(outer.data(), outer.size()));
    for (const auto& w : want) {
        std::vector<uint8_t> got;
        ASSERT_TRUE(ReadResourceFile(w.first.c_str(), &got)) << w.first;
        EXPECT_EQ(got, w.second);
    }
    std::vector<uint8_t> got;
    EXPECT_TRUE(ReadResourceFile("t_a.LUA", &got));
    UnloadResourceArchive();
    for (const char* f : { "t_b.png", "T_A.lua", "t_empty.txt", "t_\xb0\xb2.txt", "inner.qfa", "outer.qfa" })
        std::remove(f);
}

TEST(Qfapack, RefusesBadInputWithAMessage)
{
    ASSERT_TRUE(zdl::test::WriteFile("q_one.png", { '1' }));
    ASSERT_TRUE(zdl::test::WriteFile("Q_ONE.PNG.x", { '2' }));
    std::string longName(64, 'n');
    struct Case {
        std::string args;
        std::string message;
    } cases[] = {
        { "", "usage" },
        { "out.qfa", "usage" },
        { "out.qfa missing.png", "cannot read" },
        { "out.qfa q_one.png --as Q_ONE.png Q_ONE.PNG.x", "duplicate" },
        { "out.qfa --as " + longName + " q_one.png", "longer than 63" },
        { "out.qfa --as dir/x.png q_one.png", "directory" },
        { "out.qfa --as", "--as needs" },
        { "--list q_one.png", "not a QFA" },
    };
    for (const Case& c : cases) {
        ToolRun r = RunTool(std::string(QFAPACK_PATH) + " " + c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find("qfapack:"), std::string::npos);
    }
    FILE* f = std::fopen("out.qfa", "rb");
    EXPECT_EQ(f, nullptr) << "nothing written on failure";
    if (f)
        std::fclose(f);
    std::remove("q_one.png");
    std::remove("Q_ONE.PNG.x");
}

std::vector<uint8_t> StripPng(const std::vector<EncoderFrame>& frames)
{
    int w = frames[0].width, h = frames[0].height, n = int(frames.size());
    std::vector<uint8_t> rgba(size_t(w) * n * h * 4);
    for (int f = 0; f < n; ++f)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* s = &frames[size_t(f)].bgra[(size_t(y) * w + x) * 4];
                uint8_t* d = &rgba[((size_t(y) * w * n) + size_t(f) * w + x) * 4];
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
                d[3] = s[3];
            }
    return zdl::test::MakePng(w * n, h, PNG_COLOR_TYPE_RGBA, 8, rgba);
}

TEST(Tcpenc, StripWithKeyPointRoundTrips)
{
    auto frames = RandomFrames(4, 16, 9, 40, 7);
    ASSERT_TRUE(zdl::test::WriteFile("enc_strip.png", StripPng(frames)));
    ToolRun r = RunTool(
        std::string(TCPENC_PATH) + " --frames 4 --keypoint 2:-1,-1 --key 3,4 --verbose enc_strip.png enc.tcp");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(": 0 pixels not representable"), std::string::npos) << r.err;
    frames[2].keyX = frames[2].keyY = -1;
    std::vector<uint8_t> bytes = ReadFileBytes("enc.tcp");
    DibImage strip;
    ASSERT_TRUE(DecodeStrip(bytes, &strip));
    ExpectStripMatches(strip, frames);
    SpriteFile sprite;
    auto s = ResourceStream::FromMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(LoadSpriteFromStream(s.get(), &sprite));
    EXPECT_EQ(sprite.keyX, 3);
    EXPECT_EQ(sprite.keyY, 4);
    std::remove("enc_strip.png");
    std::remove("enc.tcp");
}

TEST(Tcpenc, SeparateFramesRoundTrip)
{
    auto frames = RandomFrames(2, 8, 8, 5, 11);
    ASSERT_TRUE(zdl::test::WriteFile("enc_f0.png", StripPng({ frames[0] })));
    ASSERT_TRUE(zdl::test::WriteFile("enc_f1.png", StripPng({ frames[1] })));
    ToolRun r = RunTool(std::string(TCPENC_PATH) + " enc_f0.png enc_f1.png enc2.tcp");
    ASSERT_EQ(r.status, 0) << r.err;
    DibImage strip;
    ASSERT_TRUE(DecodeStrip(ReadFileBytes("enc2.tcp"), &strip));
    ExpectStripMatches(strip, frames);
    for (const char* f : { "enc_f0.png", "enc_f1.png", "enc2.tcp" })
        std::remove(f);
}

TEST(Tcpenc, RefusesBadInputWithAMessage)
{
    auto frames = RandomFrames(1, 10, 4, 3, 3);
    ASSERT_TRUE(zdl::test::WriteFile("bad_10.png", StripPng(frames)));
    ASSERT_TRUE(zdl::test::WriteFile("bad_8.png", StripPng(RandomFrames(1, 8, 4, 3, 4))));
    std::vector<uint8_t> deep(4 * 4 * 2 * 4, 0x80);
    ASSERT_TRUE(zdl::test::WriteFile("bad_16bit.png", zdl::test::MakePng(4, 4, PNG_COLOR_TYPE_RGBA, 16, deep)));
    ASSERT_TRUE(zdl::test::WriteFile("bad_not.png", { 'x', 'y' }));
    struct Case {
        std::string args;
        std::string message;
    } cases[] = {
        { "", "usage" },
        { "bad_10.png", "usage" },
        { "missing.png out.tcp", "cannot read" },
        { "bad_16bit.png out.tcp", "8 bits per channel" },
        { "bad_not.png out.tcp", "cannot read" },
        { "--frames 3 bad_10.png out.tcp", "does not divide" },
        { "--frames 0 bad_10.png out.tcp", "--frames" },
        { "--frames x bad_10.png out.tcp", "--frames" },
        { "--keypoint 1:-1,-1 bad_10.png out.tcp", "names frame 1" },
        { "--keypoint 0:-1 bad_10.png out.tcp", "--keypoint wants" },
        { "--key 1 bad_10.png out.tcp", "--key wants" },
        { "--bogus bad_10.png out.tcp", "unknown option" },
        { "bad_10.png bad_8.png out.tcp", "differs in size" },
        { "--frames 3 bad_10.png bad_10.png out.tcp", "but 2 input" },
    };
    for (const Case& c : cases) {
        ToolRun r = RunTool(std::string(TCPENC_PATH) + " " + c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    FILE* f = std::fopen("out.tcp", "rb");
    EXPECT_EQ(f, nullptr) << "nothing written on failure";
    if (f)
        std::fclose(f);
    for (const char* n : { "bad_10.png", "bad_8.png", "bad_16bit.png", "bad_not.png" })
        std::remove(n);
}

} // namespace
