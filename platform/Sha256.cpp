#include "platform/Sha256.h"

namespace zdl {

Sha256Digest Sha256::Of(const void* data, size_t size)
{
    Sha256 h;
    h.Update(data, size);
    return h.Final();
}

std::string ToHex(const Sha256Digest& digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out(64, '0');
    for (size_t i = 0; i < digest.size(); ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 15];
    }
    return out;
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool FromHex(const std::string& hex, Sha256Digest* out)
{
    if (hex.size() != 64)
        return false;
    for (size_t i = 0; i < 32; ++i) {
        int hi = HexValue(hex[2 * i]), lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        (*out)[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

} // namespace zdl
