// Paths below a confining folder (the install folder), as the file layer's
// *Below calls take them: "/"-separated names, none empty, "." or "..".
#pragma once

#include <string>
#include <vector>

namespace zdl {

// The names of `rel`; false for an empty path or an empty, "." or ".."
// name. A GBK name never holds '/' as a trail byte, so described paths
// split byte by byte.
bool SplitConfinedPath(const std::string& rel, std::vector<std::string>* names);

// The first `count` names joined again: the entry a refusal names.
std::string ConfinedEntry(const std::vector<std::string>& names, size_t count);

} // namespace zdl
