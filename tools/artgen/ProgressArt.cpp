#include "tools/artgen/ProgressArt.h"

#include <cmath>
#include <string>

#include "tools/artgen/SkinGeometry.h"

namespace artgen {

namespace {

    // Bright numeral with a dark rim and a faint cyan halo, its baseline at
    // |baseline| and centred horizontally.
    void GlowingGlyph(Canvas& canvas, const std::string& text, const TextStyle& style, double baseline)
    {
        cairo_t* cr = canvas.cr();
        TextSize size = MeasureText(cr, text, style);
        double x = (canvas.width() - size.width) / 2, y = baseline - size.baseline;
        Canvas halo(canvas.width(), canvas.height());
        TextPath(halo.cr(), text, style, x, y);
        cairo_set_source_rgba(halo.cr(), 0.35, 0.9, 1.0, 0.9);
        cairo_fill(halo.cr());
        halo.Blur(1);
        canvas.Paint(halo, 0, 0, 0.8);
        TextPath(cr, text, style, x, y);
        cairo_set_line_width(cr, 1.6);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        SetColor(cr, Hex(0x06101E, 0.85));
        cairo_stroke_preserve(cr);
        cairo_pattern_t* fill
            = VerticalGradient(baseline - size.baseline * 0.75, baseline, Hex(0xFFFFFF), Hex(0xF2D38E));
        cairo_set_source(cr, fill);
        cairo_fill(cr);
        cairo_pattern_destroy(fill);
    }

} // namespace

void DrawDigit(Canvas& canvas, int digit)
{
    TextStyle style { "DejaVu Sans", 23, true, 0 };
    GlowingGlyph(canvas, std::to_string(digit), style, geo::kDigitBaseline);
}

void DrawPercentSign(Canvas& canvas)
{
    TextStyle style { "DejaVu Sans", 12, true, 0 };
    GlowingGlyph(canvas, "%", style, geo::kPercentBaseline);
}

void DrawProgressBar(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    double w = canvas.width(), h = canvas.height();
    // Left end rounded; the right end is hidden under the glowing head.
    cairo_move_to(cr, h / 2, 0);
    cairo_line_to(cr, w, 0);
    cairo_line_to(cr, w, h);
    cairo_line_to(cr, h / 2, h);
    cairo_arc(cr, h / 2, h / 2, h / 2, M_PI / 2, 3 * M_PI / 2);
    cairo_close_path(cr);
    cairo_pattern_t* across = cairo_pattern_create_linear(0, 0, w, 0);
    AddStop(across, 0, Hex(0x1C7FB0));
    AddStop(across, 0.55, Hex(0x26C4D6));
    AddStop(across, 1, Hex(0x8CF5E8));
    cairo_set_source(cr, across);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(across);
    cairo_clip(cr);
    // Diagonal light bands.
    for (double x = -h; x < w; x += 14) {
        cairo_move_to(cr, x, h);
        cairo_line_to(cr, x + h, 0);
        cairo_line_to(cr, x + h + 5, 0);
        cairo_line_to(cr, x + 5, h);
        cairo_close_path(cr);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_fill(cr);
    // Gloss and a dark lower edge.
    cairo_rectangle(cr, 0, 0, w, h);
    cairo_pattern_t* gloss = cairo_pattern_create_linear(0, 0, 0, h);
    AddStop(gloss, 0, Hex(0xFFFFFF, 0.55));
    AddStop(gloss, 0.45, Hex(0xFFFFFF, 0.08));
    AddStop(gloss, 0.5, Hex(0x000000, 0.0));
    AddStop(gloss, 1, Hex(0x001A2A, 0.35));
    cairo_set_source(cr, gloss);
    cairo_fill(cr);
    cairo_pattern_destroy(gloss);
}

void DrawScrollTrack(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    double w = canvas.width(), h = canvas.height();
    RoundedRect(cr, 2.5, 0.5, w - 5, h - 1, (w - 5) / 2);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, w, 0);
    AddStop(p, 0, Hex(0xE3DACA));
    AddStop(p, 1, Hex(0xF3EEE4));
    FillPattern(cr, p);
    cairo_set_line_width(cr, 1);
    SetColor(cr, Hex(0xD1C4A8));
    cairo_stroke(cr);
}

} // namespace artgen
