// artgen: draws the skin's pictures into a folder.
//
//   artgen OUTDIR
//
// writes
//   OUTDIR/png/NAME.png         every PNG entry of the skin archive
//   OUTDIR/frames/NAME.png      every sprite as a strip of its frames, in
//                               stored order (NAME without ".tcp")
//   OUTDIR/zephyra.ico          the program icon (16, 24, 32, 48, 256 px)
// The pictures depend only on this program and the installed fonts
// (WenQuanYi Micro Hei, DejaVu Sans and DejaVu Serif), so every run on the
// same font set writes the same bytes.
#include <sys/stat.h>

#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/artgen/ArtKit.h"
#include "tools/artgen/ButtonArt.h"
#include "tools/artgen/IconWriter.h"
#include "tools/artgen/PanelArt.h"
#include "tools/artgen/ProgressArt.h"
#include "tools/artgen/SkinGeometry.h"

namespace {

using artgen::Canvas;

bool MakeDir(const std::string& path)
{
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

class Writer {
public:
    explicit Writer(std::string dir)
        : dir_(std::move(dir))
    {
    }

    bool Png(const std::string& name, Canvas& canvas)
    {
        std::string path = dir_ + "/png/" + name;
        if (!canvas.WritePng(path))
            return Fail(path);
        return true;
    }

    bool Sprite(const artgen::SpriteArt& sprite)
    {
        std::string stem = sprite.name.substr(0, sprite.name.size() - 4); // drop ".tcp"
        std::string strip = dir_ + "/frames/" + stem + ".png";
        if (!sprite.WriteStrip(strip))
            return Fail(strip);
        return true;
    }

    bool Fail(const std::string& path)
    {
        std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
        return false;
    }

private:
    std::string dir_;
};

bool DrawAll(Writer& out, const std::string& dir)
{
    namespace geo = artgen::geo;
    bool ok = true;
    {
        Canvas c(geo::kMainWidth, geo::kMainHeight);
        artgen::DrawMainBackground(c, artgen::BannerSlot::kIdleBackdrop);
        ok &= out.Png("bg.png", c);
    }
    {
        Canvas c(geo::kMainWidth, geo::kMainHeight);
        artgen::DrawMainBackground(c, artgen::BannerSlot::kPlaceholder);
        ok &= out.Png("web_bg.png", c);
    }
    {
        Canvas c(geo::kLicenceWidth, geo::kLicenceHeight);
        artgen::DrawLicencePanel(c);
        ok &= out.Png("msg_box.png", c);
    }
    {
        Canvas c(int(geo::kBannerFrame.w), int(geo::kBannerFrame.h));
        artgen::DrawBannerFrame(c);
        ok &= out.Png("banner.png", c);
    }
    {
        Canvas c(int(geo::kLogo.w), int(geo::kLogo.h));
        artgen::DrawLogo(c);
        ok &= out.Png("logo.png", c);
    }
    {
        Canvas c(int(geo::kEmblem.w), int(geo::kEmblem.h));
        artgen::DrawEmblem(c);
        ok &= out.Png("char.png", c);
    }
    {
        Canvas c(int(geo::kSaveLabel.w), int(geo::kSaveLabel.h));
        artgen::DrawSaveLabel(c);
        ok &= out.Png("save.png", c);
    }
    {
        Canvas c(int(geo::kEditFrame.w), int(geo::kEditFrame.h));
        artgen::DrawEditFrame(c);
        ok &= out.Png("edit_bg.png", c);
    }
    for (int d = 0; d < 10; ++d) {
        Canvas c(geo::kDigitWidth, geo::kDigitHeight);
        artgen::DrawDigit(c, d);
        ok &= out.Png("loading_num_" + std::to_string(d) + ".png", c);
    }
    {
        Canvas c(geo::kPercentWidth, geo::kPercentHeight);
        artgen::DrawPercentSign(c);
        ok &= out.Png("percent_num.png", c);
    }
    {
        Canvas c(geo::kProgressImageWidth, geo::kProgressHeight);
        artgen::DrawProgressBar(c);
        ok &= out.Png("progress.png", c);
    }
    {
        Canvas c(geo::kScrollColumn, geo::kScrollTrack);
        artgen::DrawScrollTrack(c);
        ok &= out.Png("scroll.png", c);
    }
    for (const artgen::SpriteArt& sprite : artgen::DrawButtonSprites())
        ok &= out.Sprite(sprite);
    ok &= out.Sprite(artgen::DrawProgressHead());

    std::vector<std::unique_ptr<Canvas>> sizes;
    std::vector<const Canvas*> icon;
    for (int size : { 16, 24, 32, 48, 256 }) {
        sizes.push_back(std::make_unique<Canvas>(size, size));
        artgen::DrawIconArt(*sizes.back());
        icon.push_back(sizes.back().get());
    }
    if (!artgen::WriteIcon(dir + "/zephyra.ico", icon))
        ok &= out.Fail(dir + "/zephyra.ico");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!MakeDir(dir) || !MakeDir(dir + "/png") || !MakeDir(dir + "/frames")) {
        std::fprintf(stderr, "artgen: cannot create the folders under %s\n", dir.c_str());
        return 1;
    }
    Writer out(dir);
    bool ok = DrawAll(out, dir);
    return ok ? 0 : 1;
}
