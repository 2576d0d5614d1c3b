// Fonts and text natively: fontconfig finds the file for a face name,
// FreeType renders the glyphs, iconv turns GBK into code points. The layout
// follows DrawText: lines broken at CR/LF (unless single line), words wrapped
// at blanks and between double-byte characters, '&' prefixes removed unless
// DT_NOPREFIX, horizontal and (single-line) vertical alignment, clipping to
// the rectangle unless DT_NOCLIP. Glyph coverage is blended into the colour
// channels; alpha is left for the caller (DrawTextOnCanvas makes it opaque).
#include "gfx/FontSystem.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zdl {

namespace {

    // Cell height used when a font asks for the face's default (height 0).
    constexpr int kDefaultCellHeight = 16;
    // Largest cell height honoured; larger requests are clamped.
    constexpr int kMaxCellHeight = 512;

    struct Glyph {
        std::vector<uint8_t> coverage; // rows top-down, |width| bytes each
        int width = 0;
        int rows = 0;
        int left = 0; // from the pen position to the bitmap's left edge
        int top = 0; // from the baseline up to the bitmap's top edge
        int advance = 0;
    };

    struct NativeFont {
        FontSpec spec;
        FT_Face face = nullptr; // shared, owned by the face table
        FT_F26Dot6 xSize = 0; // char size in 26.6 pixels
        FT_F26Dot6 ySize = 0;
        int ascent = 0;
        int descent = 0;
        int aveCharWidth = 0;
        bool bold = false;
        std::map<uint32_t, Glyph> glyphs;
    };

    FT_Library Library()
    {
        static FT_Library library = [] {
            FT_Library lib = nullptr;
            if (FT_Init_FreeType(&lib) != 0)
                lib = nullptr;
            return lib;
        }();
        return library;
    }

