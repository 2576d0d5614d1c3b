#include "skin/MarkupParser.h"

#include <cstring>

namespace zdl {

namespace {

    // The style the parser carries from tag to tag.
    struct MarkupStyle {
        uint32_t color = 0;
        int32_t height = kDefaultSegmentHeight;
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool lineMode = false;

        bool operator==(const MarkupStyle& o) const
        {
            return color == o.color && height == o.height && bold == o.bold && italic == o.italic
                && underline == o.underline && lineMode == o.lineMode;
        }
        uint32_t Bits() const
        {
            return (color & kSegmentColorMask) | (bold ? kSegmentBold : 0) | (italic ? kSegmentItalic : 0)
                | (underline ? kSegmentUnderline : 0) | (lineMode ? kSegmentLineMode : 0);
        }
    };

    int HexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool IsLetter(char c)
    {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }

    enum class TagKind { kNone, kStyle, kBreak };

    // Reads the tag at |p| ("#" and at least one more byte among |left|): its
    // length and, for a style tag, the style after it. kNone when the bytes are
    // no tag and the "#" is text.
    TagKind ReadTag(const char* p, size_t left, const MarkupStyle& current, MarkupStyle* next, size_t* length)
    {
        *next = current;
        *length = 2;
        switch (p[1]) {
        case 'B':
            next->color = 0xF80000;
            return TagKind::kStyle;
        case 'G':
            next->color = 0x1CDA3A;
            return TagKind::kStyle;
        case 'K':
            next->color = 0;
            return TagKind::kStyle;
        case 'R':
            next->color = 0x2C68F8;
            return TagKind::kStyle;
        case 'W':
            next->color = 0xFFFFFF;
            return TagKind::kStyle;
        case 'Y':
            next->color = 0x9BE5FD;
            return TagKind::kStyle;
        case 'd':
            next->bold = true;
            return TagKind::kStyle;
        case 'i':
            next->italic = true;
            return TagKind::kStyle;
        case 'u':
            next->underline = true;
            return TagKind::kStyle;
        case 't':
            next->lineMode = true;
            return TagKind::kStyle;
        case 'n':
            next->bold = next->italic = next->underline = next->lineMode = false;
            return TagKind::kStyle;
        case 'r':
            return TagKind::kBreak;
        case 'c': {
            // Exactly six hex digits, read as red, green, blue.
            if (left < 8)
                return TagKind::kNone;
            uint32_t rgb = 0;
            for (int i = 0; i < 6; ++i) {
                int v = HexValue(p[2 + i]);
                if (v < 0)
                    return TagKind::kNone;
                rgb = (rgb << 4) | static_cast<uint32_t>(v);
            }
            next->color = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16); // COLORREF
            *length = 8;
            return TagKind::kStyle;
        }
        case 'h':
            if (left < 4 || p[2] < '0' || p[2] > '9' || p[3] < '0' || p[3] > '9')
                return TagKind::kNone;
            next->height = (p[2] - '0') * 10 + (p[3] - '0');
            *length = 4;
            return TagKind::kStyle;
        default:
            return TagKind::kNone;
        }
    }

} // namespace

bool ParseMarkup(const char* text, size_t length, std::vector<TextSegment>* segments)
{
    segments->clear();
    if (!text || length == 0 || length > kMaxMarkupBytes)
        return false;

    MarkupStyle current; // also the style of the pending text
    bool changed = false;
    std::string pending;
    auto flush = [&]() {
        if (pending.empty())
            return;
        segments->push_back(TextSegment { pending, current.height, current.Bits() });
        pending.clear();
    };

    size_t i = 0;
    while (i < length) {
        const char* p = text + i;
        size_t left = length - i;
        if (p[0] != '#' || left < 2 || !IsLetter(p[1])) {
            size_t n = p[0] == '#' ? 1 : GbkCharBytes(p, left);
            pending.append(p, n);
            i += n;
            continue;
        }
        MarkupStyle next;
        size_t tagLength = 0;
        TagKind kind = ReadTag(p, left, current, &next, &tagLength);
        if (kind == TagKind::kNone) {
            pending += '#'; // the letter after it is read as text next
            ++i;
            continue;
        }
        i += tagLength;
        if (kind == TagKind::kBreak) {
            flush();
            segments->push_back(TextSegment { std::string(), kDefaultSegmentHeight, kSegmentLineMode });
            continue;
        }
        if (next == current && !changed)
            continue; // changes nothing, and nothing has changed yet
        if (!(next == current))
            changed = true;
        flush();
        current = next;
    }
    flush();
    return true;
}

} // namespace zdl
