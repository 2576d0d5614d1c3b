#include "gfx/Sprite.h"

#include <algorithm>
#include <cstring>

namespace zdl {

namespace {

    uint16_t U16(const uint8_t* p)
    {
        return static_cast<uint16_t>(p[0] | p[1] << 8);
    }

    uint32_t U32(const uint8_t* p)
    {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

    // Walks one row's opcodes as the decoder will and checks that every byte it
    // would read lies before |end|. Bytes of an opcode are required in full even
    // when the row's width cuts the opcode short.
    bool RowFits(const uint8_t* p, const uint8_t* end, int32_t width)
    {
        int64_t covered = 0;
        while (covered < width) {
            if (p >= end)
                return false;
            uint8_t b = *p++;
            if (b == 0)
                return true;
            size_t operand;
            int n;
            if (b < 0x20) {
                operand = 2;
                n = b & 0x1F;
            } else if (b < 0x40) {
                operand = 1;
                n = 1;
            } else if (b < 0x80) {
                n = b & 0x3F;
                operand = static_cast<size_t>(n);
            } else if (b < 0xC0) {
                operand = 1;
                n = b & 0x3F;
            } else {
                operand = 0;
                n = b & 0x3F;
            }
            if (static_cast<size_t>(end - p) < operand)
                return false;
            p += operand;
            covered += n;
        }
        return true;
    }

    // Builds and checks the record of the frame whose header lies at |offset|
    // in the block.
    bool LoadFrame(const std::vector<uint8_t>& block, uint32_t offset, SpriteFrame* frame)
    {
        const size_t size = block.size();
        if (offset > size || size - offset < 16)
            return false;
        const uint8_t* base = block.data();
        const uint8_t* head = base + offset;
        int32_t keyX = static_cast<int32_t>(U32(head));
        int32_t keyY = static_cast<int32_t>(U32(head + 4));
        int32_t width = static_cast<int32_t>(U32(head + 8));
        int32_t height = static_cast<int32_t>(U32(head + 12));
        if (width < 0 || height < 0 || width > kMaxSpriteDimension || height > kMaxSpriteDimension)
            return false;
        if ((size - offset - 16) / 4 < static_cast<size_t>(height))
            return false;
        frame->keyX = keyX;
        frame->keyY = keyY;
        frame->width = width;
        frame->height = height;
        frame->palette = base;
        frame->rows.resize(static_cast<size_t>(height));
        const uint8_t* end = base + size;
        for (int32_t r = 0; r < height; ++r) {
            uint32_t rowOffset = U32(head + 16 + 4 * r);
            if (rowOffset > size - offset)
                return false;
            const uint8_t* row = head + rowOffset;
            if (!RowFits(row, end, width))
                return false;
            frame->rows[static_cast<size_t>(r)] = row;
        }
        return true;
    }

} // namespace

void FreeSprite(SpriteFile* sprite)
{
    sprite->records.clear();
    sprite->records.shrink_to_fit();
    sprite->block.clear();
    sprite->block.shrink_to_fit();
}

bool LoadSpriteFromStream(ResourceStream* stream, SpriteFile* sprite)
{
    FreeSprite(sprite);
    size_t total = stream->TotalSize();
    uint8_t header[kSpriteHeaderSize];
    if (stream->Read(header, sizeof header) != sizeof header)
        return false;
    sprite->magic = U16(header);
    sprite->headerLength = U16(header + 2);
    sprite->directions = U16(header + 4);
    sprite->frames = U16(header + 6);
    sprite->width = U16(header + 8);
    sprite->height = U16(header + 10);
    sprite->keyX = static_cast<int16_t>(U16(header + 12));
    sprite->keyY = static_cast<int16_t>(U16(header + 14));
    if (sprite->magic != kSpriteMagic)
        return false;
    // The palette starts at 4 + header length; longer headers carry bytes
    // this reader skips, shorter ones cannot hold the fields above.
    if (sprite->headerLength < kSpriteHeaderSize - 4)
        return false;
    size_t skip = sprite->headerLength - (kSpriteHeaderSize - 4);
    if (sprite->width > kMaxSpriteDimension || sprite->height > kMaxSpriteDimension)
        return false;
    size_t count = size_t(sprite->directions) * sprite->frames;
    if (count > size_t(kMaxSpriteFrames))
        return false;
    size_t used = 4 + size_t(sprite->headerLength);
    if (total < used + kSpritePaletteSize + 4 * count)
        return false;
    for (size_t i = 0; i < skip; ++i) {
        uint8_t dummy;
        if (stream->Read(&dummy, 1) != 1)
            return false;
    }
    sprite->block.resize(total - used);
    if (stream->Read(sprite->block.data(), sprite->block.size()) != sprite->block.size()) {
        FreeSprite(sprite);
        return false;
    }
    sprite->records.resize(count);
    const uint8_t* table = sprite->block.data() + kSpritePaletteSize;
    for (size_t i = 0; i < count; ++i) {
        uint32_t v = U32(table + 4 * i);
        if (v == 0)
            continue; // empty frame
        if (!LoadFrame(sprite->block, v, &sprite->records[i])) {
            FreeSprite(sprite);
            return false;
        }
    }
    return true;
}

bool LoadSprite(const char* name, SpriteFile* sprite)
{
    std::unique_ptr<ResourceStream> stream = OpenResourceFile(name);
    if (!stream)
        return false;
    return LoadSpriteFromStream(stream.get(), sprite); // the stream closes here
}

namespace {

