// libFuzzer target: the "#" markup parser and the rich-text layout. The
// first two bytes pick the wrapping width (-64 ... 447 pixels), the rest is
// markup. Whatever the bytes, parsing and layout end, every segment's text
// comes back whole and in order from its lines, no line starts inside a
// double-byte character, and the scroll static's stops and thumb stay in
// range while it scrolls and drags.
#include "skin/MarkupParser.h"
#include "skin/MultiColorStatic.h"
#include "skin/ScrollStatic.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok)
        abort();
}

// Lines must rebuild each segment, cut at character boundaries only.
void CheckLines(const zdl::CSMultiColorStatic& text)
{
    std::vector<std::string> rebuilt(text.segments.size());
    for (const zdl::TextLine& line : text.lines) {
        Check(line.segment >= 0 && static_cast<size_t>(line.segment) < text.segments.size());
        Check(line.length == static_cast<int32_t>(line.text.size()) && line.length > 0);
        Check(line.bottom >= line.y);
        std::string& so_far = rebuilt[static_cast<size_t>(line.segment)];
        const std::string& whole = text.segments[static_cast<size_t>(line.segment)].text;
        size_t at = 0;
        while (at < so_far.size())
            at += zdl::GbkCharBytes(whole.data() + at, whole.size() - at);
        Check(at == so_far.size()); // the piece starts on a character boundary
        so_far += line.text;
    }
    for (size_t i = 0; i < rebuilt.size(); ++i)
        Check(rebuilt[i] == text.segments[i].text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zdl;
    if (size < 2)
        return 0;
    int width = ((data[0] | (data[1] << 8)) % 512) - 64;
    std::string markup(reinterpret_cast<const char*>(data + 2), size - 2);

    CSMultiColorStatic text;
    if (!text.SetMarkupText(markup.c_str()))
        return 0;
    text.Layout(width);
    CheckLines(text);
    text.SizeToContent();
    Check(text.width >= 0 && text.width <= 100 && text.height >= 0);

    static DibImage strip;
    if (strip.Empty()) {
        CreateDib(&strip, 32, 40, 12);
    }
    CSScrollStatic view;
    view.segments = text.segments;
    view.upImage = view.downImage = view.thumbImage = &strip;
    view.thumbMarginTop = 5;
    view.thumbMarginBottom = 5;
    view.width = width + 15;
    view.height = 60;
    view.UpdateRect();
    view.Layout(0);
    CheckLines(view);
    for (int step : { 1, 3, -2, 1000, -1000 }) {
        view.ScrollBy(step);
        Check(view.stops.empty() || (view.stopIndex >= 0 && static_cast<size_t>(view.stopIndex) < view.stops.size()));
    }
    for (int y : { -100, 0, 7, 30, 59, 1000 }) {
        view.DragThumbTo(y);
        Check(view.stops.empty() || (view.stopIndex >= 0 && static_cast<size_t>(view.stopIndex) < view.stops.size()));
        Check(view.thumbRect.top >= view.trackRect.top + view.thumbMarginTop
            || view.trackRect.bottom == view.trackRect.top);
    }
    return 0;
}
