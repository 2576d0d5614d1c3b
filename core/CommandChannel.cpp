#include "core/CommandChannel.h"

#include <cstdlib>

namespace zdl::core {

std::string CommandChannel::Feed(const char* data, size_t size, bool* quit)
{
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == '\n') {
            if (!discarding_)
                out += Answer(pending_, quit);
            pending_.clear();
            discarding_ = false;
        } else if (!discarding_) {
            pending_ += c;
            if (pending_.size() > kMaxCommandBytes) {
                pending_.clear();
                discarding_ = true;
            }
        }
    }
    return out;
}

std::string CommandChannel::Answer(const std::string& raw, bool* quit) const
{
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    line = start == std::string::npos ? std::string() : line.substr(start);
    if (line == "stat")
        return board_.StatLines();
    if (line == "get tb")
        return board_.TotalLines();
    if (line.compare(0, 7, "get qf ") == 0) {
        std::string n = line.substr(7);
        if (n.empty() || n.size() > 9 || n.find_first_not_of("0123456789") != std::string::npos)
            return StatusBoard::Line("FileName", ":");
        return board_.FileNameLine(std::strtol(n.c_str(), nullptr, 10));
    }
    if (line == "quit") {
        *quit = true;
        return std::string();
    }
    return std::string();
}

} // namespace zdl::core
