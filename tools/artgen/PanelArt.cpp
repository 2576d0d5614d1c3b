#include "tools/artgen/PanelArt.h"

#include <cmath>
#include <string>

#include "tools/artgen/SkinGeometry.h"

namespace artgen {

using namespace palette;

namespace {

    void Crystal(cairo_t* cr, double cx, double cy, double h, double w);

    // Thin translucent curves that suggest wind across a dark area.
    void WindStreaks(cairo_t* cr, const geo::Box& area, uint32_t seed, int count, double alpha)
    {
        Random rnd(seed);
        cairo_save(cr);
        cairo_rectangle(cr, area.x, area.y, area.w, area.h);
        cairo_clip(cr);
        for (int i = 0; i < count; ++i) {
            double y = area.y + rnd.Uniform(0, area.h);
            double x0 = area.x + rnd.Uniform(-80, area.w * 0.5);
            double len = rnd.Uniform(area.w * 0.3, area.w * 0.8);
            double bend = rnd.Uniform(-30, 30);
            cairo_pattern_t* p = cairo_pattern_create_linear(x0, 0, x0 + len, 0);
            Rgba c = Mix(kCyanGlow, Hex(0xFFFFFF), rnd.Uniform(0, 0.6));
            AddStop(p, 0, { c.r, c.g, c.b, 0 });
            AddStop(p, 0.5, { c.r, c.g, c.b, alpha * rnd.Uniform(0.4, 1) });
            AddStop(p, 1, { c.r, c.g, c.b, 0 });
            cairo_move_to(cr, x0, y);
            cairo_curve_to(cr, x0 + len * 0.3, y + bend, x0 + len * 0.7, y - bend, x0 + len, y + bend * 0.3);
            cairo_set_line_width(cr, rnd.Uniform(0.6, 1.6));
            cairo_set_source(cr, p);
            cairo_stroke(cr);
            cairo_pattern_destroy(p);
        }
        cairo_restore(cr);
    }

    void Stars(cairo_t* cr, const geo::Box& area, uint32_t seed, int count)
    {
        Random rnd(seed);
        for (int i = 0; i < count; ++i) {
            double x = area.x + rnd.Uniform(0, area.w);
            double y = area.y + rnd.Uniform(0, area.h);
            double r = rnd.Uniform(0.4, 1.2);
            double a = rnd.Uniform(0.15, 0.7);
            cairo_arc(cr, x, y, r, 0, 2 * M_PI);
            cairo_set_source_rgba(cr, 0.85, 0.95, 1.0, a);
            cairo_fill(cr);
        }
    }

    // Three small icons drawn in a 26 px circle centred at (cx, cy).
    void FeatureIcon(cairo_t* cr, int kind, double cx, double cy)
    {
        cairo_save(cr);
        cairo_arc(cr, cx, cy, 13, 0, 2 * M_PI);
        cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy - 4, 2, cx, cy, 14);
        AddStop(p, 0, Hex(0x2C4A7A));
        AddStop(p, 1, Hex(0x162544));
        FillPattern(cr, p);
        cairo_set_line_width(cr, 1.2);
        SetColor(cr, Hex(0x4FD3E3, 0.8));
        cairo_stroke(cr);
        SetColor(cr, kGoldLight);
        cairo_set_line_width(cr, 1.6);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        if (kind == 0) { // lightning bolt
            cairo_move_to(cr, cx + 2, cy - 8);
            cairo_line_to(cr, cx - 5, cy + 1);
            cairo_line_to(cr, cx, cy + 1);
            cairo_line_to(cr, cx - 2, cy + 8);
            cairo_line_to(cr, cx + 5, cy - 1);
            cairo_line_to(cr, cx, cy - 1);
            cairo_close_path(cr);
            cairo_fill(cr);
        } else if (kind == 1) { // shield with a tick
            cairo_move_to(cr, cx, cy - 8);
            cairo_curve_to(cr, cx + 4, cy - 6, cx + 6, cy - 6, cx + 7, cy - 6);
            cairo_curve_to(cr, cx + 7, cy + 2, cx + 4, cy + 6, cx, cy + 8);
            cairo_curve_to(cr, cx - 4, cy + 6, cx - 7, cy + 2, cx - 7, cy - 6);
            cairo_curve_to(cr, cx - 6, cy - 6, cx - 4, cy - 6, cx, cy - 8);
            cairo_close_path(cr);
            cairo_stroke(cr);
            cairo_move_to(cr, cx - 3, cy);
            cairo_line_to(cr, cx - 0.5, cy + 2.5);
            cairo_line_to(cr, cx + 3.5, cy - 2.5);
            cairo_stroke(cr);
        } else { // circular arrow
            cairo_arc(cr, cx, cy, 6.5, -M_PI * 0.35, M_PI * 1.4);
            cairo_stroke(cr);
            double ax = cx + 6.5 * std::cos(-M_PI * 0.35), ay = cy + 6.5 * std::sin(-M_PI * 0.35);
            cairo_move_to(cr, ax - 4, ay - 1.5);
            cairo_line_to(cr, ax + 0.5, ay + 0.5);
            cairo_line_to(cr, ax + 1, ay - 4.5);
            cairo_stroke(cr);
        }
        cairo_restore(cr);
    }

    void FeatureColumn(cairo_t* cr)
    {
        struct Feature {
            const char* title;
            const char* line;
        };
        const Feature features[]
            = { { "极速下载", "P2P多线程加速" }, { "安全校验", "逐块校验不出错" }, { "断点续传", "随时暂停与继续" } };
        double x = 670, y = 136;
        for (int i = 0; i < 3; ++i) {
            double cy = y + i * 40 + 14;
            FeatureIcon(cr, i, x + 13, cy);
            TextStyle title { "WenQuanYi Micro Hei", 12, true, 0.5 };
            TextPath(cr, features[i].title, title, x + 33, cy - 15);
            SetColor(cr, Hex(0xF1E6C8));
            cairo_fill(cr);
            TextStyle line { "WenQuanYi Micro Hei", 10, false, 0 };
            TextPath(cr, features[i].line, line, x + 33, cy + 1);
            SetColor(cr, Hex(0x8EA3C7));
            cairo_fill(cr);
        }
    }

