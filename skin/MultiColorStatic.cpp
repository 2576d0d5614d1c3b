#include "skin/MultiColorStatic.h"

#include "gfx/TextDraw.h"
#include "skin/MarkupParser.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace zdl {

namespace {

    // Right margin the wrapping keeps free; a wrap moves down by the text
    // height + this gap, an explicit line break by the segment height + kBreakGap.
    constexpr int kWrapMargin = 4;
    constexpr int kWrapGap = 4;
    constexpr int kBreakGap = 6;
    // Wrapping width of a tooltip sized to its text.
    constexpr int kTooltipWrapWidth = 100;
    // Distinct segment fonts a control keeps; more are made afresh.
    constexpr size_t kMaxSegmentFonts = 16;
    // Bounds that keep the layout arithmetic far from overflow whatever a
    // caller passes: widths, and segment heights used as line steps.
    constexpr int32_t kMaxLayoutWidth = 1 << 20;
    constexpr int32_t kMaxLineStep = 4096;
    // Longest rest of a segment measured again after each wrap; a longer rest is
    // estimated from the segment's average width, so long texts lay out in
    // linear time.
    constexpr size_t kExactRestBytes = 4096;

    // The longest prefix of at most |maxBytes| of the |left| bytes at |text|
    // that ends on a character boundary, walking from |text|.
    size_t CharAlignedPrefix(const char* text, size_t left, size_t maxBytes)
    {
        size_t i = 0;
        maxBytes = std::min(maxBytes, left);
        while (i < maxBytes) {
            size_t n = GbkCharBytes(text + i, left - i);
            if (i + n > maxBytes)
                break;
            i += n;
        }
        return i;
    }

    // Extent of |length| bytes; without a font a rough estimate from the
    // segment height, so wrapping still works.
    TextSize Measure(FontHandle font, const char* text, size_t length, int32_t height)
    {
        TextSize size;
        if (MeasureText(font, text, static_cast<int>(length), &size)) {
            size.cy = std::clamp(size.cy, 0, kMaxLineStep);
            return size;
        }
        int h = std::clamp<int32_t>(height, 1, kMaxLineStep);
        size.cx = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(length) * std::max(1, h / 2), INT32_MAX / 4));
        size.cy = h;
        return size;
    }

    // Splits off the first piece of |text| (|left| bytes) that fits |avail|
    // pixels: a guess from the average of |avg| pixels per byte, then, when that
    // is too wide, the longest fitting prefix by bisection. Whole characters
    // only, possibly none.
    size_t FittingPrefix(FontHandle font, const char* text, size_t left, int avail, int avg, int32_t height)
    {
        if (avail <= 0)
            return 0;
        size_t k = CharAlignedPrefix(text, left, static_cast<size_t>(avail / avg));
        if (k == 0 || Measure(font, text, k, height).cx <= avail)
            return k;
        size_t fits = 0; // a prefix known to fit
        size_t wide = k; // a prefix known not to
        while (true) {
            size_t mid = CharAlignedPrefix(text, left, fits + (wide - fits) / 2);
            if (mid <= fits) {
                mid = fits + GbkCharBytes(text + fits, left - fits);
                if (mid >= wide)
                    return fits;
            }
            if (Measure(font, text, mid, height).cx <= avail)
                fits = mid;
            else
                wide = mid;
        }
    }

    // The wrap state shared by Layout and SizeToContent.
    struct Flow {
        int x = 0;
        int y = 0;
        int rowBottom = 0; // lowest bottom of the pieces on the current row

        // Moves to a new row |step| pixels down, never above the current row's
        // bottom, so rows never overlap.
        void NewRow(int step)
        {
            y = std::max(y + step, rowBottom);
            rowBottom = y;
            x = 0;
        }
        void Placed(int bottom) { rowBottom = std::max(rowBottom, bottom); }
    };

} // namespace

CSMultiColorStatic::CSMultiColorStatic()
    : CSMultiColorStatic(kTypeMultiColorStatic)
{
}

CSMultiColorStatic::CSMultiColorStatic(int32_t code)
    : CSStatic(code)
{
    std::memset(fontFace, 0, sizeof fontFace);
    std::memcpy(fontFace, kKaiTiFace, sizeof kKaiTiFace);
}

CSMultiColorStatic::~CSMultiColorStatic()
{
    DropFonts();
}

void CSMultiColorStatic::DropFonts()
{
    for (auto& entry : fonts_)
        DeleteOwnedFont(entry.second);
    fonts_.clear();
}

