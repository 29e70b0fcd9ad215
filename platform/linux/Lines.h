// Walking a kernel text file line by line without copying it.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrun::platform::linux_backend {

// Calls f for every line of text (without its line break); a last line without
// a break counts too.
template <class F>
void ForEachLine(std::string_view text, F f)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        f(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace kestrun::platform::linux_backend