    // The landscape shown in the banner slot while the news page loads.
    void BannerPicture(cairo_t* cr, const geo::Box& b)
    {
        cairo_save(cr);
        RoundedRect(cr, b.x, b.y, b.w, b.h, 3);
        cairo_clip(cr);
        cairo_pattern_t* sky = cairo_pattern_create_linear(0, b.y, 0, b.y + b.h);
        AddStop(sky, 0, Hex(0x16264F));
        AddStop(sky, 0.45, Hex(0x3A4F8F));
        AddStop(sky, 0.8, Hex(0xC7837A));
        AddStop(sky, 1, Hex(0xF2B77A));
        cairo_rectangle(cr, b.x, b.y, b.w, b.h);
        cairo_set_source(cr, sky);
        cairo_fill(cr);
        cairo_pattern_destroy(sky);

        // Setting moon and its halo.
        double mx = b.x + b.w * 0.66, my = b.y + b.h * 0.5;
        Glow(cr, mx, my, 80, Hex(0xFFD9A0, 0.55));
        cairo_arc(cr, mx, my, 17, 0, 2 * M_PI);
        SetColor(cr, Hex(0xFFF1D6));
        cairo_fill(cr);
        Stars(cr, { b.x, b.y, b.w, b.h * 0.45 }, 77, 40);

        // Three ridges, far to near.
        const uint32_t ridge[] = { 0x5A5F93, 0x33406F, 0x1A2446 };
        Random rnd(991);
        for (int layer = 0; layer < 3; ++layer) {
            double base = b.y + b.h * (0.62 + layer * 0.12);
            cairo_move_to(cr, b.x, b.y + b.h);
            double x = b.x;
            cairo_line_to(cr, x, base);
            while (x < b.x + b.w) {
                double step = rnd.Uniform(22, 55) - layer * 5;
                double peak = base - rnd.Uniform(8, 30) + layer * 4;
                cairo_curve_to(cr, x + step * 0.3, peak, x + step * 0.6, peak, x + step, base - rnd.Uniform(0, 8));
                x += step;
            }
            cairo_line_to(cr, b.x + b.w, b.y + b.h);
            cairo_close_path(cr);
            SetColor(cr, Hex(ridge[layer]));
            cairo_fill(cr);
        }

        // A floating island with a spire, right of centre: lit top, rocky
        // underside tapering to a jagged point.
        double ix = b.x + b.w * 0.86, iy = b.y + b.h * 0.32;
        Glow(cr, ix, iy + 8, 46, Hex(0x8FE9FF, 0.22));
        Random rock(606);
        cairo_move_to(cr, ix - 36, iy);
        const int kTeeth = 9;
        for (int i = 1; i < kTeeth; ++i) {
            double t = i / double(kTeeth);
            double x = ix - 36 + 72 * t;
            double depth = (1 - std::fabs(t - 0.5) * 2) * 30 + rock.Uniform(-4, 5);
            cairo_line_to(cr, x - 3, iy + depth * 0.55);
            cairo_line_to(cr, x, iy + depth);
        }
        cairo_line_to(cr, ix + 36, iy);
        cairo_close_path(cr);
        cairo_pattern_t* under = VerticalGradient(iy, iy + 32, Hex(0x3A3F6E), Hex(0x1B2042));
        cairo_set_source(cr, under);
        cairo_fill(cr);
        cairo_pattern_destroy(under);
        cairo_save(cr);
        cairo_translate(cr, ix, iy);
        cairo_scale(cr, 1, 0.22);
        cairo_arc(cr, 0, 0, 37, 0, 2 * M_PI);
        cairo_restore(cr);
        cairo_pattern_t* top = VerticalGradient(iy - 8, iy + 8, Hex(0x8FA8E8), Hex(0x4A5C9A));
        cairo_set_source(cr, top);
        cairo_fill(cr);
        cairo_pattern_destroy(top);
        // Spire with a lit window and a beacon.
        cairo_move_to(cr, ix - 5, iy);
        cairo_line_to(cr, ix - 3, iy - 24);
        cairo_line_to(cr, ix, iy - 34);
        cairo_line_to(cr, ix + 3, iy - 24);
        cairo_line_to(cr, ix + 5, iy);
        cairo_close_path(cr);
        cairo_pattern_t* spire = cairo_pattern_create_linear(ix - 5, 0, ix + 5, 0);
        AddStop(spire, 0, Hex(0x2A3163));
        AddStop(spire, 1, Hex(0x6E7FC4));
        cairo_set_source(cr, spire);
        cairo_fill(cr);
        cairo_pattern_destroy(spire);
        cairo_rectangle(cr, ix - 1, iy - 16, 2, 3);
        SetColor(cr, Hex(0xFFE3A0));
        cairo_fill(cr);
        Glow(cr, ix, iy - 34, 9, Hex(0x9BF6FF, 0.9));
        // Two small crystals on the rim.
        for (int side = -1; side <= 1; side += 2) {
            double cx = ix + side * 20, cy = iy - 1;
            cairo_move_to(cr, cx, cy - 8);
            cairo_line_to(cr, cx + 2.5, cy);
            cairo_line_to(cr, cx - 2.5, cy);
            cairo_close_path(cr);
            SetColor(cr, Hex(0x9BF6FF, 0.9));
            cairo_fill(cr);
            Glow(cr, cx, cy - 4, 6, Hex(0x9BF6FF, 0.5));
        }

        // Birds.
        cairo_set_line_width(cr, 1);
        cairo_set_source_rgba(cr, 0.1, 0.12, 0.22, 0.8);
        const double birds[][2] = { { 0.72, 0.22 }, { 0.76, 0.17 }, { 0.79, 0.24 } };
        for (const auto& bird : birds) {
            double bx = b.x + b.w * bird[0], by = b.y + b.h * bird[1];
            cairo_move_to(cr, bx - 4, by - 2);
            cairo_curve_to(cr, bx - 2, by - 3, bx - 1, by - 1, bx, by);
            cairo_curve_to(cr, bx + 1, by - 1, bx + 2, by - 3, bx + 4, by - 2);
            cairo_stroke(cr);
        }
        WindStreaks(cr, b, 4242, 10, 0.35);

        // Headline.
        TextStyle head { "WenQuanYi Micro Hei", 22, true, 3 };
        TextStyle sub { "WenQuanYi Micro Hei", 11, false, 1 };
        {
            Canvas glow(static_cast<int>(b.w), static_cast<int>(b.h));
            TextPath(glow.cr(), "乘风而起 · 逐梦苍穹", head, 22, 28);
            cairo_set_source_rgba(glow.cr(), 0.45, 0.9, 1.0, 0.9);
            cairo_fill(glow.cr());
            glow.Blur(3);
            cairo_save(cr);
            cairo_set_source_surface(cr, glow.surface(), b.x, b.y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        TextPath(cr, "乘风而起 · 逐梦苍穹", head, b.x + 22, b.y + 28);
        cairo_pattern_t* gold = VerticalGradient(b.y + 30, b.y + 56, Hex(0xFFFFFF), kGoldLight);
        cairo_set_source(cr, gold);
        cairo_fill(cr);
        cairo_pattern_destroy(gold);
        TextPath(cr, "全新版本 · 风之大陆 现已开放", sub, b.x + 24, b.y + 62);
        SetColor(cr, Hex(0xE9EEF9, 0.9));
        cairo_fill(cr);
        cairo_restore(cr);
    }

    // The dark recess under the banner when no page and no placeholder show.
    void BannerBackdrop(cairo_t* cr, const geo::Box& b)
    {
        cairo_save(cr);
        cairo_rectangle(cr, b.x, b.y, b.w, b.h);
        cairo_pattern_t* p = VerticalGradient(b.y, b.y + b.h, Hex(0x0C152B), Hex(0x111D38));
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        double cx = b.x + b.w / 2, cy = b.y + b.h / 2;
        Glow(cr, cx, cy, 110, Hex(0x2FB8C8, 0.18));
        cairo_set_line_width(cr, 1);
        for (int i = 0; i < 3; ++i) {
            cairo_arc(cr, cx, cy, 26 + i * 14, 0, 2 * M_PI);
            cairo_set_source_rgba(cr, 0.5, 0.85, 0.95, 0.10 - i * 0.025);
            cairo_stroke(cr);
        }
        cairo_restore(cr);
    }

    void PanelBorder(cairo_t* cr, const geo::Box& p, double r)
    {
        RoundedRect(cr, p.x + 0.5, p.y + 0.5, p.w - 1, p.h - 1, r);
        cairo_set_line_width(cr, 1);
        cairo_pattern_t* g = VerticalGradient(p.y, p.y + p.h, Hex(0xE8C57E, 0.9), Hex(0x8E6A33, 0.7));
        cairo_set_source(cr, g);
        cairo_stroke(cr);
        cairo_pattern_destroy(g);
        RoundedRect(cr, p.x + 1.5, p.y + 1.5, p.w - 3, p.h - 3, r - 1);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.07);
        cairo_stroke(cr);
    }

    // The health advice line that Chinese game clients show.
    void HealthAdvice(cairo_t* cr, double centreX, double y)
    {
        TextStyle style { "WenQuanYi Micro Hei", 10, false, 0 };
        const std::string text = "抵制不良游戏，拒绝盗版游戏。注意自我保护，谨防受骗上当。"
                                 "适度游戏益脑，沉迷游戏伤身。合理安排时间，享受健康生活。";
        TextSize size = MeasureText(cr, text, style);
        TextPath(cr, text, style, centreX - size.width / 2, y);
        SetColor(cr, Hex(0x6F7D99));
        cairo_fill(cr);
    }

} // namespace

void DrawMainBackground(Canvas& canvas, BannerSlot slot)
{
    cairo_t* cr = canvas.cr();
    const geo::Box& p = geo::kPanel;
    DropShadow(canvas, p.x, p.y, p.w, p.h, geo::kPanelRadius, 28, 7, 0.65);

    cairo_save(cr);
    RoundedRect(cr, p.x, p.y, p.w, p.h, geo::kPanelRadius);
    cairo_clip(cr);

    // Upper band: night sky with a teal light behind the crest.
    double upperBottom = geo::kCardTop;
    cairo_rectangle(cr, p.x, p.y, p.w, upperBottom - p.y);
    cairo_pattern_t* sky = VerticalGradient(p.y, upperBottom, kIndigo, kNight);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);
    cairo_rectangle(cr, p.x, p.y, p.w, upperBottom - p.y);
    cairo_clip(cr);
    Glow(cr, 120, 110, 330, Hex(0x1E8FA8, 0.45));
    Glow(cr, 720, 60, 260, Hex(0x5B3D8F, 0.35));
    Stars(cr, { p.x, p.y, p.w, upperBottom - p.y }, 1234, 140);
    WindStreaks(cr, { p.x, p.y, p.w, upperBottom - p.y }, 5151, 26, 0.16);
    // Soft rays from the crest's corner.
    for (int i = 0; i < 6; ++i) {
        double a = (8 + i * 9) * M_PI / 180;
        double len = 760;
        cairo_move_to(cr, 100, 100);
        cairo_line_to(cr, 100 + len * std::cos(a - 0.025), 100 + len * std::sin(a - 0.025));
        cairo_line_to(cr, 100 + len * std::cos(a + 0.025), 100 + len * std::sin(a + 0.025));
        cairo_close_path(cr);
        cairo_pattern_t* ray = cairo_pattern_create_radial(100, 100, 0, 100, 100, len);
        AddStop(ray, 0, Hex(0x8FE9FF, 0.10));
        AddStop(ray, 1, Hex(0x8FE9FF, 0));
        cairo_set_source(cr, ray);
        cairo_fill(cr);
        cairo_pattern_destroy(ray);
    }
    // Distant mountains along the bottom of the band.
    Random hills(8080);
    for (int layer = 0; layer < 2; ++layer) {
        double base = upperBottom - 22 + layer * 10;
        cairo_move_to(cr, p.x, upperBottom);
        double x = p.x;
        cairo_line_to(cr, x, base);
        while (x < p.x + p.w) {
            double step = hills.Uniform(40, 90);
            double peak = base - hills.Uniform(10, 38) + layer * 8;
            cairo_curve_to(cr, x + step * 0.35, peak, x + step * 0.55, peak, x + step, base - hills.Uniform(0, 6));
            x += step;
        }
        cairo_line_to(cr, p.x + p.w, upperBottom);
        cairo_close_path(cr);
        SetColor(cr, layer == 0 ? Hex(0x1A2A4C, 0.8) : Hex(0x0E1830, 0.95));
        cairo_fill(cr);
    }
    cairo_reset_clip(cr);
    RoundedRect(cr, p.x, p.y, p.w, p.h, geo::kPanelRadius);
    cairo_clip(cr);

