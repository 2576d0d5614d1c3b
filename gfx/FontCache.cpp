#include "gfx/FontCache.h"

#include "gfx/FontSystem.h"
#include "gfx/TextDraw.h"

#include <cstring>
#include <map>

namespace zdl {

namespace {

    // Copies a GBK string of at most |capacity| - 1 bytes, never splitting a
    // double-byte character.
    void CopyGbk(char* dst, size_t capacity, const char* src)
    {
        size_t n = 0;
        if (src) {
            while (src[n] && n + 1 < capacity) {
                unsigned char c = static_cast<unsigned char>(src[n]);
                if (c >= 0x81 && c <= 0xFE && src[n + 1]) {
                    if (n + 2 >= capacity)
                        break;
                    n += 2;
                } else {
                    ++n;
                }
            }
            std::memcpy(dst, src, n);
        }
        dst[n] = 0;
    }

    std::map<FontDesc, FontHandle>& Cache()
    {
        // Never destroyed: the fonts live until ClearFontCache, even past exit.
        static auto* cache = new std::map<FontDesc, FontHandle>;
        return *cache;
    }

} // namespace

FontDesc FontDesc::Make(const char* face, int32_t height, int32_t width, int32_t weight)
{
    FontDesc d;
    CopyGbk(d.faceName, sizeof d.faceName, face);
    d.height = height;
    d.width = width;
    d.weight = weight;
    return d;
}

bool operator<(const FontDesc& a, const FontDesc& b)
{
    int c = std::strncmp(a.faceName, b.faceName, sizeof a.faceName);
    if (c != 0)
        return c < 0;
    if (a.height != b.height)
        return a.height < b.height;
    if (a.width != b.width)
        return a.width < b.width;
    return a.weight < b.weight;
}

bool operator==(const FontDesc& a, const FontDesc& b)
{
    return !(a < b) && !(b < a);
}

FontHandle GetFont(const FontDesc& desc)
{
    auto& cache = Cache();
    auto it = cache.find(desc);
    if (it != cache.end())
        return it->second;
    FontSpec spec;
    spec.height = desc.height;
    spec.width = desc.width;
    spec.weight = desc.weight;
    spec.charSet = 134; // GB2312_CHARSET
    spec.quality = 0;
    spec.pitchAndFamily = 48; // FF_MODERN | DEFAULT_PITCH
    FontHandle font = SystemCreateFont(spec, desc.faceName, FontPrecision::kCharacter);
    if (!font)
        return nullptr;
    cache.emplace(desc, font);
    return font;
}

bool FindFontDesc(FontHandle font, FontDesc* out)
{
    if (!font)
        return false;
    for (const auto& entry : Cache()) {
        if (entry.second == font) {
            *out = entry.first;
            return true;
        }
    }
    return false;
}

void ClearFontCache()
{
    for (auto& entry : Cache()) {
        ForgetTextDrawnWith(entry.second);
        SystemDeleteFont(entry.second);
    }
    Cache().clear();
}

int FontCacheSize()
{
    return static_cast<int>(Cache().size());
}

FontHandle CreateOwnedFont(const FontSpec& spec)
{
    return SystemCreateFont(spec, spec.faceName, FontPrecision::kDefault);
}

bool QueryFontSpec(FontHandle font, FontSpec* out)
{
    return font && SystemQueryFont(font, out);
}

void DeleteOwnedFont(FontHandle font)
{
    if (!font)
        return;
    ForgetTextDrawnWith(font);
    SystemDeleteFont(font);
}

void MakeRichTextFont(FontHandle* font, const char* face, int32_t segmentHeight, uint32_t style, bool perSegmentHeight)
{
    DeleteOwnedFont(*font);
    *font = nullptr;
    FontSpec spec;
    spec.height = perSegmentHeight ? segmentHeight : 0;
    spec.weight = (style & kSegmentBold) ? 900 : 400;
    spec.italic = (style & kSegmentItalic) != 0;
    spec.underline = (style & kSegmentUnderline) != 0;
    spec.quality = 2; // PROOF_QUALITY
    spec.pitchAndFamily = 0x20; // FF_SWISS
    CopyGbk(spec.faceName, sizeof spec.faceName, face);
    *font = CreateOwnedFont(spec);
}

FontSpec CaptionFontSpec()
{
    FontSpec spec;
    spec.height = 12;
    spec.weight = 400; // FW_NORMAL
    spec.pitchAndFamily = 0x20; // FF_SWISS
    CopyGbk(spec.faceName, sizeof spec.faceName, kSongTiFace);
    return spec;
}

} // namespace zdl