FontHandle CSMultiColorStatic::SegmentFont(const TextSegment& segment)
{
    fontFace[kRichTextFaceBytes - 1] = '\0';
    if (std::strcmp(fontsFace_, fontFace) != 0 || fontsPerSegmentHeight_ != perSegmentHeight) {
        DropFonts();
        std::memcpy(fontsFace_, fontFace, sizeof fontsFace_);
        fontsPerSegmentHeight_ = perSegmentHeight;
    }
    uint32_t bits = segment.style & (kSegmentBold | kSegmentItalic | kSegmentUnderline);
    int32_t height = perSegmentHeight ? segment.height : 0;
    uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(height)) << 32) | bits;
    for (const auto& entry : fonts_) {
        if (entry.first == key)
            return entry.second;
    }
    if (fonts_.size() >= kMaxSegmentFonts)
        DropFonts();
    FontHandle font = nullptr;
    MakeRichTextFont(&font, fontFace, segment.height, segment.style, perSegmentHeight);
    if (font)
        fonts_.emplace_back(key, font);
    return font;
}

bool CSMultiColorStatic::HitTest(int, int)
{
    return false;
}

void CSMultiColorStatic::UpdateRect()
{
    CSControl::UpdateRect();
    layoutValid = false;
}

bool CSMultiColorStatic::SetSegment(int index, const TextSegment& segment)
{
    if (index < 0)
        return false;
    if (static_cast<size_t>(index) < segments.size())
        segments[static_cast<size_t>(index)] = segment;
    else
        segments.push_back(segment);
    layoutValid = false;
    return true;
}

TextSegment CSMultiColorStatic::GetSegment(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= segments.size())
        return TextSegment();
    return segments[static_cast<size_t>(index)];
}

bool CSMultiColorStatic::AddText(const char* text, int, uint32_t style)
{
    return AppendSegment(TextSegment { text ? text : "", kDefaultSegmentHeight, style });
}

bool CSMultiColorStatic::AddTextDefault(const char* text, uint32_t style)
{
    return AddText(text, 0, style);
}

bool CSMultiColorStatic::AppendSegment(const TextSegment& segment)
{
    return SetSegment(static_cast<int>(std::min<size_t>(segments.size(), INT32_MAX)), segment);
}

bool CSMultiColorStatic::RemoveSegment(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= segments.size())
        return false;
    segments.erase(segments.begin() + index);
    layoutValid = false;
    return true;
}

void CSMultiColorStatic::ClearSegments()
{
    segments.clear();
    layoutValid = false;
}

bool CSMultiColorStatic::SetMarkupText(const char* text)
{
    ClearSegments();
    if (!text)
        return false;
    return ParseMarkup(text, strnlen(text, kMaxMarkupBytes + 1), &segments);
}

// Lines go down the control: a line-mode segment takes a row of its own; other
// text continues the current row and wraps at the width less a 4-pixel
// margin, at least one whole character per row, so any width ends.
int32_t CSMultiColorStatic::Layout(int32_t wrapWidth)
{
    lines.clear();
    const int32_t w = std::clamp(wrapWidth, 0, kMaxLayoutWidth);
    Flow flow;
    int lastCy = 0;
    bool full = false;
    auto add = [&](size_t segment, const char* text, size_t length, int lx, int cy) {
        if (lines.size() >= kMaxRichTextLines) {
            full = true;
            return;
        }
        TextLine line;
        line.text.assign(text, length);
        line.length = static_cast<int32_t>(length);
        line.x = lx;
        line.y = flow.y;
        line.bottom = flow.y + cy;
        line.segment = static_cast<int32_t>(segment);
        lines.push_back(std::move(line));
        flow.Placed(flow.y + cy);
    };
    for (size_t s = 0; s < segments.size() && !full; ++s) {
        const TextSegment& seg = segments[s];
        FontHandle font = SegmentFont(seg);
        const char* text = seg.text.data();
        size_t length = seg.text.size();
        TextSize size = Measure(font, text, length, seg.height);
        TextMetrics metrics;
        int overhang = GetFontMetrics(font, &metrics) ? metrics.overhang : 0;
        lastCy = size.cy;

        if (seg.style & kSegmentLineMode) {
            if (flow.x != 0)
                flow.NewRow(std::clamp(seg.height, 0, kMaxLineStep) + kBreakGap);
            if (length > 0) {
                add(s, text, length, 0, size.cy);
                flow.NewRow(size.cy + kWrapGap);
            }
            continue;
        }

        int avg = std::max(1, size.cx / static_cast<int>(std::max<size_t>(length, 1)));
        int cx = size.cx;
        size_t pos = 0;
        while (pos < length && cx > w - flow.x - kWrapMargin && !full) {
            size_t left = length - pos;
            size_t k = FittingPrefix(font, text + pos, left, w - flow.x - kWrapMargin, avg, seg.height);
            if (k == 0) {
                if (flow.x != 0) {
                    flow.NewRow(size.cy + kWrapGap);
                    continue;
                }
                k = GbkCharBytes(text + pos, left); // narrower than one character
            }
            add(s, text + pos, k, flow.x, size.cy);
            pos += k;
            flow.NewRow(size.cy + kWrapGap);
            size_t rest = length - pos;
            if (rest == 0)
                cx = 0;
            else if (rest <= kExactRestBytes)
                cx = Measure(font, text + pos, rest, seg.height).cx;
            else
                cx = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(rest) * avg, INT32_MAX / 4));
        }
        if (pos < length)
            add(s, text + pos, length - pos, flow.x, size.cy);
        flow.x += overhang + cx;
    }
    layoutValid = true;
    return std::max(flow.y + lastCy, flow.rowBottom);
}

