// The version strings of a Windows executable (.exe, .dll) read from the file
// itself: its version resource, found through the resource directory of the PE
// image, queried as the version API does. Every length and offset is checked
// against the data, so a truncated or hostile file gives nothing, never an
// overread.
#pragma once

#include "platform/Shell.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrun::platform {

// The raw version resource (VS_VERSIONINFO) of a PE image; nullopt when the
// data is no PE image or has no version resource.
std::optional<std::vector<uint8_t>> FindVersionResource(std::span<const uint8_t> image);

// The value of a query on a version resource: "\VarFileInfo\Translation" or
// "\StringFileInfo\040904e4\FileDescription" (names compared ignoring case),
// as raw bytes; nullopt when the path names nothing.
std::optional<std::span<const uint8_t>> QueryVersionValue(std::span<const uint8_t> resource, const std::u16string& path);

// The four strings the File properties dialog shows (and the product ones):
// the first translation's string table, else the US English table 040904e4.
// Fields without a string stay empty; nullopt without a translation table.
std::optional<VersionInfo> VersionStrings(std::span<const uint8_t> resource);

// All of the above for the whole file's bytes.
std::optional<VersionInfo> PeVersionInfo(std::span<const uint8_t> image);

}  // namespace kestrun::platform
