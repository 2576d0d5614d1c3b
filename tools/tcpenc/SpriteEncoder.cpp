#include "tools/tcpenc/SpriteEncoder.h"

#include "gfx/Sprite.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace zdl {

namespace {

    constexpr int kPaletteEntries = 256;
    constexpr int kMaxRun = 63; // fill, literal, skip
    constexpr int kMaxAlphaRun = 31; // alpha run

    // For each 8-bit value, the field value whose expansion is nearest.
    struct FieldTables {
        uint8_t five[256];
        uint8_t six[256];
        FieldTables()
        {
            for (int v = 0; v < 256; ++v) {
                int best5 = 0, best6 = 0;
                for (int f = 0; f < 32; ++f)
                    if (std::abs(((f << 3) | (f & 7)) - v) < std::abs(((best5 << 3) | (best5 & 7)) - v))
                        best5 = f;
                for (int f = 0; f < 64; ++f)
                    if (std::abs(((f << 2) | (f & 3)) - v) < std::abs(((best6 << 2) | (best6 & 3)) - v))
                        best6 = f;
                five[v] = static_cast<uint8_t>(best5);
                six[v] = static_cast<uint8_t>(best6);
            }
        }
    };

    const FieldTables& Tables()
    {
        static const FieldTables tables;
        return tables;
    }

    void PutU16(std::vector<uint8_t>* out, uint16_t v)
    {
        out->push_back(static_cast<uint8_t>(v));
        out->push_back(static_cast<uint8_t>(v >> 8));
    }

    void PutU32(std::vector<uint8_t>* out, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out->push_back(static_cast<uint8_t>(v >> (8 * i)));
    }

