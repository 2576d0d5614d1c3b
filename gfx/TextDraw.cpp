#include "gfx/TextDraw.h"

#include "gfx/FontSystem.h"
#include "platform/DibSurface.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace zdl {

namespace {
    int Length(const char* text, int length)
    {
        if (!text)
            return 0;
        return length < 0 ? static_cast<int>(std::strlen(text)) : length;
    }

    // Text drawn through the system is the costliest part of a frame, and a page
    // draws the same texts on the same pixels frame after frame (the progress
    // head's animation repaints the whole page). A drawn rectangle is kept with
    // the pixels it was drawn on; the same text, font, colour, format and size
    // on the same pixels is then copied instead of drawn again. The result is the
    // same bytes either way. Text drawn without clipping (the edit box draws
    // each character into its own cell) is kept with a margin around its
    // rectangle wide enough for any glyph's overhang.
    constexpr size_t kTextCacheEntries = 64;
    constexpr size_t kTextCacheMaxPixels = 64 * 1024; // per rectangle: 256 KiB kept twice

    struct DrawnText {
        FontHandle font = nullptr;
        uint32_t color = 0;
        uint32_t format = 0;
        int width = 0;
        int height = 0;
        DibRect kept; // the pixels kept (the rectangle, its margin, on the canvas), relative to the rectangle
        std::string text;
        std::vector<uint8_t> before; // the rectangle's pixels before drawing
        std::vector<uint8_t> after; // ... and after
        int drawn = 0;
        uint64_t lastUse = 0;
    };

    std::vector<DrawnText>& TextCache()
    {
        static std::vector<DrawnText> cache;
        return cache;
    }
    uint64_t textCacheClock = 0;

    void CopyRect(const DibImage& canvas, const DibRect& r, std::vector<uint8_t>* out)
    {
        const size_t row = static_cast<size_t>(r.right - r.left) * 4;
        out->resize(row * static_cast<size_t>(r.bottom - r.top));
        for (int y = r.top; y < r.bottom; ++y)
            std::memcpy(out->data() + row * static_cast<size_t>(y - r.top), canvas.Pixel(r.left, y), row);
    }

    bool RectEquals(const DibImage& canvas, const DibRect& r, const std::vector<uint8_t>& pixels)
    {
        const size_t row = static_cast<size_t>(r.right - r.left) * 4;
        for (int y = r.top; y < r.bottom; ++y) {
            if (std::memcmp(pixels.data() + row * static_cast<size_t>(y - r.top), canvas.Pixel(r.left, y), row) != 0)
                return false;
        }
        return true;
    }

    void PasteRect(const std::vector<uint8_t>& pixels, const DibRect& r, DibImage* canvas)
    {
        const size_t row = static_cast<size_t>(r.right - r.left) * 4;
        for (int y = r.top; y < r.bottom; ++y)
            std::memcpy(canvas->Pixel(r.left, y), pixels.data() + row * static_cast<size_t>(y - r.top), row);
    }

    bool SameRect(const DibRect& a, const DibRect& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }

    // The pixels a draw into |r| may change, on the canvas; false when they are
    // not worth keeping (none, too many, not a 32-bit canvas).
    bool KeptRect(const DibImage& canvas, const DibRect& r, uint32_t format, DibRect* kept)
    {
        const int h = r.bottom - r.top;
        const int mx = (format & DT_NOCLIP) ? 2 * h : 0;
        const int my = (format & DT_NOCLIP) ? h : 0;
        kept->left = std::max(0, r.left - mx);
        kept->top = std::max(0, r.top - my);
        kept->right = std::min(canvas.Width(), r.right + mx);
        kept->bottom = std::min(canvas.Height(), r.bottom + my);
        return canvas.BitsPerPixel() == 32 && h > 0 && kept->left < kept->right && kept->top < kept->bottom
            && static_cast<size_t>(kept->right - kept->left) * static_cast<size_t>(kept->bottom - kept->top)
            <= kTextCacheMaxPixels;
    }
} // namespace

void ForgetTextDrawnWith(FontHandle font)
{
    auto& cache = TextCache();
    for (size_t i = cache.size(); i-- > 0;) {
        if (cache[i].font == font)
            cache.erase(cache.begin() + static_cast<ptrdiff_t>(i));
    }
}

bool GetFontMetrics(FontHandle font, TextMetrics* out)
{
    return font && SystemFontMetrics(font, out);
}

bool MeasureText(FontHandle font, const char* text, int length, TextSize* out)
{
    return font && SystemMeasureText(font, text ? text : "", Length(text, length), out);
}

int CalcTextRect(FontHandle font, const char* text, int length, DibRect* rect, uint32_t format)
{
    return SystemCalcRect(font, text ? text : "", Length(text, length), rect, format | DT_CALCRECT);
}

int DrawTextOnCanvas(DibImage* canvas, FontHandle font, uint32_t color, const char* text, int length,
    const DibRect& rect, uint32_t format)
{
    if (!canvas || canvas->Empty())
        return 0;
    const char* bytes = text ? text : "";
    const int n = Length(text, length);
    const uint32_t drawFormat = format & ~static_cast<uint32_t>(DT_CALCRECT);
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    DibRect kept;
    const bool cacheable = KeptRect(*canvas, rect, drawFormat, &kept);
    const DibRect keptFromRect { kept.left - rect.left, kept.top - rect.top, kept.right - rect.left,
        kept.bottom - rect.top };
    DrawnText entry;
    if (cacheable) {
        FlushDrawing(); // earlier system drawing must have landed
        for (DrawnText& e : TextCache()) {
            if (e.font == font && e.color == color && e.format == drawFormat && e.width == w && e.height == h
                && SameRect(e.kept, keptFromRect) && e.text.size() == static_cast<size_t>(n)
                && std::memcmp(e.text.data(), bytes, e.text.size()) == 0 && RectEquals(*canvas, kept, e.before)) {
                PasteRect(e.after, kept, canvas);
                e.lastUse = ++textCacheClock;
                return e.drawn;
            }
        }
        CopyRect(*canvas, kept, &entry.before);
    }
    int drawn = 0;
    {
        CDibDC dc(canvas->Surface());
        DibRect r = rect;
        drawn = SystemDrawText(dc, font, color, bytes, n, &r, drawFormat);
    }
    SetDibAlphaOpaque(rect, canvas);
    if (cacheable) {
        entry.font = font;
        entry.color = color;
        entry.format = drawFormat;
        entry.width = w;
        entry.height = h;
        entry.text.assign(bytes, static_cast<size_t>(n));
        entry.kept = keptFromRect;
        CopyRect(*canvas, kept, &entry.after);
        entry.drawn = drawn;
        entry.lastUse = ++textCacheClock;
        auto& cache = TextCache();
        if (cache.size() < kTextCacheEntries)
            cache.push_back(std::move(entry));
        else
            *std::min_element(cache.begin(), cache.end(), [](const DrawnText& a, const DrawnText& b) {
                return a.lastUse < b.lastUse;
            }) = std::move(entry);
    }
    return drawn;
}

} // namespace zdl
