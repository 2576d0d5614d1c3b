#include "tools/contactsheet/Mockup.h"

#include <iconv.h>
#include <pango/pangocairo.h>

#include <cstdio>
#include <cstdlib>

namespace sheet {

std::string GbkToUtf8(const std::string& gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return gbk;
    std::string out;
    std::string in = gbk;
    char* src = in.data();
    size_t left = in.size();
    while (left > 0) {
        char buffer[4096];
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, dst - buffer);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out += '?';
            ++src;
            --left;
        }
    }
    iconv_close(cd);
    return out;
}

namespace {

    PangoLayout* MakeLayout(cairo_t* cr, double px)
    {
        PangoLayout* layout = pango_cairo_create_layout(cr);
        PangoFontDescription* desc = pango_font_description_from_string("WenQuanYi Micro Hei");
        pango_font_description_set_absolute_size(desc, px * PANGO_SCALE);
        pango_layout_set_font_description(layout, desc);
        pango_font_description_free(desc);
        return layout;
    }

    void Paint(cairo_t* cr, const Surface& s, double x, double y)
    {
        if (!s.s)
            return;
        cairo_set_source_surface(cr, s.s, x, y);
        cairo_paint(cr);
    }

    // Cell |cell| of a strip of |frames| equal cells.
    void PaintCell(cairo_t* cr, const Surface& s, int frames, int cell, double x, double y)
    {
        if (!s.s || frames <= 0)
            return;
        int w = s.Width() / frames;
        if (cell * w >= s.Width())
            cell = 0;
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, s.Height());
        cairo_clip(cr);
        cairo_set_source_surface(cr, s.s, x - cell * w, y);
        cairo_paint(cr);
        cairo_restore(cr);
    }

    std::string Escape(const std::string& text)
    {
        char* e = g_markup_escape_text(text.c_str(), -1);
        std::string out = e;
        g_free(e);
        return out;
    }

    // The rich-text markup ("#cRRGGBB", "#hNN", "#d", "#u", "#t", "#n", "#r" and
    // the colour letters) as pango markup, one paragraph per "#r".
    void RichText(cairo_t* cr, const std::string& gbk, double x, double y, double w, double h, double scroll)
    {
        std::string text = gbk;
        std::string colour = "#000000";
        int height = 16;
        bool bold = false, underline = false, centred = false;
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, h);
        cairo_clip(cr);
        double cy = y - scroll;
        std::string markup;
        auto flushLine = [&]() {
            PangoLayout* layout = MakeLayout(cr, 12);
            pango_layout_set_width(layout, static_cast<int>(w * PANGO_SCALE));
            pango_layout_set_wrap(layout, PANGO_WRAP_CHAR);
            pango_layout_set_alignment(layout, centred ? PANGO_ALIGN_CENTER : PANGO_ALIGN_LEFT);
            pango_layout_set_markup(layout, markup.c_str(), -1);
            cairo_move_to(cr, x, cy);
            pango_cairo_show_layout(cr, layout);
            int lw, lh;
            pango_layout_get_pixel_size(layout, &lw, &lh);
            cy += markup.empty() ? 0 : lh + 6;
            g_object_unref(layout);
            markup.clear();
            centred = false;
        };
        std::string run;
        auto flushRun = [&]() {
            if (run.empty())
                return;
            char span[160];
            std::snprintf(span, sizeof span, "<span foreground='%s' size='%d'%s%s>", colour.c_str(),
                height * 3 / 4 * PANGO_SCALE, bold ? " weight='bold'" : "", underline ? " underline='single'" : "");
            markup += span + Escape(GbkToUtf8(run)) + "</span>";
            run.clear();
        };
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '#' || i + 1 >= text.size()) {
                run += text[i];
                continue;
            }
            char t = text[i + 1];
            if (t == 'c' && i + 7 < text.size()) {
                flushRun();
                colour = "#" + text.substr(i + 2, 6);
                i += 7;
            } else if (t == 'h' && i + 3 < text.size()) {
                flushRun();
                height = std::atoi(text.substr(i + 2, 2).c_str());
                i += 3;
            } else if (t == 'd') {
                flushRun();
                bold = true;
                ++i;
            } else if (t == 'u') {
                flushRun();
                underline = true;
                ++i;
            } else if (t == 't') {
                flushRun();
                centred = true;
                ++i;
            } else if (t == 'n') {
                flushRun();
                bold = underline = false;
                ++i;
            } else if (t == 'K') {
                flushRun();
                colour = "#000000";
                ++i;
            } else if (t == 'r') {
                flushRun();
                flushLine();
                ++i;
            } else
                run += text[i];
        }
        flushRun();
        flushLine();
        cairo_restore(cr);
    }

    void Text(cairo_t* cr, const std::string& utf8, double x, double y, double px, uint32_t rgb, bool bold = false)
    {
        PangoLayout* layout = MakeLayout(cr, px);
        std::string m = std::string("<span") + (bold ? " weight='bold'" : "") + ">" + Escape(utf8) + "</span>";
        pango_layout_set_markup(layout, m.c_str(), -1);
        cairo_set_source_rgb(cr, ((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0, (rgb & 255) / 255.0);
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, layout);
        g_object_unref(layout);
    }

} // namespace

void Label(cairo_t* cr, const std::string& utf8, double x, double y, double px, double r, double g, double b)
{
    Text(cr, utf8, x, y, px, (uint32_t(r * 255) << 16) | (uint32_t(g * 255) << 8) | uint32_t(b * 255));
}

