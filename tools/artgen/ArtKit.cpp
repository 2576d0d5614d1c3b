#include "tools/artgen/ArtKit.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artgen {

namespace palette {
    const Rgba kNight = Hex(0x0B1120);
    const Rgba kIndigo = Hex(0x1C2A4D);
    const Rgba kTeal = Hex(0x2FB8C8);
    const Rgba kCyanGlow = Hex(0x7CF0FF);
    const Rgba kGold = Hex(0xD9A752);
    const Rgba kGoldLight = Hex(0xF7E2AE);
    const Rgba kIvory = Hex(0xF5F1E8);
    const Rgba kInk = Hex(0x2B3142);
    const Rgba kFooter = Hex(0x111A2C);
} // namespace palette

Rgba Hex(uint32_t rgb, double alpha)
{
    return { ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha };
}

Rgba Mix(const Rgba& a, const Rgba& b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t };
}

Rgba Lighten(const Rgba& c, double t)
{
    return Mix(c, { 1, 1, 1, c.a }, t);
}
Rgba Darken(const Rgba& c, double t)
{
    return Mix(c, { 0, 0, 0, c.a }, t);
}

Rgba Grey(const Rgba& c)
{
    double y = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
    return { y, y, y, c.a };
}

Canvas::Canvas(int width, int height)
    : width_(width)
    , height_(height)
    , surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height))
    , cr_(cairo_create(surface_))
{
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GRAY);
}

Canvas::~Canvas()
{
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

bool Canvas::WritePng(const std::string& path)
{
    cairo_surface_flush(surface_);
    return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void Canvas::Paint(const Canvas& other, double x, double y, double alpha)
{
    cairo_save(cr_);
    cairo_set_source_surface(cr_, other.surface_, x, y);
    cairo_paint_with_alpha(cr_, alpha);
    cairo_restore(cr_);
}

namespace {

    // One box-blur pass along a line of |n| values spaced |stride| apart.
    void BoxLine(uint8_t* base, int n, int stride, int radius, std::vector<int>& tmp)
    {
        tmp.assign(n, 0);
        int window = 2 * radius + 1;
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) {
            if (i >= 0 && i < n)
                sum += base[i * stride];
        }
        for (int i = 0; i < n; ++i) {
            tmp[i] = sum / window;
            int out = i - radius;
            int in = i + radius + 1;
            if (out >= 0)
                sum -= base[out * stride];
            if (in < n)
                sum += base[in * stride];
        }
        for (int i = 0; i < n; ++i)
            base[i * stride] = static_cast<uint8_t>(tmp[i]);
    }

} // namespace

void Canvas::Blur(int radius)
{
    if (radius <= 0)
        return;
    cairo_surface_flush(surface_);
    uint8_t* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    std::vector<int> tmp;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height_; ++y) {
            for (int ch = 0; ch < 4; ++ch)
                BoxLine(data + y * stride + ch, width_, 4, radius, tmp);
        }
        for (int x = 0; x < width_; ++x) {
            for (int ch = 0; ch < 4; ++ch)
                BoxLine(data + x * 4 + ch, height_, stride, radius, tmp);
        }
    }
    cairo_surface_mark_dirty(surface_);
}

void Canvas::Fade(double alpha)
{
    cairo_surface_flush(surface_);
    uint8_t* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_ * 4; ++x) {
            uint8_t& v = data[y * stride + x];
            v = static_cast<uint8_t>(std::lround(v * alpha));
        }
    }
    cairo_surface_mark_dirty(surface_);
}

void Canvas::FadeEdges(int edge)
{
    cairo_surface_flush(surface_);
    uint8_t* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            int d = std::min({ x, y, width_ - 1 - x, height_ - 1 - y });
            if (d >= edge)
                continue;
            double k = d / double(edge);
            uint8_t* p = data + y * stride + x * 4;
            for (int ch = 0; ch < 4; ++ch)
                p[ch] = static_cast<uint8_t>(std::lround(p[ch] * k));
        }
    }
    cairo_surface_mark_dirty(surface_);
}

void Canvas::Desaturate(double amount)
{
    cairo_surface_flush(surface_);
    uint8_t* data = cairo_image_surface_get_data(surface_);
    int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < height_; ++y) {
        uint8_t* p = data + y * stride;
        for (int x = 0; x < width_; ++x, p += 4) {
            // Memory order of CAIRO_FORMAT_ARGB32 on a little-endian host: B, G, R, A.
            double grey = 0.11 * p[0] + 0.59 * p[1] + 0.3 * p[2];
            for (int ch = 0; ch < 3; ++ch) {
                p[ch] = static_cast<uint8_t>(std::lround(p[ch] + (grey - p[ch]) * amount));
            }
        }
    }
    cairo_surface_mark_dirty(surface_);
}

