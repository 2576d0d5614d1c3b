#include "core/ResumeState.h"

#include <cstring>

namespace zdl::core {

namespace {

    constexpr char kMagic[8] = { 'Z', 'D', 'L', 'R', 'E', 'S', 'U', 'M' };
    constexpr uint32_t kVersion = 1;
    constexpr size_t kHeader = 8 + 4 + 4 + 32;

    void PutU32(std::string* s, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            s->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    }

    uint32_t GetU32(const std::string& s, size_t at)
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(static_cast<uint8_t>(s[at + i])) << (8 * i);
        return v;
    }

    void PutBits(std::string* s, const std::vector<bool>& bits, uint32_t count)
    {
        std::string bytes((count + 7) / 8, '\0');
        for (uint32_t i = 0; i < count; ++i)
            if (i < bits.size() && bits[i])
                bytes[i / 8] = static_cast<char>(bytes[i / 8] | (1 << (i % 8)));
        *s += bytes;
    }

    void GetBits(const std::string& s, size_t at, uint32_t count, std::vector<bool>* bits)
    {
        bits->assign(count, false);
        for (uint32_t i = 0; i < count; ++i)
            (*bits)[i] = (static_cast<uint8_t>(s[at + i / 8]) >> (i % 8)) & 1;
    }

} // namespace

std::string EncodeResumeState(const ResumeState& st)
{
    uint32_t count = static_cast<uint32_t>(st.good.size());
    std::string s(kMagic, sizeof kMagic);
    PutU32(&s, kVersion);
    PutU32(&s, count);
    s.append(reinterpret_cast<const char*>(st.description.data()), st.description.size());
    PutBits(&s, st.good, count);
    PutBits(&s, st.recheck, count);
    Sha256Digest sum = Sha256::Of(s.data(), s.size());
    s.append(reinterpret_cast<const char*>(sum.data()), sum.size());
    return s;
}

bool DecodeResumeState(const std::string& s, uint32_t pieceCount, ResumeState* st)
{
    size_t bitBytes = (size_t(pieceCount) + 7) / 8;
    if (s.size() != kHeader + 2 * bitBytes + 32)
        return false;
    if (std::memcmp(s.data(), kMagic, sizeof kMagic) != 0 || GetU32(s, 8) != kVersion || GetU32(s, 12) != pieceCount)
        return false;
    Sha256Digest sum = Sha256::Of(s.data(), s.size() - 32);
    if (std::memcmp(sum.data(), s.data() + s.size() - 32, 32) != 0)
        return false;
    std::memcpy(st->description.data(), s.data() + 16, 32);
    GetBits(s, kHeader, pieceCount, &st->good);
    GetBits(s, kHeader + bitBytes, pieceCount, &st->recheck);
    // Bits past the piece count must be clear in an intact file.
    if (pieceCount % 8) {
        uint8_t mask = static_cast<uint8_t>(0xff << (pieceCount % 8));
        if ((static_cast<uint8_t>(s[kHeader + bitBytes - 1]) & mask)
            || (static_cast<uint8_t>(s[kHeader + 2 * bitBytes - 1]) & mask))
            return false;
    }
    return true;
}

} // namespace zdl::core
