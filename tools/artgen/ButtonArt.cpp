#include "tools/artgen/ButtonArt.h"

#include <cmath>
#include <functional>

#include "tools/artgen/SkinGeometry.h"

namespace artgen {

using namespace palette;

bool SpriteArt::WriteStrip(const std::string& path) const
{
    Canvas strip(width * static_cast<int>(frames.size()), height);
    for (size_t i = 0; i < frames.size(); ++i) {
        cairo_save(strip.cr());
        cairo_set_operator(strip.cr(), CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(strip.cr(), frames[i]->surface(), width * double(i), 0);
        cairo_rectangle(strip.cr(), width * double(i), 0, width, height);
        cairo_fill(strip.cr());
        cairo_restore(strip.cr());
    }
    return strip.WritePng(path);
}

namespace {

    enum Look { kNormal, kHover, kPressed, kDisabled };
    constexpr Look kStoredOrder[] = { kNormal, kHover, kPressed, kDisabled };

    // Builds a four-look button sprite from a drawing function.
    SpriteArt FourLooks(const std::string& name, int w, int h, const std::function<void(Canvas&, Look)>& draw)
    {
        SpriteArt sprite;
        sprite.name = name;
        sprite.width = w;
        sprite.height = h;
        for (Look look : kStoredOrder) {
            auto frame = std::make_unique<Canvas>(w, h);
            draw(*frame, look == kDisabled ? kNormal : look);
            if (look == kDisabled) {
                frame->Desaturate(0.9);
                frame->Fade(0.55);
            }
            sprite.frames.push_back(std::move(frame));
            sprite.keyX.push_back(look == kPressed ? -1 : 0);
            sprite.keyY.push_back(look == kPressed ? -1 : 0);
        }
        return sprite;
    }

    struct ButtonColours {
        Rgba top, bottom, border, text;
        bool darkText;
    };

    Rgba ForLook(const Rgba& c, Look look)
    {
        if (look == kHover)
            return Lighten(c, 0.16);
        if (look == kPressed)
            return Darken(c, 0.16);
        return c;
    }

    // A rounded pill with gloss, caption centred. The body leaves the last
    // column and row free (pressed shift).
    void PillButton(Canvas& canvas, Look look, const ButtonColours& colours, const std::string& caption, double fontPx,
        double radius)
    {
        cairo_t* cr = canvas.cr();
        double w = canvas.width() - 1, h = canvas.height() - 1;
        Rgba top = ForLook(colours.top, look), bottom = ForLook(colours.bottom, look);
        // Soft under-shadow inside the box.
        RoundedRect(cr, 0.5, 1.5, w - 1, h - 2, radius);
        cairo_set_source_rgba(cr, 0, 0, 0, look == kPressed ? 0.05 : 0.22);
        cairo_fill(cr);
        RoundedRect(cr, 0.5, 0.5, w - 1, h - 1.5, radius);
        cairo_pattern_t* body
            = VerticalGradient(0, h, look == kPressed ? bottom : top, look == kPressed ? top : bottom);
        FillPattern(cr, body);
        cairo_set_line_width(cr, 1);
        SetColor(cr, ForLook(colours.border, look));
        cairo_stroke(cr);
        if (look != kPressed) {
            // Gloss on the upper half.
            RoundedRect(cr, 2, 1.5, w - 4, (h - 2) * 0.48, radius - 1);
            cairo_pattern_t* gloss
                = VerticalGradient(1, h * 0.5, Hex(0xFFFFFF, look == kHover ? 0.42 : 0.32), Hex(0xFFFFFF, 0.04));
            cairo_set_source(cr, gloss);
            cairo_fill(cr);
            cairo_pattern_destroy(gloss);
        } else {
            // Inner shadow along the top.
            cairo_save(cr);
            RoundedRect(cr, 0.5, 0.5, w - 1, h - 1.5, radius);
            cairo_clip(cr);
            cairo_rectangle(cr, 0, 0, w, 4);
            cairo_pattern_t* shade = VerticalGradient(0, 4, Hex(0, 0.3), Hex(0, 0));
            cairo_set_source(cr, shade);
            cairo_fill(cr);
            cairo_pattern_destroy(shade);
            cairo_restore(cr);
        }
        if (look == kHover) {
            RoundedRect(cr, 1.5, 1.5, w - 3, h - 3.5, radius - 1);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
            cairo_stroke(cr);
        }
        TextStyle style { "WenQuanYi Micro Hei", fontPx, true, fontPx > 13 ? 2.0 : 1.0 };
        if (!colours.darkText) {
            TextPathCentered(cr, caption, style, 0, 1, w, h - 1);
            SetColor(cr, Hex(0x000000, 0.35));
            cairo_fill(cr);
        }
        TextPathCentered(cr, caption, style, 0, 0, w, h - 1.5);
        SetColor(cr, colours.text);
        cairo_fill(cr);
    }

    const ButtonColours kAmber = { Hex(0xFFC65A), Hex(0xE07A1F), Hex(0x9A4A10), Hex(0xFFFFFF), false };
    const ButtonColours kTealGreen = { Hex(0x4FD8C0), Hex(0x178C8A), Hex(0x0C5856), Hex(0xFFFFFF), false };
    const ButtonColours kSteel = { Hex(0x7F93B8), Hex(0x44567D), Hex(0x27344F), Hex(0xFFFFFF), false };
    const ButtonColours kGreenGold = { Hex(0x8EDB5A), Hex(0x3A9A2E), Hex(0x22601B), Hex(0xFFFFFF), false };
    const ButtonColours kPaper = { Hex(0xFFFFFF), Hex(0xE9E1CF), Hex(0xB9A57E), Hex(0x3B3A36), true };

    SpriteArt ActionButton(const std::string& name, const std::string& caption, const ButtonColours& colours)
    {
        return FourLooks(name, 112, 40, [&](Canvas& c, Look look) { PillButton(c, look, colours, caption, 16, 8); });
    }

    // Round dark chip with a light glyph; used by the window's title buttons.
    enum class Glyph { kGear, kMinimise, kClose };

    void ChipButton(Canvas& canvas, Look look, Glyph glyph, double cx, double cy)
    {
        cairo_t* cr = canvas.cr();
        const double r = 7.6; // with its outline, inside the last clear row
        Rgba fill = Hex(0x22304F, 0.92);
        if (look == kHover)
            fill = glyph == Glyph::kClose ? Hex(0xD2443A) : Hex(0x3D5A8C);
        if (look == kPressed)
            fill = glyph == Glyph::kClose ? Hex(0x9B2A22) : Hex(0x17213A);
        cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
        SetColor(cr, fill);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1);
        SetColor(cr, look == kHover ? Hex(0xF6DFA0) : Hex(0xB8914F, 0.9));
        cairo_stroke(cr);
        Rgba ink = look == kHover ? Hex(0xFFFFFF) : Hex(0xE8EEF8);
        SetColor(cr, ink);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 1.6);
        if (glyph == Glyph::kClose) {
            cairo_move_to(cr, cx - 3.2, cy - 3.2);
            cairo_line_to(cr, cx + 3.2, cy + 3.2);
            cairo_move_to(cr, cx + 3.2, cy - 3.2);
            cairo_line_to(cr, cx - 3.2, cy + 3.2);
            cairo_stroke(cr);
        } else if (glyph == Glyph::kMinimise) {
            cairo_move_to(cr, cx - 3.8, cy + 0.5);
            cairo_line_to(cr, cx + 3.8, cy + 0.5);
            cairo_stroke(cr);
        } else {
            // Gear: eight teeth around a ring.
            for (int i = 0; i < 8; ++i) {
                double a = i * M_PI / 4;
                cairo_move_to(cr, cx + 3.2 * std::cos(a), cy + 3.2 * std::sin(a));
                cairo_line_to(cr, cx + 5.2 * std::cos(a), cy + 5.2 * std::sin(a));
            }
            cairo_set_line_width(cr, 1.8);
            cairo_stroke(cr);
            cairo_arc(cr, cx, cy, 3.4, 0, 2 * M_PI);
            cairo_set_line_width(cr, 1.6);
            cairo_stroke(cr);
        }
    }

