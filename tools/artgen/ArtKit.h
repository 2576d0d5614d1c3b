// Drawing helpers shared by the skin's pictures: an owned cairo image
// surface, colour and path helpers, text through pango, blur for shadows and
// glows, and a seeded random generator so that every run draws the same
// pixels.
//
// All surfaces are cairo ARGB32 (premultiplied in memory; cairo's PNG writer
// stores straight alpha). Coordinates are pixels from the top-left corner.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace artgen {

struct Rgba {
    double r, g, b, a;
};

// 0xRRGGBB plus an alpha in 0..1.
Rgba Hex(uint32_t rgb, double alpha = 1.0);
Rgba Mix(const Rgba& a, const Rgba& b, double t);
Rgba Lighten(const Rgba& c, double t); // towards white
Rgba Darken(const Rgba& c, double t); // towards black
Rgba Grey(const Rgba& c); // luminance, same alpha

// An image surface and its drawing context, owned together.
class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }

    bool WritePng(const std::string& path);
    // Draws |other| with its top-left corner at (x, y), optionally faded.
    void Paint(const Canvas& other, double x, double y, double alpha = 1.0);
    // Box-blurs the whole surface three times (close to a Gaussian).
    void Blur(int radius);
    // Multiplies every pixel's alpha by |alpha| (premultiplied channels too).
    void Fade(double alpha);
    // Fades the picture to nothing over the |edge| pixels next to its border,
    // so soft shadows end inside the window's transparent margin.
    void FadeEdges(int edge);
    // Replaces colours by their grey level, keeping alpha.
    void Desaturate(double amount);

private:
    int width_, height_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

void SetColor(cairo_t* cr, const Rgba& c);
void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r);
void AddStop(cairo_pattern_t* p, double offset, const Rgba& c);
// Vertical linear gradient from |top| to |bottom| between y0 and y1.
cairo_pattern_t* VerticalGradient(double y0, double y1, const Rgba& top, const Rgba& bottom);
// Fills the current path and keeps it.
void FillPattern(cairo_t* cr, cairo_pattern_t* p);
// A soft drop shadow of a rounded rectangle drawn into |canvas|.
void DropShadow(Canvas& canvas, double x, double y, double w, double h, double r, int blur, double dy, double alpha);
// A round glow (radial falloff) of colour |c| around (cx, cy).
void Glow(cairo_t* cr, double cx, double cy, double radius, const Rgba& c);
// A four-pointed sparkle.
void Sparkle(cairo_t* cr, double cx, double cy, double size, const Rgba& c);

// Text through pango. |family| is a fontconfig family ("WenQuanYi Micro Hei",
// "DejaVu Serif"), |px| the size in pixels. UTF-8 text.
struct TextStyle {
    std::string family = "WenQuanYi Micro Hei";
    double px = 12;
    bool bold = false;
    double letterSpacing = 0; // extra pixels between characters
};
struct TextSize {
    double width, height; // logical extents
    double baseline; // from the top of the logical box
};
TextSize MeasureText(cairo_t* cr, const std::string& utf8, const TextStyle& style);
// Adds the text outline to the current path with its logical box's top-left
// corner at (x, y).
void TextPath(cairo_t* cr, const std::string& utf8, const TextStyle& style, double x, double y);
// Text centred in the box (x, y, w, h) by its logical extents.
void TextPathCentered(
    cairo_t* cr, const std::string& utf8, const TextStyle& style, double x, double y, double w, double h);

// Deterministic pseudo-random numbers (xorshift), independent of the C library.
class Random {
public:
    explicit Random(uint32_t seed)
        : state_(seed ? seed : 1)
    {
    }
    uint32_t Next();
    double Uniform(double lo, double hi);

private:
    uint32_t state_;
};

// Shared look: the skin's palette.
namespace palette {
    extern const Rgba kNight; // deepest panel colour
    extern const Rgba kIndigo; // upper panel gradient
    extern const Rgba kTeal; // wind accent
    extern const Rgba kCyanGlow; // glows and progress
    extern const Rgba kGold; // trims and logo
    extern const Rgba kGoldLight;
    extern const Rgba kIvory; // light card and licence paper
    extern const Rgba kInk; // dark text on light
    extern const Rgba kFooter; // progress strip
} // namespace palette

} // namespace artgen