    std::string GbkToUtf8(const char* text, size_t length)
    {
        std::string out;
        iconv_t cd = iconv_open("UTF-8", "GBK");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return out;
        std::vector<char> buffer(length * 4 + 4);
        char* in = const_cast<char*>(text);
        size_t inLeft = length;
        char* o = buffer.data();
        size_t outLeft = buffer.size();
        if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1))
            out.assign(buffer.data(), buffer.size() - outLeft);
        iconv_close(cd);
        return out;
    }

    // One FT_Face per font file, kept for the process.
    FT_Face FaceForName(const char* gbkFace)
    {
        // Kept for the process (never destroyed, so the faces stay reachable).
        static auto& faces = *new std::map<std::string, FT_Face>; // file#index -> face
        static auto& byName = *new std::map<std::string, FT_Face>;
        auto named = byName.find(gbkFace);
        if (named != byName.end())
            return named->second;
        FT_Face result = nullptr;
        static bool fontconfigReady = [] {
            if (!FcInit())
                return false;
            // Fontconfig frees its configuration only in FcFini; the fonts made
            // here keep their faces, which do not depend on it.
            std::atexit(FcFini);
            return true;
        }();
        if (fontconfigReady) {
            FcPattern* pattern = FcPatternCreate();
            std::string family = GbkToUtf8(gbkFace, std::strlen(gbkFace));
            if (!family.empty())
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
            FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
            FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
            FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult res = FcResultNoMatch;
            FcPattern* match = FcFontMatch(nullptr, pattern, &res);
            if (match) {
                FcChar8* file = nullptr;
                int index = 0;
                if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
                    FcPatternGetInteger(match, FC_INDEX, 0, &index);
                    std::string key = reinterpret_cast<const char*>(file) + std::string("#") + std::to_string(index);
                    auto it = faces.find(key);
                    if (it != faces.end()) {
                        result = it->second;
                    } else if (Library()) {
                        FT_Face face = nullptr;
                        if (FT_New_Face(Library(), reinterpret_cast<const char*>(file), index, &face) == 0) {
                            faces[key] = face;
                            result = face;
                        }
                    }
                }
                FcPatternDestroy(match);
            }
            FcPatternDestroy(pattern);
        }
        byName[gbkFace] = result;
        return result;
    }

    // Code points of GBK text; an invalid or cut byte becomes '?'.
    std::vector<uint32_t> DecodeGbk(const char* text, int length)
    {
        static iconv_t cd = iconv_open("UTF-32LE", "GBK");
        std::vector<uint32_t> out;
        out.reserve(static_cast<size_t>(length));
        for (int i = 0; i < length;) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c < 0x80) {
                out.push_back(c);
                ++i;
                continue;
            }
            if (c >= 0x81 && c <= 0xFE && i + 1 < length && cd != reinterpret_cast<iconv_t>(-1)) {
                char pair[2] = { text[i], text[i + 1] };
                char* in = pair;
                size_t inLeft = 2;
                uint32_t cp = 0;
                char* o = reinterpret_cast<char*>(&cp);
                size_t outLeft = sizeof cp;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && outLeft == 0) {
                    out.push_back(cp);
                    i += 2;
                    continue;
                }
                out.push_back('?');
                i += 2;
                continue;
            }
            out.push_back('?');
            ++i;
        }
        return out;
    }

    void ApplySize(NativeFont* font)
    {
        FT_Set_Char_Size(font->face, font->xSize, font->ySize, 72, 72);
        if (font->spec.italic) {
            FT_Matrix shear = { 0x10000, 0x0366A, 0, 0x10000 }; // about 12 degrees
            FT_Set_Transform(font->face, &shear, nullptr);
        } else {
            FT_Set_Transform(font->face, nullptr, nullptr);
        }
    }

    const Glyph& GlyphFor(NativeFont* font, uint32_t cp)
    {
        auto it = font->glyphs.find(cp);
        if (it != font->glyphs.end())
            return it->second;
        Glyph g;
        ApplySize(font);
        FT_UInt index = FT_Get_Char_Index(font->face, cp);
        if (FT_Load_Glyph(font->face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_NORMAL) == 0) {
            FT_GlyphSlot slot = font->face->glyph;
            if (font->bold && slot->format == FT_GLYPH_FORMAT_OUTLINE)
                FT_Outline_Embolden(&slot->outline, 64);
            if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0) {
                const FT_Bitmap& bm = slot->bitmap;
                g.width = static_cast<int>(bm.width);
                g.rows = static_cast<int>(bm.rows);
                g.left = slot->bitmap_left;
                g.top = slot->bitmap_top;
                g.coverage.resize(static_cast<size_t>(g.width) * g.rows);
                for (int r = 0; r < g.rows; ++r)
                    std::memcpy(&g.coverage[static_cast<size_t>(r) * g.width], bm.buffer + r * bm.pitch,
                        static_cast<size_t>(g.width));
            }
            g.advance = static_cast<int>((slot->advance.x + 32) >> 6) + (font->bold ? 1 : 0);
        }
        return font->glyphs.emplace(cp, std::move(g)).first->second;
    }

    int Advance(NativeFont* font, uint32_t cp)
    {
        if (cp == '\t')
            return GlyphFor(font, ' ').advance * 8;
        return GlyphFor(font, cp).advance;
    }

    NativeFont* AsFont(FontHandle handle)
    {
        return static_cast<NativeFont*>(handle);
    }

    // The fallback for drawing with no font selected: the system face.
    NativeFont* DefaultFont()
    {
        static FontHandle font = [] {
            FontSpec spec;
            spec.height = kDefaultCellHeight;
            spec.weight = 400;
            return SystemCreateFont(spec, "", FontPrecision::kDefault);
        }();
        return AsFont(font);
    }

    struct Line {
        size_t begin = 0; // indices into the code points
        size_t end = 0;
        int width = 0;
    };

    bool IsWide(uint32_t cp)
    {
        return cp >= 0x2E80;
    }

    // Splits the code points into lines by the format's rules.
    std::vector<Line> LayOut(NativeFont* font, const std::vector<uint32_t>& cps, uint32_t format, int maxWidth)
    {
        std::vector<Line> lines;
        bool single = (format & DT_SINGLELINE) != 0;
        bool wrap = !single && (format & DT_WORDBREAK) != 0;
        size_t i = 0;
        while (true) {
            Line line;
            line.begin = i;
            size_t lastBreak = 0; // end of the line if broken at the last chance
            int widthAtBreak = 0;
            size_t resumeAtBreak = 0;
            bool broken = false;
            int width = 0;
            while (i < cps.size()) {
                uint32_t cp = cps[i];
                if (!single && (cp == '\r' || cp == '\n'))
                    break;
                if (single && (cp == '\r' || cp == '\n')) {
                    ++i;
                    continue;
                }
                int adv = Advance(font, cp);
                if (wrap && width + adv > maxWidth && i > line.begin && cp != ' ') {
                    if (lastBreak > line.begin) {
                        line.end = lastBreak;
                        line.width = widthAtBreak;
                        i = resumeAtBreak;
                    } else {
                        line.end = i; // a word longer than the line breaks where it must
                        line.width = width;
                    }
                    broken = true;
                    break;
                }
                if (wrap && cp == ' ') {
                    lastBreak = i;
                    widthAtBreak = width;
                    resumeAtBreak = i + 1;
                    while (resumeAtBreak < cps.size() && cps[resumeAtBreak] == ' ')
                        ++resumeAtBreak;
                } else if (wrap && IsWide(cp) && i > line.begin) {
                    lastBreak = i;
                    widthAtBreak = width;
                    resumeAtBreak = i;
                }
                width += adv;
                ++i;
            }
            if (!broken) {
                line.end = i;
                line.width = width;
            }
            // Blanks at a wrapped line's end take no room.
            while (broken && line.end > line.begin && cps[line.end - 1] == ' ') {
                --line.end;
                line.width -= Advance(font, ' ');
            }
            lines.push_back(line);
            if (broken) {
                while (i < cps.size() && cps[i] == ' ')
                    ++i;
                continue;
            }
            if (i >= cps.size())
                break;
            // A line break: CR LF, LF or CR.
            if (cps[i] == '\r' && i + 1 < cps.size() && cps[i + 1] == '\n')
                i += 2;
            else
                ++i;
        }
        return lines;
    }

    std::vector<uint32_t> Prepare(const char* text, int length, uint32_t format)
    {
        std::vector<uint32_t> cps = DecodeGbk(text, length);
        if (format & DT_NOPREFIX)
            return cps;
        std::vector<uint32_t> out;
        out.reserve(cps.size());
        for (size_t i = 0; i < cps.size(); ++i) {
            if (cps[i] == '&') {
                if (i + 1 < cps.size() && cps[i + 1] == '&') {
                    out.push_back('&');
                    ++i;
                }
                continue;
            }
            out.push_back(cps[i]);
        }
        return out;
    }

    void BlendGlyph(const DibSurface& s, const Glyph& g, int penX, int baseline, uint32_t color, int clipL, int clipT,
        int clipR, int clipB)
    {
        const int b = static_cast<int>((color >> 16) & 0xFF);
        const int gr = static_cast<int>((color >> 8) & 0xFF);
        const int r = static_cast<int>(color & 0xFF);
        int x0 = penX + g.left;
        int y0 = baseline - g.top;
        for (int row = 0; row < g.rows; ++row) {
            int y = y0 + row;
            if (y < clipT || y >= clipB)
                continue;
            uint8_t* dst = s.Row(y);
            const uint8_t* cov = &g.coverage[static_cast<size_t>(row) * g.width];
            for (int col = 0; col < g.width; ++col) {
                int x = x0 + col;
                int a = cov[col];
                if (a == 0 || x < clipL || x >= clipR)
                    continue;
                uint8_t* p = dst + x * s.bytesPerPixel;
                p[0] = static_cast<uint8_t>(p[0] + (b - p[0]) * a / 255);
                p[1] = static_cast<uint8_t>(p[1] + (gr - p[1]) * a / 255);
                p[2] = static_cast<uint8_t>(p[2] + (r - p[2]) * a / 255);
            }
        }
    }

    int Layout(NativeFont* font, const char* text, int length, DibRect* rect, uint32_t format, const DibSurface* s,
        uint32_t color)
    {
        std::vector<uint32_t> cps = Prepare(text, length, format);
        int lineHeight = font->ascent + font->descent;
        std::vector<Line> lines = LayOut(font, cps, format, rect->right - rect->left);
        int total = lineHeight * static_cast<int>(lines.size());
        if (format & DT_CALCRECT) {
            int widest = 0;
            for (const Line& l : lines)
                widest = std::max(widest, l.width);
            if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE) || widest > rect->right - rect->left)
                rect->right = rect->left + widest;
            rect->bottom = rect->top + total;
            return total;
        }
        int y = rect->top;
        if (format & DT_SINGLELINE) {
            if (format & DT_VCENTER)
                y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
            else if (format & DT_BOTTOM)
                y = rect->bottom - lineHeight;
        }
        int clipL = 0, clipT = 0, clipR = s->width, clipB = s->height;
        if (!(format & DT_NOCLIP)) {
            clipL = std::max(clipL, rect->left);
            clipT = std::max(clipT, rect->top);
            clipR = std::min(clipR, rect->right);
            clipB = std::min(clipB, rect->bottom);
        }
        for (const Line& line : lines) {
            int x = rect->left;
            if (format & DT_CENTER)
                x = rect->left + (rect->right - rect->left - line.width) / 2;
            else if (format & DT_RIGHT)
                x = rect->right - line.width;
            int baseline = y + font->ascent;
            int startX = x;
            for (size_t i = line.begin; i < line.end; ++i) {
                uint32_t cp = cps[i];
                if (cp == '\r' || cp == '\n')
                    continue;
                const Glyph& g = GlyphFor(font, cp == '\t' ? ' ' : cp);
                if (cp != '\t' && cp != ' ')
                    BlendGlyph(*s, g, x, baseline, color, clipL, clipT, clipR, clipB);
                x += Advance(font, cp);
            }
            if (font->spec.underline) {
                int uy = baseline + std::max(1, font->descent / 2);
                if (uy >= clipT && uy < clipB) {
                    Glyph bar;
                    bar.width = x - startX;
                    bar.rows = 1;
                    bar.top = 0;
                    bar.coverage.assign(static_cast<size_t>(std::max(0, bar.width)), 255);
                    if (bar.width > 0)
                        BlendGlyph(*s, bar, startX, uy, color, clipL, clipT, clipR, clipB);
                }
            }
            y += lineHeight;
        }
        return total;
    }

} // namespace

