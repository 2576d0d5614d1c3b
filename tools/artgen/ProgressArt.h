// The progress display's pictures: the digits "loading_num_0.png" ...
// "loading_num_9.png" (one cell each, placed at x 690/708/726), the percent
// sign, the bar image that the progress bar reveals from the left, and the
// licence scroll bar's track.
#pragma once

#include "tools/artgen/ArtKit.h"

namespace artgen {

void DrawDigit(Canvas& canvas, int digit);
void DrawPercentSign(Canvas& canvas);
void DrawProgressBar(Canvas& canvas);
void DrawScrollTrack(Canvas& canvas);

} // namespace artgen
