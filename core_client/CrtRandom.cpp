#include "core_client/CrtRandom.h"

namespace zdl {

static thread_local uint32_t crtState = 1;

void CrtSeed(uint32_t seed)
{
    crtState = seed;
}

int CrtRandom()
{
    crtState = crtState * 214013u + 2531011u;
    return static_cast<int>((crtState >> 16) & 0x7FFFu);
}

} // namespace zdl
