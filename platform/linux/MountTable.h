// The machine's mounts as /proc/self/mountinfo lists them, to tell whether a
// file lies on a read-only mount. Read once and asked per path: a read-only bind
// mount shares its device with the writable mount it shows, so the mount point,
// not the device, decides.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrun::platform::linux_backend {

class MountTable {
public:
    // Parses a mountinfo text; false when it holds no mount at all.
    bool Parse(std::string_view mountinfo);
    // Whether the absolute path lies on a read-only mount: the mount with the
    // longest mount point that contains it, the later one of two at one point.
    [[nodiscard]] bool ReadOnly(std::string_view path) const;
    [[nodiscard]] bool empty() const { return mounts_.empty(); }

private:
    struct Mount {
        std::string point;  // unescaped
        bool readOnly = false;
    };
    std::vector<Mount> mounts_;
};

// The kernel's octal escapes (\040 for a blank) undone.
std::string UnescapeMountPath(std::string_view escaped);

}  // namespace kestrun::platform::linux_backend
