// tcpenc: encodes PNG pictures into a ".tcp" sprite.
//
//   tcpenc [--frames N] [--key X,Y] [--keypoint I:X,Y ...] [--verbose] IN.png [IN.png ...] OUT.tcp
//
// With one IN.png and "--frames N" (default 1) the picture is a horizontal
// strip of N equal cells, frame 0 leftmost; its width must divide by N.
// With several IN.png files each is one frame, all of one size (--frames, if
// given, must equal their number). "--keypoint I:X,Y" gives frame I its key
// point in cell pixels (default 0,0): the decoder draws the frame's pixels
// shifted by (-X, -Y), so a pressed button look uses "--keypoint 2:-1,-1" to
// sit one pixel right and down. "--key X,Y" sets the header's key point,
// which the downloader carries but never uses.
// The PNGs must have 8 bits per channel. Colours are reduced to at most 256
// RGB565 palette entries and alpha to steps of 8 (255 stays opaque); pixels
// already representable come back exactly. The sprite is decoded again
// before it is written; "--verbose" reports how many pixels changed.
// Errors go to stderr with a non-zero exit status.
#include "gfx/ImageLoader.h"
#include "gfx/Sprite.h"
#include "tools/tcpenc/SpriteEncoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace zdl;

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "tcpenc: %s\n", message.c_str());
    return 1;
}

bool ParseInt(const std::string& text, long lo, long hi, long* out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != 0 || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ParsePoint(const std::string& text, long* x, long* y)
{
    size_t comma = text.find(',');
    return comma != std::string::npos && ParseInt(text.substr(0, comma), -32768, 32767, x)
        && ParseInt(text.substr(comma + 1), -32768, 32767, y);
}

bool LoadPng(const std::string& path, DibImage* image)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::unique_ptr<ResourceStream> stream = ResourceStream::FromFile(f);
    return DecodePng(stream.get(), image);
}

// Cell |cell| of |image| (cells of width w) as top-down BGRA bytes.
EncoderFrame Cut(const DibImage& image, int cell, int w)
{
    EncoderFrame fr;
    fr.width = w;
    fr.height = image.Height();
    fr.bgra.resize(size_t(w) * size_t(fr.height) * 4);
    for (int y = 0; y < fr.height; ++y)
        std::memcpy(&fr.bgra[size_t(y) * w * 4], image.Pixel(cell * w, y), size_t(w) * 4);
    return fr;
}

} // namespace

int main(int argc, char** argv)
{
    long frames = 0;
    bool verbose = false;
    EncoderOptions options;
    struct KeyPoint {
        long index, x, y;
    };
    std::vector<KeyPoint> keyPoints;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--frames" || arg == "--key" || arg == "--keypoint") {
            if (i + 1 >= argc)
                return Fail(arg + " needs a value");
            std::string value = argv[++i];
            if (arg == "--frames") {
                if (!ParseInt(value, 1, kMaxSpriteFrames, &frames))
                    return Fail("--frames wants a number from 1 to " + std::to_string(kMaxSpriteFrames));
            } else if (arg == "--key") {
                long x, y;
                if (!ParsePoint(value, &x, &y))
                    return Fail("--key wants X,Y");
                options.spriteKeyX = static_cast<int16_t>(x);
                options.spriteKeyY = static_cast<int16_t>(y);
            } else {
                size_t colon = value.find(':');
                KeyPoint k;
                if (colon == std::string::npos || !ParseInt(value.substr(0, colon), 0, kMaxSpriteFrames, &k.index)
                    || !ParsePoint(value.substr(colon + 1), &k.x, &k.y))
                    return Fail("--keypoint wants I:X,Y, got \"" + value + "\"");
                keyPoints.push_back(k);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() < 2)
        return Fail("usage: tcpenc [--frames N] [--key X,Y] [--keypoint I:X,Y ...] [--verbose] IN.png [IN.png ...] "
                    "OUT.tcp");
    std::string outPath = files.back();
    files.pop_back();

    std::vector<EncoderFrame> cells;
    if (files.size() == 1) {
        if (frames == 0)
            frames = 1;
        DibImage strip;
        if (!LoadPng(files[0], &strip))
            return Fail("cannot read \"" + files[0] + "\" as a PNG with 8 bits per channel");
        if (strip.Width() % frames != 0)
            return Fail("width " + std::to_string(strip.Width()) + " of \"" + files[0] + "\" does not divide into "
                + std::to_string(frames) + " frames");
        int w = strip.Width() / static_cast<int>(frames);
        for (int k = 0; k < frames; ++k)
            cells.push_back(Cut(strip, k, w));
    } else {
        if (frames != 0 && frames != static_cast<long>(files.size()))
            return Fail(
                "--frames " + std::to_string(frames) + " but " + std::to_string(files.size()) + " input pictures");
        frames = static_cast<long>(files.size());
        for (const std::string& path : files) {
            DibImage picture;
            if (!LoadPng(path, &picture))
                return Fail("cannot read \"" + path + "\" as a PNG with 8 bits per channel");
            if (!cells.empty() && (picture.Width() != cells[0].width || picture.Height() != cells[0].height))
                return Fail("\"" + path + "\" differs in size from \"" + files[0] + "\"");
            cells.push_back(Cut(picture, 0, picture.Width()));
        }
    }
    for (const KeyPoint& k : keyPoints) {
        if (k.index >= frames)
            return Fail("--keypoint names frame " + std::to_string(k.index) + " of " + std::to_string(frames));
        cells[static_cast<size_t>(k.index)].keyX = static_cast<int32_t>(k.x);
        cells[static_cast<size_t>(k.index)].keyY = static_cast<int32_t>(k.y);
    }

    std::vector<uint8_t> bytes;
    std::string error;
    if (!EncodeSprite(cells, options, &bytes, &error))
        return Fail(error);

    // Decode again as the downloader will and count changed pixels.
    SpriteFile sprite;
    std::unique_ptr<ResourceStream> check = ResourceStream::FromMemory(bytes.data(), bytes.size());
    if (!LoadSpriteFromStream(check.get(), &sprite))
        return Fail("internal error: encoded sprite does not load");
    size_t changed = 0;
    for (size_t f = 0; f < cells.size(); ++f) {
        DibImage cell;
        if (!CreateDib(&cell, 32, cells[f].width, cells[f].height))
            return Fail("out of memory");
        DrawSpriteFrame(&cell, sprite.Frame(0, static_cast<int>(f)), cells[f].keyX, cells[f].keyY);
        for (int y = 0; y < cells[f].height; ++y)
            for (int x = 0; x < cells[f].width; ++x) {
                const uint8_t* want = &cells[f].bgra[(size_t(y) * cells[f].width + x) * 4];
                const uint8_t* got = cell.Pixel(x, y);
                if (want[3] == 0 ? got[3] != 0 : std::memcmp(want, got, 4) != 0)
                    ++changed;
            }
    }

    std::FILE* f = std::fopen(outPath.c_str(), "wb");
    if (!f)
        return Fail("cannot create \"" + outPath + "\"");
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::remove(outPath.c_str());
        return Fail("cannot write \"" + outPath + "\"");
    }
    if (verbose)
        std::fprintf(stderr, "tcpenc: %s: %zu pixels not representable exactly (RGB565, alpha steps of 8)\n",
            outPath.c_str(), changed);
    return 0;
}
