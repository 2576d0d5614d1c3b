// libFuzzer target: the TGA decoder on arbitrary bytes.
#include "gfx/ImageLoader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace zdl;
    jpegMessagesToStderr = false;
    auto stream = ResourceStream::FromMemory(data, size);
    DibImage image;
    if (DecodeTga(stream.get(), &image)) {
        // Touch the first and last byte of the pixels.
        volatile uint8_t sink = image.bits[0];
        sink = image.bits[image.info.header.sizeImage - 1];
        (void)sink;
    }
    return 0;
}
