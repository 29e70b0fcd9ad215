// What the Services page needs of a systemd unit file that systemd has not
// loaded: its Description and the program of its first ExecStart.
#pragma once

#include <string>

namespace kestrun::platform::linux_backend {

struct UnitFileSettings {
    std::string description;
    std::string execStart;  // the program's path, without the command's prefixes and arguments
};

// From the text of a unit file; settings that are missing stay empty.
UnitFileSettings ParseUnitFile(const std::string& text);

// Reads the file at path; an unreadable file gives empty settings.
UnitFileSettings ReadUnitFile(const std::string& path);

}  // namespace kestrun::platform::linux_backend