    // Header rule under the title row.
    cairo_move_to(cr, 236, 118.5);
    cairo_line_to(cr, p.x + p.w - 24, 118.5);
    cairo_pattern_t* rule = cairo_pattern_create_linear(236, 0, p.x + p.w - 24, 0);
    AddStop(rule, 0, Hex(0xD9A752, 0));
    AddStop(rule, 0.3, Hex(0xD9A752, 0.5));
    AddStop(rule, 1, Hex(0xD9A752, 0));
    cairo_set_source(cr, rule);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_pattern_destroy(rule);

    if (slot == BannerSlot::kPlaceholder) {
        BannerPicture(cr, geo::kBanner);
    } else {
        BannerBackdrop(cr, geo::kBanner);
    }
    FeatureColumn(cr);

    // Light card band.
    double cardH = geo::kFooterTop - geo::kCardTop;
    cairo_rectangle(cr, p.x, geo::kCardTop, p.w, cardH);
    cairo_pattern_t* card = VerticalGradient(geo::kCardTop, geo::kFooterTop, Hex(0xF8F5EE), Hex(0xECE5D7));
    cairo_set_source(cr, card);
    cairo_fill(cr);
    cairo_pattern_destroy(card);
    // Gold seam and a soft shade under the dark band.
    cairo_rectangle(cr, p.x, geo::kCardTop, p.w, 6);
    cairo_pattern_t* shade = VerticalGradient(geo::kCardTop, geo::kCardTop + 6, Hex(0x000000, 0.18), Hex(0x000000, 0));
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    cairo_rectangle(cr, p.x, geo::kCardTop - 1, p.w, 1);
    SetColor(cr, Hex(0xD9A752));
    cairo_fill(cr);
    // White well under the folder field (the frame is edit_bg.png).
    const geo::Box& f = geo::kEditFrame;
    RoundedRect(cr, f.x + 1, f.y + 1, f.w - 2, f.h - 2, 4);
    SetColor(cr, Hex(0xFFFFFF));
    cairo_fill(cr);

