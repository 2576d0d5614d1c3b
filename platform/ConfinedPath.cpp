#include "platform/ConfinedPath.h"

namespace zdl {

bool SplitConfinedPath(const std::string& rel, std::vector<std::string>* names)
{
    names->clear();
    size_t pos = 0;
    while (pos <= rel.size()) {
        size_t next = rel.find('/', pos);
        if (next == std::string::npos)
            next = rel.size();
        std::string name = rel.substr(pos, next - pos);
        if (name.empty() || name == "." || name == "..")
            return false;
        names->push_back(std::move(name));
        pos = next + 1;
    }
    return !names->empty();
}

std::string ConfinedEntry(const std::vector<std::string>& names, size_t count)
{
    std::string entry;
    for (size_t i = 0; i < count; ++i)
        entry += (i ? "/" : "") + names[i];
    return entry;
}

} // namespace zdl
