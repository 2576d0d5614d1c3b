// The licence agreement's text for the licence page: read in binary through
// the resource files (a loose file in the current folder first, then the
// archive entry) and its CR LF line ends turned into the markup line break
// "#r". The text is GBK and already carries its own markup.
// Any thread; no shared state.
#pragma once

#include "app/AppTexts.h"

#include <cstddef>
#include <string>

namespace zdl {

// The file name is kLicenceFileName (app/AppTexts.txt).
// The real agreement is a few KB; a loose file may be anything, so at most
// this many bytes are read and shown.
constexpr size_t kMaxLicenceBytes = 1024 * 1024;

// Reads the licence file: false when it cannot be opened (|text| empty);
// otherwise |text| holds the bytes actually read, at most kMaxLicenceBytes,
// a double-byte character cut by that limit dropped whole.
bool ReadLicenceText(std::string* text);

// Replaces every CR LF pair, in place, by "#r"; the length is unchanged and a
// lone CR or LF stays as it is.
void MarkLineBreaks(std::string* text);

} // namespace zdl