    // Footer band.
    cairo_rectangle(cr, p.x, geo::kFooterTop, p.w, p.y + p.h - geo::kFooterTop);
    cairo_pattern_t* foot = VerticalGradient(geo::kFooterTop, p.y + p.h, Hex(0x18233A), Hex(0x0C1322));
    cairo_set_source(cr, foot);
    cairo_fill(cr);
    cairo_pattern_destroy(foot);
    cairo_rectangle(cr, p.x, geo::kFooterTop, p.w, 1);
    SetColor(cr, Hex(0xB48A45));
    cairo_fill(cr);
    cairo_rectangle(cr, p.x, geo::kFooterTop + 1, p.w, 1);
    SetColor(cr, Hex(0xFFFFFF, 0.06));
    cairo_fill(cr);
    Glow(cr, 710, 380, 90, Hex(0x2FB8C8, 0.10));

    // Progress groove: the bar image fills it from the left.
    const geo::Box& g = geo::kProgress;
    RoundedRect(cr, g.x - 2, g.y - 2, g.w + 4, g.h + 4, (g.h + 4) / 2);
    SetColor(cr, Hex(0x050913));
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    SetColor(cr, Hex(0x34425F, 0.9));
    cairo_stroke(cr);
    RoundedRect(cr, g.x, g.y, g.w, g.h, g.h / 2);
    cairo_pattern_t* in = VerticalGradient(g.y, g.y + g.h, Hex(0x020409), Hex(0x141D31));
    cairo_set_source(cr, in);
    cairo_fill(cr);
    cairo_pattern_destroy(in);
    // Quarter marks under the groove.
    for (int i = 1; i < 4; ++i) {
        double x = g.x + g.w * i / 4.0;
        cairo_rectangle(cr, std::floor(x), g.y + g.h + 5, 1, 3);
        SetColor(cr, Hex(0x4A5A7C, 0.8));
        cairo_fill(cr);
    }

    TextStyle caption { "WenQuanYi Micro Hei", 11, false, 1 };
    TextPath(cr, "下载进度", caption, g.x + 2, 374);
    SetColor(cr, Hex(0x8E9BB8));
    cairo_fill(cr);
    HealthAdvice(cr, p.x + p.w / 2, 422);
    cairo_restore(cr);
    PanelBorder(cr, p, geo::kPanelRadius);
}

