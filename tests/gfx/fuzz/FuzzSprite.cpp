// libFuzzer target: the ".tcp" sprite loader and decoder. Whatever loads
// must decode without touching memory outside the file or the image.
#include "gfx/ImageLoader.h"
#include "gfx/Sprite.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zdl;
    auto stream = ResourceStream::FromMemory(data, size);
    SpriteFile sprite;
    if (!LoadSpriteFromStream(stream.get(), &sprite))
        return 0;
    DibImage strip;
    BuildSpriteStrip(sprite, &strip);
    // Every frame of every direction, at awkward positions on a small image.
    DibImage small;
    if (CreateDib(&small, 32, 7, 5)) {
        for (const SpriteFrame& f : sprite.records) {
            DrawSpriteFrame(&small, &f, 0, 0);
            DrawSpriteFrame(&small, &f, -3, 4);
            DrawSpriteFrame(&small, &f, 6, -2);
        }
    }
    FreeSprite(&sprite);
    return 0;
}
