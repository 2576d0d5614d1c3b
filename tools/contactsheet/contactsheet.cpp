// contactsheet: renders a packed skin archive onto one PNG so the whole skin
// can be judged at a glance.
//
//   contactsheet ARCHIVE OUT.png
//
// At the top: the download page in three states and the licence window,
// composed from "ui_panel1.lua" and "ui_panel2.lua" over a checkerboard
// that shows the windows' transparent margins. Below: every entry of the
// archive in table order; pictures and each cell of every sprite strip
// (decoded by the downloader's loaders), and a line of facts for the
// scripts, the licence text and the nested archive.
#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/contactsheet/Mockup.h"
#include "tools/contactsheet/SkinFiles.h"

namespace {

using sheet::Label;

constexpr int kSheetWidth = 1816;
constexpr int kMaxHeight = 6000;
constexpr int kMargin = 20;

void Checkerboard(cairo_t* cr, double x, double y, double w, double h)
{
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.78, 0.79, 0.81);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.66, 0.67, 0.70);
    for (int yy = 0; yy < h; yy += 8) {
        for (int xx = ((yy / 8) % 2) * 8; xx < w; xx += 16)
            cairo_rectangle(cr, x + xx, y + yy, 8, 8);
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

bool EndsWith(const std::string& s, const char* suffix)
{
    size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

int CountCrlf(const std::string& s)
{
    int n = 0;
    for (size_t i = 0; i + 1 < s.size(); ++i)
        n += s[i] == '\r' && s[i + 1] == '\n';
    return n;
}

// Places boxes left to right, wrapping at the sheet's width.
struct Flow {
    double x = kMargin, y = 0, rowHeight = 0;
    void Place(double w, double h, double* outX, double* outY)
    {
        if (x + w > kSheetWidth - kMargin && x > kMargin) {
            x = kMargin;
            y += rowHeight + 16;
            rowHeight = 0;
        }
        *outX = x;
        *outY = y;
        x += w + 16;
        rowHeight = std::max(rowHeight, h);
    }
    double Bottom() const { return y + rowHeight; }
};

void DrawEntries(cairo_t* cr, const sheet::SkinFiles& files, Flow& flow)
{
    const zdl::QfaArchive& archive = files.Archive();
    for (uint32_t i = 0; i < archive.Count(); ++i) {
        zdl::QfaArchive::Entry entry;
        if (!archive.EntryAt(i, &entry))
            continue;
        std::string shown = sheet::GbkToUtf8(entry.name);
        double x, y;
        if (EndsWith(entry.name, ".png") || EndsWith(entry.name, ".tcp")) {
            sheet::Surface pic = files.Picture(entry.name);
            if (!pic.s) {
                flow.Place(260, 20, &x, &y);
                Label(cr, shown + ": DOES NOT DECODE", x, y, 12, 1, 0.3, 0.3);
                continue;
            }
            bool sprite = EndsWith(entry.name, ".tcp");
            int frames = 1;
            if (sprite) {
                // Frame count from the sprite header (offset 6).
                frames = entry.size >= 8 ? entry.data[6] | (entry.data[7] << 8) : 1;
                if (frames == 3)
                    frames = 4; // a 3-frame strip has 4 cells
            }
            double scale = pic.Width() > 700 ? 0.5 : 1.0;
            int cell = pic.Width() / std::max(frames, 1);
            double gap = sprite ? 6 : 0;
            double w = std::max(140.0, (cell * frames + gap * (frames - 1)) * scale);
            double h = pic.Height() * scale + 34;
            flow.Place(w, h, &x, &y);
            char facts[96];
            if (sprite) {
                std::snprintf(facts, sizeof facts, "%d x %d, %d cells", cell, pic.Height(), frames);
            } else {
                std::snprintf(facts, sizeof facts, "%d x %d%s", pic.Width(), pic.Height(),
                    scale < 1 ? ", shown at half size" : "");
            }
            Label(cr, shown, x, y, 12, 1, 1, 1);
            Label(cr, facts, x, y + 15, 10, 0.7, 0.75, 0.85);
            for (int k = 0; k < frames; ++k) {
                double cx = x + k * (cell + gap) * scale, cy = y + 32;
                Checkerboard(cr, cx, cy, cell * scale, pic.Height() * scale);
                cairo_save(cr);
                cairo_rectangle(cr, cx, cy, cell * scale, pic.Height() * scale);
                cairo_clip(cr);
                cairo_translate(cr, cx, cy);
                cairo_scale(cr, scale, scale);
                cairo_set_source_surface(cr, pic.s, -k * cell, 0);
                cairo_paint(cr);
                cairo_restore(cr);
            }
            continue;
        }
        std::string facts;
        std::string bytes(reinterpret_cast<const char*>(entry.data), entry.size);
        if (EndsWith(entry.name, ".lua")) {
            std::string bg, error;
            std::vector<sheet::LayoutChild> children;
            if (files.Layout(entry.name, &bg, &children, &error)) {
                facts = "panel on " + bg + ", " + std::to_string(children.size()) + " children:";
                for (const auto& c : children)
                    facts += " " + c.name;
            } else {
                facts = "SCRIPT FAILS: " + error;
            }
        } else if (entry.name == "image.dat") {
            zdl::QfaArchive nested;
            facts = nested.Assign(entry.data, entry.size) ? "nested archive, " + std::to_string(nested.Count())
                    + " entries, " + std::to_string(entry.size) + " bytes"
                                                          : "NOT AN ARCHIVE";
        } else {
            facts = std::to_string(entry.size) + " bytes, " + std::to_string(CountCrlf(bytes)) + " CRLF lines (GBK)";
        }
        double w = std::min(1200.0, 40.0 + facts.size() * 6.5);
        flow.Place(w, 34, &x, &y);
        Label(cr, shown, x, y, 12, 1, 1, 1);
        Label(cr, facts, x, y + 15, 10, 0.7, 0.75, 0.85);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: contactsheet ARCHIVE OUT.png\n");
        return 2;
    }
    sheet::SkinFiles files;
    std::string error;
    if (!files.Open(argv[1], &error)) {
        std::fprintf(stderr, "contactsheet: %s\n", error.c_str());
        return 1;
    }
    cairo_surface_t* tall = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSheetWidth, kMaxHeight);
    cairo_t* cr = cairo_create(tall);
    cairo_set_source_rgb(cr, 0.16, 0.18, 0.22);
    cairo_paint(cr);

    struct Window {
        const char* title;
        sheet::PageState state;
        int percent;
        double x, y;
    };
    const Window windows[] = {
        { "下载页：就绪", sheet::PageState::kReady, 0, kMargin, 36 },
        { "下载页：下载中 45%", sheet::PageState::kDownloading, 45, kMargin + 868 + 40, 36 },
        { "下载页：完成", sheet::PageState::kCompleted, 100, kMargin + 488 + 40, 36 + 513 + 40 },
    };
    bool ok = true;
    for (const Window& w : windows) {
        Label(cr, w.title, w.x, w.y - 22, 14, 1, 1, 1);
        Checkerboard(cr, w.x, w.y, 868, 513);
        cairo_save(cr);
        cairo_translate(cr, w.x, w.y);
        ok &= sheet::DrawMainWindow(cr, files, w.state, w.percent, &error);
        cairo_restore(cr);
    }
    double ly = 36 + 513 + 40;
    Label(cr, "许可协议窗口", kMargin, ly - 22, 14, 1, 1, 1);
    Checkerboard(cr, kMargin, ly, 488, 510);
    cairo_save(cr);
    cairo_translate(cr, kMargin, ly);
    ok &= sheet::DrawLicenceWindow(cr, files, &error);
    cairo_restore(cr);

    Flow flow;
    flow.y = ly + 513 + 40;
    Label(cr, "资源包内容（按表顺序）", kMargin, flow.y - 22, 14, 1, 1, 1);
    DrawEntries(cr, files, flow);
    int height = std::min(kMaxHeight, static_cast<int>(flow.Bottom()) + kMargin);

    cairo_surface_t* out = cairo_surface_create_for_rectangle(tall, 0, 0, kSheetWidth, height);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kSheetWidth, height);
    cairo_t* cc = cairo_create(copy);
    cairo_set_source_surface(cc, out, 0, 0);
    cairo_paint(cc);
    cairo_destroy(cc);
    bool written = cairo_surface_write_to_png(copy, argv[2]) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(copy);
    cairo_surface_destroy(out);
    cairo_destroy(cr);
    cairo_surface_destroy(tall);
    if (!ok)
        std::fprintf(stderr, "contactsheet: %s\n", error.c_str());
    if (!written)
        std::fprintf(stderr, "contactsheet: cannot write %s\n", argv[2]);
    return ok && written ? 0 : 1;
}