FontHandle SystemCreateFont(const FontSpec& spec, const char* face, FontPrecision)
{
    FT_Face ftFace = FaceForName(face ? face : "");
    if (!ftFace)
        return nullptr;
    auto font = std::make_unique<NativeFont>();
    font->spec = spec;
    std::strncpy(font->spec.faceName, face ? face : "", sizeof font->spec.faceName - 1);
    font->face = ftFace;
    font->bold = spec.weight >= 600;
    // Positive heights are cell heights (ascent + descent), negative ones the
    // character height (the em), as CreateFont reads them.
    int cell = spec.height == 0 ? kDefaultCellHeight : std::min(std::abs(spec.height), kMaxCellHeight);
    TT_OS2* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ftFace, FT_SFNT_OS2));
    double upem = ftFace->units_per_EM ? ftFace->units_per_EM : 1000;
    double asc = ftFace->ascender, desc = -ftFace->descender;
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        asc = os2->usWinAscent;
        desc = os2->usWinDescent;
    }
    if (asc + desc <= 0) {
        asc = upem * 0.8;
        desc = upem * 0.2;
    }
    double em = spec.height < 0 ? cell : cell * upem / (asc + desc);
    int cellPx = spec.height < 0 ? static_cast<int>(std::lround(cell * (asc + desc) / upem)) : cell;
    font->ascent = static_cast<int>(std::lround(cellPx * asc / (asc + desc)));
    font->descent = cellPx - font->ascent;
    // The average width of a CJK face's half-width characters is half the em.
    double avgUnits = upem / 2;
    if (os2 && os2->xAvgCharWidth > 0 && os2->xAvgCharWidth < upem * 0.6)
        avgUnits = os2->xAvgCharWidth;
    double naturalAvg = em * avgUnits / upem;
    double xEm = em;
    if (spec.width > 0 && naturalAvg > 0)
        xEm = em * spec.width / naturalAvg;
    font->ySize = static_cast<FT_F26Dot6>(std::lround(em * 64));
    font->xSize = static_cast<FT_F26Dot6>(std::lround(xEm * 64));
    font->aveCharWidth = spec.width > 0 ? spec.width : static_cast<int>(std::lround(naturalAvg));
    if (font->ySize <= 0 || font->xSize <= 0)
        return nullptr;
    return font.release();
}

