// The icon the desktop shows for an executable file: the icon of the desktop
// entry whose Exec or TryExec runs that file, drawn from the icon theme.
// It needs GTK (the icon theme), so it lives apart from the platform library
// and the window program installs it; batch mode, the benchmarks and the
// setup library go without.
#pragma once

#include "platform/Shell.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

typedef struct _GIcon GIcon;

namespace kestrun::platform {

class DesktopEntryIcons final : public FileIconSource {
public:
    // The data folders whose applications/ hold the entries, the first taking
    // precedence; empty: the user's and the system's ($XDG_DATA_HOME, $XDG_DATA_DIRS).
    explicit DesktopEntryIcons(std::vector<std::string> dataDirs = {});
    ~DesktopEntryIcons() override;
    DesktopEntryIcons(const DesktopEntryIcons&) = delete;
    DesktopEntryIcons& operator=(const DesktopEntryIcons&) = delete;

    std::optional<Image> SmallIconFor(const std::string& path, int side) override;

private:
    // The real path of every program an entry runs, with its entry's icon; built at the first question.
    void Index();

    std::vector<std::string> dataDirs_;
    bool indexed_ = false;
    std::unordered_map<std::string, GIcon*> iconByProgram_;  // references held
};

}  // namespace kestrun::platform