void SetColor(cairo_t* cr, const Rgba& c)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    r = std::min({ r, w / 2, h / 2 });
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void AddStop(cairo_pattern_t* p, double offset, const Rgba& c)
{
    cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, c.a);
}

cairo_pattern_t* VerticalGradient(double y0, double y1, const Rgba& top, const Rgba& bottom)
{
    cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
    AddStop(p, 0, top);
    AddStop(p, 1, bottom);
    return p;
}

void FillPattern(cairo_t* cr, cairo_pattern_t* p)
{
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
}

void DropShadow(Canvas& canvas, double x, double y, double w, double h, double r, int blur, double dy, double alpha)
{
    Canvas shadow(canvas.width(), canvas.height());
    RoundedRect(shadow.cr(), x, y + dy, w, h, r);
    cairo_set_source_rgba(shadow.cr(), 0, 0, 0, alpha);
    cairo_fill(shadow.cr());
    shadow.Blur(blur / 2);
    shadow.FadeEdges(6);
    canvas.Paint(shadow, 0, 0);
}

void Glow(cairo_t* cr, double cx, double cy, double radius, const Rgba& c)
{
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
    AddStop(p, 0, c);
    AddStop(p, 0.35, { c.r, c.g, c.b, c.a * 0.45 });
    AddStop(p, 1, { c.r, c.g, c.b, 0 });
    cairo_save(cr);
    cairo_set_source(cr, p);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_pattern_destroy(p);
}

void Sparkle(cairo_t* cr, double cx, double cy, double size, const Rgba& c)
{
    double t = size * 0.18;
    cairo_save(cr);
    cairo_move_to(cr, cx, cy - size);
    cairo_curve_to(cr, cx + t * 0.3, cy - t, cx + t, cy - t * 0.3, cx + size, cy);
    cairo_curve_to(cr, cx + t, cy + t * 0.3, cx + t * 0.3, cy + t, cx, cy + size);
    cairo_curve_to(cr, cx - t * 0.3, cy + t, cx - t, cy + t * 0.3, cx - size, cy);
    cairo_curve_to(cr, cx - t, cy - t * 0.3, cx - t * 0.3, cy - t, cx, cy - size);
    cairo_close_path(cr);
    SetColor(cr, c);
    cairo_fill(cr);
    cairo_restore(cr);
    Glow(cr, cx, cy, size * 0.9, { c.r, c.g, c.b, c.a * 0.6 });
}

namespace {

    PangoLayout* MakeLayout(cairo_t* cr, const std::string& utf8, const TextStyle& style)
    {
        PangoLayout* layout = pango_cairo_create_layout(cr);
        // Fixed rendering options, so the pixels do not depend on the desktop's
        // font settings.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
        cairo_font_options_destroy(options);
        pango_layout_context_changed(layout);

        PangoFontDescription* desc = pango_font_description_new();
        pango_font_description_set_family(desc, style.family.c_str());
        pango_font_description_set_absolute_size(desc, style.px * PANGO_SCALE);
        pango_font_description_set_weight(desc, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_layout_set_font_description(layout, desc);
        pango_font_description_free(desc);
        if (style.letterSpacing != 0) {
            PangoAttrList* attrs = pango_attr_list_new();
            pango_attr_list_insert(
                attrs, pango_attr_letter_spacing_new(static_cast<int>(style.letterSpacing * PANGO_SCALE)));
            pango_layout_set_attributes(layout, attrs);
            pango_attr_list_unref(attrs);
        }
        pango_layout_set_text(layout, utf8.c_str(), -1);
        return layout;
    }

} // namespace

TextSize MeasureText(cairo_t* cr, const std::string& utf8, const TextStyle& style)
{
    PangoLayout* layout = MakeLayout(cr, utf8, style);
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    TextSize size { logical.width / double(PANGO_SCALE) - style.letterSpacing, logical.height / double(PANGO_SCALE),
        pango_layout_get_baseline(layout) / double(PANGO_SCALE) };
    g_object_unref(layout);
    return size;
}

void TextPath(cairo_t* cr, const std::string& utf8, const TextStyle& style, double x, double y)
{
    PangoLayout* layout = MakeLayout(cr, utf8, style);
    cairo_move_to(cr, x, y);
    pango_cairo_layout_path(cr, layout);
    g_object_unref(layout);
}

void TextPathCentered(
    cairo_t* cr, const std::string& utf8, const TextStyle& style, double x, double y, double w, double h)
{
    TextSize size = MeasureText(cr, utf8, style);
    TextPath(cr, utf8, style, x + (w - size.width) / 2, y + (h - size.height) / 2);
}

uint32_t Random::Next()
{
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

double Random::Uniform(double lo, double hi)
{
    return lo + (hi - lo) * (Next() / 4294967296.0);
}

} // namespace artgen
