// Composes the downloader's two windows from a skin archive the way the
// pages build them: background, then every child of the layout script in
// creation order, then the texts the pages draw at run time. Text is drawn
// with pango as an approximation of the downloader's own text drawing.
#pragma once

#include <cairo.h>

#include <string>

#include "tools/contactsheet/SkinFiles.h"

namespace sheet {

enum class PageState { kReady, kDownloading, kCompleted };

// Draws the main window at (0, 0) of |cr|; false with |error| when the
// layout script cannot be read.
bool DrawMainWindow(cairo_t* cr, const SkinFiles& files, PageState state, int percent, std::string* error);
bool DrawLicenceWindow(cairo_t* cr, const SkinFiles& files, std::string* error);

// Plain UTF-8 text.
void Label(cairo_t* cr, const std::string& utf8, double x, double y, double px, double r, double g, double b);
// GBK bytes to UTF-8 (invalid bytes become '?').
std::string GbkToUtf8(const std::string& gbk);

} // namespace sheet
