#include "skin/GbkText.h"

namespace zdl {

size_t GbkCutLength(const char* text, size_t length, size_t maxBytes)
{
    size_t i = 0;
    while (i < length) {
        size_t step = IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length ? 2 : 1;
        if (i + step > maxBytes)
            break;
        i += step;
    }
    return i;
}

bool GbkIsTrailAt(const char* text, int length, int pos)
{
    if (pos <= 0 || pos >= length)
        return false;
    int i = 0;
    while (i < pos) {
        if (IsGbkLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length) {
            if (i + 1 == pos)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

} // namespace zdl