    SpriteArt Chip(const std::string& name, int w, int h, Glyph glyph)
    {
        return FourLooks(
            name, w, h, [&](Canvas& c, Look look) { ChipButton(c, look, glyph, (w - 1) / 2.0, (h - 1) / 2.0); });
    }

    // Scroll-bar arrows and thumb: small rounded blocks on the white page.
    enum class ScrollPart { kUp, kDown, kThumb };

    void ScrollButton(Canvas& canvas, Look look, ScrollPart part)
    {
        cairo_t* cr = canvas.cr();
        double w = canvas.width() - 1, h = canvas.height() - 1;
        Rgba base = part == ScrollPart::kThumb ? Hex(0xC9A868) : Hex(0xE4DBC8);
        base = ForLook(base, look);
        RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, part == ScrollPart::kThumb ? 5 : 3);
        cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, w, 0);
        AddStop(g, 0, Lighten(base, 0.2));
        AddStop(g, 1, Darken(base, 0.08));
        FillPattern(cr, g);
        cairo_set_line_width(cr, 1);
        SetColor(cr, Darken(base, 0.3));
        cairo_stroke(cr);
        double cx = w / 2, cy = h / 2;
        SetColor(cr, part == ScrollPart::kThumb ? Hex(0xFFF6DF, 0.9) : Hex(0x6B5A3A));
        if (part == ScrollPart::kThumb) {
            for (int i = -1; i <= 1; ++i) {
                cairo_rectangle(cr, cx - 2.5, cy + i * 3 - 0.5, 5, 1);
            }
            cairo_fill(cr);
            return;
        }
        double d = part == ScrollPart::kUp ? -1 : 1;
        cairo_move_to(cr, cx - 3, cy - d * 1.5);
        cairo_line_to(cr, cx + 3, cy - d * 1.5);
        cairo_line_to(cr, cx, cy + d * 2);
        cairo_close_path(cr);
        cairo_fill(cr);
    }

    SpriteArt CheckBox()
    {
        SpriteArt sprite;
        sprite.name = "check_btn.tcp";
        sprite.width = 18;
        sprite.height = 18;
        for (int checked = 0; checked < 2; ++checked) {
            auto frame = std::make_unique<Canvas>(18, 18);
            cairo_t* cr = frame->cr();
            RoundedRect(cr, 1.5, 1.5, 15, 15, 3.5);
            if (checked) {
                cairo_pattern_t* p = VerticalGradient(1, 17, Hex(0xFFC65A), Hex(0xE07A1F));
                FillPattern(cr, p);
                cairo_set_line_width(cr, 1);
                SetColor(cr, Hex(0x9A4A10));
                cairo_stroke(cr);
                cairo_move_to(cr, 5, 9.2);
                cairo_line_to(cr, 8, 12.2);
                cairo_line_to(cr, 13.2, 5.8);
                cairo_set_line_width(cr, 2.2);
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
                SetColor(cr, Hex(0xFFFFFF));
                cairo_stroke(cr);
            } else {
                cairo_pattern_t* p = VerticalGradient(1, 17, Hex(0xF1ECE1), Hex(0xFFFFFF));
                FillPattern(cr, p);
                cairo_set_line_width(cr, 1);
                SetColor(cr, Hex(0xA8946C));
                cairo_stroke(cr);
            }
            sprite.frames.push_back(std::move(frame));
            sprite.keyX.push_back(0);
            sprite.keyY.push_back(0);
        }
        return sprite;
    }

    SpriteArt AgeBadge()
    {
        SpriteArt sprite;
        sprite.name = "btn_age.tcp";
        sprite.width = 92;
        sprite.height = 34;
        auto frame = std::make_unique<Canvas>(92, 34);
        cairo_t* cr = frame->cr();
        // Whole badge below the card seam (the picture starts one row above it).
        RoundedRect(cr, 0.5, 2.5, 90, 30, 5);
        SetColor(cr, Hex(0x0A1120, 0.85));
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 1);
        SetColor(cr, Hex(0xB48A45, 0.8));
        cairo_stroke(cr);
        RoundedRect(cr, 3, 5, 26, 25, 3.5);
        cairo_pattern_t* green = VerticalGradient(5, 30, Hex(0x4CC267), Hex(0x1E7A3A));
        FillPattern(cr, green);
        cairo_new_path(cr);
        TextStyle age { "DejaVu Sans", 12, true, -0.5 };
        TextPathCentered(cr, "16+", age, 3, 5, 26, 25);
        SetColor(cr, Hex(0xFFFFFF));
        cairo_fill(cr);
        TextStyle label { "WenQuanYi Micro Hei", 12, false, 0.5 };
        TextPathCentered(cr, "适龄提示", label, 31, 4, 58, 27);
        SetColor(cr, Hex(0xE9DDBF));
        cairo_fill(cr);
        sprite.frames.push_back(std::move(frame));
        sprite.keyX.push_back(0);
        sprite.keyY.push_back(0);
        return sprite;
    }

} // namespace