void SystemDeleteFont(FontHandle font)
{
    delete AsFont(font);
}

bool SystemQueryFont(FontHandle font, FontSpec* out)
{
    if (!font)
        return false;
    *out = AsFont(font)->spec;
    return true;
}

bool SystemFontMetrics(FontHandle handle, TextMetrics* out)
{
    NativeFont* font = AsFont(handle);
    out->ascent = font->ascent;
    out->descent = font->descent;
    out->height = font->ascent + font->descent;
    out->aveCharWidth = font->aveCharWidth;
    out->maxCharWidth = std::max(font->aveCharWidth * 2, Advance(font, 0x4E2D)); // a full-width character
    out->overhang = 0; // outline fonts report no overhang, bold or not
    return true;
}

bool SystemMeasureText(FontHandle handle, const char* text, int length, TextSize* out)
{
    NativeFont* font = AsFont(handle);
    std::vector<uint32_t> cps = DecodeGbk(text, length);
    int width = 0;
    for (uint32_t cp : cps)
        width += Advance(font, cp);
    out->cx = width;
    out->cy = font->ascent + font->descent;
    return true;
}

int SystemDrawText(
    const CDibDC& dc, FontHandle handle, uint32_t color, const char* text, int length, DibRect* rect, uint32_t format)
{
    NativeFont* font = handle ? AsFont(handle) : DefaultFont();
    const DibSurface& s = dc.surface();
    if (!font || !s.Valid() || s.bytesPerPixel < 3)
        return 0;
    return Layout(font, text, length, rect, format, &s, color);
}

int SystemCalcRect(FontHandle handle, const char* text, int length, DibRect* rect, uint32_t format)
{
    NativeFont* font = handle ? AsFont(handle) : DefaultFont();
    if (!font)
        return 0;
    return Layout(font, text, length, rect, format | DT_CALCRECT, nullptr, 0);
}

} // namespace zdl
