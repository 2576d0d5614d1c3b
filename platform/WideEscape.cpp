#include "platform/WideEscape.h"

namespace zdl {

namespace {

    const char kHexDigits[] = "0123456789abcdef";

    int HexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

} // namespace

std::string EscapeWideUnit(uint16_t unit)
{
    std::string out(1, static_cast<char>(kWideEscapeMark));
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHexDigits[(unit >> shift) & 0xF];
    return out;
}

bool ReadWideEscape(const std::string& text, size_t at, uint16_t* unit)
{
    if (at >= text.size() || text.size() - at < kWideEscapeBytes
        || static_cast<unsigned char>(text[at]) != kWideEscapeMark)
        return false;
    unsigned value = 0;
    for (size_t i = 1; i < kWideEscapeBytes; ++i) {
        int digit = HexValue(text[at + i]);
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    *unit = static_cast<uint16_t>(value);
    return true;
}

bool HoldsWideEscape(const std::string& text)
{
    uint16_t unit = 0;
    for (size_t at = text.find(static_cast<char>(kWideEscapeMark)); at != std::string::npos;
         at = text.find(static_cast<char>(kWideEscapeMark), at + 1))
        if (ReadWideEscape(text, at, &unit))
            return true;
    return false;
}

} // namespace zdl
