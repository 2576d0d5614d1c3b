// Reading a skin archive for the contact sheet: entries by name, pictures
// decoded with the downloader's own loaders and turned into cairo surfaces,
// and the children of a layout script as the layout loader reads them.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gfx/ResourceArchive.h"

namespace sheet {

// A cairo surface that frees itself.
struct Surface {
    cairo_surface_t* s = nullptr;
    Surface() = default;
    explicit Surface(cairo_surface_t* surface)
        : s(surface)
    {
    }
    ~Surface()
    {
        if (s)
            cairo_surface_destroy(s);
    }
    Surface(Surface&& o) noexcept
        : s(o.s)
    {
        o.s = nullptr;
    }
    Surface& operator=(Surface&& o) noexcept
    {
        std::swap(s, o.s);
        return *this;
    }
    Surface(const Surface&) = delete;
    int Width() const { return s ? cairo_image_surface_get_width(s) : 0; }
    int Height() const { return s ? cairo_image_surface_get_height(s) : 0; }
};

// A child of a layout script's "son_list", as far as the sheet needs it.
struct LayoutChild {
    int key = 0;
    std::string type, name, fn;
    int x = 0, y = 0, w = 0, h = 0, frames = 1;
};

class SkinFiles {
public:
    bool Open(const std::string& path, std::string* error);
    const zdl::QfaArchive& Archive() const { return archive_; }

    // ".png" or ".tcp" (as the strip of cells) through zdl's loaders; an
    // empty surface when the entry is missing or does not decode.
    Surface Picture(const std::string& name) const;
    std::string Bytes(const std::string& name) const;
    // Runs a layout script; children in ascending key order. False with a
    // message when the script does not run or is not a panel table.
    bool Layout(
        const std::string& name, std::string* background, std::vector<LayoutChild>* children, std::string* error) const;

private:
    zdl::QfaArchive archive_;
};

} // namespace sheet
