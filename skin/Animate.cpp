#include "skin/Animate.h"

#include "skin/ControlPaint.h"

namespace zdl {

CSAnimate::CSAnimate()
    : CSStatic(kTypeAnimate)
{
}

CSAnimate::~CSAnimate() = default;

void CSAnimate::Paint(DibImage* surface, int ox, int oy)
{
    if (!visible || layers.empty() || !layers[0].image || layers[0].image->Empty())
        return;
    const SkinStyle& style = layers[0];
    int imageWidth = style.image->Width();
    int sx = 0;
    if (style.frameWidth < imageWidth) {
        sx = style.frameWidth * currentFrame;
        if (sx < 0 || sx >= imageWidth)
            sx = 0;
    }
    DrawImagePart(surface, style.image, x + ox, y + oy, width, height, sx, 0);
    if (++tick < speed)
        return;
    tick = 0;
    if (++currentFrame >= frameCount)
        currentFrame = 0;
}

void CSAnimate::SetAnimationImage(DibImage* image, int frames)
{
    if (layers.empty())
        layers.resize(1);
    layers[0].image = image;
    if (!image || image->Empty() || frames < 1)
        return;
    layers[0].frameWidth = image->Width() / frames;
    width = layers[0].frameWidth;
    height = image->Height();
    frameCount = frames;
    tick = 0;
    currentFrame = 0;
}

} // namespace zdl
