#include "app/LicenceText.h"

#include "gfx/ResourceArchive.h"

#include <algorithm>
#include <memory>

namespace zdl {

namespace {

    constexpr size_t kReadChunk = 64 * 1024;

    // Drops a last lead byte whose trail byte lies beyond the read limit.
    void DropCutCharacter(std::string* text)
    {
        size_t i = 0;
        while (i < text->size()) {
            unsigned char c = static_cast<unsigned char>((*text)[i]);
            if (c >= 0x81 && c <= 0xFE) {
                if (i + 1 == text->size()) {
                    text->pop_back();
                    return;
                }
                i += 2;
            } else {
                ++i;
            }
        }
    }

} // namespace

bool ReadLicenceText(std::string* text)
{
    text->clear();
    std::unique_ptr<ResourceStream> stream = OpenResourceFile(kLicenceFileName);
    if (!stream)
        return false;
    // The size a loose file reports is not trusted: read until the end or
    // the limit, and keep what was actually read.
    while (text->size() < kMaxLicenceBytes) {
        size_t at = text->size();
        size_t want = std::min(kReadChunk, kMaxLicenceBytes - at);
        text->resize(at + want);
        size_t got = stream->Read(&(*text)[at], want);
        text->resize(at + got);
        if (got < want)
            return true;
    }
    // At the limit: keep whole characters only.
    char probe;
    if (stream->Read(&probe, 1) == 1)
        DropCutCharacter(text);
    return true;
}

void MarkLineBreaks(std::string* text)
{
    for (size_t i = 0; i + 1 < text->size(); ++i) {
        if ((*text)[i] == '\r' && (*text)[i + 1] == '\n') {
            (*text)[i] = '#';
            (*text)[i + 1] = 'r';
            ++i;
        }
    }
}

} // namespace zdl
