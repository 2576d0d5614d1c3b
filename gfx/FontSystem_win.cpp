// Fonts and text through GDI. GBK text and face names are converted from
// code page 936 and drawn with the wide functions, so the result does not
// depend on the system's ANSI code page.
#include "gfx/FontSystem.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace zdl {

namespace {

    std::wstring Wide(const char* text, int length)
    {
        if (length <= 0)
            return std::wstring();
        int n = MultiByteToWideChar(936, 0, text, length, nullptr, 0);
        if (n <= 0)
            return std::wstring();
        std::wstring out(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(936, 0, text, length, &out[0], n);
        return out;
    }

    // A memory context for measuring, with |font| selected while it lives.
    class MeasureDC {
    public:
        explicit MeasureDC(FontHandle font)
            : dc_(CreateCompatibleDC(nullptr))
        {
            if (dc_ && font)
                old_ = SelectObject(dc_, static_cast<HFONT>(font));
        }
        ~MeasureDC()
        {
            if (dc_) {
                if (old_)
                    SelectObject(dc_, old_);
                DeleteDC(dc_);
            }
        }
        HDC dc() const { return dc_; }

    private:
        HDC dc_;
        HGDIOBJ old_ = nullptr;
    };

} // namespace

FontHandle SystemCreateFont(const FontSpec& spec, const char* face, FontPrecision precision)
{
    LOGFONTW lf;
    std::memset(&lf, 0, sizeof lf);
    lf.lfHeight = spec.height;
    lf.lfWidth = spec.width;
    lf.lfWeight = spec.weight;
    lf.lfItalic = spec.italic ? 1 : 0;
    lf.lfUnderline = spec.underline ? 1 : 0;
    lf.lfCharSet = spec.charSet;
    lf.lfQuality = spec.quality;
    lf.lfPitchAndFamily = spec.pitchAndFamily;
    if (precision == FontPrecision::kCharacter) {
        lf.lfOutPrecision = OUT_CHARACTER_PRECIS;
        lf.lfClipPrecision = CLIP_CHARACTER_PRECIS;
    }
    std::wstring wide = Wide(face, static_cast<int>(std::strlen(face)));
    wcsncpy(lf.lfFaceName, wide.c_str(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

void SystemDeleteFont(FontHandle font)
{
    DeleteObject(static_cast<HFONT>(font));
}

bool SystemQueryFont(FontHandle font, FontSpec* out)
{
    LOGFONTW lf;
    if (!font || GetObjectW(static_cast<HFONT>(font), sizeof lf, &lf) != sizeof lf)
        return false;
    FontSpec spec;
    spec.height = lf.lfHeight;
    spec.width = lf.lfWidth;
    spec.weight = lf.lfWeight;
    spec.italic = lf.lfItalic != 0;
    spec.underline = lf.lfUnderline != 0;
    spec.charSet = lf.lfCharSet;
    spec.quality = lf.lfQuality;
    spec.pitchAndFamily = lf.lfPitchAndFamily;
    WideCharToMultiByte(936, 0, lf.lfFaceName, -1, spec.faceName, sizeof spec.faceName - 1, nullptr, nullptr);
    *out = spec;
    return true;
}

bool SystemFontMetrics(FontHandle font, TextMetrics* out)
{
    MeasureDC m(font);
    TEXTMETRICW tm;
    if (!m.dc() || !GetTextMetricsW(m.dc(), &tm))
        return false;
    out->height = tm.tmHeight;
    out->ascent = tm.tmAscent;
    out->descent = tm.tmDescent;
    out->aveCharWidth = tm.tmAveCharWidth;
    out->maxCharWidth = tm.tmMaxCharWidth;
    out->overhang = tm.tmOverhang;
    return true;
}

bool SystemMeasureText(FontHandle font, const char* text, int length, TextSize* out)
{
    MeasureDC m(font);
    if (!m.dc())
        return false;
    std::wstring wide = Wide(text, length);
    SIZE size = { 0, 0 };
    if (!GetTextExtentPoint32W(m.dc(), wide.c_str(), static_cast<int>(wide.size()), &size))
        return false;
    out->cx = size.cx;
    out->cy = size.cy;
    return true;
}

int SystemDrawText(
    const CDibDC& dc, FontHandle font, uint32_t color, const char* text, int length, DibRect* rect, uint32_t format)
{
    HDC hdc = static_cast<HDC>(dc.handle());
    if (!hdc)
        return 0;
    HGDIOBJ old = font ? SelectObject(hdc, static_cast<HFONT>(font)) : nullptr;
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, color);
    RECT r = { rect->left, rect->top, rect->right, rect->bottom };
    std::wstring wide = Wide(text, length);
    int height = DrawTextW(hdc, wide.c_str(), static_cast<int>(wide.size()), &r, format);
    rect->left = r.left;
    rect->top = r.top;
    rect->right = r.right;
    rect->bottom = r.bottom;
    if (old)
        SelectObject(hdc, old);
    return height;
}

int SystemCalcRect(FontHandle font, const char* text, int length, DibRect* rect, uint32_t format)
{
    MeasureDC m(font);
    if (!m.dc())
        return 0;
    RECT r = { rect->left, rect->top, rect->right, rect->bottom };
    std::wstring wide = Wide(text, length);
    int height = DrawTextW(m.dc(), wide.c_str(), static_cast<int>(wide.size()), &r, format | DT_CALCRECT);
    rect->left = r.left;
    rect->top = r.top;
    rect->right = r.right;
    rect->bottom = r.bottom;
    return height;
}

} // namespace zdl