void DrawLicencePanel(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    const geo::Box& p = geo::kLicencePanel;
    DropShadow(canvas, p.x, p.y, p.w, p.h, 12, 18, 4, 0.6);
    cairo_save(cr);
    RoundedRect(cr, p.x, p.y, p.w, p.h, 12);
    cairo_clip(cr);
    cairo_rectangle(cr, p.x, p.y, p.w, p.h);
    cairo_pattern_t* paper = VerticalGradient(p.y, p.y + p.h, Hex(0xF9F6EF), Hex(0xEDE6D8));
    cairo_set_source(cr, paper);
    cairo_fill(cr);
    cairo_pattern_destroy(paper);

    // Dark crown band with wind streaks.
    double bandBottom = 26;
    cairo_rectangle(cr, p.x, p.y, p.w, bandBottom - p.y);
    cairo_pattern_t* band = VerticalGradient(p.y, bandBottom, kIndigo, kNight);
    cairo_set_source(cr, band);
    cairo_fill(cr);
    cairo_pattern_destroy(band);
    WindStreaks(cr, { p.x, p.y, p.w, bandBottom - p.y }, 313, 8, 0.25);
    cairo_rectangle(cr, p.x, bandBottom, p.w, 1);
    SetColor(cr, kGold);
    cairo_fill(cr);
    Glow(cr, p.x + 18, p.y + 8, 9, Hex(0x7CF0FF, 0.6));
    Crystal(cr, p.x + 18, p.y + 8.5, 13, 7);
    TextStyle brand { "DejaVu Serif", 9, true, 2 };
    TextPath(cr, "ZEPHYRA", brand, p.x + 28, p.y + 2.5);
    SetColor(cr, kGoldLight);
    cairo_fill(cr);

    // Ornaments either side of the title (drawn at run time at 168, 35).
    const geo::Box& t = geo::kLicenceTitle;
    double midY = t.y + 8;
    for (int side = 0; side < 2; ++side) {
        double x0 = side == 0 ? 70 : 318;
        double x1 = side == 0 ? 158 : 418;
        cairo_pattern_t* line = cairo_pattern_create_linear(x0, 0, x1, 0);
        AddStop(line, side == 0 ? 0 : 1, Hex(0xC29443, 0));
        AddStop(line, side == 0 ? 1 : 0, Hex(0xC29443, 0.9));
        cairo_rectangle(cr, x0, midY, x1 - x0, 1);
        cairo_set_source(cr, line);
        cairo_fill(cr);
        cairo_pattern_destroy(line);
        double dx = side == 0 ? x1 + 3 : x0 - 3;
        cairo_move_to(cr, dx, midY - 3.5);
        cairo_line_to(cr, dx + 3.5, midY + 0.5);
        cairo_line_to(cr, dx, midY + 4.5);
        cairo_line_to(cr, dx - 3.5, midY + 0.5);
        cairo_close_path(cr);
        SetColor(cr, kGold);
        cairo_fill(cr);
    }

    // The white page under the licence text and its scroll bar.
    const geo::Box& text = geo::kLicenceText;
    RoundedRect(cr, text.x - 6.5, text.y - 2.5, text.w + 12, text.h + 5, 4);
    SetColor(cr, Hex(0xFFFFFF));
    cairo_fill_preserve(cr);
    SetColor(cr, Hex(0xD8CDB6));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);

    RoundedRect(cr, p.x + 0.5, p.y + 0.5, p.w - 1, p.h - 1, 12);
    SetColor(cr, Hex(0xB8914F, 0.9));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void DrawBannerFrame(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    double w = canvas.width(), h = canvas.height();
    double inset = geo::kBanner.x - geo::kBannerFrame.x;
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 9);
    RoundedRect(cr, inset, inset, geo::kBanner.w, geo::kBanner.h, 3);
    cairo_pattern_t* metal = VerticalGradient(0, h, Hex(0x3A4868), Hex(0x141C30));
    cairo_set_source(cr, metal);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(metal);
    cairo_new_path(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);

    cairo_set_line_width(cr, 1);
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 9);
    cairo_pattern_t* rim = VerticalGradient(0, h, Hex(0xF0D08A, 0.9), Hex(0x8A6530, 0.8));
    cairo_set_source(cr, rim);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);
    RoundedRect(cr, inset - 1.5, inset - 1.5, geo::kBanner.w + 3, geo::kBanner.h + 3, 4);
    SetColor(cr, Hex(0xD9A752, 0.85));
    cairo_stroke(cr);
    RoundedRect(cr, 1.5, 1.5, w - 3, h - 3, 8);
    SetColor(cr, Hex(0xFFFFFF, 0.10));
    cairo_stroke(cr);

    // Gold studs in the corners and at the middle of the long sides.
    const double studs[][2]
        = { { 4.5, 4.5 }, { w - 4.5, 4.5 }, { 4.5, h - 4.5 }, { w - 4.5, h - 4.5 }, { w / 2, 4 }, { w / 2, h - 4 } };
    for (const auto& s : studs) {
        cairo_move_to(cr, s[0], s[1] - 3);
        cairo_line_to(cr, s[0] + 3, s[1]);
        cairo_line_to(cr, s[0], s[1] + 3);
        cairo_line_to(cr, s[0] - 3, s[1]);
        cairo_close_path(cr);
        SetColor(cr, kGoldLight);
        cairo_fill(cr);
    }
}

