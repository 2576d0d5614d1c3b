// The publisher's public keys compiled into the core: the build options
// ZDL_PUBLIC_KEY and, while keys are rotated, ZDL_PUBLIC_KEY2 (minisign key
// lines). With a key built in, the core installs only releases signed by
// one of them; without (a development build) it takes unsigned releases as
// they are, and a test may name a key on the command line instead
// ("-TrustedKey"), which a build with keys ignores.
#pragma once

#include "core/ReleaseSignature.h"

#include <vector>

namespace zdl::core {

// Empty in a development build. A configured key that does not parse
// yields a key nothing verifies against, so such a build refuses every
// release instead of taking unsigned ones.
std::vector<PublicKey> BuiltInKeys();

} // namespace zdl::core
