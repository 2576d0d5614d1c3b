// The resume state: which pieces of a given description were verified and
// written, kept in "<Dir>/.zdlcore/state". It is only ever a hint that
// saves checking time. A piece is recorded after its data was written;
// pieces recorded since the last flushed checkpoint are also listed as
// "recheck" and hashed again at the next start. A file that is truncated,
// zeroed or fails its checksum decodes as "no state", which means a full
// local check.
//
// Encoding (little-endian): "ZDLRESUM" magic, u32 version 1, u32 piece
// count, 32-byte SHA-256 of the description, good bitfield, recheck
// bitfield (each ceil(count/8) bytes), 32-byte SHA-256 of all before.
#pragma once

#include "platform/Sha256.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zdl::core {

struct ResumeState {
    Sha256Digest description {};
    std::vector<bool> good; // verified and written
    std::vector<bool> recheck; // recorded recently: hash again before trusting
};

std::string EncodeResumeState(const ResumeState& state);
// False for anything that is not an intact state for `pieceCount` pieces.
bool DecodeResumeState(const std::string& bytes, uint32_t pieceCount, ResumeState* state);

} // namespace zdl::core