std::vector<SpriteArt> DrawButtonSprites()
{
    std::vector<SpriteArt> sprites;
    sprites.push_back(ActionButton("btn_install.tcp", "开始安装", kAmber));
    sprites.push_back(ActionButton("btn_continue.tcp", "继续", kTealGreen));
    sprites.push_back(ActionButton("btn_stop.tcp", "暂停", kSteel));
    sprites.push_back(ActionButton("btn_finish.tcp", "完成", kGreenGold));
    sprites.push_back(
        FourLooks("btn_accept.tcp", 110, 34, [](Canvas& c, Look look) { PillButton(c, look, kAmber, "同意", 15, 7); }));
    sprites.push_back(
        FourLooks("btn_refuse.tcp", 110, 34, [](Canvas& c, Look look) { PillButton(c, look, kPaper, "拒绝", 15, 7); }));
    sprites.push_back(
        FourLooks("btn_choose.tcp", 56, 25, [](Canvas& c, Look look) { PillButton(c, look, kPaper, "浏览", 12, 5); }));
    sprites.push_back(Chip("btn_set.tcp", 28, 28, Glyph::kGear));
    sprites.push_back(Chip("btn_min.tcp", 24, 18, Glyph::kMinimise));
    sprites.push_back(Chip("btn_exit.tcp", 24, 24, Glyph::kClose));
    sprites.push_back(FourLooks("btn_up.tcp", geo::kScrollColumn, geo::kScrollArrow,
        [](Canvas& c, Look look) { ScrollButton(c, look, ScrollPart::kUp); }));
    sprites.push_back(FourLooks("btn_down.tcp", geo::kScrollColumn, geo::kScrollArrow,
        [](Canvas& c, Look look) { ScrollButton(c, look, ScrollPart::kDown); }));
    sprites.push_back(FourLooks("btn_thumb.tcp", geo::kScrollColumn, geo::kScrollThumb,
        [](Canvas& c, Look look) { ScrollButton(c, look, ScrollPart::kThumb); }));
    sprites.push_back(CheckBox());
    sprites.push_back(AgeBadge());
    return sprites;
}

