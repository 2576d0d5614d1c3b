// The C run-time library's pseudo-random generator, reproduced exactly so the
// channel's port choice is the same on every platform: a linear
// congruential generator (state * 214013 + 2531011 mod 2^32) yielding
// (state >> 16) & 0x7FFF. Like the run-time's, the state belongs to the
// calling thread and starts at 1.
#pragma once

#include <cstdint>

namespace zdl {

constexpr int kCrtRandMax = 0x7FFF;

void CrtSeed(uint32_t seed);
int CrtRandom();

} // namespace zdl
