#include "gfx/ImageLoader.h"

#include "gfx/Sprite.h"

#include <cstring>
#include <vector>

namespace zdl {

namespace {

    bool ExtensionIs(const char* dot, const char* ext)
    {
        for (; *dot && *ext; ++dot, ++ext) {
            char c = *dot;
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != *ext)
                return false;
        }
        return *dot == 0 && *ext == 0;
    }

    uint16_t U16(const uint8_t* p)
    {
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    }

    uint32_t U32(const uint8_t* p)
    {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

    bool Skip(ResourceStream* stream, size_t n)
    {
        uint8_t scratch[256];
        while (n > 0) {
            size_t chunk = n < sizeof scratch ? n : sizeof scratch;
            if (stream->Read(scratch, chunk) != chunk)
                return false;
            n -= chunk;
        }
        return true;
    }

} // namespace

bool DecodeBmp(ResourceStream* stream, DibImage* image)
{
    DeleteDib(image);
    uint8_t head[54];
    if (stream->Read(head, sizeof head) != sizeof head)
        return false;
    if (head[0] != 'B' || head[1] != 'M')
        return false;
    const uint8_t* info = head + 14;
    int32_t width = static_cast<int32_t>(U32(info + 4));
    int32_t height = static_cast<int32_t>(U32(info + 8));
    uint16_t bitCount = U16(info + 14);
    uint32_t imageSize = U32(info + 20);
    if (bitCount != 24)
        return false;
    // Only the bottom-up, uncompressed form is read; top-down (negative
    // height) and oversized pictures are refused.
    if (width <= 0 || height <= 0 || width > kMaxDibDimension || height > kMaxDibDimension)
        return false;
    const uint32_t paddedRow = ((uint32_t(width) * 3 + 3) / 4) * 4;
    if (imageSize == 0)
        imageSize = paddedRow * uint32_t(height);
    // Each stored row is image size / height bytes; it must hold a row of
    // pixels or the copy would run into the next row.
    uint32_t rowBytes = imageSize / uint32_t(height);
    if (rowBytes < uint32_t(width) * 3)
        return false;
    if (!CreateDib(image, 24, width, height))
        return false;
    // Rows straight into the image (memory row r <- stored row r), skipping
    // each stored row's bytes beyond the pixels, so a lying header costs no
    // allocation beyond the picture itself.
    const size_t pixelBytes = size_t(width) * 3;
    for (int32_t r = 0; r < height; ++r) {
        if (stream->Read(image->bits + size_t(r) * image->stride, pixelBytes) != pixelBytes
            || !Skip(stream, rowBytes - pixelBytes)) {
            DeleteDib(image);
            return false;
        }
    }
    return true;
}

bool DecodeTga(ResourceStream* stream, DibImage* image)
{
    DeleteDib(image);
    static const uint8_t kHead[12] = { 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    uint8_t head[18];
    if (stream->Read(head, sizeof head) != sizeof head)
        return false;
    if (std::memcmp(head, kHead, sizeof kHead) != 0)
        return false;
    int width = U16(head + 12);
    int height = U16(head + 14);
    int bits = head[16];
    if (width <= 0 || height <= 0 || (bits != 24 && bits != 32))
        return false;
    if (int64_t(width) * height > kMaxDibPixels)
        return false;
    int bpp = bits / 8;
    const size_t rowBytes = size_t(width) * size_t(bpp);
    if (!CreateDib(image, bits, width, height))
        return false;
    // The file's first row is the bottom row, as in memory.
    for (int r = 0; r < height; ++r) {
        if (stream->Read(image->bits + size_t(r) * image->stride, rowBytes) != rowBytes) {
            DeleteDib(image);
            return false;
        }
    }
    return true;
}

bool DecodeSpriteStrip(ResourceStream* stream, DibImage* image)
{
    DeleteDib(image);
    SpriteFile sprite;
    if (!LoadSpriteFromStream(stream, &sprite))
        return false;
    bool ok = BuildSpriteStrip(sprite, image);
    FreeSprite(&sprite);
    return ok;
}

bool LoadImageFile(DibImage* image, const char* name)
{
    DeleteDib(image);
    if (!name)
        return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    bool (*decode)(ResourceStream*, DibImage*) = nullptr;
    if (ExtensionIs(dot, ".bmp"))
        decode = DecodeBmp;
    else if (ExtensionIs(dot, ".tga"))
        decode = DecodeTga;
    else if (ExtensionIs(dot, ".jpg"))
        decode = DecodeJpeg;
    else if (ExtensionIs(dot, ".png"))
        decode = DecodePng;
    else if (ExtensionIs(dot, ".tcp"))
        decode = DecodeSpriteStrip;
    else
        return false;
    std::unique_ptr<ResourceStream> stream = OpenResourceFile(name);
    if (!stream)
        return false;
    bool ok = decode(stream.get(), image); // a disk-backed stream closes on return
    if (!ok)
        DeleteDib(image);
    return ok;
}

} // namespace zdl