void DrawLogo(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    TextStyle word { "DejaVu Serif", 31, true, 2.5 };
    TextSize size = MeasureText(cr, "ZEPHYRA", word);
    double tx = 6, ty = (canvas.height() - size.height) / 2 - 1;

    // Cyan halo behind the letters.
    Canvas halo(canvas.width(), canvas.height());
    TextPath(halo.cr(), "ZEPHYRA", word, tx, ty);
    cairo_set_source_rgba(halo.cr(), 0.3, 0.85, 1.0, 0.75);
    cairo_fill(halo.cr());
    halo.Blur(4);
    canvas.Paint(halo, 0, 0);

    TextPath(cr, "ZEPHYRA", word, tx, ty);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, 3);
    SetColor(cr, Hex(0x1A1206, 0.9));
    cairo_stroke_preserve(cr);
    double top = ty + size.baseline - 23, bottom = ty + size.baseline;
    cairo_pattern_t* gold = cairo_pattern_create_linear(0, top, 0, bottom);
    AddStop(gold, 0, Hex(0xFFF6DA));
    AddStop(gold, 0.45, Hex(0xF1CE7E));
    AddStop(gold, 0.55, Hex(0xC98F3A));
    AddStop(gold, 1, Hex(0xF4D48C));
    cairo_set_source(cr, gold);
    cairo_fill(cr);
    cairo_pattern_destroy(gold);

    // The free-edition badge.
    double bx = tx + size.width + 10, by = ty + size.baseline - 21, bw = 50, bh = 21;
    RoundedRect(cr, bx, by, bw, bh, 4);
    cairo_pattern_t* red = VerticalGradient(by, by + bh, Hex(0xD9473A), Hex(0x8E1F1A));
    cairo_set_source(cr, red);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(red);
    cairo_set_line_width(cr, 1);
    SetColor(cr, Hex(0xF3CE82));
    cairo_stroke(cr);
    TextStyle badge { "WenQuanYi Micro Hei", 13, true, 1 };
    TextPathCentered(cr, "免费版", badge, bx, by, bw, bh);
    SetColor(cr, Hex(0xFFF4DC));
    cairo_fill(cr);
}

namespace {

    // One feather as a leaf shape along the x axis, length |len|, width |wid|.
    void FeatherPath(cairo_t* cr, double len, double wid)
    {
        cairo_move_to(cr, 0, 0);
        cairo_curve_to(cr, len * 0.25, -wid, len * 0.75, -wid * 0.9, len, 0);
        cairo_curve_to(cr, len * 0.7, wid * 0.45, len * 0.25, wid * 0.55, 0, 0);
        cairo_close_path(cr);
    }