    void SetU32(std::vector<uint8_t>* out, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            (*out)[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }

    int Distance(const Rgb& a, const Rgb& b)
    {
        int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
        return 2 * dr * dr + 4 * dg * dg + db * db;
    }

    struct WeightedColor {
        uint16_t c565;
        Rgb rgb;
        uint64_t weight;
    };

    // Median cut over the distinct colours down to |entries| boxes; each box
    // becomes the RGB565 colour nearest its weighted mean.
    std::vector<uint16_t> MedianCut(std::vector<WeightedColor> colors, int entries)
    {
        struct Box {
            size_t begin, end;
        };
        std::vector<Box> boxes { { 0, colors.size() } };
        auto channel = [](const Rgb& c, int k) { return k == 0 ? c.r : k == 1 ? c.g : c.b; };
        while (static_cast<int>(boxes.size()) < entries) {
            // Split the box with the widest channel range.
            int bestBox = -1, bestChannel = 0, bestRange = 0;
            for (size_t i = 0; i < boxes.size(); ++i) {
                if (boxes[i].end - boxes[i].begin < 2)
                    continue;
                for (int k = 0; k < 3; ++k) {
                    int lo = 255, hi = 0;
                    for (size_t j = boxes[i].begin; j < boxes[i].end; ++j) {
                        lo = std::min<int>(lo, channel(colors[j].rgb, k));
                        hi = std::max<int>(hi, channel(colors[j].rgb, k));
                    }
                    if (hi - lo > bestRange) {
                        bestRange = hi - lo;
                        bestBox = static_cast<int>(i);
                        bestChannel = k;
                    }
                }
            }
            if (bestBox < 0)
                break;
            Box box = boxes[static_cast<size_t>(bestBox)];
            std::sort(colors.begin() + static_cast<ptrdiff_t>(box.begin),
                colors.begin() + static_cast<ptrdiff_t>(box.end), [&](const WeightedColor& a, const WeightedColor& b) {
                    return channel(a.rgb, bestChannel) < channel(b.rgb, bestChannel);
                });
            uint64_t total = 0;
            for (size_t j = box.begin; j < box.end; ++j)
                total += colors[j].weight;
            uint64_t half = 0;
            size_t cut = box.begin + 1;
            for (size_t j = box.begin; j < box.end - 1; ++j) {
                half += colors[j].weight;
                cut = j + 1;
                if (half * 2 >= total)
                    break;
            }
            boxes[static_cast<size_t>(bestBox)] = { box.begin, cut };
            boxes.push_back({ cut, box.end });
        }
        std::vector<uint16_t> palette;
        for (const Box& box : boxes) {
            uint64_t w = 0, r = 0, g = 0, b = 0;
            for (size_t j = box.begin; j < box.end; ++j) {
                uint64_t cw = colors[j].weight;
                w += cw;
                r += cw * colors[j].rgb.r;
                g += cw * colors[j].rgb.g;
                b += cw * colors[j].rgb.b;
            }
            palette.push_back(
                NearestRgb565(static_cast<uint8_t>(r / w), static_cast<uint8_t>(g / w), static_cast<uint8_t>(b / w)));
        }
        return palette;
    }

    // One pixel after quantisation: kind and palette index.
    enum class PixelKind : uint8_t { kTransparent, kOpaque, kAlpha };
    struct Coded {
        PixelKind kind;
        uint8_t alphaStep; // alpha / 8 for kAlpha
        uint8_t index;
    };

    bool SameOpaque(const Coded& a, const Coded& b)
    {
        return a.kind == PixelKind::kOpaque && b.kind == PixelKind::kOpaque && a.index == b.index;
    }

    bool SameAlpha(const Coded& a, const Coded& b)
    {
        return a.kind == PixelKind::kAlpha && b.kind == PixelKind::kAlpha && a.index == b.index
            && a.alphaStep == b.alphaStep;
    }

    // Encodes one row of |n| coded pixels.
    void EncodeRow(const Coded* px, int n, std::vector<uint8_t>* out)
    {
        int i = 0;
        while (i < n) {
            int rest = i;
            while (rest < n && px[rest].kind == PixelKind::kTransparent)
                ++rest;
            if (rest == n) { // only transparent pixels left
                out->push_back(0x00);
                return;
            }
            const Coded& p = px[i];
            if (p.kind == PixelKind::kTransparent) {
                int run = std::min(rest - i, kMaxRun);
                out->push_back(static_cast<uint8_t>(0xC0 | run));
                i += run;
            } else if (p.kind == PixelKind::kAlpha) {
                int run = 1;
                while (i + run < n && run < kMaxAlphaRun && SameAlpha(p, px[i + run]))
                    ++run;
                if (run >= 2) {
                    out->push_back(static_cast<uint8_t>(run));
                    out->push_back(p.alphaStep);
                    out->push_back(p.index);
                } else {
                    out->push_back(static_cast<uint8_t>(0x20 | p.alphaStep));
                    out->push_back(p.index);
                }
                i += run;
            } else {
                int run = 1;
                while (i + run < n && run < kMaxRun && SameOpaque(p, px[i + run]))
                    ++run;
                if (run >= 3) {
                    out->push_back(static_cast<uint8_t>(0x80 | run));
                    out->push_back(p.index);
                    i += run;
                    continue;
                }
                // A literal of opaque pixels up to the next run of three.
                int len = 0;
                while (i + len < n && len < kMaxRun && px[i + len].kind == PixelKind::kOpaque) {
                    int same = 1;
                    while (i + len + same < n && same < 3 && SameOpaque(px[i + len], px[i + len + same]))
                        ++same;
                    if (same >= 3 && len > 0)
                        break;
                    ++len;
                }
                out->push_back(static_cast<uint8_t>(0x40 | len));
                for (int k = 0; k < len; ++k)
                    out->push_back(px[i + k].index);
                i += len;
            }
        }
    }

} // namespace

uint16_t NearestRgb565(uint8_t r, uint8_t g, uint8_t b)
{
    const FieldTables& t = Tables();
    return static_cast<uint16_t>(t.five[r] << 11 | t.six[g] << 5 | t.five[b]);
}

uint8_t QuantizeSpriteAlpha(uint8_t alpha)
{
    if (alpha >= 252)
        return 255;
    int step = (alpha + 4) / 8;
    return static_cast<uint8_t>(std::min(step, 31) * 8);
}

bool EncodeSprite(const std::vector<EncoderFrame>& frames, const EncoderOptions& options, std::vector<uint8_t>* out,
    std::string* error)
{
    out->clear();
    if (frames.empty()) {
        *error = "no frames";
        return false;
    }
    const int w = frames[0].width, h = frames[0].height;
    if (w <= 0 || h <= 0 || w > kMaxSpriteDimension || h > kMaxSpriteDimension) {
        *error = "frame size " + std::to_string(w) + "x" + std::to_string(h) + " is outside 1.."
            + std::to_string(kMaxSpriteDimension);
        return false;
    }
    if (frames.size() > 0xFFFF || static_cast<int>(frames.size()) > kMaxSpriteFrames) {
        *error = "too many frames";
        return false;
    }
    for (size_t f = 0; f < frames.size(); ++f) {
        if (frames[f].width != w || frames[f].height != h || frames[f].bgra.size() != size_t(w) * size_t(h) * 4) {
            *error = "frame " + std::to_string(f) + " differs in size from frame 0";
            return false;
        }
    }

    // Palette: distinct RGB565 colours of every visible pixel, with counts.
    std::map<uint16_t, uint64_t> counts;
    for (const EncoderFrame& fr : frames)
        for (size_t p = 0; p < fr.bgra.size(); p += 4)
            if (QuantizeSpriteAlpha(fr.bgra[p + 3]) != 0)
                ++counts[NearestRgb565(fr.bgra[p + 2], fr.bgra[p + 1], fr.bgra[p])];
    std::vector<uint16_t> palette;
    if (counts.size() <= size_t(kPaletteEntries)) {
        for (const auto& c : counts)
            palette.push_back(c.first);
    } else {
        std::vector<WeightedColor> colors;
        for (const auto& c : counts)
            colors.push_back({ c.first, ExpandRgb565(c.first), c.second });
        palette = MedianCut(std::move(colors), kPaletteEntries);
    }
    std::vector<Rgb> paletteRgb;
    for (uint16_t c : palette)
        paletteRgb.push_back(ExpandRgb565(c));
    std::map<uint16_t, uint8_t> indexOf;
    for (const auto& c : counts) {
        Rgb rgb = ExpandRgb565(c.first);
        size_t best = 0;
        for (size_t k = 0; k < paletteRgb.size(); ++k) {
            if (palette[k] == c.first) {
                best = k;
                break;
            }
            if (Distance(paletteRgb[k], rgb) < Distance(paletteRgb[best], rgb))
                best = k;
        }
        indexOf[c.first] = static_cast<uint8_t>(best);
    }

    // Header, palette, frame table (filled in below).
    PutU16(out, kSpriteMagic);
    PutU16(out, 12);
    PutU16(out, 1);
    PutU16(out, static_cast<uint16_t>(frames.size()));
    PutU16(out, static_cast<uint16_t>(w));
    PutU16(out, static_cast<uint16_t>(h));
    PutU16(out, static_cast<uint16_t>(options.spriteKeyX));
    PutU16(out, static_cast<uint16_t>(options.spriteKeyY));
    for (int k = 0; k < kPaletteEntries; ++k)
        PutU16(out, k < static_cast<int>(palette.size()) ? palette[static_cast<size_t>(k)] : 0);
    const size_t tableAt = out->size();
    out->resize(out->size() + 4 * frames.size(), 0);

    std::vector<Coded> coded(size_t(w) * size_t(h));
    for (size_t f = 0; f < frames.size(); ++f) {
        const EncoderFrame& fr = frames[f];
        int left = w, top = h, right = -1, bottom = -1;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = &fr.bgra[(size_t(y) * w + x) * 4];
                Coded c { PixelKind::kTransparent, 0, 0 };
                uint8_t a = QuantizeSpriteAlpha(p[3]);
                if (a != 0) {
                    c.index = indexOf[NearestRgb565(p[2], p[1], p[0])];
                    c.kind = a == 255 ? PixelKind::kOpaque : PixelKind::kAlpha;
                    c.alphaStep = static_cast<uint8_t>(a / 8);
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
                coded[size_t(y) * w + x] = c;
            }
        if (right < 0)
            continue; // nothing visible: an empty frame (table value 0)
        const int fw = right - left + 1, fh = bottom - top + 1;
        const size_t frameAt = out->size();
        SetU32(out, tableAt + 4 * f, static_cast<uint32_t>(frameAt - (kSpriteHeaderSize)));
        // The stored key point is relative to the cropped frame, so that
        // drawing at the cell's key point puts the pixels back in place.
        PutU32(out, static_cast<uint32_t>(fr.keyX - left));
        PutU32(out, static_cast<uint32_t>(fr.keyY - top));
        PutU32(out, static_cast<uint32_t>(fw));
        PutU32(out, static_cast<uint32_t>(fh));
        const size_t rowTableAt = out->size();
        out->resize(out->size() + 4 * size_t(fh), 0);
        for (int r = 0; r < fh; ++r) {
            SetU32(out, rowTableAt + 4 * size_t(r), static_cast<uint32_t>(out->size() - frameAt));
            EncodeRow(&coded[size_t(top + r) * w + left], fw, out);
        }
    }
    return true;
}

} // namespace zdl