SpriteArt DrawProgressHead()
{
    SpriteArt sprite;
    sprite.name = "progress_head.tcp";
    sprite.width = geo::kHeadWidth;
    sprite.height = geo::kHeadHeight;
    const double cx = geo::kHeadWidth / 2.0, cy = geo::kHeadHeight / 2.0;
    for (int f = 0; f < geo::kHeadFrames; ++f) {
        double phase = f / double(geo::kHeadFrames);
        auto frame = std::make_unique<Canvas>(geo::kHeadWidth, geo::kHeadHeight);
        cairo_t* cr = frame->cr();
        double pulse = 0.5 + 0.5 * std::sin(phase * 2 * M_PI);
        // Horizontal flare along the bar.
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, 1, 0.28);
        Glow(cr, 0, 0, 19, Hex(0x9DF3FF, 0.55 + 0.25 * pulse));
        cairo_restore(cr);
        Glow(cr, cx, cy, 11 + 2 * pulse, Hex(0x7CF0FF, 0.75));
        // Rotating four-point star.
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_rotate(cr, phase * M_PI / 2);
        Sparkle(cr, 0, 0, 7 + 2 * pulse, Hex(0xFFFFFF, 0.95));
        cairo_restore(cr);
        Glow(cr, cx, cy, 4, Hex(0xFFFFFF, 1));
        // Two motes orbiting the core.
        for (int m = 0; m < 2; ++m) {
            double a = (phase + m * 0.5) * 2 * M_PI;
            double mx = cx + 12 * std::cos(a), my = cy + 6 * std::sin(a);
            cairo_arc(cr, mx, my, 1.2, 0, 2 * M_PI);
            cairo_set_source_rgba(cr, 0.9, 1, 1, 0.9);
            cairo_fill(cr);
            Glow(cr, mx, my, 3, Hex(0xB8FAFF, 0.6));
        }
        sprite.frames.push_back(std::move(frame));
        sprite.keyX.push_back(0);
        sprite.keyY.push_back(0);
    }
    return sprite;
}

} // namespace artgen