    void Feather(cairo_t* cr, double cx, double cy, double mirror, double angle, double offset, double len, double wid,
        const Rgba& base, const Rgba& tip)
    {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, mirror, 1);
        cairo_rotate(cr, angle);
        cairo_translate(cr, offset, 0);
        FeatherPath(cr, len, wid);
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, len, 0);
        AddStop(p, 0, base);
        AddStop(p, 0.6, Mix(base, tip, 0.6));
        AddStop(p, 1, tip);
        cairo_set_source(cr, p);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(p);
        cairo_set_line_width(cr, 1);
        cairo_pattern_t* edge = cairo_pattern_create_linear(0, 0, len, 0);
        AddStop(edge, 0, Hex(0xF3D48E, 0.95));
        AddStop(edge, 1, Hex(0xF3D48E, 0));
        cairo_set_source(cr, edge);
        cairo_stroke(cr);
        cairo_pattern_destroy(edge);
        // Quill and a few barbs.
        cairo_move_to(cr, 0, 0);
        cairo_curve_to(cr, len * 0.3, -wid * 0.3, len * 0.6, -wid * 0.3, len * 0.96, 0);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.6);
        cairo_stroke(cr);
        for (int i = 1; i < 5; ++i) {
            double t = 0.2 + i * 0.13;
            cairo_move_to(cr, len * t, -wid * 0.3);
            cairo_line_to(cr, len * (t + 0.08), -wid * 0.85);
        }
        cairo_set_line_width(cr, 0.6);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
        cairo_stroke(cr);
        cairo_restore(cr);
    }

    // Two tiers of feathers fanning out behind the crest; |mirror| -1 draws the
    // right wing.
    void Wing(cairo_t* cr, double cx, double cy, double mirror, double scale)
    {
        const int kFeathers = 7;
        for (int i = kFeathers - 1; i >= 0; --i) {
            double t = i / double(kFeathers - 1);
            double angle = (-172 + t * 70) * M_PI / 180;
            double len = (185 - std::fabs(t - 0.55) * 110) * scale;
            Feather(cr, cx, cy, mirror, angle, 40 * scale, len, 24 * scale, Hex(0xE9FBFF, 0.95), Hex(0x2A7FA6, 0.12));
        }
        for (int i = kFeathers - 2; i >= 0; --i) {
            double t = (i + 0.5) / double(kFeathers - 1);
            double angle = (-170 + t * 66) * M_PI / 180;
            double len = (120 - std::fabs(t - 0.5) * 60) * scale;
            Feather(cr, cx, cy, mirror, angle, 36 * scale, len, 18 * scale, Hex(0xFFF4D6, 0.95), Hex(0xD9A752, 0.25));
        }
    }

    void Crystal(cairo_t* cr, double cx, double cy, double h, double w)
    {
        double top = cy - h * 0.55, bottom = cy + h * 0.45, mid = cy - h * 0.12;
        // Left facet (shade), right facet (light), centre ridge.
        cairo_move_to(cr, cx, top);
        cairo_line_to(cr, cx - w / 2, mid);
        cairo_line_to(cr, cx, bottom);
        cairo_close_path(cr);
        cairo_pattern_t* left = cairo_pattern_create_linear(cx - w / 2, 0, cx, 0);
        AddStop(left, 0, Hex(0x0F4C6E));
        AddStop(left, 1, Hex(0x2BA9C7));
        cairo_set_source(cr, left);
        cairo_fill(cr);
        cairo_pattern_destroy(left);
        cairo_move_to(cr, cx, top);
        cairo_line_to(cr, cx + w / 2, mid);
        cairo_line_to(cr, cx, bottom);
        cairo_close_path(cr);
        cairo_pattern_t* right = cairo_pattern_create_linear(cx, 0, cx + w / 2, 0);
        AddStop(right, 0, Hex(0xC9FAFF));
        AddStop(right, 1, Hex(0x4CC8E0));
        cairo_set_source(cr, right);
        cairo_fill(cr);
        cairo_pattern_destroy(right);
        // Upper facets.
        cairo_move_to(cr, cx, top);
        cairo_line_to(cr, cx - w / 2, mid);
        cairo_line_to(cr, cx - w * 0.12, mid + h * 0.06);
        cairo_close_path(cr);
        cairo_set_source_rgba(cr, 0.85, 1, 1, 0.35);
        cairo_fill(cr);
        cairo_move_to(cr, cx, top);
        cairo_line_to(cr, cx + w / 2, mid);
        cairo_line_to(cr, cx + w * 0.12, mid + h * 0.06);
        cairo_close_path(cr);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
        cairo_fill(cr);
        // Outline.
        cairo_move_to(cr, cx, top);
        cairo_line_to(cr, cx + w / 2, mid);
        cairo_line_to(cr, cx, bottom);
        cairo_line_to(cr, cx - w / 2, mid);
        cairo_close_path(cr);
        cairo_set_line_width(cr, 1.5);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
        SetColor(cr, Hex(0xF6DFA0, 0.95));
        cairo_stroke(cr);
        cairo_move_to(cr, cx, top + 4);
        cairo_line_to(cr, cx, bottom - 4);
        cairo_set_line_width(cr, 1);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.7);
        cairo_stroke(cr);
    }

    void RuneRing(cairo_t* cr, double cx, double cy, double r)
    {
        // Dark disc with a teal core.
        cairo_arc(cr, cx, cy, r - 6, 0, 2 * M_PI);
        cairo_pattern_t* disc = cairo_pattern_create_radial(cx, cy, 5, cx, cy, r);
        AddStop(disc, 0, Hex(0x2B8FB0, 0.95));
        AddStop(disc, 0.55, Hex(0x123A60, 0.92));
        AddStop(disc, 1, Hex(0x0B1630, 0.9));
        cairo_set_source(cr, disc);
        cairo_fill(cr);
        cairo_pattern_destroy(disc);
        // Gold rings.
        cairo_pattern_t* gold = cairo_pattern_create_linear(cx - r, cy - r, cx + r, cy + r);
        AddStop(gold, 0, Hex(0xFFF0C4));
        AddStop(gold, 0.5, Hex(0xC9913E));
        AddStop(gold, 1, Hex(0xF5D58C));
        cairo_set_source(cr, gold);
        cairo_set_line_width(cr, 5);
        cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 1.5);
        cairo_arc(cr, cx, cy, r - 12, 0, 2 * M_PI);
        cairo_stroke(cr);
        // Rune ticks between the rings.
        for (int i = 0; i < 48; ++i) {
            double a = i * 2 * M_PI / 48;
            double r0 = r - 10, r1 = (i % 4 == 0) ? r - 3.5 : r - 6.5;
            cairo_move_to(cr, cx + r0 * std::cos(a), cy + r0 * std::sin(a));
            cairo_line_to(cr, cx + r1 * std::cos(a), cy + r1 * std::sin(a));
        }
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
        cairo_pattern_destroy(gold);
        // A ring of dots inside the disc.
        for (int i = 0; i < 24; ++i) {
            double a = i * 2 * M_PI / 24;
            cairo_arc(cr, cx + (r - 22) * std::cos(a), cy + (r - 22) * std::sin(a), i % 2 ? 0.9 : 1.5, 0, 2 * M_PI);
            cairo_set_source_rgba(cr, 0.75, 0.95, 1, i % 2 ? 0.35 : 0.6);
            cairo_fill(cr);
        }
        // Four cardinal gems on the outer ring.
        for (int i = 0; i < 4; ++i) {
            double a = i * M_PI / 2 + M_PI / 4;
            double gx = cx + r * std::cos(a), gy = cy + r * std::sin(a);
            cairo_arc(cr, gx, gy, 5, 0, 2 * M_PI);
            SetColor(cr, Hex(0x1B6F93));
            cairo_fill_preserve(cr);
            SetColor(cr, Hex(0xF6DFA0));
            cairo_set_line_width(cr, 1.5);
            cairo_stroke(cr);
            Glow(cr, gx - 1, gy - 1, 4, Hex(0xD8FFFF, 0.9));
        }
    }

    // Ribbons of wind sweeping around the crest.
    void Ribbons(cairo_t* cr, double cx, double cy)
    {
        struct Ribbon {
            double r, a0, a1, width, alpha;
        };
        const Ribbon ribbons[] = { { 128, 0.55, 2.9, 7, 0.55 }, { 140, -0.6, 1.2, 5, 0.45 }, { 150, 2.2, 3.9, 4, 0.35 },
            { 118, 3.6, 5.2, 6, 0.40 } };
        for (const Ribbon& rb : ribbons) {
            const int kSteps = 60;
            // Tapered band: outer edge along the arc, inner edge closer to the centre.
            for (int i = 0; i <= kSteps; ++i) {
                double t = i / double(kSteps);
                double a = rb.a0 + (rb.a1 - rb.a0) * t;
                double rr = rb.r + std::sin(t * M_PI) * 12;
                double x = cx + rr * std::cos(a), y = cy + rr * std::sin(a) * 0.92;
                if (i == 0)
                    cairo_move_to(cr, x, y);
                else
                    cairo_line_to(cr, x, y);
            }
            for (int i = kSteps; i >= 0; --i) {
                double t = i / double(kSteps);
                double a = rb.a0 + (rb.a1 - rb.a0) * t;
                double rr = rb.r + std::sin(t * M_PI) * 12 - rb.width * std::sin(t * M_PI);
                cairo_line_to(cr, cx + rr * std::cos(a), cy + rr * std::sin(a) * 0.92);
            }
            cairo_close_path(cr);
            cairo_pattern_t* p = cairo_pattern_create_linear(cx + rb.r * std::cos(rb.a0), cy + rb.r * std::sin(rb.a0),
                cx + rb.r * std::cos(rb.a1), cy + rb.r * std::sin(rb.a1));
            AddStop(p, 0, Hex(0x9DF3FF, 0));
            AddStop(p, 0.5, Hex(0xE8FEFF, rb.alpha));
            AddStop(p, 1, Hex(0x9DF3FF, 0));
            cairo_set_source(cr, p);
            cairo_fill(cr);
            cairo_pattern_destroy(p);
        }
    }

    void Crest(Canvas& canvas, double cx, double cy, double scale, bool wings)
    {
        cairo_t* cr = canvas.cr();
        Glow(cr, cx, cy, 210 * scale, Hex(0x39C6DD, 0.55));
        Glow(cr, cx, cy + 10 * scale, 260 * scale, Hex(0x6A4FC0, 0.18));
        if (wings) {
            Wing(cr, cx, cy - 8 * scale, 1, scale);
            Wing(cr, cx, cy - 8 * scale, -1, scale * 0.72);
            Ribbons(cr, cx, cy);
        }
        RuneRing(cr, cx, cy, 78 * scale);
        Glow(cr, cx, cy, 70 * scale, Hex(0xA8F6FF, 0.5));
        Crystal(cr, cx, cy, 118 * scale, 52 * scale);
    }

} // namespace

