#include "platform/linux/MountTable.h"

namespace kestrun::platform::linux_backend {

namespace {

// The next blank-separated field of line, consumed.
std::string_view NextField(std::string_view& line)
{
    const size_t begin = line.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(begin);
    const size_t end = line.find(' ');
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return field;
}

bool HasReadOnlyOption(std::string_view options)
{
    while (!options.empty()) {
        const size_t comma = options.find(',');
        if (options.substr(0, comma) == "ro") return true;
        if (comma == std::string_view::npos) break;
        options.remove_prefix(comma + 1);
    }
    return false;
}

// Whether point contains path: equal, or a folder above it.
bool Contains(std::string_view point, std::string_view path)
{
    if (!path.starts_with(point)) return false;
    return path.size() == point.size() || point.back() == '/' || path[point.size()] == '/';
}

}  // namespace

std::string UnescapeMountPath(std::string_view escaped)
{
    std::string path;
    for (size_t i = 0; i < escaped.size(); ++i) {
        const bool octal = escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] >= '0' && escaped[i + 1] <= '3' &&
                           escaped[i + 2] >= '0' && escaped[i + 2] <= '7' && escaped[i + 3] >= '0' && escaped[i + 3] <= '7';
        if (octal) {
            path.push_back(static_cast<char>((escaped[i + 1] - '0') * 64 + (escaped[i + 2] - '0') * 8 + (escaped[i + 3] - '0')));
            i += 3;
        } else {
            path.push_back(escaped[i]);
        }
    }
    return path;
}

bool MountTable::Parse(std::string_view mountinfo)
{
    mounts_.clear();
    while (!mountinfo.empty()) {
        const size_t end = mountinfo.find('\n');
        std::string_view line = mountinfo.substr(0, end);
        mountinfo.remove_prefix(end == std::string_view::npos ? mountinfo.size() : end + 1);
        // id parent major:minor root point options [optional...] - type source super-options
        std::string_view fields[6];
        bool complete = true;
        for (std::string_view& field : fields) {
            field = NextField(line);
            complete = complete && !field.empty();
        }
        if (!complete || fields[4][0] != '/') continue;
        bool readOnly = HasReadOnlyOption(fields[5]);
        for (std::string_view field = NextField(line); !field.empty(); field = NextField(line)) {
            if (field != "-") continue;
            NextField(line);  // type
            NextField(line);  // source
            readOnly = readOnly || HasReadOnlyOption(NextField(line));
            break;
        }
        mounts_.push_back({UnescapeMountPath(fields[4]), readOnly});
    }
    return !mounts_.empty();
}

bool MountTable::ReadOnly(std::string_view path) const
{
    const Mount* best = nullptr;
    for (const Mount& mount : mounts_)
        if (Contains(mount.point, path) && (best == nullptr || mount.point.size() >= best->point.size())) best = &mount;
    return best != nullptr && best->readOnly;
}

}  // namespace kestrun::platform::linux_backend