    // Writes one decoded pixel with the sprite's rules; |p| is the BGRA target.
    inline void PutOpaque(uint8_t* p, Rgb c)
    {
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
        p[3] = 255;
    }

    inline uint8_t Mix(uint8_t t, uint8_t s, int a)
    {
        // Signed difference with an arithmetic shift, as the format's drawing
        // rule states: t + floor((s - t) * a / 256).
        return static_cast<uint8_t>(t + (((int(s) - int(t)) * a) >> 8));
    }

    inline void PutAlpha(uint8_t* p, Rgb c, int a)
    {
        if (p[3] == 0) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = static_cast<uint8_t>(a);
            return;
        }
        p[0] = Mix(p[0], c.b, a);
        p[1] = Mix(p[1], c.g, a);
        p[2] = Mix(p[2], c.r, a);
        p[3] = static_cast<uint8_t>(std::max<int>(p[3], a));
    }

    struct RowTarget {
        uint8_t* row; // null when the image row is outside the image
        int x; // image column of the next pixel
        int width; // image width

        uint8_t* At() const { return (row && x >= 0 && x < width) ? row + x * 4 : nullptr; }
    };

} // namespace

void DrawSpriteFrame(DibImage* image, const SpriteFrame* frame, int x, int y)
{
    if (!image || !frame || image->Empty() || image->BitsPerPixel() != 32)
        return;
    // Key points are any 32-bit values: place the frame in 64 bits and
    // leave at once when none of it can reach the image.
    const int64_t X64 = int64_t(x) - frame->keyX;
    const int64_t Y64 = int64_t(y) - frame->keyY;
    if (X64 >= image->Width() || X64 + frame->width <= 0 || Y64 >= image->Height() || Y64 + frame->height <= 0)
        return;
    const int X = static_cast<int>(X64); // now within -kMaxSpriteDimension..width
    const int Y = static_cast<int>(Y64);
    const uint8_t* pal = frame->palette;
    auto color = [pal](uint8_t i) { return ExpandRgb565(U16(pal + 2 * i)); };
    for (int r = 0; r < frame->height; ++r) {
        int iy = Y + r;
        RowTarget t { (iy >= 0 && iy < image->Height()) ? image->Row(iy) : nullptr, X, image->Width() };
        const uint8_t* p = frame->rows[static_cast<size_t>(r)];
        int left = frame->width; // pixels the row may still cover
        while (left > 0) {
            uint8_t b = *p++;
            if (b == 0)
                break;
            int n;
            if (b < 0x20) { // alpha run
                n = b & 0x1F;
                int a = (p[0] * 8) & 0xFF;
                Rgb c = color(p[1]);
                p += 2;
                for (int k = 0; k < n && left > 0; ++k, --left, ++t.x)
                    if (uint8_t* q = t.At())
                        PutAlpha(q, c, a);
            } else if (b < 0x40) { // alpha pixel
                Rgb c = color(p[0]);
                p += 1;
                if (uint8_t* q = t.At())
                    PutAlpha(q, c, (b & 0x1F) * 8);
                --left;
                ++t.x;
            } else if (b < 0x80) { // literal
                n = b & 0x3F;
                for (int k = 0; k < n; ++k) {
                    if (left > 0) {
                        if (uint8_t* q = t.At())
                            PutOpaque(q, color(p[k]));
                        --left;
                        ++t.x;
                    }
                }
                p += n;
            } else if (b < 0xC0) { // fill
                n = b & 0x3F;
                Rgb c = color(p[0]);
                p += 1;
                for (int k = 0; k < n && left > 0; ++k, --left, ++t.x)
                    if (uint8_t* q = t.At())
                        PutOpaque(q, c);
            } else { // skip
                n = std::min(b & 0x3F, left);
                left -= n;
                t.x += n;
            }
        }
    }
}

int SpriteStripCells(int frames)
{
    return (frames == 3 || frames == 4) ? 4 : frames;
}

int SpriteStripFrameOfCell(int frames, int cell)
{
    if (frames == 3 || frames == 4) {
        static const int kOrder[4] = { 0, 2, 1, 3 };
        int f = kOrder[cell & 3];
        return (frames == 3 && f == 3) ? 0 : f;
    }
    return cell;
}

bool BuildSpriteStrip(const SpriteFile& sprite, DibImage* image)
{
    int frames = sprite.frames;
    int w = sprite.width;
    int cells = SpriteStripCells(frames);
    if (sprite.directions == 0 || int64_t(cells) * w > kMaxSpriteStripWidth)
        return false;
    if (!CreateDib(image, 32, cells * w, sprite.height))
        return false;
    for (int k = 0; k < cells; ++k) {
        const SpriteFrame* f = sprite.Frame(0, SpriteStripFrameOfCell(frames, k));
        if (!f->Empty())
            DrawSpriteFrame(image, f, k * w, 0);
    }
    return true;
}

} // namespace zdl