// Sized by the same layout that Paint uses, so the text shown at that size is
// the text measured: a wrapped text or one with line-mode rows is 100 pixels
// wide, a single row its width plus the wrap margin.
void CSMultiColorStatic::SizeToContent()
{
    if (segments.empty()) {
        width = 0;
        height = 0;
        UpdateRect();
        return;
    }
    int content = Layout(kTooltipWrapWidth);
    bool oneRow = true;
    int right = 0;
    for (const TextLine& line : lines) {
        const TextSegment& seg = segments[static_cast<size_t>(line.segment)];
        if (line.y != 0 || (seg.style & kSegmentLineMode))
            oneRow = false;
        right = std::max(right, line.x + Measure(SegmentFont(seg), line.text.data(), line.text.size(), seg.height).cx);
    }
    width = oneRow ? std::min(right + kWrapMargin, kTooltipWrapWidth) : kTooltipWrapWidth;
    height = content + kWrapGap;
    UpdateRect();
}

void CSMultiColorStatic::DrawLine(DibImage* surface, const TextLine& line, int left, int top, const DibRect& clip)
{
    if (line.segment < 0 || static_cast<size_t>(line.segment) >= segments.size())
        return;
    const TextSegment& seg = segments[static_cast<size_t>(line.segment)];
    DibRect r;
    r.left = left + line.x;
    r.top = top + line.y;
    r.right = clip.right;
    // The band of this line only: the text is one line, and making the band
    // opaque rather than the rest of the control saves a pass per line.
    r.bottom = std::min(clip.bottom, top + line.bottom);
    if (r.top >= r.bottom || r.left >= r.right)
        return;
    uint32_t format = (seg.style & kSegmentLineMode) ? DT_CENTER : DT_LEFT;
    DrawTextOnCanvas(
        surface, SegmentFont(seg), seg.style & kSegmentColorMask, line.text.data(), line.length, r, format);
}

void CSMultiColorStatic::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || !surface)
        return;
    DibRect r { rect.left + ox, rect.top + oy, rect.right + ox, rect.bottom + oy };
    if (fillBackground) {
        FillDibRect(surface, r, backgroundColor);
        SetDibAlphaOpaque(r, surface);
    }
    if (!layoutValid)
        Layout(rect.right - rect.left);
    for (const TextLine& line : lines) {
        if (r.top + line.y >= r.bottom)
            break;
        DrawLine(surface, line, r.left, r.top, r);
    }
}

bool SetMarkupText(CSMultiColorStatic* control, const char* text)
{
    return control && control->SetMarkupText(text);
}

CSControl* CreateTooltipControl()
{
    auto* tip = new CSMultiColorStatic();
    tip->fillBackground = true;
    tip->backgroundColor = 0;
    tip->visible = false;
    return tip;
}

void SetTooltipMarkup(CSControl* tooltip, const char* markup)
{
    auto* rich = dynamic_cast<CSMultiColorStatic*>(tooltip);
    if (!rich)
        return;
    rich->SetMarkupText(markup);
    rich->SizeToContent();
}

} // namespace zdl