bool DrawMainWindow(cairo_t* cr, const SkinFiles& files, PageState state, int percent, std::string* error)
{
    std::string background;
    std::vector<LayoutChild> children;
    if (!files.Layout("ui_panel1.lua", &background, &children, error))
        return false;
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, 868, 513);
    cairo_clip(cr);
    Paint(cr, files.Picture(background), 0, 0);
    bool downloading = state == PageState::kDownloading;
    for (const LayoutChild& c : children) {
        const std::string& n = c.name;
        if ((n == "install" && state != PageState::kReady) || (n == "stop" && !downloading) || n == "continue"
            || (n == "finish" && state != PageState::kCompleted)) {
            continue;
        }
        if (c.type == "UContainer") {
            Surface web = files.Picture("web_bg.png");
            if (web.s) {
                cairo_save(cr);
                cairo_rectangle(cr, c.x, c.y, c.w, c.h);
                cairo_clip(cr);
                Paint(cr, web, 0, 0);
                cairo_restore(cr);
            }
        } else if (c.type == "UEdit") {
            Text(cr, "D:\\Program Files\\Orvane\\Zephyra\\", c.x, c.y - 1, 12, 0x333333);
        } else if (c.type == "UProgress") {
            Surface bar = files.Picture(c.fn);
            int filled = (state == PageState::kReady ? 0 : state == PageState::kCompleted ? 100 : percent) * 638 / 100;
            if (bar.s && filled > 0) {
                cairo_save(cr);
                cairo_rectangle(cr, c.x, c.y, filled, bar.Height());
                cairo_clip(cr);
                Paint(cr, bar, c.x, c.y);
                cairo_restore(cr);
            }
        } else if (c.type == "UAnimate") {
            if (downloading) {
                int x = static_cast<int>(percent / 100.0 * 638 + 100);
                PaintCell(cr, files.Picture(c.fn), c.frames, 4, x, 384);
            }
        } else if (c.type == "UCheckButton") {
            PaintCell(cr, files.Picture(c.fn), 2, state == PageState::kReady ? 0 : 1, c.x, c.y);
        } else if (c.type == "UBubble") {
            std::string fn = c.fn;
            if (n.rfind("percent_", 0) == 0) {
                if (state == PageState::kReady)
                    continue;
                int p = state == PageState::kCompleted ? 100 : percent;
                if (n == "percent_hun" && p < 100)
                    continue;
                if (n == "percent_ten") {
                    if (p < 10)
                        continue;
                    fn = "loading_num_" + std::to_string((p / 10) % 10) + ".png";
                }
                if (n == "percent_one")
                    fn = "loading_num_" + std::to_string(p % 10) + ".png";
            }
            Paint(cr, files.Picture(fn), c.x, c.y);
        } else if (c.type == "UImageButton") {
            // Hover look on the action button, to show a second state.
            int cell = (n == "stop" || n == "finish") ? 2 : 0;
            PaintCell(cr, files.Picture(c.fn), c.frames, cell, c.x, c.y);
        }
    }
    // The texts the page draws itself.
    if (downloading) {
        Text(cr, "预计还需 1小时30分", 216, 373, 12, 0xC4B78B);
        char info[128];
        std::snprintf(info, sizeof info, "文件大小：%.1fG/12.4G  下载速度：2.0MB/s", 12.4 * percent / 100);
        Text(cr, info, 438, 373, 12, 0x7D7D7D);
    } else if (state == PageState::kCompleted) {
        Text(cr, "下载完成", 216, 373, 12, 0xC4B78B);
    }
    Text(cr, "我已经详细阅读并同意", 305, 315, 12, 0x6B6B6B);
    Text(cr, "《最终用户使用许可协议》", 425, 315, 12, 0xA73832);
    cairo_restore(cr);
    return true;
}

bool DrawLicenceWindow(cairo_t* cr, const SkinFiles& files, std::string* error)
{
    std::string background;
    std::vector<LayoutChild> children;
    if (!files.Layout("ui_panel2.lua", &background, &children, error))
        return false;
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, 488, 510);
    cairo_clip(cr);
    Paint(cr, files.Picture(background), 0, 0);
    for (const LayoutChild& c : children) {
        if (c.type != "UImageButton")
            continue;
        PaintCell(cr, files.Picture(c.fn), c.frames, c.name == "accept" ? 2 : 0, c.x, c.y);
    }
    Text(cr, "最终用户使用许可协议", 168, 35, 14, 0x000000, true);
    // Licence text: every CRLF becomes a markup line break.
    std::string text;
    zdl::QfaArchive::Entry last;
    if (files.Archive().EntryAt(files.Archive().Count() - 1, &last)) {
        text.assign(reinterpret_cast<const char*>(last.data), last.size);
    }
    for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p)) {
        text.replace(p, 2, "#r");
    }
    RichText(cr, text, 59, 57, 383, 387, 0);
    // Scroll bar: track centred on the column, arrows at the ends, thumb.
    Surface up = files.Picture("btn_up.tcp"), down = files.Picture("btn_down.tcp");
    Surface thumb = files.Picture("btn_thumb.tcp"), track = files.Picture("scroll.png");
    int column = std::max(up.Width(), down.Width()) / 4;
    double centre = 454 - column / 2.0;
    Paint(cr, track, centre - track.Width() / 2.0, 55 + (392 - track.Height()) / 2.0);
    PaintCell(cr, up, 4, 0, centre - up.Width() / 8.0, 55);
    PaintCell(cr, down, 4, 0, centre - down.Width() / 8.0, 447 - down.Height());
    PaintCell(cr, thumb, 4, 0, centre - thumb.Width() / 8.0, 55 + (392 - track.Height()) / 2.0 + 5);
    cairo_restore(cr);
    return true;
}

} // namespace sheet
