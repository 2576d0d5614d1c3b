// CSMultiColorStatic: a static showing multi-coloured, multi-size GBK text
// written in the "#" markup (skin/MarkupParser.h). It is the "URichText" of
// the layout scripts, the licence page's title and every panel's tooltip.
//
// The text is a list of TextSegments; Layout wraps them to a width into
// TextLines (offsets from the control's top-left), and Paint draws those
// lines, laying out again only after the segments, the size or the place
// changed — never once per frame. Wrapping never splits a double-byte
// character, always places at least one character per line and ends for any
// width. The control takes no mouse input and has no skin layer: colours
// and sizes come from the markup.
//
// Ownership: the control owns its segments, lines and the segment fonts it
// makes (one per distinct size and attribute set, kept while the face
// stays the same). User-interface thread only.
#pragma once

#include "skin/SkinTexts.h"
#include "skin/Static.h"
#include "skin/TextSegment.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace zdl {

// The initial face of rich text is kKaiTiFace ("楷体", skin/SkinTexts.txt).

// Lines one layout makes at most; a longer text is cut there (the licence
// has about a hundred).
constexpr size_t kMaxRichTextLines = 1 << 16;

// Bytes of the face name buffer, the terminating 0 included.
constexpr size_t kRichTextFaceBytes = 32;

class CSMultiColorStatic : public CSStatic {
public:
    CSMultiColorStatic();
    ~CSMultiColorStatic() override;

    void Paint(DibImage* surface, int originX, int originY) override; // 2
    bool HitTest(int px, int py) override; // 12: never hits
    void UpdateRect() override; // 18: layout invalid too

    // Replaces segment |index|, or appends when |index| is not less than the
    // count; false for a negative index.
    virtual bool SetSegment(int index, const TextSegment& segment); // 19
    // A copy; out of range gives an empty segment of height 16, style 0.
    virtual TextSegment GetSegment(int index) const; // 20
    // Appends |text| (null is empty) with height 16 and |style|.
    virtual bool AddText(const char* text, int ignored, uint32_t style); // 21
    virtual bool AddTextDefault(const char* text, uint32_t style); // 22
    virtual bool AppendSegment(const TextSegment& segment); // 23
    // False for an index outside the list.
    virtual bool RemoveSegment(int index); // 24
    virtual void ClearSegments(); // 25
    // Fills `lines` for the wrapping width |width| and returns the content
    // height; marks the layout valid.
    virtual int32_t Layout(int32_t width); // 26

    // Parses |text| (GBK markup, NUL-terminated) into the segments. False
    // for a null, empty or over-long text, which leaves the control empty.
    bool SetMarkupText(const char* text);
    // Sizes the control to its text for a 100-pixel wrap (the tooltip), then
    // UpdateRect.
    void SizeToContent();

    char fontFace[kRichTextFaceBytes]; // GBK face for all segments; "楷体" at first
    std::vector<TextSegment> segments;
    bool perSegmentHeight = true; // false: the face's default height for all
    bool fillBackground = false; // fill `rect` with backgroundColor first
    ColorRef backgroundColor = 0;
    std::vector<TextLine> lines; // the layout
    bool layoutValid = false; // `lines` match the segments and the size

protected:
    explicit CSMultiColorStatic(int32_t typeCode);
    // The font of |segment| for this control's face; owned by the control.
    FontHandle SegmentFont(const TextSegment& segment);
    // Draws |line| into (left + line x, top + line y, clip right, clip
    // bottom) in its segment's font and colour, centred for line mode.
    void DrawLine(DibImage* surface, const TextLine& line, int left, int top, const DibRect& clip);

private:
    void DropFonts();

    // Fonts made for the segments, keyed by (height asked for, font bits).
    std::vector<std::pair<uint64_t, FontHandle>> fonts_;
    char fontsFace_[kRichTextFaceBytes] = {};
    bool fontsPerSegmentHeight_ = true;
};

// Free form of CSMultiColorStatic::SetMarkupText; false for a null control.
bool SetMarkupText(CSMultiColorStatic* control, const char* text);

// The panels' tooltip: a hidden rich text with a black background. The
// container places it (id 99999 at 280, 400, 100 x 40).
CSControl* CreateTooltipControl();
// Puts |markup| into a rich-text tooltip and sizes it to the text; nothing
// for a null control or one that is not rich text.
void SetTooltipMarkup(CSControl* tooltip, const char* markup);

} // namespace zdl