void DrawEmblem(Canvas& canvas)
{
    // Centre of the crest in picture pixels; the picture is placed at
    // (-149, -35), so the crest sits on the panel's top-left corner.
    const double cx = 250, cy = 168;
    Crest(canvas, cx, cy, 1.0, true);
    cairo_t* cr = canvas.cr();
    Random rnd(2718);
    for (int i = 0; i < 14; ++i) {
        double a = rnd.Uniform(0, 2 * M_PI);
        double r = rnd.Uniform(95, 185);
        double x = cx + r * std::cos(a), y = cy + r * std::sin(a);
        if (x - geo::kEmblem.x > 228 || x < 149 || y < 35)
            continue; // keep clear of the logo
        Sparkle(cr, x, y, rnd.Uniform(2.5, 6), Hex(0xF4FFFF, rnd.Uniform(0.6, 1)));
    }
    // Fade the lower part softly so the crest dissolves into the card.
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
    cairo_pattern_t* fade = VerticalGradient(canvas.height() - 130, canvas.height(), Hex(0, 0), Hex(0, 1));
    cairo_rectangle(cr, 0, 0, canvas.width(), canvas.height());
    cairo_set_source(cr, fade);
    cairo_fill(cr);
    cairo_pattern_destroy(fade);
    // Keep the right edge clear of the logo (drawn earlier, at x 236).
    cairo_pattern_t* side = cairo_pattern_create_linear(236 - geo::kEmblem.x - 40, 0, 236 - geo::kEmblem.x, 0);
    AddStop(side, 0, Hex(0, 0));
    AddStop(side, 1, Hex(0, 1));
    cairo_rectangle(cr, 0, 0, canvas.width(), canvas.height());
    cairo_set_source(cr, side);
    cairo_fill(cr);
    cairo_pattern_destroy(side);
    cairo_restore(cr);
}

void DrawIconArt(Canvas& canvas)
{
    double s = canvas.width() / 256.0;
    cairo_t* cr = canvas.cr();
    // Rounded tile so the icon reads at 16 px.
    RoundedRect(cr, 8 * s, 8 * s, 240 * s, 240 * s, 48 * s);
    cairo_pattern_t* tile = VerticalGradient(0, 256 * s, Hex(0x233566), Hex(0x0B1120));
    cairo_set_source(cr, tile);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(tile);
    cairo_set_line_width(cr, std::max(1.0, 6 * s));
    SetColor(cr, kGold);
    cairo_stroke(cr);
    cairo_save(cr);
    RoundedRect(cr, 8 * s, 8 * s, 240 * s, 240 * s, 48 * s);
    cairo_clip(cr);
    if (canvas.width() >= 40) {
        Crest(canvas, 128 * s, 132 * s, 1.35 * s, false);
    } else {
        // Small sizes: the crystal alone reads better than the ring's detail.
        Glow(cr, 128 * s, 128 * s, 120 * s, Hex(0x39C6DD, 0.6));
        Crystal(cr, 128 * s, 136 * s, 210 * s, 100 * s);
    }
    cairo_restore(cr);
}

void DrawSaveLabel(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    double h = canvas.height();
    // Folder icon.
    double fx = 1.5, fy = h / 2 - 6.5;
    cairo_move_to(cr, fx, fy + 1.5);
    cairo_line_to(cr, fx + 5.5, fy + 1.5);
    cairo_line_to(cr, fx + 7.5, fy + 3.5);
    cairo_line_to(cr, fx + 15, fy + 3.5);
    cairo_line_to(cr, fx + 15, fy + 13);
    cairo_line_to(cr, fx, fy + 13);
    cairo_close_path(cr);
    cairo_pattern_t* p = VerticalGradient(fy, fy + 13, Hex(0xF2C66D), Hex(0xD08F2E));
    cairo_set_source(cr, p);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(p);
    cairo_set_line_width(cr, 1);
    SetColor(cr, Hex(0x9A6420));
    cairo_stroke(cr);
    cairo_rectangle(cr, fx + 1, fy + 6, 13, 1);
    SetColor(cr, Hex(0xFFF1C9, 0.8));
    cairo_fill(cr);
    TextStyle style { "WenQuanYi Micro Hei", 12, true, 0.5 };
    TextSize size = MeasureText(cr, "安装路径", style);
    TextPath(cr, "安装路径", style, 21, (h - size.height) / 2);
    SetColor(cr, kInk);
    cairo_fill(cr);
}

void DrawEditFrame(Canvas& canvas)
{
    cairo_t* cr = canvas.cr();
    double w = canvas.width(), h = canvas.height();
    // Inner shadow along the top edge, then the border.
    cairo_save(cr);
    RoundedRect(cr, 1, 1, w - 2, h - 2, 4);
    cairo_clip(cr);
    cairo_rectangle(cr, 0, 0, w, 4);
    cairo_pattern_t* shade = VerticalGradient(1, 4, Hex(0x5A4A2A, 0.18), Hex(0x5A4A2A, 0));
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
    cairo_restore(cr);
    RoundedRect(cr, 0.5, 0.5, w - 1, h - 1, 4.5);
    cairo_set_line_width(cr, 1);
    SetColor(cr, Hex(0xC7B48E));
    cairo_stroke(cr);
}

} // namespace artgen
